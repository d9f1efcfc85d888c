// fretfile-cli dir and add, run as the child processes a user would start.
// add runs a copy of the tool with the recording library beside it, the
// place the tool takes its library from.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <sstream>

#include "platform/drives/drives.h"
#include "support/cli_runner.h"
#include "support/libzip_reader.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "update/recording_library.h"
#include "update/spanned_set_reader.h"

using testing_support::BuiltCliPath;
using testing_support::CliOutcome;
using testing_support::RunCli;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::RecordingLibrary;
using testing_support::TempDir;
using testing_support::ZipBuilder;
using testing_support::ZipEntrySpec;

namespace {

class CliUpdate : public ::testing::Test {
 protected:
  CliOutcome Run(const std::string& cli, const std::string& arguments) { return RunCli(cli, arguments, scratch_); }

  TempDir scratch_;
  TempDir dir_;
};

TEST_F(CliUpdate, DirPrintsTheListAndWhatTheReadFound) {
  ZipEntrySpec folder;
  folder.name = "live/";
  ZipBuilder builder;
  builder.Add("a.txt", "alpha").Add(folder).Add("live/b.txt", "beta").ArchiveComment("the band");
  builder.Prefix("STUB", false);
  builder.WriteTo(dir_.File("x.zip"));
  char crcs[2][9];
  std::snprintf(crcs[0], sizeof crcs[0], "%08x", testing_support::Crc32Of("alpha"));
  std::snprintf(crcs[1], sizeof crcs[1], "%08x", testing_support::Crc32Of("beta"));
  const CliOutcome listed = Run(BuiltCliPath(), "dir '" + dir_.File("x.zip") + "'");
  EXPECT_EQ(listed.exitCode, 0);
  EXPECT_EQ(listed.out, "a.txt\t0\t5\t5\t" + std::string(crcs[0]) + "\t0\t0\n" + "live/b.txt\t0\t4\t4\t" +
                            crcs[1] + "\t" + std::to_string(builder.HeaderOffsets()[2] - 4) + "\t0\n" +
                            "StubOffset\t4\nOffsetMismatch\t1\nDirOnlySkipped\t1\nArchiveComment\tthe band\n");
  EXPECT_NE(listed.err.find("Warning"), std::string::npos) << listed.err;

  testing_support::WriteFile(dir_.File("junk.zip"), "not an archive");
  const CliOutcome junk = Run(BuiltCliPath(), "dir '" + dir_.File("junk.zip") + "'");
  EXPECT_EQ(junk.exitCode, 1);
  EXPECT_EQ(junk.out, "");
  EXPECT_NE(junk.err.find("not a zip archive"), std::string::npos) << junk.err;
  const CliOutcome missing = Run(BuiltCliPath(), "dir '" + dir_.File("none.zip") + "'");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("File not found"), std::string::npos) << missing.err;
  EXPECT_EQ(Run(BuiltCliPath(), "dir").exitCode, 2);
}

TEST_F(CliUpdate, AddHandsTheOptionsToTheLibraryBesideTheTool) {
  RecordingLibrary library;
  const std::string cli = library.Folder() + "/fretfile-cli";
  std::filesystem::copy_file(BuiltCliPath(), cli);
  std::filesystem::permissions(cli, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);

  const std::string archive = "'" + dir_.File("new.zip") + "'";
  const CliOutcome added = Run(cli, "add " + archive +
                                     " a.txt 'b c.txt' --level 3 --update --dir-names --root /songs "
                                     "--password pw --temp-dir /var/tmp");
  EXPECT_EQ(added.exitCode, 0);
  EXPECT_EQ(added.out, "processed 2\n");
  EXPECT_EQ(added.err, "");
  auto calls = library.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0]["archive"], dir_.File("new.zip"));
  EXPECT_EQ(calls[0]["owner"], "0");
  EXPECT_EQ(calls[0]["level"], "3");
  EXPECT_EQ(calls[0]["update"], "1");
  EXPECT_EQ(calls[0]["junkdirnames"], "0");
  EXPECT_EQ(calls[0]["encrypt"], "1");
  EXPECT_EQ(calls[0]["tempdir"], "/var/tmp");
  EXPECT_EQ(calls[0]["spec1"], "b c.txt\tpw\t1\t0\t/songs/");

  // Bare names and no options: the component's own defaults.
  library.SetResult(0);
  library.SetCallbacks("4");
  const CliOutcome none = Run(cli, "add " + archive + " --move --freshen --recurse a.txt");
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_EQ(none.out, "processed 0\n");
  EXPECT_EQ(none.err, "library message\n");
  calls = library.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1]["junkdirnames"], "1");
  EXPECT_EQ(calls[1]["level"], "9");
  EXPECT_EQ(calls[1]["move"], "1");
  EXPECT_EQ(calls[1]["freshen"], "1");
  EXPECT_EQ(calls[1]["spec0"], "a.txt\t(null)\t0\t1\t(null)");

  for (const std::string& bad : {std::string("add"), "add " + archive, "add " + archive + " a.txt --level",
                                  "add " + archive + " a.txt --level 10", "add " + archive + " a.txt --zip"}) {
    EXPECT_EQ(Run(cli, bad).exitCode, 2) << bad;
  }
  EXPECT_EQ(library.Calls().size(), 2u);
}

// A FILE that names an existing file is that file; any other is a pattern.
TEST_F(CliUpdate, AddTakesAnExistingFileByItsNameAndAnythingElseAsAPattern) {
  testing_support::WriteFile(dir_.File("Song_[e].txt"), "bracketed");
  testing_support::WriteFile(dir_.File("Song_e.txt"), "plain");
  const std::string archive = "'" + dir_.File("Band.zip") + "'";
  const CliOutcome literal = Run(BuiltCliPath(), "add " + archive + " '" + dir_.File("Song_[e].txt") + "'");
  ASSERT_EQ(literal.exitCode, 0) << literal.err;
  EXPECT_EQ(literal.out, "processed 1\n");
  const CliOutcome pattern = Run(BuiltCliPath(), "add " + archive + " '" + dir_.File("Song_?.txt") + "'");
  ASSERT_EQ(pattern.exitCode, 0) << pattern.err;
  const CliOutcome listed = Run(BuiltCliPath(), "dir " + archive);
  std::istringstream lines(listed.out);
  std::string first, second, third;
  std::getline(lines, first);
  std::getline(lines, second);
  std::getline(lines, third);
  EXPECT_TRUE(first.starts_with("Song_[e].txt\t")) << listed.out;
  EXPECT_TRUE(second.starts_with("Song_e.txt\t")) << listed.out;
  EXPECT_TRUE(third.starts_with("StubOffset")) << listed.out;
}

TEST_F(CliUpdate, AddSpanWritesASetThatDirReadsFromAnyVolume) {
  std::string lyrics;
  for (int i = 0; i < 3000; ++i) lyrics += "Chorus " + std::to_string(i) + ": na na na\n";
  std::string noise(150000, '\0');
  std::mt19937 random(7);
  for (char& c : noise) c = static_cast<char>(random());
  testing_support::WriteFile(dir_.File("song.txt"), lyrics);
  testing_support::WriteFile(dir_.File("take.bin"), noise);
  const TempDir temp;
  const std::string add = "add '" + dir_.File("Set.zip") + "' '" + dir_.File("song.txt") + "' '" +
                          dir_.File("take.bin") + "' --span --max-volume 70000 --temp-dir '" + temp.path() + "'";
  const CliOutcome added = Run(BuiltCliPath(), add);
  ASSERT_EQ(added.exitCode, 0) << added.err;
  EXPECT_EQ(added.out, "processed 2\n");
  EXPECT_TRUE(std::filesystem::is_empty(temp.path()));

  std::vector<std::string> volumes;
  for (int n = 1; FileExists(dir_.File("Set00" + std::to_string(n) + ".zip")); ++n) {
    volumes.push_back(ReadFile(dir_.File("Set00" + std::to_string(n) + ".zip")));
    EXPECT_LE(volumes.back().size(), 70000u);
  }
  ASSERT_EQ(volumes.size(), 3u);
  const auto set = testing_support::ReadSpannedSet(volumes);
  ASSERT_EQ(set.problem, "");
  ASSERT_EQ(set.entries.size(), 2u);
  EXPECT_EQ(set.entries[0].data, lyrics);
  EXPECT_EQ(set.entries[1].data, noise);

  for (const std::string volume : {"Set001.zip", "Set003.zip", "Set.zip"}) {
    const CliOutcome listed = Run(BuiltCliPath(), "dir '" + dir_.File(volume) + "'");
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    std::istringstream lines(listed.out);
    for (const auto& entry : set.entries) {
      std::string line;
      std::getline(lines, line);
      EXPECT_TRUE(line.starts_with(entry.name + "\t")) << line;
      EXPECT_TRUE(line.ends_with("\t" + std::to_string(entry.offset) + "\t" + std::to_string(entry.disk))) << line;
    }
  }

  // Unattended, the volumes of an earlier set are neither overwritten nor
  // removed.
  const CliOutcome again = Run(BuiltCliPath(), add);
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_NE(again.err.find("no one may be asked"), std::string::npos) << again.err;
  EXPECT_EQ(ReadFile(dir_.File("Set001.zip")), volumes[0]);
  EXPECT_TRUE(std::filesystem::is_empty(temp.path()));
  EXPECT_EQ(Run(BuiltCliPath(), add.substr(0, add.find(" --span")) + " --max-volume 70000").exitCode, 2);
}

TEST_F(CliUpdate, TheSimulatedDrivesComeFromTheFileTheEnvironmentNames) {
  std::filesystem::create_directories(dir_.File("disk1"));
  testing_support::WriteFile(dir_.File("song.txt"), "la la la");
  testing_support::WriteFile(dir_.File("drives"), "# one floppy\ndisk=" + dir_.File("disk1") +
                                                      "\nlabel=MY SONGS\nsize=1457664\nfree=1400000\n"
                                                      "drive=A " + dir_.File("A") + "\ninserted=" +
                                                      dir_.File("disk1") + "\n");
  ::setenv(platform::kSimulatedDrivesVariable, dir_.File("drives").c_str(), 1);
  struct Unset {
    ~Unset() { ::unsetenv(platform::kSimulatedDrivesVariable); }
  } unset;

  // Writing onto a removable disk needs a prompt, which unattended is refused.
  const std::string song = " '" + dir_.File("song.txt") + "' --span";
  const CliOutcome added = Run(BuiltCliPath(), "add '" + dir_.File("A/Set.zip") + "'" + song);
  EXPECT_EQ(added.exitCode, 1);
  EXPECT_NE(added.err.find("no one may be asked"), std::string::npos) << added.err;
  EXPECT_TRUE(std::filesystem::is_empty(dir_.File("disk1")));

  // A set of one volume on the disk in the drive reads without a prompt.
  ASSERT_EQ(Run(BuiltCliPath(), "add '" + dir_.File("One.zip") + "'" + song).exitCode, 0);
  std::filesystem::copy_file(dir_.File("One001.zip"), dir_.File("disk1/Set.zip"));
  const CliOutcome listed = Run(BuiltCliPath(), "dir '" + dir_.File("A/Set.zip") + "'");
  EXPECT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_TRUE(listed.out.starts_with("song.txt\t")) << listed.out;

  testing_support::WriteFile(dir_.File("drives"), "disk=" + dir_.File("disk1") + "\nsize=lots\n");
  const CliOutcome bad = Run(BuiltCliPath(), "dir '" + dir_.File("A/Set.zip") + "'");
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_NE(bad.err.find("drives:2: not a number of bytes"), std::string::npos) << bad.err;
}

TEST_F(CliUpdate, DeleteAndRenameTakeEachNameAsItStands) {
  const std::string archive = dir_.File("band.zip");
  ZipBuilder()
      .Add("*[x].txt", "star")
      .Add("a b.txt", "spaces")
      .Add("--dash.txt", "dash")
      .Add("keep.txt", "kept")
      .WriteTo(archive);
  const std::string quoted = "'" + archive + "'";
  const CliOutcome deleted = Run(BuiltCliPath(), "delete " + quoted + " '*[x].txt' 'a b.txt'");
  EXPECT_EQ(deleted.exitCode, 0) << deleted.err;
  EXPECT_EQ(deleted.out, "processed 2\n");
  EXPECT_EQ(deleted.err, "");
  EXPECT_EQ(Run(BuiltCliPath(), "delete " + quoted + " -- --dash.txt").out, "processed 1\n");
  const CliOutcome renamed = Run(BuiltCliPath(), "rename " + quoted + " keep.txt 'new [*].txt'");
  EXPECT_EQ(renamed.exitCode, 0) << renamed.err;
  EXPECT_EQ(renamed.out, "processed 1\n");
  const auto entries = testing_support::ReadWithLibzip(archive);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "new [*].txt");
  EXPECT_EQ(entries[0].data, "kept");

  // Nothing done: exit 1 with the reason; bad usage: exit 2.
  const std::string before = ReadFile(archive);
  const CliOutcome missing = Run(BuiltCliPath(), "delete " + quoted + " keep.txt");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.out, "processed 0\n");
  EXPECT_EQ(missing.err, "no such entry in the archive: keep.txt\n");
  const CliOutcome invalid = Run(BuiltCliPath(), "rename " + quoted + " 'new [*].txt' ../up.txt");
  EXPECT_EQ(invalid.exitCode, 1);
  EXPECT_NE(invalid.err.find("invalid new entry name"), std::string::npos) << invalid.err;
  EXPECT_EQ(ReadFile(archive), before);
  EXPECT_EQ(Run(BuiltCliPath(), "delete " + quoted).exitCode, 2);
  EXPECT_EQ(Run(BuiltCliPath(), "rename " + quoted + " one").exitCode, 2);
  EXPECT_EQ(Run(BuiltCliPath(), "rename " + quoted + " a b --level 3").exitCode, 2);
  const CliOutcome help = Run(BuiltCliPath(), "delete --help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(help.out.starts_with("usage: fretfile-cli delete ARCHIVE ENTRY...")) << help.out;
}

// A delete killed at any moment leaves the archive as it was or as the
// finished delete makes it, never anything else; the next run removes what
// the killed one left.
TEST_F(CliUpdate, AKilledDeleteLeavesTheOldArchiveOrTheNewOne) {
  const std::string archive = dir_.File("big.zip");
  ZipBuilder builder;
  std::string data(256 << 10, '\0');
  uint32_t seed = 7;
  for (int i = 0; i < 160; ++i) {
    for (char& c : data) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    builder.Add("Song " + std::to_string(i) + ".txt", data);
  }
  const std::string original = builder.Build();
  testing_support::WriteFile(archive, original);
  std::map<std::string, std::string> contents;
  for (const auto& entry : testing_support::ReadWithLibzip(archive)) contents[entry.name] = entry.data;
  bool finished = false;
  int changed = 0;
  for (int delayMicroseconds = 0; !finished && delayMicroseconds < 4000000;
       delayMicroseconds = delayMicroseconds * 2 + 250) {
    SCOPED_TRACE(delayMicroseconds);
    testing_support::WriteFile(archive, original);
    int errors = -1;
    const pid_t child = testing_support::StartCliWithErrorPipe(BuiltCliPath(), {"delete", archive, "Song 80.txt"}, errors);
    ASSERT_GT(child, 0);
    ::usleep(static_cast<useconds_t>(delayMicroseconds));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(errors);
    finished = WIFEXITED(status);
    if (finished) {
      EXPECT_EQ(WEXITSTATUS(status), 0);
    }

    if (ReadFile(archive) != original) {
      ++changed;
      const auto entries = testing_support::ReadWithLibzip(archive);
      ASSERT_EQ(entries.size(), contents.size() - 1);
      for (const auto& entry : entries) {
        EXPECT_NE(entry.name, "Song 80.txt");
        EXPECT_EQ(entry.data, contents.at(entry.name)) << entry.name;
      }
    }
    // The next run on the archive removes a temporary file the killed one
    // left (this one changes nothing: no such entry).
    EXPECT_EQ(Run(BuiltCliPath(), "delete '" + archive + "' 'No such song.txt'").exitCode, 1);
    for (const auto& file : std::filesystem::directory_iterator(dir_.path())) {
      EXPECT_EQ(file.path().filename().string().find(".zippack-"), std::string::npos) << file.path();
    }
  }
  EXPECT_TRUE(finished);
  EXPECT_GE(changed, 1);
}

}  // namespace
