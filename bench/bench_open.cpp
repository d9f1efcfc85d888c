// Opening a hit, from the double click to the viewer window shown.
//
//   bench_open [RUNS]
//
// Builds a collection of one 200 MB archive with 5,000 entries in a temporary
// folder: 4,998 stored entries of about 40 KB and, as the last two entries
// (so the lookup walks the whole central directory), a 5 KB song and a 1 MB
// song, deflated by zlib at level 6 (stored when built without zlib). Then,
// for each song, runs the real main window on the offscreen platform: the
// grid row is set as a search sets it, the row is selected, DBGrid1DblClick
// runs and the time is taken once the viewer window is visible (with the
// first lines of the song in its text box; the rest goes in while the event
// loop runs, and the time until all of it is there is shown too); the
// viewer is closed before the next run. Best, median and worst of RUNS (default
// 15), plus the share of each step, and, as a peer for the extraction step,
// a zlib extractor (raw inflate to a file with a CRC check) on the same
// entry.
#include <QApplication>
#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "archive/unzip_member.h"
#include "bench_support.h"
#include "index/hit_lookup.h"
#include "platform/gui/dialogs.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "ui/form_main.h"
#include "ui/viewer_window.h"

#ifdef FRETFILE_HAVE_ZLIB
#include "zlib_peer.h"
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kEntries = 5000;
constexpr size_t kArchiveBytes = 200u << 20;
const char* const kArtist = "Bench Artist";

struct Song {
  const char* shown;   // as the grid shows it
  const char* stored;  // the entry's name
  size_t bytes;
  std::string text;
};

// Stored fillers of random letters, then the songs, deflated when zlib is
// there (stored otherwise), written as one archive of kEntries entries.
void BuildCollection(const std::string& appDir, const std::vector<Song>& songs) {
  testing_support::ZipBuilder builder;
  size_t songBytes = 0;
  for (const Song& song : songs) songBytes += song.bytes;
  const int fillers = kEntries - static_cast<int>(songs.size());
  const size_t fillerSize = (kArchiveBytes - songBytes) / static_cast<size_t>(fillers);
  std::mt19937 random(7);
  std::string filler(fillerSize, '\0');
  for (int i = 0; i < fillers; ++i) {
    for (auto& c : filler) c = static_cast<char>('a' + random() % 26);
    builder.Add("Filler_Song_" + std::to_string(i) + ".txt", filler, 0);
  }
  for (const Song& song : songs) builder.Add(song.stored, song.text, testing_support::HaveZlib() ? 8 : 0);
  builder.WriteTo(appDir + "Bench_Artist.zip");
}

struct Stats {
  double best, median, worst;
};
Stats Summarise(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return {times.front(), times[times.size() / 2], times.back()};
}



// Times the opening of one song, whole and step by step; false when the
// viewer did not show the song.
bool MeasureSong(fretfile::TFormMain& form, const std::string& appDir, const Song& song, int runs, double target) {
  auto& cells = form.StringGrid->Cells();
  cells.SetRowCount(2);
  cells.SetCell(0, 1, kArtist);
  cells.SetCell(1, 1, song.shown);
  form.StringGrid->Model()->Refresh();
  form.StringGrid->SetRow(1);

  std::vector<double> whole, filled;
  for (int run = 0; run < runs + 1; ++run) {  // the first run warms the caches
    const double start = bench::Now();
    form.DBGrid1DblClick();
    auto* viewer = qobject_cast<fretfile::TViewerWindow*>(form.FindComponent(QStringLiteral("Form2")));
    const bool shown = viewer != nullptr && viewer->isVisible();
    const double elapsed = bench::Now() - start;
    // The rest of a long text goes into the box while the event loop runs.
    while (shown && viewer->Memo->Filling()) QCoreApplication::processEvents();
    const double whole_text = bench::Now() - start;
    if (!shown || viewer->Memo->TextBytes() != song.text) {
      std::fprintf(stderr, "the viewer did not show %s\n", song.shown);
      return false;
    }
    if (run > 0) {
      whole.push_back(elapsed);
      filled.push_back(whole_text);
    }
    form.CloseClick(viewer->Close);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
  }

  // The steps one by one, to see where the time goes.
  bool ok = true;
  std::vector<double> lookup, extract, show, peer;
  for (int run = 0; run < runs; ++run) {
    double t0 = bench::Now();
    const auto hit = fretfile::LocateHit(appDir, kArtist, song.shown);
    double t1 = bench::Now();
    const std::string targetPath = *fretfile::TempPathOf(appDir, hit->fileName);
    const int result = archive::UnzipMember(hit->archivePath, targetPath, hit->attributes, hit->headerOffset, {}, 27);
    double t2 = bench::Now();
    fretfile::SongDocument opened;
    opened.archivePath = hit->archivePath;
    opened.entryName = hit->fileName;
    opened.artist = kArtist;
    opened.tempPath = targetPath;
    auto* viewer = fretfile::CreateViewerWindow(form, 2, std::move(opened));
    viewer->show();
    double t3 = bench::Now();
    if (result != 0) ok = false;
    lookup.push_back(t1 - t0);
    extract.push_back(t2 - t1);
    show.push_back(t3 - t2);
    form.CloseClick(viewer->Close);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
#ifdef FRETFILE_HAVE_ZLIB
    const double p0 = bench::Now();
    if (!bench::ZlibExtractAt(hit->archivePath.c_str(), hit->headerOffset, (appDir + "temp/peer.txt").c_str())) ok = false;
    peer.push_back(bench::Now() - p0);
#endif
  }
  const Stats w = Summarise(whole);
  std::printf("%s (%zu bytes): double click to viewer shown (%d runs): best %.1f ms, median %.1f ms, worst %.1f ms\n",
              song.shown, song.bytes, runs, w.best * 1e3, w.median * 1e3, w.worst * 1e3);
  std::printf("  whole text in the text box:      median %.2f ms\n", Summarise(filled).median * 1e3);
  std::printf("  lookup in the central directory: median %.2f ms\n", Summarise(lookup).median * 1e3);
  std::printf("  extraction (UnzipMember):        median %.2f ms\n", Summarise(extract).median * 1e3);
  std::printf("  viewer built, loaded and shown:  median %.2f ms\n", Summarise(show).median * 1e3);
#ifdef FRETFILE_HAVE_ZLIB
  const double ours = Summarise(extract).median;
  const double theirs = Summarise(peer).median;
  std::printf("  peer extraction (zlib inflate):  median %.2f ms (ours %.2fx)\n", theirs * 1e3, ours / theirs);
#endif
  std::printf("  target: median under %.0f ms -> %s\n", target * 1e3, w.median < target ? "met" : "NOT met");
  std::fflush(stdout);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  QApplication app(argc, argv);
  platform::SetDialogResponder([](const platform::DialogBox& box) {
    std::fprintf(stderr, "unexpected box: %s\n", box.text.c_str());
    return platform::Answer::Ok;
  });

  const testing_support::TempDir root;
  const std::string& appDir = root.path();
  std::printf("building %d entries, %zu MB, in %s ...\n", kEntries, kArchiveBytes >> 20, appDir.c_str());
  std::vector<Song> songs{{"The Short Song.txt", "The_Short_Song.txt", 5 * 1024, {}},
                          {"The Long Song.txt", "The_Long_Song.txt", 1u << 20, {}}};
  for (Song& song : songs) song.text = bench::SongText(song.bytes, 42);
  BuildCollection(appDir, songs);
  std::printf("archive: %.1f MB\n", static_cast<double>(fs::file_size(appDir + "Bench_Artist.zip")) / (1 << 20));

  int exitCode = 0;
  {
    fretfile::TFormMain form(appDir);
    form.show();
    QCoreApplication::processEvents();
    if (!MeasureSong(form, appDir, songs[0], runs, 0.015)) exitCode = 1;
    if (!MeasureSong(form, appDir, songs[1], runs, 0.050)) exitCode = 1;
  }
  platform::SetDialogResponder(nullptr);
  return exitCode;
}
