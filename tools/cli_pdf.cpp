// fretfile-cli pdf ARCHIVE ENTRY OUT.pdf [--transpose N]: writes the song
// of the archive's entry as the viewer's Export PDF does (transposed by N
// semitones first, when asked), and prints how many pages it took and the
// size of its text. The song is extracted into a temporary folder, as the
// program opens a hit. Runs Qt's offscreen platform unless QT_QPA_PLATFORM
// names another, so no display is needed. Exit 0 when the PDF is written,
// 1 when the entry cannot be extracted or the PDF not written, 2 for bad
// usage, an archive whose directory cannot be read or an entry not in it.
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <string>
#include <vector>

#include "cli_command.h"
#include "cli_entry.h"
#include "index/song_text.h"
#include "platform/posix/paths.h"
#include "sheet/song_sheet.h"
#include "songbook/chords.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: fretfile-cli pdf ARCHIVE ENTRY OUT.pdf [--transpose N]\n");
  return 2;
}

// The artist an archive is named after: its file name without ".zip", with
// '_' as a space.
std::string ArtistOf(const std::string& archivePath) {
  std::string name = archivePath.substr(archivePath.rfind(platform::kSeparator) + 1);
  if (const size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
  for (char& c : name) {
    if (c == '_') c = ' ';
  }
  return name;
}

int RunPdf(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  int semitones = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "--transpose") {
      positional.push_back(args[i]);
      continue;
    }
    if (++i == args.size()) return Usage();
    try {
      size_t used = 0;
      semitones = std::stoi(args[i], &used);
      if (used != args[i].size()) return Usage();
    } catch (const std::exception&) {
      return Usage();
    }
  }
  if (positional.size() != 3) return Usage();
  const std::string& archivePath = positional[0];
  const std::string& entryName = positional[1];

  std::vector<cli::ArchiveEntry> entries;
  if (!cli::FindEntries(archivePath, entryName, false, entries)) return 2;
  if (entries.empty()) {
    std::fprintf(stderr, "fretfile-cli: %s has no entry %s\n", archivePath.c_str(), entryName.c_str());
    return 2;
  }

  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "fretfile-cli";
  static char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);

  QTemporaryDir scratch;
  if (!scratch.isValid()) {
    std::fprintf(stderr, "fretfile-cli: cannot make a temporary folder: %s\n", qPrintable(scratch.errorString()));
    return 1;
  }
  std::string extracted;
  const int result = cli::ExtractEntry(archivePath, entries[0], QFile::encodeName(scratch.path()).toStdString(), extracted);
  if (result != 0) {
    std::fprintf(stderr, "fretfile-cli: unable to extract %s (%d)\n", entries[0].DisplayName().c_str(), result);
    return 1;
  }
  QFile file(QFile::decodeName(QByteArray::fromStdString(extracted)));
  if (!file.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "fretfile-cli: cannot read %s: %s\n", extracted.c_str(), qPrintable(file.errorString()));
    return 1;
  }
  const QByteArray bytes = file.readAll();

  sheet::SongSheet song;
  song.header = sheet::SheetHeader(entries[0].name, ArtistOf(archivePath));
  song.text = songbook::TransposeText(fretfile::DecodeSong(std::string_view(bytes.constData(), bytes.size())).text, semitones);
  QString error;
  const auto layout = sheet::WriteSheetPdf(QFile::decodeName(QByteArray::fromStdString(positional[2])), song, error);
  if (!layout) {
    std::fprintf(stderr, "fretfile-cli: cannot write %s: %s\n", positional[2].c_str(), qPrintable(error));
    return 1;
  }
  std::printf("%d pages, text at %g point\n", layout->pages, layout->pointSize);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

const cli::CliCommandRegistration kRegistration({"pdf", "ARCHIVE ENTRY OUT.pdf [--transpose N]", RunPdf});

}  // namespace
