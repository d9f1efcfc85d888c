// bench_index_follow [ARCHIVES [ENTRIES [RUNS]]]: a collection whose
// kest.idx has ARCHIVES x ENTRIES lines (default 2,000 x 500 = 1,000,000
// small stored songs), then, best of RUNS (default 3) on warm files:
//   - the rebuild that reads every archive (IndexRebuild::Run with
//     RebuildScope::EveryArchive; kest.lyrics is current, so its part is a
//     stat per archive);
//   - the rebuild that reads only the changed archives, after one archive
//     changed;
//   - UpdateIndexOfArchive after one song was added to one archive, and
//     after one was deleted from it (the archive rewritten each time);
//   - a whole `fretfile-cli add` of one song into one archive, with and
//     without --no-index: what following the change costs the user.
// Wall clock and CPU time (user + system of the whole process, threads
// included: what the work costs whatever else the machine does), each the
// best of the runs. The first build of both indexes is timed once. Every
// followed kest.idx is compared with the one a full rebuild writes.
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/tzip.h"
#include "bench_support.h"
#include "components/find_file.h"
#include "index/index_follow.h"
#include "index/rebuild.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace fs = std::filesystem;

namespace {

double CpuNow() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// The best wall-clock and CPU time of the runs of one job.
struct Best {
  double wall = 1e9;
  double cpu = 1e9;
  template <typename Job>
  void Time(Job job) {
    const double wallStart = bench::Now();
    const double cpuStart = CpuNow();
    job();
    cpu = std::min(cpu, CpuNow() - cpuStart);
    wall = std::min(wall, bench::Now() - wallStart);
  }
};

class QuietEffects : public fretfile::RebuildEffects {
 public:
  bool Confirm(const std::string&) override { return true; }
  void ShowMessage(const std::string&) override {}
  void ShowStatus(const std::string& text) override {
    if (text.starts_with(fretfile::kProcessingStatus)) ++processed;
  }
  void SetBusy(bool) override {}
  int processed = 0;
};

// One archive of small stored songs; `extra` adds one more at the end.
void WriteArchive(const std::string& path, int archive, int entries, bool extra) {
  testing_support::ZipBuilder songs;
  for (int e = 0; e < entries; ++e) {
    songs.Add("Song_" + std::to_string(archive) + "_" + std::to_string(e) + ".txt",
              "la la " + std::to_string(e) + "\r\n");
  }
  if (extra) songs.Add("Added_Song.txt", "a new song\r\n");
  songs.WriteTo(path);
}

std::string ArchivePath(const fs::path& dir, int archive) {
  return (dir / ("Band_" + std::to_string(archive) + ".zip")).string();
}

// One rebuild; the number of "Processing" texts it showed goes to `read`.
void Rebuild(const fs::path& dir, fretfile::RebuildScope scope, int& read) {
  fretfile::TFindFile finder;
  fretfile::TZipFile zip;
  fretfile::IndexRebuild rebuild(finder, zip);
  QuietEffects effects;
  if (rebuild.Run(dir.string() + "/", effects, false, scope) != fretfile::RebuildResult::Created) std::abort();
  read = effects.processed;
}

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
  const int archives = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int entries = argc > 2 ? std::atoi(argv[2]) : 500;
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  const testing_support::TempDir scratch;
  const fs::path dir = scratch.path() + "collection";
  fs::create_directories(dir);
  const std::string appDir = dir.string() + "/";

  const double start = bench::Now();
  for (int a = 0; a < archives; ++a) WriteArchive(ArchivePath(dir, a), a, entries, false);
  uintmax_t bytes = 0;
  for (const auto& item : fs::directory_iterator(dir)) bytes += item.file_size();
  std::printf("collection: %d archives x %d stored songs, %.1f MiB (made in %.1f s)\n", archives, entries,
              static_cast<double>(bytes) / (1 << 20), bench::Now() - start);

  int read = 0;
  Best firstBuild;
  firstBuild.Time([&] { Rebuild(dir, fretfile::RebuildScope::EveryArchive, read); });
  const std::string fullIndex = ReadAll(dir / "kest.idx");
  const size_t lines = static_cast<size_t>(std::count(fullIndex.begin(), fullIndex.end(), '\n'));
  std::printf("first build (kest.idx and kest.lyrics from nothing): %.2f s, %zu lines, kest.idx %.1f MiB\n",
              firstBuild.wall, lines, static_cast<double>(fullIndex.size()) / (1 << 20));

  const std::string changed = ArchivePath(dir, archives / 2);
  Best full, incremental, added, deleted;
  int incrementalRead = 0;
  bool same = true;
  for (int run = 0; run < runs; ++run) {
    full.Time([&] { Rebuild(dir, fretfile::RebuildScope::EveryArchive, read); });
    const std::string rebuilt = ReadAll(dir / "kest.idx");

    // One song added to one archive, the indexes following it.
    WriteArchive(changed, archives / 2, entries, true);
    added.Time([&] { fretfile::UpdateIndexOfArchive(appDir, changed); });
    const std::string followedAdd = ReadAll(dir / "kest.idx");
    Rebuild(dir, fretfile::RebuildScope::EveryArchive, read);
    same = same && followedAdd == ReadAll(dir / "kest.idx");

    // And deleted again.
    WriteArchive(changed, archives / 2, entries, false);
    deleted.Time([&] { fretfile::UpdateIndexOfArchive(appDir, changed); });
    same = same && ReadAll(dir / "kest.idx") == rebuilt;

    // The same change, left to the next rebuild.
    WriteArchive(changed, archives / 2, entries, run % 2 == 0);
    incremental.Time([&] { Rebuild(dir, fretfile::RebuildScope::ChangedArchives, incrementalRead); });
    const std::string incrementalIndex = ReadAll(dir / "kest.idx");
    Rebuild(dir, fretfile::RebuildScope::EveryArchive, read);
    same = same && incrementalIndex == ReadAll(dir / "kest.idx");
    WriteArchive(changed, archives / 2, entries, false);
    fretfile::UpdateIndexOfArchive(appDir, changed);
  }
  const auto report = [&](const char* job, const Best& best) {
    std::printf("%s: %.3f s wall (%.3fx the full rebuild), %.3f s CPU (%.3fx)\n", job, best.wall, best.wall / full.wall,
                best.cpu, best.cpu / full.cpu);
  };
  std::printf("full rebuild (every archive read): %.3f s wall, %.3f s CPU\n", full.wall, full.cpu);
  report("rebuild after one archive changed", incremental);
  std::printf("  (%d archive read for kest.idx)\n", incrementalRead / 2);
  report("UpdateIndexOfArchive after a song was added", added);
  report("UpdateIndexOfArchive after a song was deleted", deleted);
  std::printf("followed kest.idx equal to the full rebuild's: %s\n", same ? "yes" : "NO");

  // The whole command, with and without the indexes following.
  const std::string song = scratch.path() + "New_Song.txt";
  {
    std::ofstream out(song, std::ios::binary);
    out << "a song added from the command line\r\n";
  }
  double withIndex = 1e9, withoutIndex = 1e9;
  for (int run = 0; run < runs; ++run) {
    const std::string target = ArchivePath(dir, (run * 7) % archives);
    const bench::ProcessTimes plain =
        bench::RunProgram({FRETFILE_CLI, "add", target, song, "--no-index"}, scratch.path() + "out");
    const bench::ProcessTimes followed = bench::RunProgram(
        {FRETFILE_CLI, "add", ArchivePath(dir, (run * 7 + 3) % archives), song}, scratch.path() + "out");
    if (!plain.ok || !followed.ok) std::abort();
    withoutIndex = std::min(withoutIndex, plain.wall);
    withIndex = std::min(withIndex, followed.wall);
  }
  std::printf("fretfile-cli add of one song: %.3f s with the indexes following, %.3f s with --no-index\n", withIndex,
              withoutIndex);
  return same ? 0 : 1;
}
