// The compression library's Add, against the floor and the peer the issue
// names, each measured as a child process (wall clock, and its peak memory).
//
//   bench_zippack [rewrite | replace | delete | rename | many | memory | all]
//                 [--with PROGRAM]
//
// rewrite: replace, delete and rename side by side, in one run against one
//   peer. replace: one 4 KB song replaces the middle entry of a 500 MB
//   archive of 20,000 stored entries; delete: one song from the middle goes;
//   rename: one song from the middle gets another name. Each against `cp` of
//   the archive followed by `sync` of the copy (the floor for a durable
//   rewrite). Best and median of 5, alternating.
// many: 1,000 song files of about 4 KB added at level 9 into a new archive;
//   against Python's zipfile at level 9 on the same files (run as a peer
//   process, never read). Best and median of 5, alternating.
// memory: peak memory of one replace in a 2 GiB archive of 2,048 entries and
//   in an archive of 60,000 small entries (what memory grows with).
//
// The measured commands are `fretfile-cli add ARCHIVE FILE... --level 9`,
// `fretfile-cli delete ARCHIVE ENTRY` and `fretfile-cli rename ARCHIVE OLD
// NEW`, the whole program a user runs (the archive-update component loading
// libzippack.so beside it); `--with PROGRAM` measures another build's. Scratch files live in a temporary folder under /tmp and are
// removed at the end.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/zip_format.h"
#include "bench_support.h"
#include "support/temp_dir.h"

namespace {

namespace zip = archive::zip;

std::string program = FRETFILE_CLI;

struct ChildRun {
  double seconds = 0;
  double peakMiB = 0;
  int exitCode = -1;
};

ChildRun RunChild(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  ChildRun run;
  std::fflush(stdout);
  const double start = bench::Now();
  const pid_t child = ::fork();
  if (child == 0) {
    if (std::freopen("/dev/null", "w", stdout) == nullptr) ::_exit(127);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  run.seconds = bench::Now() - start;
  run.peakMiB = usage.ru_maxrss / 1024.0;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// The measured Add: ARCHIVE FILE... at level 9.
ChildRun Add(const std::string& archive, const std::vector<std::string>& files) {
  std::vector<std::string> args{program, "add", archive};
  args.insert(args.end(), files.begin(), files.end());
  args.insert(args.end(), {"--level", "9"});
  return RunChild(args);
}

std::string SongText(std::mt19937& random, size_t size) {
  static const char* words[] = {"Am ",   "C ",     "G ",       "F ",     "Em ",    "Dm ",   "love ",  "road ",
                                "night ", "river ", "the ",     "and ",   "we ",    "down ", "home ",  "again ",
                                "verse ", "chorus ", "bridge\n", "[x2]\n", "capo 2\n", "strum ", "slow\n", "\n"};
  std::string text;
  while (text.size() < size) text += words[random() % (sizeof words / sizeof *words)];
  text.resize(size);
  return text;
}

// Writes an archive of stored entries straight to disk (500 MB does not go
// through memory), with the program's own record writers.
void WriteLargeArchive(const std::string& path, int entries, size_t entrySize) {
  std::ofstream out(path, std::ios::binary);
  std::string central;
  std::mt19937 random(1);
  std::string data(entrySize, '\0');
  uint64_t offset = 0;
  for (int i = 0; i < entries; ++i) {
    for (size_t k = 0; k < data.size(); k += 4) {
      const uint32_t r = random();
      std::memcpy(data.data() + k, &r, std::min<size_t>(4, data.size() - k));
    }
    char name[32];
    std::snprintf(name, sizeof name, "Song %05d.txt", i);
    zip::LocalHeader local;
    local.versionNeeded = 10;
    local.time = 0x6000;
    local.date = 0x5A21;
    local.crc = archive::Crc32(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    local.compressedSize = local.uncompressedSize = data.size();
    local.nameLength = static_cast<uint16_t>(std::strlen(name));
    uint8_t fixed[zip::kCentralHeaderLength];
    zip::WriteLocalHeader(local, fixed);
    out.write(reinterpret_cast<const char*>(fixed), zip::kLocalHeaderLength);
    out.write(name, local.nameLength);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    zip::CentralHeader header = zip::CentralHeaderFor(local);
    header.versionMadeBy = 0x031E;
    header.externalAttributes = 0x81A40020;
    header.localHeaderOffset = offset;
    zip::WriteCentralHeader(header, fixed);
    central.append(reinterpret_cast<const char*>(fixed), zip::kCentralHeaderLength).append(name);
    offset += zip::kLocalHeaderLength + local.nameLength + data.size();
  }
  zip::EndRecord end;
  end.entriesOnDisk = end.totalEntries = static_cast<uint16_t>(entries);
  end.directorySize = static_cast<uint32_t>(central.size());
  end.directoryOffset = static_cast<uint32_t>(offset);
  uint8_t endBytes[zip::kEndRecordLength];
  zip::WriteEndRecord(end, endBytes);
  out.write(central.data(), static_cast<std::streamsize>(central.size()));
  out.write(reinterpret_cast<const char*>(endBytes), sizeof endBytes);
  out.close();
  // On the disk before the first run, so that no run pays for writing it.
  const int fd = ::open(path.c_str(), O_RDONLY);
  ::fsync(fd);
  ::close(fd);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Best(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

// One rewrite of the large archive by the program: replace puts a 4 KB song
// in the place of the middle entry, delete removes one song from the middle
// (another one each round), rename gives another song another name (back
// and forth).
ChildRun Rewrite(const std::string& mode, const std::string& archive, const std::string& song, int round) {
  char name[32];
  if (mode == "replace") return Add(archive, {song});
  if (mode == "delete") {
    std::snprintf(name, sizeof name, "Song %05d.txt", 9990 + round);
    return RunChild({program, "delete", archive, name});
  }
  std::snprintf(name, sizeof name, "Song %05d.txt", 10010);
  const std::string renamed = "Renamed 10010.txt";
  return round % 2 == 0 ? RunChild({program, "rename", archive, name, renamed})
                        : RunChild({program, "rename", archive, renamed, name});
}

// Between two measured commands, untimed: the blocks of the file the last
// one replaced are freed in the background (by the library's holder of the
// old archive, or by the peer's removal of its copy), which must not be
// counted against the next one.
void Settle() {
  ::sync();
  ::usleep(300 * 1000);
}

// The rewrites of `modes` against `cp` + `sync` of the same archive, each
// measured in every round, alternating.
void Rewrites(const std::vector<std::string>& modes) {
  constexpr int kEntries = 20000;
  constexpr size_t kEntrySize = 26214;  // 20,000 of them: 500 MiB
  constexpr int kRounds = 5;
  testing_support::TempDir scratch;
  const std::string archive = scratch.File("Big.zip");
  const std::string copy = scratch.File("Copy.zip");
  std::printf("building %d entries of %zu bytes...\n", kEntries, kEntrySize);
  WriteLargeArchive(archive, kEntries, kEntrySize);
  struct stat st{};
  ::stat(archive.c_str(), &st);
  std::mt19937 random(2);
  const std::string song = scratch.File("in/Song 10000.txt");
  testing_support::WriteFile(song, SongText(random, 4096));

  std::vector<std::vector<double>> ours(modes.size());
  std::vector<double> peer, peaks;
  for (int round = 0; round < kRounds; ++round) {
    Settle();
    const ChildRun cp = RunChild({"/bin/sh", "-c", "cp '" + archive + "' '" + copy + "' && sync '" + copy + "'"});
    ::unlink(copy.c_str());
    if (cp.exitCode != 0) {
      std::printf("cp failed (%d)\n", cp.exitCode);
      return;
    }
    peer.push_back(cp.seconds);
    std::printf("  round %d: cp + sync %.3f s", round + 1, cp.seconds);
    for (size_t m = 0; m < modes.size(); ++m) {
      Settle();
      const ChildRun run = Rewrite(modes[m], archive, song, round);
      if (run.exitCode != 0) {
        std::printf("\n%s failed (%d)\n", modes[m].c_str(), run.exitCode);
        return;
      }
      ours[m].push_back(run.seconds);
      peaks.push_back(run.peakMiB);
      std::printf(", %s %.3f s", modes[m].c_str(), run.seconds);
    }
    std::printf("\n");
  }
  std::printf("one song of %.0f MB (%d stored entries)\n", st.st_size / 1e6, kEntries);
  std::printf("| %-28s | %8s | %8s | %-16s |\n", "command", "best", "median", "ratio best/median");
  for (size_t m = 0; m < modes.size(); ++m) {
    const std::string command = "fretfile-cli " + std::string(modes[m] == "replace" ? "add" : modes[m]) + " (" +
                                modes[m] + ")";
    std::printf("| %-28s | %7.3fs | %7.3fs | %5.2fx / %5.2fx  |\n", command.c_str(), Best(ours[m]), Median(ours[m]),
                Best(ours[m]) / Best(peer), Median(ours[m]) / Median(peer));
  }
  std::printf("| %-28s | %7.3fs | %7.3fs | %-16s |\n", "cp + sync", Best(peer), Median(peer), "");
  std::printf("peak memory %.1f MiB\n", *std::max_element(peaks.begin(), peaks.end()));
}

void Memory() {
  struct Shape {
    int entries;
    size_t entrySize;
  };
  for (const Shape shape : {Shape{2048, 1 << 20}, Shape{60000, 200}}) {
    testing_support::TempDir scratch;
    const std::string archive = scratch.File("Big.zip");
    WriteLargeArchive(archive, shape.entries, shape.entrySize);
    struct stat st{};
    ::stat(archive.c_str(), &st);
    std::mt19937 random(4);
    const std::string song = scratch.File("in/Song 01000.txt");
    testing_support::WriteFile(song, SongText(random, 4096));
    const ChildRun add = Add(archive, {song});
    std::printf("replace in %.0f MB of %d entries: %.3f s, peak memory %.1f MiB%s\n", st.st_size / 1e6, shape.entries,
                add.seconds, add.peakMiB, add.exitCode == 0 ? "" : " (failed)");
  }
}

void Many() {
  constexpr int kSongs = 1000;
  testing_support::TempDir scratch;
  std::mt19937 random(3);
  std::vector<std::string> songs;
  uint64_t bytes = 0;
  for (int i = 0; i < kSongs; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "songs/Song %04d.txt", i);
    songs.push_back(scratch.File(name));
    const std::string text = SongText(random, 3000 + random() % 2500);
    bytes += text.size();
    testing_support::WriteFile(songs.back(), text);
  }
  const std::string ourArchive = scratch.File("ours.zip");
  const std::string peerArchive = scratch.File("python.zip");
  std::vector<std::string> python = {"/usr/bin/env", "python3", "-c",
                                     "import sys, zipfile\n"
                                     "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED, compresslevel=9) as z:\n"
                                     "    for f in sys.argv[2:]: z.write(f, f.rsplit('/', 1)[1])\n",
                                     peerArchive};
  python.insert(python.end(), songs.begin(), songs.end());

  std::vector<double> ours, peer, peaks;
  for (int round = 0; round < 5; ++round) {
    ::unlink(ourArchive.c_str());
    ::unlink(peerArchive.c_str());
    const ChildRun py = RunChild(python);
    const ChildRun add = Add(ourArchive, songs);
    if (py.exitCode != 0 || add.exitCode != 0) {
      std::printf("a run failed (python %d, add %d)\n", py.exitCode, add.exitCode);
      return;
    }
    peer.push_back(py.seconds);
    ours.push_back(add.seconds);
    peaks.push_back(add.peakMiB);
  }
  struct stat a{}, b{};
  ::stat(ourArchive.c_str(), &a);
  ::stat(peerArchive.c_str(), &b);
  std::printf("add %d songs (%.2f MB) at level 9 into a new archive\n", kSongs, bytes / 1e6);
  std::printf("| %-24s | %8s | %8s | %10s |\n", "command", "best", "median", "archive");
  std::printf("| %-24s | %7.3fs | %7.3fs | %10lld |\n", "fretfile-cli add", Best(ours),
              Median(ours), static_cast<long long>(a.st_size));
  std::printf("| %-24s | %7.3fs | %7.3fs | %10lld |\n", "python3 zipfile", Best(peer), Median(peer),
              static_cast<long long>(b.st_size));
  std::printf("ratio %.2fx (best), %.2fx (median); peak memory %.1f MiB\n", Best(ours) / Best(peer),
              Median(ours) / Median(peer), *std::max_element(peaks.begin(), peaks.end()));
}

}  // namespace

int main(int argc, char** argv) {
  std::string what = "all";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--with") == 0 && i + 1 < argc) {
      program = argv[++i];
    } else {
      what = argv[i];
    }
  }
  if (what == "rewrite" || what == "all") Rewrites({"replace", "delete", "rename"});
  if (what == "replace" || what == "delete" || what == "rename") Rewrites({what});
  if (what == "many" || what == "all") Many();
  if (what == "memory" || what == "all") Memory();
  return 0;
}
