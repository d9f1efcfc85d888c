// bench_rebuild [ARCHIVES] [ENTRIES]: times the index rebuild (listing the
// collection, walking every archive's local headers, writing kest.idx)
// against a peer that lists the same archives' entries from their central
// directories with libzip and writes the same lines. Both run in the same
// process on the same warm files, alternately, best of five. Then the
// rebuild's peak memory is measured in child processes over a quarter of
// the collection and over all of it.
#include <strings.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "archive/tzip.h"
#include "bench_support.h"
#include "components/find_file.h"
#include "index/rebuild.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

#ifdef FRETFILE_HAVE_LIBZIP
#include <zip.h>
#endif

namespace fs = std::filesystem;

namespace {

const char* const kWords[] = {"love", "river", "night", "blue",  "road",  "heart", "rain",  "fire",
                              "home", "train", "moon",  "dream", "world", "song",  "light", "time"};

std::string Words(std::mt19937& random, int count, char separator) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (i > 0) text += separator;
    text += kWords[random() % std::size(kWords)];
  }
  return text;
}

// Archives of deflated songs, as a zip tool writes them.
void Generate(const fs::path& dir, int archives, int entries) {
  std::mt19937 random(1234);
  for (int a = 0; a < archives; ++a) {
    testing_support::ZipBuilder songs;
    for (int e = 0; e < entries; ++e) {
      std::string title = Words(random, 1 + static_cast<int>(random() % 4), '_') + "_" + std::to_string(e);
      std::string text;
      const int lines = 20 + static_cast<int>(random() % 40);
      for (int l = 0; l < lines; ++l) text += Words(random, 4 + static_cast<int>(random() % 5), ' ') + "\r\n";
      songs.Add(title + (e % 3 == 0 ? ".crd" : ".txt"), text, 8);
    }
    const std::string name = Words(random, 1 + static_cast<int>(random() % 3), '_') + "_" + std::to_string(a) + ".zip";
    songs.WriteTo((dir / name).string());
  }
}

class QuietEffects : public fretfile::RebuildEffects {
 public:
  bool Confirm(const std::string&) override { return true; }
  void ShowMessage(const std::string&) override {}
  void ShowStatus(const std::string&) override {}
  void SetBusy(bool) override {}
};

double RunRebuild(const fs::path& dir) {
  const double start = bench::Now();
  fretfile::TFindFile finder;
  fretfile::TZipFile zip;
  fretfile::IndexRebuild rebuild(finder, zip);
  QuietEffects effects;
  if (rebuild.Run(dir.string() + "/", effects, false) != fretfile::RebuildResult::Created) std::abort();
  return bench::Now() - start;
}

#ifdef FRETFILE_HAVE_LIBZIP
// The same job with libzip: list the *.zip files, read each central
// directory, write archive<>entry lines (with the same "_" to space).
double RunLibzipPeer(const fs::path& dir, const fs::path& output, size_t& lines) {
  const double start = bench::Now();
  FILE* out = std::fopen(output.c_str(), "wb");
  std::vector<char> buffer(64 * 1024);
  std::setvbuf(out, buffer.data(), _IOFBF, buffer.size());
  lines = 0;
  for (const auto& item : fs::directory_iterator(dir)) {
    const std::string name = item.path().filename().string();
    if (name.size() < 4 || strcasecmp(name.c_str() + name.size() - 4, ".zip") != 0) continue;
    int error = 0;
    zip_t* archive = zip_open(item.path().c_str(), ZIP_RDONLY, &error);
    if (archive == nullptr) continue;
    std::string base = name.substr(0, name.size() - 4);
    std::replace(base.begin(), base.end(), '_', ' ');
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
      std::string entry = zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
      std::replace(entry.begin(), entry.end(), '_', ' ');
      std::fprintf(out, "%s<>%s\r\n", base.c_str(), entry.c_str());
      ++lines;
    }
    zip_discard(archive);
  }
  std::fclose(out);
  return bench::Now() - start;
}
#endif

// Max RSS (KiB) of a child process that runs one rebuild of dir.
long RebuildPeakKiB(const fs::path& dir) {
  const pid_t child = fork();
  if (child == 0) {
    RunRebuild(dir);
    _exit(0);
  }
  int status = 0;
  struct rusage usage{};
  wait4(child, &status, 0, &usage);
  return usage.ru_maxrss;
}

size_t CountLines(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return static_cast<size_t>(std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
}

}  // namespace

int main(int argc, char** argv) {
  const int archives = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int entries = argc > 2 ? std::atoi(argv[2]) : 50;
  if (!testing_support::HaveZlib()) {
    std::fprintf(stderr, "bench_rebuild needs zlib to make its deflated archives\n");
    return 1;
  }
  const testing_support::TempDir scratch;
  const fs::path root = scratch.path();
  const fs::path all = root / "all";
  const fs::path quarter = root / "quarter";
  fs::create_directories(all);
  fs::create_directories(quarter);

  const double start = bench::Now();
  Generate(all, archives, entries);
  uintmax_t bytes = 0;
  int linked = 0;
  for (const auto& item : fs::directory_iterator(all)) {
    bytes += item.file_size();
    if (linked < archives / 4) {
      fs::create_hard_link(item.path(), quarter / item.path().filename());
      ++linked;
    }
  }
  std::printf("collection: %d archives x %d deflated entries = %d entries, %.1f MiB (made in %.1f s)\n", archives,
              entries, archives * entries, static_cast<double>(bytes) / (1 << 20), bench::Now() - start);

  double bestRebuild = 1e9;
  double bestPeer = 1e9;
  size_t peerLines = 0;
  for (int round = 0; round < 5; ++round) {
    bestRebuild = std::min(bestRebuild, RunRebuild(all));
#ifdef FRETFILE_HAVE_LIBZIP
    bestPeer = std::min(bestPeer, RunLibzipPeer(all, root / "peer.idx", peerLines));
#endif
  }
  const size_t indexLines = CountLines(all / "kest.idx");
  std::printf("rebuild (list + walk + write kest.idx): %.3f s, %zu lines\n", bestRebuild, indexLines);
#ifdef FRETFILE_HAVE_LIBZIP
  std::printf("libzip (list + central directories + write): %.3f s, %zu lines\n", bestPeer, peerLines);
  std::printf("ratio rebuild / libzip: %.2fx (target <= 1.5x)\n", bestRebuild / bestPeer);
#else
  std::printf("libzip not found: no peer figure\n");
#endif

  const long quarterKiB = RebuildPeakKiB(quarter);
  const long allKiB = RebuildPeakKiB(all);
  std::printf("peak memory of a rebuild: %d archives %.1f MiB, %d archives %.1f MiB (difference %.2f MiB)\n", linked,
              quarterKiB / 1024.0, archives, allKiB / 1024.0, (allKiB - quarterKiB) / 1024.0);

  return 0;
}
