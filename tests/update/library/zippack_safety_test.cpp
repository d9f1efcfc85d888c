// An archive is the user's data: whatever stops an Add (a cancel, a killed
// process, a full disk) leaves it byte for byte, and an Add keeps every byte
// of the entries it does not replace, whoever wrote them.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <random>

#include "update/library/zippack_harness.h"

namespace zippack_test {
namespace {

// Two entries and a comment, made by another writer.
void MakeArchive(const std::string& path) {
  ZipBuilder().Add("Kept.txt", std::string(3000, 'k'), 8).Add("Song.txt", "old song", 0).ArchiveComment("c").WriteTo(path);
}

// Copies an archive, checks that adding a file keeps its every entry and the
// bytes in front of them, and that libzip reads the result.
void ExpectSurvivesAnAdd(const std::string& original, const TempDir& dir) {
  SCOPED_TRACE(original);
  const std::string path = dir.File(std::filesystem::path(original).filename().string());
  std::filesystem::copy_file(original, path, std::filesystem::copy_options::overwrite_existing);
  ::chmod(path.c_str(), 0644);
  std::string stub;
  const auto before = EntryBytes(path, &stub);
  ASSERT_FALSE(before.empty());
  WriteFile(dir.File("Added.txt"), "added song");
  Exec exec(path);
  exec.Add(dir.File("Added.txt"));
  ASSERT_EQ(exec.Run(), 1) << testing::PrintToString(exec.Errors());
  std::string stubAfter;
  const auto after = EntryBytes(path, &stubAfter);
  EXPECT_EQ(stubAfter, stub);
  EXPECT_EQ(after.size(), before.size() + 1);
  for (const auto& [name, bytes] : before) EXPECT_EQ(after.at(name), bytes) << name;
  const auto entries = ReadWithLibzip(path);
  EXPECT_EQ(entries.size(), before.size() + 1);
  ASSERT_NE(Find(entries, "Added.txt"), nullptr);
  EXPECT_EQ(Find(entries, "Added.txt")->data, "added song");
}

// Damaged archives, a few bytes changed at random: each Add either refuses
// the archive and leaves it as it was, or stores the file (the damage lay in
// bytes it copies as they are); never anything else, and never a read out of
// bounds (the sanitizer build runs this too).
TEST(ZipPackSafety, DamagedArchivesAreRefusedOrUpdatedNeverHalfWritten) {
  TempDir dir;
  const std::string path = dir.File("A.zip");
  ZipEntrySpec zip64;
  zip64.name = "Zip64.txt";
  zip64.data = "sixty-four";
  zip64.zip64Local = true;
  const std::string good = ZipBuilder().Prefix("stub").Add("a.txt", std::string(300, 'a'), 8).Add(zip64)
                               .Add("Song.txt", "old").ArchiveComment("comment").Build();
  WriteFile(dir.File("Song.txt"), "new");
  std::mt19937 random(11);
  for (int round = 0; round < 200; ++round) {
    std::string damaged = good;
    for (int k = 0; k < 1 + round % 3; ++k) damaged[random() % damaged.size()] = static_cast<char>(random());
    WriteFile(path, damaged);
    Exec exec(path);
    exec.Add(dir.File("Song.txt"));
    if (exec.Run() == 0) {
      EXPECT_EQ(ReadFile(path), damaged) << "round " << round;
    } else {
      EXPECT_TRUE(exec.Errors().empty()) << "round " << round;
    }
    ASSERT_TRUE(StrayTemps(dir.path()).empty()) << "round " << round;
  }
}

class CancelAt : public testing::TestWithParam<int32_t> {};

TEST_P(CancelAt, LeavesTheArchiveAsItWasAndNoTemporaryFile) {
  TempDir dir;
  const std::string path = dir.File("A.zip");
  MakeArchive(path);
  const std::string before = ReadFile(path);
  WriteFile(dir.File("Song.txt"), std::string(3 << 20, 's'));  // long enough for progress
  Exec exec(path);
  exec.Add(dir.File("Song.txt"));
  exec.answer = [&](zippack::ZipCallbackRec& record) { return record.ActionCode == GetParam() ? 1 : 0; };
  EXPECT_LE(exec.Run(), 0);
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_TRUE(StrayTemps(dir.path()).empty());
  // Nothing is asked or told after the caller asked to stop.
  ASSERT_FALSE(exec.events.empty());
  EXPECT_EQ(exec.events.back().action, GetParam());
}

INSTANTIATE_TEST_SUITE_P(EveryKindOfCallBack, CancelAt,
                         testing::Values(zippack::kActionNewName, zippack::kActionFileComment,
                                         zippack::kActionTotalFiles, zippack::kActionNone, zippack::kActionNewFile,
                                         zippack::kActionProgress));

TEST(ZipPackSafety, AKilledAddLeavesTheArchiveAndTheNextAddRemovesItsTemporaryFile) {
  TempDir dir;
  const std::string path = dir.File("A.zip");
  MakeArchive(path);
  const std::string before = ReadFile(path);
  ::mkdir(dir.File("tmp").c_str(), 0755);
  WriteFile(dir.File("Big.txt"), std::string(8 << 20, 'b'));
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Half-way through writing the big file it tells the parent and waits
    // to be killed.
    Exec exec(path);
    exec.level = 0;
    exec.tempDir = dir.File("tmp");
    exec.Add(dir.File("Big.txt"));
    exec.answer = [&](zippack::ZipCallbackRec& record) {
      if (record.ActionCode == zippack::kActionProgress) {
        if (::write(ready[1], "x", 1) != 1) ::_exit(2);
        for (;;) ::pause();
      }
      return 0;
    };
    exec.Run();
    ::_exit(1);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);

  // While it runs, another Add is refused and leaves its temporary file be.
  Exec meanwhile(path);
  meanwhile.tempDir = dir.File("tmp");
  meanwhile.Add(dir.File("Big.txt"));
  EXPECT_EQ(meanwhile.Run(), 0);
  EXPECT_EQ(meanwhile.ErrorCodes(), (std::vector<int32_t>{11}));
  EXPECT_EQ(StrayTemps(dir.File("tmp")).size(), 1u);

  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_EQ(StrayTemps(dir.File("tmp")).size(), 1u);

  WriteFile(dir.File("Song.txt"), "new song");
  Exec next(path);
  next.tempDir = dir.File("tmp");
  next.Add(dir.File("Song.txt"));
  EXPECT_EQ(next.Run(), 1);
  EXPECT_TRUE(StrayTemps(dir.File("tmp")).empty());
  EXPECT_TRUE(StrayTemps(dir.path()).empty());
  EXPECT_EQ(Find(ReadWithLibzip(path), "Song.txt")->data, "new song");
}

// An Add, a delete and a rename that run out of disk half-way through the
// new archive: each is refused, and the archive stays as it was.
TEST(ZipPackSafety, AFullDiskLeavesTheArchiveAndNoTemporaryFile) {
  TempDir dir;
  const std::string path = dir.File("A.zip");
  MakeArchive(path);
  const std::string before = ReadFile(path);
  std::string noise(200000, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 2654435761u) >> 13);
  WriteFile(dir.File("Song.txt"), noise);
  const std::vector<std::pair<rlim_t, std::function<int32_t(Exec&)>>> runs = {
      {before.size() + 50000,
       [&](Exec& exec) {
         exec.level = 0;
         exec.Add(dir.File("Song.txt"));
         return exec.Run();
       }},
      {before.size() / 2, [](Exec& exec) { return exec.RunEdit(zippack::kEditDelete, {"Song.txt"}); }},
      {before.size() / 2, [](Exec& exec) { return exec.RunEdit(zippack::kEditRename, {"Song.txt"}, {"Tune.txt"}); }},
  };
  for (const auto& [bytes, run] : runs) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Files may not grow past the limit: the disk is full half-way
      // through the new archive.
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{bytes, bytes};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      Exec exec(path);
      const bool refused = run(exec) == 0 && exec.ErrorCodes() == std::vector<int32_t>{21};
      ::_exit(refused ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "limit " << bytes;
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_TRUE(StrayTemps(dir.path()).empty());
  }
}

TEST(ZipPackSafety, ArchivesOfOtherToolsKeepEveryEntryByteForByte) {
  const std::string shared = testing_support::SharedTestData();
  if (shared.empty()) GTEST_SKIP() << "no ../shared/testdata";
  TempDir dir;
  int archives = 0;
  for (const char* folder : {"pkzip-dos", "legacy", "modern"}) {
    for (const auto& file : std::filesystem::directory_iterator(shared + folder)) {
      const std::string extension = file.path().extension().string();
      if (extension != ".zip" && extension != ".ZIP") continue;
      ExpectSurvivesAnAdd(file.path().string(), dir);
      ++archives;
    }
  }
  EXPECT_GE(archives, 20);  // every legacy method, stubs, zip64, data descriptors
}

TEST(ZipPackSafety, StubsAndZip64EntriesOfOurOwnMaking) {
  TempDir dir;
  for (const bool adjusted : {true, false}) {
    ZipEntrySpec zip64;
    zip64.name = "Zip64.txt";
    zip64.data = std::string(5000, 'z');
    zip64.method = 8;
    zip64.zip64Local = true;
    ZipEntrySpec plain;
    plain.name = "Plain.txt";
    plain.data = "plain";
    plain.method = 0;
    const std::string path = dir.File(adjusted ? "made/adjusted.zip" : "made/concatenated.zip");
    ZipBuilder().Prefix(std::string(1000, '\x7F') + "stub", adjusted).Add(zip64).Add(plain).WriteTo(path);
    ExpectSurvivesAnAdd(path, dir);

    // A stub in front of an empty archive: no entry marks where the archive
    // begins, and the stub stays all the same.
    const std::string stub(300, 'S');
    const std::string empty = dir.File(adjusted ? "made/empty-adjusted.zip" : "made/empty-concatenated.zip");
    ZipBuilder().Prefix(stub, adjusted).WriteTo(empty);
    WriteFile(dir.File("Added.txt"), "added song");
    Exec exec(empty);
    exec.Add(dir.File("Added.txt"));
    ASSERT_EQ(exec.Run(), 1) << testing::PrintToString(exec.Errors());
    EXPECT_EQ(ReadFile(empty).substr(0, stub.size()), stub);
    const auto entries = ReadWithLibzip(empty);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].data, "added song");
  }
}

}  // namespace
}  // namespace zippack_test
