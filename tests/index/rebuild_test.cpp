#include "index/rebuild.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix/paths.h"
#include "platform/posix/shared_file.h"
#include "support/cli_runner.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

using fretfile::IndexRebuild;
using fretfile::RebuildResult;
using fretfile::TFindFile;
using fretfile::TZipFile;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;
using testing_support::ZipBuilder;

namespace {

// Records every effect in order and answers the question as told.
class RecordedEffects : public fretfile::RebuildEffects {
 public:
  bool answer = true;
  std::function<void()> whileAsking;
  std::function<bool()> stop;
  std::vector<std::string> log;
  bool busy = false;

  bool Confirm(const std::string& question) override {
    log.push_back("ask " + question);
    if (whileAsking) whileAsking();
    return answer;
  }
  void ShowMessage(const std::string& text) override { log.push_back("message " + text); }
  void ShowStatus(const std::string& text) override { log.push_back("status " + text); }
  void SetBusy(bool on) override {
    busy = on;
    log.push_back(on ? "busy" : "idle");
  }
  bool StopRequested() override { return stop && stop(); }
};

// The archives of dir in the order the finder lists them.
std::vector<std::string> ListedNames(const std::string& dir) {
  TFindFile finder;
  finder.SetFilter("*.zip");
  finder.SetDirectory(dir);
  finder.Execute();
  std::vector<std::string> names;
  for (const auto& path : finder.Files()) names.push_back(platform::NameOf(path));
  return names;
}

struct Rebuilder {
  TFindFile finder;
  TZipFile zip;
  IndexRebuild rebuild{finder, zip};
};

const char kOldIndex[] = "Old Band<>Old Song.txt\r\n";

}  // namespace

TEST(IndexRebuild, WritesOneLinePerEntryGroupedByArchiveInFinderOrder) {
  TempDir dir;
  ZipBuilder().Add("First_Song.txt", "1").Add("live/Second Song.txt", "2").WriteTo(dir.File("Some_Band.zip"));
  ZipBuilder().Add("x.txt", "x").Add("a__b.txt", "ab").WriteTo(dir.File("Other.ZIP"));
  WriteFile(dir.File("notes.txt"), "not listed");
  Rebuilder r;
  RecordedEffects effects;
  ASSERT_EQ(r.rebuild.Run(dir.path(), effects), RebuildResult::Created);

  std::string expectedIndex;
  std::vector<std::string> expectedLog{"ask Are you sure that you want to rebuild the index now?", "busy"};
  for (const auto& name : ListedNames(dir.path())) {
    expectedLog.push_back("status Processing " + name);
    expectedIndex += name == "Other.ZIP" ? "Other<>x.txt\r\nOther<>a  b.txt\r\n"
                                         : "Some Band<>First Song.txt\r\nSome Band<>live/Second Song.txt\r\n";
  }
  // Then the lyrics index reads them, new to it, in the same order.
  for (const auto& name : ListedNames(dir.path())) expectedLog.push_back("status Processing " + name);
  expectedLog.push_back("status Index Created");
  expectedLog.push_back("idle");
  EXPECT_EQ(effects.log, expectedLog);
  EXPECT_EQ(ReadFile(dir.File("kest.idx")), expectedIndex);
  EXPECT_FALSE(FileExists(dir.File("kest.idx.new")));
  EXPECT_FALSE(r.rebuild.RebuildRunning());
}

TEST(IndexRebuild, EmptyArchiveAndNonArchiveAddNoLines) {
  TempDir dir;
  ZipBuilder().WriteTo(dir.File("Empty.zip"));
  WriteFile(dir.File("Fake.zip"), "this is only text pretending to be an archive");
  WriteFile(dir.File("kest.idx"), kOldIndex);
  Rebuilder r;
  RecordedEffects effects;
  ASSERT_EQ(r.rebuild.Run(dir.path(), effects, /*ask=*/false), RebuildResult::Created);
  EXPECT_EQ(ReadFile(dir.File("kest.idx")), "");
  EXPECT_EQ(std::count(effects.log.begin(), effects.log.end(), "status Processing Empty.zip"), 2);
  EXPECT_EQ(effects.log.front(), "busy") << "no question when not asked";
}

TEST(IndexRebuild, NoArchivesLeavesTheOldIndexAndTheBusyStateAlone) {
  TempDir dir;
  WriteFile(dir.File("kest.idx"), kOldIndex);
  WriteFile(dir.File("readme.txt"), "");
  Rebuilder r;
  RecordedEffects effects;
  EXPECT_EQ(r.rebuild.Run(dir.path(), effects), RebuildResult::NoArchives);
  EXPECT_EQ(effects.log, (std::vector<std::string>{"ask Are you sure that you want to rebuild the index now?",
                                                    "message No archive files exist."}));
  EXPECT_EQ(ReadFile(dir.File("kest.idx")), kOldIndex);
}

TEST(IndexRebuild, AStopRequestEndsTheWalkAtTheNextEntryAndKeepsTheOldIndex) {
  TempDir dir;
  ZipBuilder().Add("a.txt", "a").Add("b.txt", "b").WriteTo(dir.File("A.zip"));
  ZipBuilder().Add("c.txt", "c").WriteTo(dir.File("C.zip"));
  WriteFile(dir.File("kest.idx"), kOldIndex);
  Rebuilder r;
  RecordedEffects effects;
  // Requested once the first archive is being walked.
  effects.stop = [&] { return !effects.log.empty() && effects.log.back().starts_with("status Processing"); };
  EXPECT_EQ(r.rebuild.Run(dir.path(), effects, /*ask=*/false), RebuildResult::Stopped);
  EXPECT_EQ(std::count_if(effects.log.begin(), effects.log.end(),
                          [](const std::string& line) { return line.starts_with("status"); }),
            1);
  EXPECT_EQ(effects.log.back(), "idle");
  EXPECT_EQ(ReadFile(dir.File("kest.idx")), kOldIndex);
  EXPECT_FALSE(FileExists(dir.File("kest.idx.new")));
  EXPECT_FALSE(r.rebuild.RebuildRunning());
}

TEST(IndexRebuild, AnswerNoChangesNothing) {
  TempDir dir;
  ZipBuilder().Add("a.txt", "a").WriteTo(dir.File("A.zip"));
  WriteFile(dir.File("kest.idx"), kOldIndex);
  Rebuilder r;
  RecordedEffects effects;
  effects.answer = false;
  EXPECT_EQ(r.rebuild.Run(dir.path(), effects), RebuildResult::Declined);
  EXPECT_EQ(effects.log.size(), 1u);
  EXPECT_TRUE(r.finder.Files().empty()) << "nothing was listed";
  EXPECT_EQ(ReadFile(dir.File("kest.idx")), kOldIndex);
}

TEST(IndexRebuild, ASecondRebuildIsRefusedWhileTheFirstAsks) {
  TempDir dir;
  ZipBuilder().Add("a.txt", "a").WriteTo(dir.File("A.zip"));
  Rebuilder r;
  RecordedEffects effects;
  RebuildResult second = RebuildResult::Created;
  bool runningWhileAsking = false;
  effects.whileAsking = [&] {
    runningWhileAsking = r.rebuild.RebuildRunning();
    RecordedEffects other;
    second = r.rebuild.Run(dir.path(), other);
  };
  EXPECT_EQ(r.rebuild.Run(dir.path(), effects), RebuildResult::Created);
  EXPECT_TRUE(runningWhileAsking);
  EXPECT_EQ(second, RebuildResult::AlreadyRunning);
  EXPECT_EQ(ReadFile(dir.File("kest.idx")), "A<>a.txt\r\n");
}

TEST(IndexRebuild, LockedArchiveFailsNamingItAndKeepsTheOldIndex) {
  TempDir dir;
  for (const char* name : {"One.zip", "Two.zip", "Three.zip"}) {
    ZipBuilder().Add(std::string(name) + ".txt", "data").WriteTo(dir.File(name));
  }
  WriteFile(dir.File("kest.idx"), kOldIndex);
  // The last archive the finder lists is locked, so lines have been
  // written before the failure.
  const std::string locked = dir.File(ListedNames(dir.path()).back());
  platform::SharedFile holder;
  ASSERT_EQ(holder.Open(locked, platform::FileAccess::Read, platform::FileShare::DenyAll), 0);
  Rebuilder r;
  RecordedEffects effects;
  try {
    r.rebuild.Run(dir.path(), effects);
    FAIL() << "the rebuild did not fail";
  } catch (const std::exception& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot open file " + locked);
  }
  EXPECT_EQ(ReadFile(dir.File("kest.idx")), kOldIndex);
  EXPECT_FALSE(FileExists(dir.File("kest.idx.new")));
  EXPECT_FALSE(effects.busy);
  EXPECT_EQ(effects.log.back(), "idle");
  EXPECT_FALSE(r.rebuild.RebuildRunning());

  // Once the archive is free again the same components rebuild normally.
  holder.Close();
  EXPECT_EQ(r.rebuild.Run(dir.path(), effects), RebuildResult::Created);
  EXPECT_NE(ReadFile(dir.File("kest.idx")).find("Two<>Two.zip.txt\r\n"), std::string::npos);
}

TEST(IndexRebuild, ReadOnlyIndexIsNotReplaced) {
  TempDir dir;
  ZipBuilder().Add("a.txt", "a").WriteTo(dir.File("A.zip"));
  WriteFile(dir.File("kest.idx"), kOldIndex);
  ::chmod(dir.File("kest.idx").c_str(), 0444);
  Rebuilder r;
  RecordedEffects effects;
  try {
    r.rebuild.Run(dir.path(), effects);
    FAIL() << "a read-only index was replaced";
  } catch (const std::exception& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot write index file " + dir.File("kest.idx") + ": File access denied");
  }
  EXPECT_EQ(ReadFile(dir.File("kest.idx")), kOldIndex);
  EXPECT_FALSE(effects.busy);
}

// The command-line tool, run as a real child process.
class CliTest : public ::testing::Test {
 protected:
  using Outcome = testing_support::CliOutcome;

  Outcome Run(const std::string& arguments) { return testing_support::RunCli(cli_, arguments, scratch_); }

  void SetUp() override {
    if (!FileExists(cli_)) FAIL() << "fretfile-cli not built at " << cli_;
  }

  const std::string cli_ = testing_support::BuiltCliPath();

  TempDir scratch_;
};

TEST_F(CliTest, RebuildWritesTheIndexAndReportsProgress) {
  TempDir dir;
  ZipBuilder().Add("Song_One.txt", "1").WriteTo(dir.File("The_Band.zip"));
  const Outcome outcome = Run("rebuild --dir '" + dir.path() + "'");
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(outcome.err, "Processing The_Band.zip\nProcessing The_Band.zip\nIndex Created\n");
  EXPECT_EQ(ReadFile(dir.File("kest.idx")), "The Band<>Song One.txt\r\n");
}

TEST_F(CliTest, RebuildWithoutArchivesOrOnALockedOneFails) {
  TempDir dir;
  WriteFile(dir.File("kest.idx"), kOldIndex);
  Outcome outcome = Run("rebuild --dir '" + dir.path() + "'");
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(outcome.err, "No archive files exist.\n");

  ZipBuilder().Add("a.txt", "a").WriteTo(dir.File("A.zip"));
  platform::SharedFile holder;
  ASSERT_EQ(holder.Open(dir.File("A.zip"), platform::FileAccess::Read, platform::FileShare::DenyAll), 0);
  outcome = Run("rebuild --dir '" + dir.path() + "'");
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_NE(outcome.err.find("Cannot open file " + dir.File("A.zip")), std::string::npos) << outcome.err;
  EXPECT_EQ(ReadFile(dir.File("kest.idx")), kOldIndex);
}

TEST_F(CliTest, AKilledRebuildKeepsTheOldIndexAndTheNextOneSucceeds) {
  TempDir dir;
  WriteFile(dir.File("kest.idx"), kOldIndex);
  // Enough archives with long names that the "Processing" lines overflow a
  // pipe nobody reads: the rebuild blocks there, in the middle of its walk
  // with the new index open, until it is killed.
  const std::string longName(150, 'x');
  for (int i = 0; i < 1000; ++i) {
    ZipBuilder().Add("Song.txt", "s").WriteTo(dir.File(longName + std::to_string(i) + ".zip"));
  }
  int errors = -1;
  const pid_t child = testing_support::StartCliWithErrorPipe(cli_, {"rebuild", "--dir", dir.path()}, errors);
  ASSERT_GE(child, 0);
  for (int wait = 0; wait < 1000 && !FileExists(dir.File("kest.idx.new")); ++wait) ::usleep(10000);
  EXPECT_TRUE(FileExists(dir.File("kest.idx.new")));
  ::kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::close(errors);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the rebuild ended before it was killed";
  EXPECT_EQ(ReadFile(dir.File("kest.idx")), kOldIndex);

  const Outcome again = Run("rebuild --dir '" + dir.path() + "'");
  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_FALSE(FileExists(dir.File("kest.idx.new")));
  const std::string index = ReadFile(dir.File("kest.idx"));
  EXPECT_EQ(std::count(index.begin(), index.end(), '\n'), 1000);
}

TEST_F(CliTest, WalkListsEveryLocalHeader) {
  TempDir dir;
  ZipBuilder().Add("one.txt", "first").Add("dir/", "").WriteTo(dir.File("a.zip"));
  const Outcome outcome = Run("walk '" + dir.File("a.zip") + "'");
  EXPECT_EQ(outcome.exitCode, 0);
  std::ostringstream expected;
  char crc[9];
  std::snprintf(crc, sizeof crc, "%08x", testing_support::Crc32Of("first"));
  expected << "0\t0x0000\t5\t5\t" << crc << "\tone.txt\n"
           << "0\t0x0000\t0\t0\t00000000\tdir/\n";
  EXPECT_EQ(outcome.out, expected.str());
  EXPECT_EQ(Run("walk '" + dir.File("missing.zip") + "'").exitCode, 1);
}

TEST(IndexRebuild, IndexesEveryEntryOfArchivesWrittenByTodaysTools) {
  const std::string shared = testing_support::SharedTestData();
  if (shared.empty()) GTEST_SKIP() << "no ../shared/testdata";
  TempDir dir;
  size_t expected = 0;
  for (const auto& file : std::filesystem::directory_iterator(shared + "modern")) {
    if (file.path().extension() != ".zip") continue;
    std::filesystem::copy_file(file.path(), dir.File(file.path().filename().string()));
  }
  std::ifstream manifest(shared + "modern/MANIFEST.tsv");
  for (std::string line; std::getline(manifest, line);) ++expected;
  --expected;  // the column titles

  Rebuilder r;
  RecordedEffects effects;
  ASSERT_EQ(r.rebuild.Run(dir.path(), effects, false), RebuildResult::Created);
  const std::string index = ReadFile(dir.File("kest.idx"));
  EXPECT_EQ(static_cast<size_t>(std::count(index.begin(), index.end(), '\n')), expected);
  EXPECT_NE(index.find("Piped<>Piped Song 4.txt\r\n"), std::string::npos);
  EXPECT_NE(index.find("Streamed Zip64<>Red Song 3.txt\r\n"), std::string::npos);
}
