// Search benchmark: one search of a 1,000,000-line index, grid filling
// included, side by side with `LC_ALL=C grep -c -i -F` on the same file.
//
// Each search runs in a child process so its peak memory (max RSS) is its
// own; the figure is compared with the index file's size.
//
// usage: bench_search [LINES]    (default 1000000)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "index/index_file.h"
#include "index/search.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* const kWords[] = {"Love",  "Night", "River", "Blue",   "Train", "Heart", "Road",  "Moon",   "Rain",
                              "Fire",  "Home",  "Wild",  "Summer", "Black", "Gold",  "Dance", "Little", "Old",
                              "Sweet", "Stone", "Ghost", "Silver", "Light", "Time",  "Devil", "Angel",  "Morning"};

std::string Words(std::mt19937& random, int count, const char* separator) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (i > 0) text += separator;
    text += kWords[random() % std::size(kWords)];
  }
  return text;
}

// Artists of one to three words, titles of one to five, a tenth of them with
// a "_" left in (names typed with both), extensions of a few kinds.
std::string MakeIndex(const std::string& path, size_t lines) {
  std::mt19937 random(1234);
  std::vector<std::string> artists;
  for (int i = 0; i < 20000; ++i) artists.push_back(Words(random, 1 + static_cast<int>(random() % 3), random() % 10 ? " " : "_"));
  const char* const extensions[] = {".txt", ".chopro", ".crd", ".tab", ".pdf"};
  std::ofstream out(path, std::ios::binary);
  for (size_t i = 0; i < lines; ++i) {
    const std::string& artist = artists[(i / 50) % artists.size()];
    out << artist << "<>" << Words(random, 1 + static_cast<int>(random() % 5), random() % 10 ? " " : "_")
        << extensions[random() % std::size(extensions)] << "\r\n";
  }
  return path;
}

struct Measured {
  double seconds = 0;
  long maxRssKiB = 0;
  size_t hits = 0;
};

// Runs the search in a child; the child writes back its time and hit count.
Measured MeasureSearch(const std::string& indexPath, const fretfile::SearchQuery& query) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) std::exit(1);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeFds[0]);
    const auto start = Clock::now();
    const fretfile::IndexText index = fretfile::IndexText::Load(indexPath);
    fretfile::StringGridCells grid;
    Measured result;
    result.hits = fretfile::FillGridWithHits(index, grid, query);
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (::write(pipeFds[1], &result, sizeof result) != sizeof result) ::_exit(1);
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  Measured result;
  if (::read(pipeFds[0], &result, sizeof result) != sizeof result) std::exit(1);
  ::close(pipeFds[0]);
  int status = 0;
  struct rusage usage{};
  ::wait4(child, &status, 0, &usage);
  result.maxRssKiB = usage.ru_maxrss;
  return result;
}

double TimeGrep(const std::string& word, const std::string& indexPath) {
  // Not to /dev/null: GNU grep stops at the first match when it sees that.
  const std::string command = "LC_ALL=C grep -c -i -F '" + word + "' '" + indexPath + "' > " + indexPath + ".count";
  const auto start = Clock::now();
  if (std::system(command.c_str()) == -1) return -1;
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const size_t lines = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
  const std::string path = (std::filesystem::temp_directory_path() / "fretfile-bench-kest.idx").string();
  MakeIndex(path, lines);
  const double fileMiB = static_cast<double>(std::filesystem::file_size(path)) / (1024.0 * 1024.0);
  std::printf("index: %zu lines, %.1f MiB\n\n", lines, fileMiB);

  struct Case {
    const char* name;
    fretfile::SearchQuery query;
    const char* grepWord;
  };
  const Case cases[] = {
      {"partial artist + partial title", {"river", "love", false, false}, "love"},
      {"exact artist + exact title", {"River Blue", "Night Train", true, true}, "night train"},
      {"both boxes empty (every line)", {"", "", false, false}, "<>"},
  };
  std::printf("%-32s %10s %10s %8s %10s %9s %9s\n", "search", "hits", "fretfile", "grep", "ratio", "peak MiB", "x file");
  for (const auto& c : cases) {
    Measured best;
    best.seconds = 1e9;
    for (int run = 0; run < 3; ++run) {
      const Measured m = MeasureSearch(path, c.query);
      if (m.seconds < best.seconds) best = m;
    }
    double grepBest = 1e9;
    for (int run = 0; run < 3; ++run) grepBest = std::min(grepBest, TimeGrep(c.grepWord, path));
    const double peakMiB = static_cast<double>(best.maxRssKiB) / 1024.0;
    std::printf("%-32s %10zu %9.3fs %7.3fs %9.1fx %9.1f %8.2fx\n", c.name, best.hits, best.seconds, grepBest,
                best.seconds / grepBest, peakMiB, peakMiB / fileMiB);
  }
  std::filesystem::remove(path);
  std::filesystem::remove(path + ".count");
  return 0;
}
