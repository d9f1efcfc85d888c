// Search benchmark: searches of a 1,000,000-line index side by side with
// `LC_ALL=C grep -i -F` writing its matching lines to a file.
//
// For each query:
//  * core: loading the index and filling the grid's cells, in a child
//    process so that its peak memory (max RSS) is its own;
//  * cli: a whole `fretfile-cli search` process writing its rows to a file;
//  * grep: a whole grep process on the same file, writing its matches to a
//    file (with the query's title word; grep finds a superset of the hits);
//  * window (partial query only): the real main window on the offscreen
//    platform, from Enter in the artist box to the status bar's "The query
//    returned N results", with a 1 ms timer running meanwhile: the longest
//    gap between two of its ticks is how long the window went unanswered.
// Best of RUNS (default 5) each, wall clock.
//
// usage: bench_search [LINES [RUNS]]    (default 1000000 5)
//        bench_search make PATH [LINES]  (writes the index only)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "index/collection.h"
#include "index/index_file.h"
#include "index/search.h"
#include "bench_support.h"
#include "platform/gui/dialogs.h"
#include "support/temp_dir.h"
#include "ui/form_main.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

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
void MakeIndex(const std::string& path, size_t lines) {
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
}

struct Measured {
  double seconds = 0;
  long maxRssKiB = 0;
  size_t hits = 0;
};

// Runs the search in a child; the child writes back its time and hit count.
Measured MeasureCore(const std::string& indexPath, const fretfile::SearchQuery& query) {
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
    result.seconds = Seconds(start);
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

std::string Sibling(const std::string& relative) {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / relative).lexically_normal().string();
}

struct Case {
  const char* name;
  fretfile::SearchQuery query;
  const char* grepWord;
};

// The window's own search: Enter in the artist box until the status bar
// tells the hits. Also the longest gap between ticks of a 1 ms timer.
struct WindowMeasured {
  double seconds = 1e9;
  double longestGap = 0;
  QString status;
};

WindowMeasured MeasureWindow(const std::string& appDir, const Case& c, int runs) {
  WindowMeasured best;
  fretfile::TFormMain form(appDir);
  form.show();
  QCoreApplication::processEvents();
  form.Artistname->setText(QString::fromStdString(c.query.artist));
  form.Songname->setText(QString::fromStdString(c.query.song));
  form.ExactArt->setChecked(c.query.exactArtist);
  form.ExactSong->setChecked(c.query.exactSong);
  for (int run = 0; run < runs; ++run) {
    form.SetStatusText(QString());
    QElapsedTimer sinceTick;
    double gap = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      gap = std::max(gap, static_cast<double>(sinceTick.nsecsElapsed()) * 1e-9);
      sinceTick.restart();
    });
    ticker.start();
    QCoreApplication::processEvents();
    const auto start = Clock::now();
    sinceTick.start();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(form.Artistname, &enter);
    const double seconds = Seconds(start);
    gap = std::max(gap, static_cast<double>(sinceTick.nsecsElapsed()) * 1e-9);
    ticker.stop();
    if (seconds < best.seconds) {
      best.seconds = seconds;
      best.status = form.StatusText();
    }
    best.longestGap = std::max(best.longestGap, gap);
    QCoreApplication::processEvents();
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "make") {  // the index alone, for profiling
    MakeIndex(argv[2], argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 1000000);
    return 0;
  }
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const size_t lines = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const testing_support::TempDir root;
  const std::string path = root.File(fretfile::kIndexFileName);
  const std::string out = root.File("matches.out");
  MakeIndex(path, lines);
  const double fileMiB = static_cast<double>(std::filesystem::file_size(path)) / (1024.0 * 1024.0);
  std::printf("index: %zu lines, %.1f MiB; best of %d runs\n\n", lines, fileMiB, runs);

  const Case cases[] = {
      {"partial artist + partial title", {"river", "love", false, false}, "love"},
      {"exact artist + exact title", {"River Blue", "Night Train", true, true}, "night train"},
      {"both boxes empty (every line)", {"", "", false, false}, "<>"},
  };
  const std::string cli = Sibling("../tools/fretfile-cli");
  double partialCore = 0;
  std::printf("%-32s %8s %8s %8s %8s %7s %7s %9s %7s\n", "search", "hits", "core", "cli", "grep", "core/g",
              "cli/g", "peak MiB", "x file");
  for (const auto& c : cases) {
    Measured core;
    core.seconds = 1e9;
    double cliBest = 1e9, grepBest = 1e9;
    std::vector<std::string> cliArgs{cli, "search", "--dir", root.path()};
    if (c.query.exactArtist) cliArgs.push_back("--exact-artist");
    if (c.query.exactSong) cliArgs.push_back("--exact-song");
    cliArgs.insert(cliArgs.end(), {"--", c.query.artist, c.query.song});
    for (int run = 0; run < runs; ++run) {
      const Measured m = MeasureCore(path, c.query);
      if (m.seconds < core.seconds) core = m;
      cliBest = std::min(cliBest, bench::RunProgram(cliArgs, out).wall);
      grepBest = std::min(grepBest, bench::RunProgram({"grep", "-i", "-F", c.grepWord, path}, out, true).wall);
    }
    if (&c == &cases[0]) partialCore = core.seconds;
    const double peakMiB = static_cast<double>(core.maxRssKiB) / 1024.0;
    std::printf("%-32s %8zu %7.3fs %7.3fs %7.3fs %6.2fx %6.2fx %9.1f %6.2fx\n", c.name, core.hits, core.seconds,
                cliBest, grepBest, core.seconds / grepBest, cliBest / grepBest, peakMiB, peakMiB / fileMiB);
    std::fflush(stdout);
  }

  // The window, last: the children above are forked before Qt starts.
  QApplication app(argc, argv);
  platform::SetDialogResponder([](const platform::DialogBox& box) {
    std::fprintf(stderr, "unexpected box: %s\n", box.text.c_str());
    return platform::Answer::Ok;
  });
  const Case& partial = cases[0];
  const WindowMeasured window = MeasureWindow(root.path(), partial, runs);
  std::printf("\nwindow search (%s): %.3f s, %.2fx the core's %.3f s; longest unanswered gap %.1f ms; status \"%s\"\n",
              partial.name, window.seconds, window.seconds / partialCore, partialCore, window.longestGap * 1e3,
              window.status.toStdString().c_str());
  platform::SetDialogResponder(nullptr);
  return 0;
}
