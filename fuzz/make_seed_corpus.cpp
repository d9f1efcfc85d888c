// Builds the seed corpora of the fuzz targets from the real archives in a
// test-data folder (when it is there): whole archives for the directory and
// archive targets, and every entry's compressed payload (with the control
// bytes the payload targets expect) for the target of its method family;
// and from archives the compression library writes, a spanned set the
// update component writes, and small stub programs with the
// self-extractor's header behind them.
//
//   make_seed_corpus TESTDATA_DIR OUTPUT_DIR
#include <elf.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/zip_find.h"
#include "archive/zip_format.h"
#include "fuzz_support.h"
#include "update/component/zip_updater.h"
#include "update/sfx/sfx_header.h"
#include "update/zippack_abi.h"

extern "C" int32_t ZipPackExec(void* params);

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxSeed = 64 * 1024;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

const char* FamilyOf(uint16_t method) {
  switch (method) {
    case 0: return "unzip_stored";
    case 1: return "unzip_shrink";
    case 2: case 3: case 4: case 5: return "unzip_reduce";
    case 6: return "unzip_implode";
    case 8: return "unzip_deflate";
    default: return nullptr;
  }
}

std::string Control(uint16_t method, uint16_t flags, uint32_t size, uint32_t crc) {
  std::string c(8, '\0');
  uint8_t control = static_cast<uint8_t>(flags & 0x06);
  if (method >= 2 && method <= 5) control |= static_cast<uint8_t>((method - 2) << 3);
  c[0] = static_cast<char>(control);
  c[1] = static_cast<char>(size & 0xFF);
  c[2] = static_cast<char>((size >> 8) & 0xFF);
  c[3] = static_cast<char>((size >> 16) & 0x03);
  for (int i = 0; i < 4; ++i) c[4 + i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
  return c;
}

uint32_t CrcOf(const std::string& s) { return archive::Crc32(reinterpret_cast<const uint8_t*>(s.data()), s.size()); }

std::string FirstEntryName(const fs::path& archivePath) {
  archive::ZipSearchRec rec;
  std::string name;
  if (archive::ZipFindFirst(archivePath.string(), rec) == archive::kZipFindFound) name = rec.FileName;
  archive::ZipFindClose(rec);
  return name;
}

// The seeds of the update targets for one archive: as it is for the
// directory list, and for the library's Add both under the file's own name
// and under the name of the archive's first entry, which it then replaces;
// and that entry renamed and deleted.
int UpdateSeeds(const fs::path& out, const std::string& base, const fs::path& archivePath) {
  const std::string bytes = ReadAll(archivePath);
  if (bytes.size() > kMaxSeed) return 0;
  Write(out / "corpus-dir_list" / base, std::string(1, '\0') + bytes);
  Write(out / "corpus-zippack_add" / base, std::string(2, '\0') + bytes);
  int seeds = 2;
  const std::string first = FirstEntryName(archivePath);
  if (!first.empty() && first.size() < 0x80) {
    Write(out / "corpus-zippack_add" / (base + "-replace"),
          std::string(1, '\0') + static_cast<char>(first.size()) + first + bytes);
    Write(out / "corpus-zippack_add" / (base + "-rename"),
          std::string(1, '\x40') + static_cast<char>(first.size()) + first + bytes);
    Write(out / "corpus-zippack_add" / (base + "-delete"),
          std::string(1, '\xC0') + static_cast<char>(first.size()) + first + bytes);
    seeds += 3;
  }
  return seeds;
}

// Adds files to an archive through the library, each under its own name.
bool AddWithLibrary(const std::string& archivePath, const std::vector<std::string>& files, int level,
                    const char* comment = nullptr) {
  fuzz_support::PackAnswers none;
  std::vector<zippack::ZipFileSpec> specs(files.size());
  std::vector<std::string> names = files;
  for (size_t i = 0; i < files.size(); ++i) specs[i].Source = names[i].data();
  std::string archiveName = archivePath;
  std::string commentText = comment != nullptr ? comment : "";
  zippack::ZipExecParams block{};
  block.Caller = &none;
  block.Version = zippack::kComponentVersion;
  block.Callback = &fuzz_support::AnswerPack;
  block.NoDirEntries = 1;
  block.Quiet = 1;
  block.Level = level;
  block.JunkDirNames = 1;
  block.Grow = 1;
  block.SpecCount = static_cast<int32_t>(specs.size());
  block.ArchiveName = archiveName.data();
  block.ArchiveComment = comment != nullptr ? commentText.data() : nullptr;
  block.Specs = specs.data();
  block.EndMarker = zippack::kEndMarker;
  return ZipPackExec(&block) == static_cast<int32_t>(files.size());
}

// Archives the library writes: deflated and stored entries, a comment, a
// stub in front, an entry replaced; and a set of two volumes the update
// component spreads one of them over.
int WrittenArchiveSeeds(const fs::path& out) {
  const fs::path work = fs::temp_directory_path() / ("fretfile-seeds-" + std::to_string(::getpid()));
  fs::remove_all(work);
  fs::create_directories(work);
  const std::string song = (work / "song.txt").string();
  const std::string chords = (work / "chords.txt").string();
  const std::string tab = (work / "tab.txt").string();
  Write(song, fuzz_support::SmallSong());
  Write(chords, "G C D Em\n");
  std::string tabText;
  for (int bar = 0; bar < 40; ++bar) tabText += "e|---" + std::to_string(bar % 10) + "---|\n";
  Write(tab, tabText);

  int seeds = 0;
  const auto make = [&](const std::string& name, const std::string& prefix, const std::vector<std::string>& files,
                        int level, const char* comment) {
    const std::string path = (work / (name + ".zip")).string();
    if (!prefix.empty()) Write(path, prefix);
    if (!AddWithLibrary(path, files, level, comment)) {
      std::fprintf(stderr, "the library did not write %s\n", name.c_str());
      return;
    }
    seeds += UpdateSeeds(out, "written-" + name, path);
    Write(out / "corpus-zip_find" / ("written-" + name), ReadAll(path));
    ++seeds;
  };
  make("deflated", "", {song, chords, tab}, 6, nullptr);
  make("stored", "", {chords, tab}, 0, "a comment");
  // A stub is something in front of an (empty) archive.
  std::string stub(300, 'S');
  uint8_t emptyEnd[archive::zip::kEndRecordLength];
  archive::zip::WriteEndRecord(archive::zip::EndRecord{}, emptyEnd);
  stub.append(reinterpret_cast<const char*>(emptyEnd), sizeof emptyEnd);
  make("stub", stub, {tab, song}, 6, nullptr);
  make("one", "", {chords}, 0, nullptr);

  // An entry replaced: the archive's bytes around it are copied as they are.
  const std::string replaced = (work / "replaced.zip").string();
  if (AddWithLibrary(replaced, {song, chords, tab}, 6) && AddWithLibrary(replaced, {chords}, 0)) {
    seeds += UpdateSeeds(out, "written-replaced", replaced);
  }

  // Two volumes on a fixed drive: the seed holds both, with the length of
  // the first in front.
  fretfile::TZipUpdater updater;
  updater.Unattended = true;
  const std::string source = (work / "deflated.zip").string();
  const auto sourceSize = static_cast<int32_t>(fs::file_size(source));
  updater.MaxVolumeSize = sourceSize / 2 + 64;
  updater.MinFreeVolumeSize = 64;
  const int32_t spanned = updater.WriteSpan(source, (work / "Set.zip").string());
  if (spanned != 0 || !fs::exists(work / "Set002.zip") || fs::exists(work / "Set003.zip")) {
    std::fprintf(stderr, "no set of two volumes (%d): %s\n", spanned, updater.LastMessage().c_str());
  } else {
    const std::string first = ReadAll(work / "Set001.zip");
    const std::string second = ReadAll(work / "Set002.zip");
    std::string seed(1, '\1');
    seed += static_cast<char>(first.size() & 0xFF);
    seed += static_cast<char>(first.size() >> 8);
    Write(out / "corpus-dir_list" / "written-two-volumes", seed + first + second);
    ++seeds;
  }
  fs::remove_all(work);
  return seeds;
}

template <typename T>
void AppendRaw(std::string& out, const T& value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// A small ELF image of the class of Ehdr (a header, one segment over it,
// one section, and a few bytes of code) with the self-extractor's header and
// an empty end record behind it.
template <typename Ehdr, typename Phdr, typename Shdr>
std::string StubSeed(unsigned char elfClass, uint8_t flags) {
  Ehdr header{};
  std::memcpy(header.e_ident, ELFMAG, SELFMAG);
  header.e_ident[EI_CLASS] = elfClass;
  header.e_ident[EI_DATA] = ELFDATA2LSB;
  header.e_ident[EI_VERSION] = EV_CURRENT;
  header.e_type = ET_EXEC;
  header.e_version = EV_CURRENT;
  header.e_ehsize = sizeof(Ehdr);
  header.e_phoff = sizeof(Ehdr);
  header.e_phentsize = sizeof(Phdr);
  header.e_phnum = 1;
  header.e_shoff = sizeof(Ehdr) + sizeof(Phdr);
  header.e_shentsize = sizeof(Shdr);
  header.e_shnum = 1;
  const std::string code(16, '\x90');
  Phdr segment{};
  segment.p_type = PT_LOAD;
  segment.p_offset = 0;
  segment.p_filesz = sizeof(Ehdr) + sizeof(Phdr) + sizeof(Shdr) + code.size();
  Shdr section{};
  section.sh_type = SHT_PROGBITS;
  section.sh_offset = sizeof(Ehdr) + sizeof(Phdr) + sizeof(Shdr);
  section.sh_size = code.size();
  std::string image;
  AppendRaw(image, header);
  AppendRaw(image, segment);
  AppendRaw(image, section);
  image += code;
  fretfile::sfx::SfxTexts texts{"Songs", "~/songs", "", "Unpacks the songs."};
  image += fretfile::sfx::BuildHeader(flags, texts);
  archive::zip::EndRecord end;
  uint8_t endBytes[archive::zip::kEndRecordLength];
  archive::zip::WriteEndRecord(end, endBytes);
  image.append(reinterpret_cast<const char*>(endBytes), sizeof endBytes);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_seed_corpus TESTDATA_DIR OUTPUT_DIR\n");
    return 2;
  }
  const fs::path testdata = argv[1];
  const fs::path out = argv[2];
  int seeds = WrittenArchiveSeeds(out);
  Write(out / "corpus-sfx_header" / "stub64", StubSeed<Elf64_Ehdr, Elf64_Phdr, Elf64_Shdr>(ELFCLASS64, 0));
  Write(out / "corpus-sfx_header" / "stub32",
        StubSeed<Elf32_Ehdr, Elf32_Phdr, Elf32_Shdr>(ELFCLASS32, fretfile::sfx::kAskFiles));
  seeds += 2;
  std::error_code missing;
  if (!fs::is_directory(testdata, missing)) {
    std::printf("%d seeds written to %s (no test data in %s)\n", seeds, out.string().c_str(), testdata.string().c_str());
    return 0;
  }
  for (const auto& item : fs::recursive_directory_iterator(testdata)) {
    if (!item.is_regular_file()) continue;
    std::string ext = item.path().extension().string();
    for (auto& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (ext != ".zip") continue;
    const std::string bytes = ReadAll(item.path());
    const std::string base = item.path().stem().string();
    Write(out / "corpus-zip_find" / base, bytes);
    Write(out / "corpus-unzip_archive" / base, bytes);
    Write(out / "corpus-walk" / base, bytes);
    seeds += 3 + UpdateSeeds(out, base, item.path());
    archive::ZipSearchRec rec;
    for (int r = archive::ZipFindFirst(item.path().string(), rec); r == 0; r = archive::ZipFindNext(rec)) {
      const char* family = FamilyOf(rec.PackMethod);
      const size_t offset = rec.HeaderOffset;
      archive::zip::LocalHeader header;
      if (family == nullptr || offset + archive::zip::kLocalHeaderLength > bytes.size() ||
          rec.CompressedSize > kMaxSeed ||
          !archive::zip::ParseLocalHeader(reinterpret_cast<const uint8_t*>(bytes.data()) + offset, header)) {
        continue;
      }
      const size_t dataStart = header.DataOffset(offset);
      if (dataStart + rec.CompressedSize > bytes.size()) continue;
      std::string seed = Control(rec.PackMethod, rec.Flags, rec.Size, rec.Crc) +
                         bytes.substr(dataStart, rec.CompressedSize);
      Write(out / (std::string("corpus-") + family) / (base + "-" + rec.FileName), seed);
      ++seeds;
    }
    archive::ZipFindClose(rec);
  }
  // The raw legacy streams that come without an archive around them.
  const fs::path legacy = testdata / "legacy";
  struct Raw {
    const char* stream;
    const char* expanded;
    uint16_t method;
    size_t zeros;
    const char* family;
  };
  const Raw raws[] = {{"implode_hamlet_256.bin", "implode_hamlet_256.out", 6, 0, "unzip_implode"},
                      {"reduce_hamlet_2048.bin", "implode_hamlet_2048.out", 5, 0, "unzip_reduce"},
                      {"reduce_zero_reduced.bin", "implode_hamlet_2048.out", 5, 1024, "unzip_reduce"}};
  for (const auto& raw : raws) {
    if (!fs::exists(legacy / raw.stream) || !fs::exists(legacy / raw.expanded)) continue;
    const std::string expanded = ReadAll(legacy / raw.expanded) + std::string(raw.zeros, '\0');
    const std::string seed = Control(raw.method, 0, static_cast<uint32_t>(expanded.size()), CrcOf(expanded)) +
                             ReadAll(legacy / raw.stream);
    Write(out / (std::string("corpus-") + raw.family) / raw.stream, seed);
    ++seeds;
  }
  std::printf("%d seeds written to %s\n", seeds, out.string().c_str());
  return 0;
}
