// bench_lyrics [ARCHIVES [SONGS [RUNS]]]: the lyrics index (kest.lyrics)
// side by side with its peers, on a generated collection of ARCHIVES
// archives (default 2000) of SONGS deflated songs each (default 50), every
// song about 3 KB of words from a vocabulary of 20,000 with a Zipf-like
// spread, as song words are.
//
//  * building: inserting the same texts from memory into a bare FTS5 table
//    (the same columns and tokenizer) in one transaction, against the
//    program's build of kest.lyrics from the archives in this process, and
//    against a whole `fretfile-cli rebuild` process (kest.idx, then
//    kest.lyrics), whose peak memory is measured too;
//  * a rebuild after one archive changed, against the full build;
//  * (then, and alone with `bench_lyrics save [SONGS [RUNS]]`) one archive
//    of SONGS songs (default 20,000) of about 4 KB, one song of it saved:
//    the update of that archive's songs, which reads the changed entries,
//    against the same update reading the archive whole;
//  * a one-word query and a two-word phrase through a whole
//    `fretfile-cli lyrics` process, against `grep -r -i -l -F` over the
//    same songs written into a folder, one file each.
// Best of RUNS (default 1) each, wall clock, warm files.
//
// bench_lyrics make DIR [ARCHIVES [SONGS]] writes the archives alone into
// DIR, for profiling.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "components/find_file.h"
#include "index/lyrics_index.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace fs = std::filesystem;

namespace {

// The words looked for, planted in a known share of the songs; the
// phrase's words also occur apart, so the phrase is more than its words.
constexpr const char* kWord = "nightingale";
constexpr const char* kPhrase = "broken compass";
constexpr int kWordEvery = 500;
constexpr int kPhraseEvery = 700;
constexpr int kApartEvery = 40;

// Made-up words of two to four syllables, none of them a planted word.
std::vector<std::string> Vocabulary(size_t count) {
  static const char* const syllables[] = {"ka", "lo", "mi", "ren", "tu", "sa", "vel", "do", "ri", "an",
                                          "mo", "ze", "lu", "ta", "ne", "fi", "gar", "su", "el", "on"};
  std::mt19937 random(7);
  std::vector<std::string> words;
  while (words.size() < count) {
    std::string word;
    const int length = 2 + static_cast<int>(random() % 3);
    for (int i = 0; i < length; ++i) word += syllables[random() % std::size(syllables)];
    words.push_back(word);
  }
  return words;
}

struct Collection {
  std::vector<std::string> artists;  // as shown: the archive name without ".zip", "_" as space
  std::vector<std::string> titles;   // per song, as shown
  std::vector<std::string> texts;    // per song
};

// The songs, in memory.
Collection MakeSongs(int archives, int songs, size_t songLength = 3000) {
  const std::vector<std::string> words = Vocabulary(20000);
  std::vector<double> cumulative(words.size());
  double sum = 0;
  for (size_t r = 0; r < words.size(); ++r) cumulative[r] = sum += 1.0 / static_cast<double>(r + 1);
  std::mt19937 random(1234);
  std::uniform_real_distribution<double> uniform(0, sum);
  const auto word = [&]() -> const std::string& {
    return words[static_cast<size_t>(std::lower_bound(cumulative.begin(), cumulative.end(), uniform(random)) -
                                     cumulative.begin())];
  };
  Collection c;
  for (int a = 0; a < archives; ++a) {
    c.artists.push_back("Artist " + word() + " " + std::to_string(a));
    for (int s = 0; s < songs; ++s) {
      const int n = a * songs + s;
      c.titles.push_back(word() + " " + word() + " " + std::to_string(s) + ".txt");
      std::string text;
      while (text.size() < songLength) {
        const int count = 4 + static_cast<int>(random() % 6);
        for (int i = 0; i < count; ++i) {
          if (i > 0) text += ' ';
          text += word();
        }
        text += "\r\n";
        if (text.size() > 1500 && text.size() < 1600) {
          if (n % kWordEvery == 0) text += std::string("the ") + kWord + " sings\r\n";
          if (n % kPhraseEvery == 0) text += std::string("a ") + kPhrase + " points\r\n";
          if (n % kApartEvery == 0) text += "broken hearts and a compass\r\n";
        }
      }
      c.texts.push_back(std::move(text));
    }
  }
  return c;
}

std::string FileNameOf(const std::string& shown) {
  std::string name = shown;
  std::replace(name.begin(), name.end(), ' ', '_');
  return name;
}

// The archive's songs, `extra` added to each, or to song `onlySong` alone.
void WriteArchive(const Collection& c, int archive, int songs, const fs::path& dir, const std::string& extra = {},
                  int onlySong = -1) {
  testing_support::ZipBuilder zip;
  for (int s = 0; s < songs; ++s) {
    const size_t n = static_cast<size_t>(archive) * static_cast<size_t>(songs) + static_cast<size_t>(s);
    zip.Add(FileNameOf(c.titles[n]), onlySong < 0 || onlySong == s ? c.texts[n] + extra : c.texts[n], 8);
  }
  zip.WriteTo((dir / (FileNameOf(c.artists[static_cast<size_t>(archive)]) + ".zip")).string());
}

void Check(int result, sqlite3* db) {
  if (result != SQLITE_OK && result != SQLITE_DONE && result != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::exit(1);
  }
}

// The peer: the texts from memory into a bare FTS5 table, one transaction.
double PeerBuild(const Collection& c, int songs, const fs::path& file) {
  fs::remove(file);
  const double start = bench::Now();
  sqlite3* db = nullptr;
  Check(sqlite3_open(file.c_str(), &db), db);
  Check(sqlite3_exec(db,
                     "CREATE VIRTUAL TABLE lyrics USING fts5(artist, title, text,"
                     " tokenize = 'unicode61 remove_diacritics 2'); BEGIN",
                     nullptr, nullptr, nullptr),
        db);
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db, "INSERT INTO lyrics(artist, title, text) VALUES(?, ?, ?)", -1, &insert, nullptr), db);
  for (size_t n = 0; n < c.texts.size(); ++n) {
    const std::string& artist = c.artists[n / static_cast<size_t>(songs)];
    sqlite3_bind_text(insert, 1, artist.data(), static_cast<int>(artist.size()), SQLITE_STATIC);
    sqlite3_bind_text(insert, 2, c.titles[n].data(), static_cast<int>(c.titles[n].size()), SQLITE_STATIC);
    sqlite3_bind_text(insert, 3, c.texts[n].data(), static_cast<int>(c.texts[n].size()), SQLITE_STATIC);
    Check(sqlite3_step(insert), db);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
  sqlite3_close(db);
  return bench::Now() - start;
}

// The program's build of kest.lyrics alone, from the archives, in this process.
double CoreBuild(const fs::path& dir) {
  fs::remove(dir / "kest.lyrics");
  const double start = bench::Now();
  fretfile::TFindFile finder;
  finder.SetDirectory(dir.string() + "/");
  finder.SetFilter("*.zip");
  finder.Execute();
  if (!fretfile::UpdateLyricsIndex(dir.string() + "/", finder.Files())) std::abort();
  return bench::Now() - start;
}

// Runs programs from a process forked while this one was still small. The
// peak memory Linux gives a process counts the memory it had when it
// started its program, which for a process started from this one, with the
// songs in memory, is this one's: so the rebuild's own peak memory is
// measured from here.
class SmallSpawner {
 public:
  struct Result {
    double wall = 0;
    long maxRssKiB = 0;
    bool ok = false;
  };

  SmallSpawner() {
    if (::pipe(commands_) != 0 || ::pipe(results_) != 0) std::abort();
    server_ = ::fork();
    if (server_ == 0) {
      ::close(commands_[1]);
      ::close(results_[0]);
      Serve();
      ::_exit(0);
    }
    ::close(commands_[0]);
    ::close(results_[1]);
  }
  ~SmallSpawner() {
    ::close(commands_[1]);
    ::close(results_[0]);
    ::waitpid(server_, nullptr, 0);
  }
  SmallSpawner(const SmallSpawner&) = delete;
  SmallSpawner& operator=(const SmallSpawner&) = delete;

  // Runs the program with its output and errors going to /dev/null.
  Result Run(const std::vector<std::string>& argv) {
    std::string command;
    for (const std::string& arg : argv) command.append(arg).push_back('\0');
    const uint32_t size = static_cast<uint32_t>(command.size());
    Result result;
    if (!WriteAll(commands_[1], &size, sizeof size) || !WriteAll(commands_[1], command.data(), size) ||
        !ReadAll(results_[0], &result, sizeof result)) {
      std::abort();
    }
    return result;
  }

 private:
  static bool WriteAll(int fd, const void* data, size_t size) {
    for (const char* p = static_cast<const char*>(data); size > 0;) {
      const ssize_t n = ::write(fd, p, size);
      if (n <= 0) return false;
      p += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }
  static bool ReadAll(int fd, void* data, size_t size) {
    for (char* p = static_cast<char*>(data); size > 0;) {
      const ssize_t n = ::read(fd, p, size);
      if (n <= 0) return false;
      p += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }

  void Serve() {
    uint32_t size = 0;
    while (ReadAll(commands_[0], &size, sizeof size)) {
      std::string command(size, '\0');
      if (!ReadAll(commands_[0], command.data(), size)) return;
      std::vector<char*> args;
      for (size_t at = 0; at < command.size(); at = command.find('\0', at) + 1) args.push_back(&command[at]);
      args.push_back(nullptr);
      Result result;
      const double start = bench::Now();
      const pid_t child = ::fork();
      if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execv(args[0], args.data());
        ::_exit(127);
      }
      int status = 0;
      struct rusage usage {};
      ::wait4(child, &status, 0, &usage);
      result.wall = bench::Now() - start;
      result.maxRssKiB = usage.ru_maxrss;
      result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
      if (!WriteAll(results_[1], &result, sizeof result)) return;
    }
  }

  int commands_[2] = {-1, -1};
  int results_[2] = {-1, -1};
  pid_t server_ = -1;
};

// One artist's archive of `songs` songs of about 4 KB, indexed; then, each
// run, one song of it saved again with a line more, and the archive's songs
// brought up to date as a save does (UpdateLyricsOfArchive), against the
// same update reading the archive whole, as it did before it compared
// entries.
int BenchOneSongSaved(int songs, int runs) {
  testing_support::TempDir scratch;
  const fs::path dir = fs::path(scratch.path()) / "collection";
  fs::create_directories(dir);
  const Collection c = MakeSongs(1, songs, 4000);
  WriteArchive(c, 0, songs, dir);
  const std::string appDir = dir.string() + "/";
  const std::string archive = appDir + FileNameOf(c.artists[0]) + ".zip";
  if (!fretfile::UpdateLyricsIndex(appDir, {archive})) return 1;
  std::printf("one archive of %d songs, %.1f MiB; one song of it saved\n", songs,
              static_cast<double>(fs::file_size(archive)) / (1 << 20));

  double changed = 1e9, whole = 1e9;
  for (int run = 0; run < runs; ++run) {
    for (const fretfile::ArchiveReading reading :
         {fretfile::ArchiveReading::Whole, fretfile::ArchiveReading::ChangedEntries}) {
      const bool all = reading == fretfile::ArchiveReading::Whole;
      WriteArchive(c, 0, songs, dir, "saved " + std::to_string(run * 2 + (all ? 0 : 1)) + "\r\n", songs / 2);
      const double start = bench::Now();
      fretfile::UpdateLyricsOfArchive(appDir, archive, reading);
      (all ? whole : changed) = std::min(all ? whole : changed, bench::Now() - start);
    }
  }
  std::printf("\nUpdateLyricsOfArchive                 seconds   / reading it whole\n");
  std::printf("  reading the archive whole           %7.3f\n", whole);
  std::printf("  reading the changed entries         %7.3f   %.3fx\n", changed, changed / whole);
  return 0;
}

std::string Sibling(const std::string& relative) {
  return (fs::read_symlink("/proc/self/exe").parent_path() / relative).lexically_normal().string();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "save") {
    const int songs = argc > 2 ? std::atoi(argv[2]) : 20000;
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
    if (songs < 2 || !testing_support::HaveZlib()) {
      std::fprintf(stderr, "usage: bench_lyrics save [SONGS [RUNS]] (needs zlib for its archive)\n");
      return 2;
    }
    return BenchOneSongSaved(songs, runs);
  }
  if (argc > 2 && std::string(argv[1]) == "make") {
    const int archives = argc > 3 ? std::atoi(argv[3]) : 2000;
    const int songs = argc > 4 ? std::atoi(argv[4]) : 50;
    const Collection c = MakeSongs(archives, songs);
    fs::create_directories(argv[2]);
    for (int a = 0; a < archives; ++a) WriteArchive(c, a, songs, argv[2]);
    return 0;
  }
  const int archives = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int songs = argc > 2 ? std::atoi(argv[2]) : 50;
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
  if (archives < 1 || songs < 1 || !testing_support::HaveZlib()) {
    std::fprintf(stderr, "usage: bench_lyrics [ARCHIVES [SONGS [RUNS]]] (needs zlib for its archives)\n");
    return 2;
  }
  const std::string cli = Sibling("../tools/fretfile-cli");
  SmallSpawner spawner;  // before the songs fill this process
  testing_support::TempDir scratch;
  const fs::path dir = fs::path(scratch.path()) / "collection";
  const fs::path extracted = fs::path(scratch.path()) / "extracted";
  fs::create_directories(dir);

  double start = bench::Now();
  const Collection c = MakeSongs(archives, songs);
  size_t textBytes = 0;
  for (const auto& text : c.texts) textBytes += text.size();
  for (int a = 0; a < archives; ++a) WriteArchive(c, a, songs, dir);
  for (size_t n = 0; n < c.texts.size(); ++n) {
    const fs::path folder = extracted / FileNameOf(c.artists[n / static_cast<size_t>(songs)]);
    fs::create_directories(folder);
    testing_support::WriteFile((folder / FileNameOf(c.titles[n])).string(), c.texts[n]);
  }
  std::printf("collection: %d archives, %zu songs, %.1f MiB of text (made in %.1f s)\n", archives, c.texts.size(),
              static_cast<double>(textBytes) / (1 << 20), bench::Now() - start);

  double peer = 1e9, core = 1e9, whole = 1e9;
  long peakKiB = 0;
  for (int run = 0; run < runs; ++run) {
    peer = std::min(peer, PeerBuild(c, songs, fs::path(scratch.path()) / "peer.db"));
    core = std::min(core, CoreBuild(dir));
    fs::remove(dir / "kest.lyrics");
    const SmallSpawner::Result rebuild = spawner.Run({cli, "rebuild", "--dir", dir.string()});
    if (!rebuild.ok) return 1;
    whole = std::min(whole, rebuild.wall);
    peakKiB = std::max(peakKiB, rebuild.maxRssKiB);
  }
  std::printf("\nbuilding                          seconds   / bare FTS5 (target <= 1.3x)\n");
  std::printf("  bare FTS5 table, from memory    %7.2f\n", peer);
  std::printf("  kest.lyrics from the archives   %7.2f   %.2fx\n", core, core / peer);
  std::printf("  fretfile-cli rebuild (both)     %7.2f   %.2fx\n", whole, whole / peer);
  std::printf("  peak memory of the rebuild      %7.1f MiB (target < 64 MiB)\n",
              static_cast<double>(peakKiB) / 1024);
  std::printf("  kest.lyrics: %.1f MiB\n", static_cast<double>(fs::file_size(dir / "kest.lyrics")) / (1 << 20));

  double again = 1e9;
  long againKiB = 0;
  for (int run = 0; run < runs; ++run) {
    WriteArchive(c, archives / 2, songs, dir, "changed " + std::to_string(run) + "\r\n");
    const SmallSpawner::Result rebuild = spawner.Run({cli, "rebuild", "--dir", dir.string()});
    if (!rebuild.ok) return 1;
    again = std::min(again, rebuild.wall);
    againKiB = std::max(againKiB, rebuild.maxRssKiB);
  }
  std::printf("\none archive changed               seconds   / full rebuild (target <= 0.1x)\n");
  std::printf("  fretfile-cli rebuild            %7.2f   %.3fx  (peak %.1f MiB)\n", again, again / whole,
              static_cast<double>(againKiB) / 1024);

  std::printf("\nquery                    hits   fretfile-cli lyrics   grep -r -i -l -F   ratio (target <= 0.05x)\n");
  const fs::path out = fs::path(scratch.path()) / "out";
  for (const std::string& query : {std::string(kWord), std::string(kPhrase)}) {
    const std::string lyricsQuery = query.find(' ') == std::string::npos ? query : "\"" + query + "\"";
    double ours = 1e9, grep = 1e9;
    bench::RunProgram({cli, "lyrics", "--dir", dir.string(), lyricsQuery}, out.string());  // warm
    for (int run = 0; run < std::max(runs, 3); ++run) {
      const bench::ProcessTimes lyrics =
          bench::RunProgram({cli, "lyrics", "--dir", dir.string(), lyricsQuery}, out.string());
      if (!lyrics.ok) return 1;
      ours = std::min(ours, lyrics.wall);
    }
    size_t hits = 0;
    for (const std::string& line : {testing_support::ReadFile(out.string())}) hits = std::count(line.begin(), line.end(), '\n');
    size_t grepHits = 0;
    for (int run = 0; run < std::max(runs, 2); ++run) {
      const bench::ProcessTimes g = bench::RunProgram({"grep", "-r", "-i", "-l", "-F", query, extracted.string()}, out.string());
      if (!g.ok) return 1;
      grep = std::min(grep, g.wall);
    }
    const std::string listed = testing_support::ReadFile(out.string());
    grepHits = static_cast<size_t>(std::count(listed.begin(), listed.end(), '\n'));
    std::printf("  %-20s %6zu   %8.3f s           %8.3f s (%zu files)  %.3fx\n", lyricsQuery.c_str(), hits, ours, grep,
                grepHits, ours / grep);
  }
  std::printf("\n");
  return BenchOneSongSaved(20000, runs);
}
