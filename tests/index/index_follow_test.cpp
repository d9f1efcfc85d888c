#include "index/index_follow.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/tzip.h"
#include "components/find_file.h"
#include "index/archive_changes.h"
#include "index/rebuild.h"
#include "platform/posix/io_error.h"
#include "status_log.h"
#include "support/cli_runner.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

using fretfile::ArchiveChanges;
using fretfile::FindChangedArchives;
using fretfile::RebuildScope;
using fretfile::UpdateIndexOfArchive;
using testing_support::FileExists;
using testing_support::StatusLog;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;
using testing_support::ZipBuilder;

namespace {

StatusLog RunRebuild(const TempDir& dir, RebuildScope scope) {
  fretfile::TFindFile finder;
  fretfile::TZipFile zip;
  fretfile::IndexRebuild rebuild(finder, zip);
  StatusLog effects;
  EXPECT_EQ(rebuild.Run(dir.path(), effects, /*ask=*/false, scope), fretfile::RebuildResult::Created);
  return effects;
}

void MakeArchive(const TempDir& dir, const std::string& name, const std::vector<std::string>& entries) {
  ZipBuilder builder;
  for (const std::string& entry : entries) builder.Add(entry, "words of " + entry);
  builder.WriteTo(dir.File(name));
}

// The stamps file less its line naming the kest.idx it describes.
std::string StampsOfArchives(const TempDir& dir) {
  std::string stamps = ReadFile(dir.File("kest.stamps"));
  const size_t index = stamps.find("\nindex ");
  if (index == std::string::npos) return stamps;
  return stamps.erase(index + 1, stamps.find('\n', index + 1) - index);
}

// What the followed kest.idx and stamps hold must be what a rebuild that
// reads every archive writes now, byte for byte.
void ExpectSameAsFullRebuild(const TempDir& dir, const std::string& change) {
  const std::string followedIndex = ReadFile(dir.File("kest.idx"));
  const std::string followedStamps = StampsOfArchives(dir);
  RunRebuild(dir, RebuildScope::EveryArchive);
  EXPECT_EQ(followedIndex, ReadFile(dir.File("kest.idx"))) << change;
  EXPECT_EQ(followedStamps, StampsOfArchives(dir)) << change;
}

void SetModificationTime(const std::string& path, time_t seconds) {
  const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// A copy of kest.idx renamed over it, as another program writes the file.
void ReplaceIndexFromOutside(const TempDir& dir) {
  WriteFile(dir.File("outside.idx"), ReadFile(dir.File("kest.idx")));
  ASSERT_EQ(std::rename(dir.File("outside.idx").c_str(), dir.File("kest.idx").c_str()), 0);
}

}  // namespace

TEST(IndexFollow, EveryKindOfChangeGivesTheLinesOfAFullRebuild) {
  TempDir dir;
  // "A_B.zip" and "A B.zip" both show "A B": only the stamps tell whose
  // lines are whose.
  MakeArchive(dir, "A_B.zip", {"First_Song.txt", "Second.crd"});
  MakeArchive(dir, "A B.zip", {"Third.txt"});
  MakeArchive(dir, "Other.ZIP", {"x.txt", "live/y_z.txt"});
  MakeArchive(dir, "Gone.zip", {"Soon Gone.txt"});
  RunRebuild(dir, RebuildScope::EveryArchive);

  MakeArchive(dir, "A_B.zip", {"First_Song.txt", "Second.crd", "Added_Song.txt"});
  UpdateIndexOfArchive(dir.path(), dir.File("A_B.zip"));
  ExpectSameAsFullRebuild(dir, "an entry added");

  MakeArchive(dir, "A B.zip", {"Third_Renamed.txt"});
  UpdateIndexOfArchive(dir.path(), dir.File("A B.zip"));
  ExpectSameAsFullRebuild(dir, "an entry renamed");

  MakeArchive(dir, "A_B.zip", {"First_Song.txt", "Added_Song.txt"});
  UpdateIndexOfArchive(dir.path(), dir.File("A_B.zip"));
  ExpectSameAsFullRebuild(dir, "an entry deleted");

  MakeArchive(dir, "New_Band.zip", {"Fresh.txt"});
  UpdateIndexOfArchive(dir.path(), dir.File("New_Band.zip"));
  EXPECT_NE(ReadFile(dir.File("kest.idx")).find("New Band<>Fresh.txt\r\n"), std::string::npos);
  ExpectSameAsFullRebuild(dir, "a new archive");

  ASSERT_EQ(::unlink(dir.File("Gone.zip").c_str()), 0);
  UpdateIndexOfArchive(dir.path(), dir.File("Gone.zip"));
  EXPECT_EQ(ReadFile(dir.File("kest.idx")).find("Soon Gone"), std::string::npos);
  ExpectSameAsFullRebuild(dir, "an archive removed");

  // Changes followed one after another, each from the stamps the one
  // before wrote.
  MakeArchive(dir, "Other.ZIP", {"x.txt"});
  UpdateIndexOfArchive(dir.path(), dir.File("Other.ZIP"));
  MakeArchive(dir, "A B.zip", {"Third_Renamed.txt", "Fourth.txt"});
  UpdateIndexOfArchive(dir.path(), dir.File("A B.zip"));
  ASSERT_EQ(::unlink(dir.File("A_B.zip").c_str()), 0);
  UpdateIndexOfArchive(dir.path(), dir.File("A_B.zip"));
  ExpectSameAsFullRebuild(dir, "three changes in a row");

  // Stamps that describe another kest.idx attribute no line: every archive
  // is read again.
  MakeArchive(dir, "A B.zip", {"Only.txt"});
  ReplaceIndexFromOutside(dir);
  UpdateIndexOfArchive(dir.path(), dir.File("A B.zip"));
  ExpectSameAsFullRebuild(dir, "void stamps");

  // A disk that fills while the new index is written: the update says so,
  // and kest.idx and its stamps stay as they were.
  const std::string index = ReadFile(dir.File("kest.idx"));
  const std::string stamps = ReadFile(dir.File("kest.stamps"));
  MakeArchive(dir, "A B.zip", {"Only.txt", "Another.txt"});
  {
    testing_support::FileSizeLimit full(index.size() / 2);
    ASSERT_TRUE(full.active());
    EXPECT_THROW(UpdateIndexOfArchive(dir.path(), dir.File("A B.zip")), platform::IoError);
  }
  EXPECT_EQ(ReadFile(dir.File("kest.idx")), index);
  EXPECT_EQ(ReadFile(dir.File("kest.stamps")), stamps);
  UpdateIndexOfArchive(dir.path(), dir.File("A B.zip"));
  ExpectSameAsFullRebuild(dir, "after a full disk");

  // A file that is not one of the collection's archives changes nothing;
  // without a kest.idx none is made.
  const std::string followed = ReadFile(dir.File("kest.idx"));
  WriteFile(dir.File("notes.txt"), "not an archive");
  UpdateIndexOfArchive(dir.path(), dir.File("notes.txt"));
  EXPECT_EQ(ReadFile(dir.File("kest.idx")), followed);
  ASSERT_EQ(::unlink(dir.File("kest.idx").c_str()), 0);
  UpdateIndexOfArchive(dir.path(), dir.File("A B.zip"));
  EXPECT_FALSE(FileExists(dir.File("kest.idx")));
}

TEST(ArchiveChanges, TellsAddedRemovedAndTouchedArchivesUntilTheIndexIsReplaced) {
  TempDir dir;
  MakeArchive(dir, "A.zip", {"a.txt"});
  MakeArchive(dir, "B.zip", {"b.txt"});
  MakeArchive(dir, "C.zip", {"c.txt"});
  EXPECT_FALSE(FindChangedArchives(dir.path()).indexKnown) << "no index yet";
  RunRebuild(dir, RebuildScope::EveryArchive);
  ArchiveChanges changes = FindChangedArchives(dir.path());
  EXPECT_TRUE(changes.indexKnown);
  EXPECT_EQ(changes.Count(), 0u);
  EXPECT_EQ(fretfile::ChangedArchivesStatus(changes), "");

  MakeArchive(dir, "D.zip", {"d.txt"});
  ASSERT_EQ(::unlink(dir.File("B.zip").c_str()), 0);
  SetModificationTime(dir.File("A.zip"), 1000000000);
  changes = FindChangedArchives(dir.path());
  EXPECT_TRUE(changes.indexKnown);
  EXPECT_EQ(changes.added, std::vector<std::string>{"D.zip"});
  EXPECT_EQ(changes.removed, std::vector<std::string>{"B.zip"});
  EXPECT_EQ(changes.changed, std::vector<std::string>{"A.zip"});
  EXPECT_EQ(fretfile::ChangedArchivesStatus(changes),
            "3 archives changed since the index was built. Rebuild Index reads only those.");

  // The rebuild reads those two (for kest.idx, then for kest.lyrics) and
  // writes what reading every archive writes.
  const StatusLog rebuilt = RunRebuild(dir, RebuildScope::ChangedArchives);
  EXPECT_EQ(rebuilt.Count("Processing A.zip"), 2u);
  EXPECT_EQ(rebuilt.Count("Processing D.zip"), 2u);
  EXPECT_EQ(rebuilt.Count("Processing C.zip"), 0u);
  EXPECT_EQ(rebuilt.log.back(), "Index Created");
  EXPECT_EQ(FindChangedArchives(dir.path()).Count(), 0u);
  ExpectSameAsFullRebuild(dir, "the rebuild of the changed archives");

  SetModificationTime(dir.File("C.zip"), 1000000000);
  changes = FindChangedArchives(dir.path());
  EXPECT_EQ(changes.changed, std::vector<std::string>{"C.zip"});
  EXPECT_EQ(fretfile::ChangedArchivesStatus(changes),
            "1 archive changed since the index was built. Rebuild Index reads only those.");
  RunRebuild(dir, RebuildScope::EveryArchive);

  // A kest.idx written by someone else, or stamps damaged: nothing is
  // known, everything is read.
  ReplaceIndexFromOutside(dir);
  changes = FindChangedArchives(dir.path());
  EXPECT_FALSE(changes.indexKnown);
  EXPECT_EQ(changes.changed.size(), 3u);
  EXPECT_TRUE(changes.added.empty() && changes.removed.empty());
  EXPECT_EQ(fretfile::ChangedArchivesStatus(changes),
            "The index may not match the archives. Rebuild Index reads every archive.");
  StatusLog again = RunRebuild(dir, RebuildScope::ChangedArchives);
  for (const char* name : {"A.zip", "C.zip", "D.zip"}) {
    EXPECT_EQ(again.Count(std::string("Processing ") + name), 1u) << name << ": read for kest.idx only";
  }
  const std::string stamps = ReadFile(dir.File("kest.stamps"));
  for (const size_t cut : {stamps.size() / 2, stamps.size() - 5}) {
    WriteFile(dir.File("kest.stamps"), stamps.substr(0, cut) + "9");
    EXPECT_FALSE(FindChangedArchives(dir.path()).indexKnown) << "stamps cut at " << cut;
    again = RunRebuild(dir, RebuildScope::ChangedArchives);
    EXPECT_EQ(again.Count("Processing C.zip"), 1u) << "stamps cut at " << cut;
  }
}

namespace {

class IndexFollowCli : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FileExists(cli_)) FAIL() << "fretfile-cli not built at " << cli_;
  }
  testing_support::CliOutcome Run(const std::string& arguments) {
    return testing_support::RunCli(cli_, arguments, scratch_);
  }

  const std::string cli_ = testing_support::BuiltCliPath();
  TempDir scratch_;
};

}  // namespace

TEST_F(IndexFollowCli, AddRenameAndDeleteUpdateBothIndexesUnlessToldNotAndReportWhatTheyCouldNot) {
  TempDir dir;
  MakeArchive(dir, "Band.zip", {"Old.txt"});
  MakeArchive(dir, "Other.zip", {"Other.txt"});
  RunRebuild(dir, RebuildScope::EveryArchive);
  WriteFile(scratch_.File("Quiet.txt"), "hushed");
  WriteFile(scratch_.File("New_Song.txt"), "quixotic words");

  const std::string index = ReadFile(dir.File("kest.idx"));
  const std::string stamps = ReadFile(dir.File("kest.stamps"));
  const std::string lyrics = ReadFile(dir.File("kest.lyrics"));
  auto outcome = Run("add '" + dir.File("Band.zip") + "' '" + scratch_.File("Quiet.txt") + "' --no-index");
  EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(ReadFile(dir.File("kest.idx")), index);
  EXPECT_EQ(ReadFile(dir.File("kest.stamps")), stamps);
  EXPECT_EQ(ReadFile(dir.File("kest.lyrics")), lyrics);
  EXPECT_EQ(FindChangedArchives(dir.path()).changed, std::vector<std::string>{"Band.zip"});

  // Named with a "." in its path: still the collection's archive.
  outcome = Run("add --level 0 '" + dir.File("./Band.zip") + "' '" + scratch_.File("New_Song.txt") + "'");
  EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_NE(ReadFile(dir.File("kest.idx")).find("Band<>New Song.txt\r\n"), std::string::npos);
  EXPECT_EQ(FindChangedArchives(dir.path()).Count(), 0u);
  EXPECT_EQ(Run("lyrics --dir '" + dir.path() + "' quixotic").out, "Band\tNew Song.txt\tquixotic words\n");
  ExpectSameAsFullRebuild(dir, "fretfile-cli add");

  // Rename and delete follow the same way.
  outcome = Run("rename '" + dir.File("Band.zip") + "' New_Song.txt Newer_Song.txt");
  EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(Run("lyrics --dir '" + dir.path() + "' quixotic").out, "Band\tNewer Song.txt\tquixotic words\n");
  ExpectSameAsFullRebuild(dir, "fretfile-cli rename");
  outcome = Run("delete '" + dir.File("Band.zip") + "' Old.txt");
  EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(ReadFile(dir.File("kest.idx")).find("Band<>Old.txt"), std::string::npos);
  ExpectSameAsFullRebuild(dir, "fretfile-cli delete");

  // A read-only kest.idx stays as it is; the archive has the song, and the
  // lyrics index takes it all the same.
  const std::string protectedIndex = ReadFile(dir.File("kest.idx"));
  ASSERT_EQ(::chmod(dir.File("kest.idx").c_str(), 0444), 0);
  WriteFile(scratch_.File("Another.txt"), "zygote");
  outcome = Run("add '" + dir.File("Other.zip") + "' '" + scratch_.File("Another.txt") + "'");
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_NE(outcome.err.find("fretfile-cli add: the index was not updated: Cannot write index file"), std::string::npos)
      << outcome.err;
  EXPECT_EQ(ReadFile(dir.File("kest.idx")), protectedIndex);
  EXPECT_EQ(FindChangedArchives(dir.path()).changed, std::vector<std::string>{"Other.zip"});
  EXPECT_EQ(Run("lyrics --dir '" + dir.path() + "' zygote").out, "Other\tAnother.txt\tzygote\n");
}

TEST_F(IndexFollowCli, AKilledAddLeavesTheOldOrTheNewIndexAndStampsThatAreVoidOrTrue) {
  TempDir dir;
  // About 16 MB of index lines, so the copy of the other archives' lines
  // takes a while to kill into.
  const std::string longName(150, 's');
  for (int a = 0; a < 40; ++a) {
    ZipBuilder builder;
    for (int e = 0; e < 2000; ++e) builder.Add(longName + std::to_string(e) + ".txt", "");
    builder.WriteTo(dir.File("Artist_" + std::to_string(a) + ".zip"));
  }
  // An index without stamps: the first update reads every archive and
  // writes both (without a kest.lyrics, whose build would take long).
  WriteFile(dir.File("kest.idx"), "");
  UpdateIndexOfArchive(dir.path(), dir.File("Artist_0.zip"));
  ASSERT_TRUE(FindChangedArchives(dir.path()).indexKnown);
  WriteFile(scratch_.File("Song.txt"), "la la");

  // Killed before it starts, when the new index is being written, when it
  // is in place, when the new stamps are being written; and not at all.
  const std::vector<std::function<bool()>> moments = {
      [] { return true; }, [&] { return FileExists(dir.File("kest.idx.new")); },
      [&] {
        return !FileExists(dir.File("kest.idx.new")) && FileExists(dir.File("kest.stamps")) &&
               !FindChangedArchives(dir.path()).indexKnown;
      },
      [&] { return FileExists(dir.File("kest.stamps.new")); }, [] { return false; }};
  for (size_t moment = 0; moment < moments.size(); ++moment) {
    const std::string before = ReadFile(dir.File("kest.idx"));
    const std::string archive = dir.File("Artist_" + std::to_string(7 + moment) + ".zip");
    int errors = -1;
    const pid_t child =
        testing_support::StartCliWithErrorPipe(cli_, {"add", archive, scratch_.File("Song.txt")}, errors);
    ASSERT_GE(child, 0);
    int status = 0;
    bool ended = false;
    for (int poll = 0; poll < 200000 && !ended; ++poll) {
      if (moments[moment]()) {
        ::kill(child, SIGKILL);
        break;
      }
      ended = ::waitpid(child, &status, WNOHANG) == child;
      if (!ended) ::usleep(50);
    }
    if (!ended) {
      ASSERT_EQ(::waitpid(child, &status, 0), child);
    }
    ::close(errors);

    // The old index or the whole new one; stamps that are valid only for
    // the index they describe.
    const std::string after = ReadFile(dir.File("kest.idx"));
    const ArchiveChanges changes = FindChangedArchives(dir.path());
    // Every archive read again (stamps gone), still without a kest.lyrics.
    ASSERT_EQ(::unlink(dir.File("kest.stamps").c_str()), 0);
    UpdateIndexOfArchive(dir.path(), archive);
    const std::string full = ReadFile(dir.File("kest.idx"));
    EXPECT_TRUE(after == before || after == full) << "moment " << moment;
    if (changes.indexKnown && changes.Count() == 0) {
      EXPECT_EQ(after, full) << "moment " << moment;
    }
    if (moment + 1 == moments.size()) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
      EXPECT_EQ(after, full);
    }
  }
}
