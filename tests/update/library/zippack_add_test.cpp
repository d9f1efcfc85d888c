// What an Add stores: names, attributes, methods, passwords, comments, the
// choices of update, freshen and move, and the archives it refuses to touch.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "archive/dos_time.h"
#include "update/library/zippack_harness.h"

namespace zippack_test {
namespace {

std::string Song(int n) {
  std::string text;
  for (int line = 0; line < 60; ++line) text += "Am F C G  verse " + std::to_string(n) + " line " + std::to_string(line) + "\n";
  return text;
}

mode_t ModeOf(const std::string& path) {
  struct stat st{};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode;
}

uint16_t LocalFlags(const std::string& entryBytes) {
  return static_cast<uint16_t>(static_cast<uint8_t>(entryBytes[6]) | static_cast<uint8_t>(entryBytes[7]) << 8);
}

// A moment with an even second, in local time, and its packed DOS form.
std::time_t Moment(int day, int hour) {
  std::tm t{};
  t.tm_year = 124;
  t.tm_mon = 4;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

ZipEntrySpec Entry(const std::string& name, const std::string& data, uint16_t method) {
  ZipEntrySpec entry;
  entry.name = name;
  entry.data = data;
  entry.method = method;
  return entry;
}

ZipEntrySpec EntryAt(const std::string& name, const std::string& data, std::time_t when) {
  ZipEntrySpec entry = Entry(name, data, 8);
  const uint32_t dos = archive::UnixToDosDateTime(when);
  entry.dosTime = static_cast<uint16_t>(dos);
  entry.dosDate = static_cast<uint16_t>(dos >> 16);
  return entry;
}

TEST(ZipPackAdd, MakesANewArchiveThatEveryReaderReads) {
  EXPECT_EQ(LibraryVersion(), 170);
  TempDir dir;
  const std::string plain = dir.File("songs/Blue Song.txt");
  const std::string utf8 = dir.File("songs/live/Motörhead – Live.txt");
  WriteFile(plain, Song(1));
  WriteFile(utf8, Song(2));
  ::chmod(plain.c_str(), 0640);
  ::chmod(utf8.c_str(), 0444);
  Exec exec(dir.File("new.zip"));
  exec.dirNames = true;
  exec.Add(SpecLine("songs/Blue Song.txt", dir.path()));
  exec.Add(SpecLine(utf8, dir.path()));
  ASSERT_EQ(exec.Run(), 2);

  const auto entries = ReadWithLibzip(dir.File("new.zip"));
  ASSERT_EQ(NamesOf(entries), (std::vector<std::string>{"songs/Blue Song.txt", "songs/live/Motörhead – Live.txt"}));
  EXPECT_EQ(entries[0].data, Song(1));
  EXPECT_EQ(entries[1].data, Song(2));
  EXPECT_EQ(entries[0].method, 8);
  EXPECT_EQ(entries[0].hostSystem, 3);  // Unix
  EXPECT_EQ(entries[0].attributes, (S_IFREG | 0640u) << 16 | 0x20);
  EXPECT_EQ(entries[1].attributes, (S_IFREG | 0444u) << 16 | 0x21);  // read-only
  // The program's own reader finds both; only the non-ASCII name is marked UTF-8.
  const auto bytes = EntryBytes(dir.File("new.zip"));
  ASSERT_EQ(bytes.size(), 2u);
  EXPECT_EQ(LocalFlags(bytes.at("songs/Blue Song.txt")) & 0x0800, 0);
  EXPECT_EQ(LocalFlags(bytes.at("songs/live/Motörhead – Live.txt")) & 0x0800, 0x0800);

  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(ModeOf(dir.File("new.zip")) & 07777, 0666 & ~mask);
  EXPECT_TRUE(StrayTemps(dir.path()).empty());
  // The call-backs of one batch, in their order.
  std::vector<int32_t> actions;
  for (const Event& e : exec.events) {
    if (e.action != zippack::kActionProgress && e.action != zippack::kActionNone) actions.push_back(e.action);
  }
  EXPECT_EQ(actions, (std::vector<int32_t>{7, 7, 12, 12, 5, 6, 1, 1, 3}));
  EXPECT_EQ(exec.Of(zippack::kActionTotalFiles).at(0).size, 2);
  EXPECT_EQ(exec.Of(zippack::kActionTotalSize).at(0).size, static_cast<int32_t>(Song(1).size() + Song(2).size()));
  EXPECT_EQ(exec.Of(zippack::kActionNewFile).at(1).text, "songs/live/Motörhead – Live.txt");
  EXPECT_EQ(exec.Of(zippack::kActionProgress).size(), 2u);
  EXPECT_TRUE(exec.Errors().empty());
}

TEST(ZipPackAdd, AReplacedEntryKeepsItsPlaceAndEveryOtherByteStays) {
  TempDir dir;
  const std::string path = dir.File("Artist.zip");
  ZipEntrySpec first = Entry("Alpha.txt", Song(1), 8);
  first.comment = "first";
  ZipEntrySpec inFolder = Entry("folder/Song.txt", Song(2), 0);
  inFolder.dataDescriptor = true;
  inFolder.comment = "old comment";
  ZipEntrySpec last = Entry("Zulu.txt", Song(3), 8);
  last.dataDescriptor = true;
  last.descriptorSignature = false;
  ZipBuilder().Prefix("#!stub in front\n").Add(first).Add(inFolder).Add(last).ArchiveComment("the artist").WriteTo(path);
  ::chmod(path.c_str(), 0640);
  std::string stub;
  const auto before = EntryBytes(path, &stub);

  // The save road: the extracted file under temp/ with its folder, named
  // relative to temp/.
  WriteFile(dir.File("temp/folder/Song.txt"), "edited");
  Exec exec(path);
  exec.dirNames = true;
  exec.Add(SpecLine("folder/Song.txt", dir.File("temp/")));
  ASSERT_EQ(exec.Run(), 1) << testing::PrintToString(exec.Errors());
  ASSERT_EQ(exec.Of(zippack::kActionFileComment).size(), 1u);
  EXPECT_EQ(exec.Of(zippack::kActionFileComment)[0].initialComment, "old comment");

  auto entries = ReadWithLibzip(path);
  ASSERT_EQ(NamesOf(entries), (std::vector<std::string>{"Alpha.txt", "folder/Song.txt", "Zulu.txt"}));
  EXPECT_EQ(entries[1].data, "edited");
  EXPECT_EQ(entries[1].comment, "old comment");
  EXPECT_EQ(entries[0].comment, "first");
  std::string stubAfter;
  const auto after = EntryBytes(path, &stubAfter);
  EXPECT_EQ(stubAfter, stub);
  EXPECT_EQ(after.at("Alpha.txt"), before.at("Alpha.txt"));
  EXPECT_EQ(after.at("Zulu.txt"), before.at("Zulu.txt"));
  EXPECT_TRUE(ReadFile(path).ends_with("the artist"));
  EXPECT_EQ(ModeOf(path) & 07777, 0640u);

  // A name given back with "\" names the same entry.
  WriteFile(dir.File("temp/folder/Song.txt"), "edited again");
  exec.answer = Answering({{zippack::kActionNewName, "folder\\Song.txt"}});
  ASSERT_EQ(exec.Run(), 1);
  entries = ReadWithLibzip(path);
  ASSERT_EQ(NamesOf(entries), (std::vector<std::string>{"Alpha.txt", "folder/Song.txt", "Zulu.txt"}));
  EXPECT_EQ(entries[1].data, "edited again");
}

TEST(ZipPackAdd, UpdateAndFreshenCompareAtTwoSecondsAndThenByContent) {
  TempDir dir;
  const std::string path = dir.File("A.zip");
  const std::time_t saved = Moment(1, 10);
  ZipBuilder().Add(EntryAt("Song.txt", "one", saved)).Add(EntryAt("Other.txt", "x", saved)).WriteTo(path);
  const std::string song = dir.File("Song.txt");
  const auto run = [&](bool update, bool freshen, std::vector<std::string> specs) {
    Exec exec(path);
    exec.update = update;
    exec.freshen = freshen;
    for (const std::string& spec : specs) exec.Add(spec);
    return exec.Run();
  };

  // Within the same two seconds, unchanged: nothing to do, nothing touched.
  WriteFile(song, "one");
  SetModified(song, saved + 1);
  std::string untouched = ReadFile(path);
  EXPECT_EQ(run(true, false, {song}), 0);
  EXPECT_EQ(ReadFile(path), untouched);
  // Within the same two seconds but edited: a second save is not lost.
  WriteFile(song, "two");
  SetModified(song, saved + 1);
  EXPECT_EQ(run(true, false, {song}), 1);
  EXPECT_EQ(Find(ReadWithLibzip(path), "Song.txt")->data, "two");
  // An older file is skipped.
  WriteFile(song, "three");
  SetModified(song, saved - 3600);
  untouched = ReadFile(path);
  EXPECT_EQ(run(true, false, {song}), 0);
  EXPECT_EQ(ReadFile(path), untouched);
  // Freshen replaces what is newer and adds nothing new; update adds it.
  WriteFile(dir.File("New.txt"), "new");
  SetModified(song, saved + 3600);
  EXPECT_EQ(run(false, true, {song, dir.File("New.txt")}), 1);
  EXPECT_EQ(NamesOf(ReadWithLibzip(path)), (std::vector<std::string>{"Song.txt", "Other.txt"}));
  EXPECT_EQ(run(true, false, {song, dir.File("New.txt")}), 1);
  EXPECT_EQ(NamesOf(ReadWithLibzip(path)), (std::vector<std::string>{"Song.txt", "Other.txt", "New.txt"}));
}

TEST(ZipPackAdd, MoveDeletesTheFilesOnlyOnceTheyAreStored) {
  TempDir dir;
  WriteFile(dir.File("a.txt"), Song(1));
  WriteFile(dir.File("b.txt"), Song(2));
  Exec exec(dir.File("A.zip"));
  exec.move = true;
  exec.Add(dir.File("a.txt")).Add(dir.File("b.txt"));
  ASSERT_EQ(exec.Run(), 2);
  EXPECT_FALSE(testing_support::FileExists(dir.File("a.txt")));
  EXPECT_FALSE(testing_support::FileExists(dir.File("b.txt")));
  EXPECT_EQ(ReadWithLibzip(dir.File("A.zip")).size(), 2u);

  // Into a read-only archive nothing is stored, so nothing is deleted.
  WriteFile(dir.File("a.txt"), Song(1));
  ::chmod(dir.File("A.zip").c_str(), 0444);
  Exec refused(dir.File("A.zip"));
  refused.move = true;
  refused.Add(dir.File("a.txt"));
  EXPECT_EQ(refused.Run(), 0);
  EXPECT_TRUE(testing_support::FileExists(dir.File("a.txt")));
}

TEST(ZipPackAdd, SpecificationsChooseFilesAndNames) {
  TempDir dir;
  for (const char* name : {"root/a.txt", "root/b.TXT", "root/.hidden.txt", "root/x.bak", "root/sub/c.txt",
                           "root/sub/d.png", "root/sub/deep/f.txt", "root/.git/e.txt"}) {
    WriteFile(dir.File(name), name);
  }
  ASSERT_EQ(::symlink("sub", dir.File("root/link").c_str()), 0);
  int archives = 0;
  const auto names = [&](Exec& exec) {
    exec.Run();
    return NamesOf(ReadWithLibzip(dir.File(std::to_string(archives) + ".zip")));
  };
  const auto next = [&] { return Exec(dir.File(std::to_string(++archives) + ".zip")); };

  Exec flat = next();
  flat.Add(dir.File("root/*.txt"));
  EXPECT_EQ(names(flat), (std::vector<std::string>{"a.txt"}));

  Exec recursed = next();
  recursed.dirNames = true;
  recursed.Add(SpecLine("root/*.txt", dir.path(), zippack::kSpecRecurseAlways));
  EXPECT_EQ(names(recursed), (std::vector<std::string>{"root/a.txt", "root/sub/c.txt", "root/sub/deep/f.txt"}));

  Exec hidden = next();
  hidden.dirNames = hidden.hidden = true;
  hidden.Add(SpecLine("root/*.txt", dir.path(), zippack::kSpecRecurseAlways));
  EXPECT_EQ(names(hidden), (std::vector<std::string>{"root/.git/e.txt", "root/.hidden.txt", "root/a.txt",
                                                     "root/sub/c.txt", "root/sub/deep/f.txt"}));

  // A folder with recursion and folder entries; exclusions by pattern and by
  // folder name; the link to a folder is not followed.
  Exec folders = next();
  folders.dirNames = folders.dirEntries = true;
  folders.excludes = {"*.bak", "deep"};
  folders.Add(SpecLine(dir.File("root"), dir.path(), 1));
  EXPECT_EQ(names(folders), (std::vector<std::string>{"root/", "root/a.txt", "root/b.TXT", "root/sub/",
                                                      "root/sub/c.txt", "root/sub/d.png"}));

  // Without folder names, an absolute path without a root keeps no folder.
  Exec missing = next();
  missing.Add(dir.File("root/nothing*.txt")).Add(dir.File("root/gone.txt")).Add(dir.File("root/sub/c.txt"));
  EXPECT_EQ(names(missing), (std::vector<std::string>{"c.txt"}));
  EXPECT_EQ(missing.ErrorCodes(), (std::vector<int32_t>{1, 1}));
}

TEST(ZipPackAdd, StoresWhatDeflateCannotShrinkAndWhatTheSuffixesName) {
  TempDir dir;
  std::string noise(100000, '\0');
  std::mt19937 random(7);
  for (char& c : noise) c = static_cast<char>(random());
  WriteFile(dir.File("song.txt"), Song(1));
  WriteFile(dir.File("cover.PNG"), Song(2));
  WriteFile(dir.File("noise.bin"), noise);
  for (const int level : {9, 0}) {
    const std::string path = dir.File("level" + std::to_string(level) + ".zip");
    Exec exec(path);
    exec.level = level;
    exec.Add(dir.File("song.txt")).Add(dir.File("cover.PNG")).Add(dir.File("noise.bin"));
    ASSERT_EQ(exec.Run(), 3);
    const auto entries = ReadWithLibzip(path);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].method, level == 0 ? 0 : 8);
    EXPECT_EQ(entries[1].method, 0);
    EXPECT_EQ(entries[2].method, 0);
    EXPECT_EQ(entries[2].data, noise);
  }
}

TEST(ZipPackAdd, EncryptsWithTheBlocksTheSpecificationsOrAnAskedPassword) {
  TempDir dir;
  for (const char* name : {"a.txt", "b.txt", "c.txt", "plain.txt"}) WriteFile(dir.File(name), Song(name[0]));
  Exec exec(dir.File("A.zip"));
  exec.password = "block";
  exec.Add(SpecLine(dir.File("a.txt"), {}, 0, 1));
  exec.Add(SpecLine(dir.File("b.txt"), {}, 0, zippack::kSpecEncryptOwnPassword, "own"));
  exec.Add(SpecLine(dir.File("c.txt"), {}, 0, zippack::kSpecEncryptOwnPassword));
  exec.Add(dir.File("plain.txt"));
  exec.answer = Answering({{zippack::kActionPassword, "asked"}});
  ASSERT_EQ(exec.Run(), 4);
  ASSERT_EQ(exec.Of(zippack::kActionPassword).size(), 1u);
  EXPECT_EQ(exec.Of(zippack::kActionPassword)[0].text, "c.txt");
  EXPECT_EQ(exec.Of(zippack::kActionPassword)[0].errorCode & 1, 1);  // asked with confirmation
  const auto entries = ReadWithLibzip(dir.File("A.zip"), {{"a.txt", "block"}, {"b.txt", "own"}, {"c.txt", "asked"}});
  ASSERT_EQ(entries.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(entries[i].data, Song(entries[i].name[0]));
    EXPECT_EQ(entries[i].encrypted, i < 3) << entries[i].name;
  }

  // No answer: the file is skipped, and said so.
  Exec unanswered(dir.File("B.zip"));
  unanswered.Add(SpecLine(dir.File("a.txt"), {}, 0, 1));
  EXPECT_EQ(unanswered.Run(), 0);
  EXPECT_EQ(unanswered.ErrorCodes(), (std::vector<int32_t>{7}));
  EXPECT_FALSE(testing_support::FileExists(dir.File("B.zip")));
}

TEST(ZipPackAdd, TakesNamesCommentsAndTheArchiveTimeFromTheCaller) {
  TempDir dir;
  const std::string path = dir.File("A.zip");
  ZipBuilder().Add(EntryAt("old.txt", "old", Moment(3, 12))).ArchiveComment("was here").WriteTo(path);
  WriteFile(dir.File("x.txt"), "x");
  SetModified(dir.File("x.txt"), Moment(2, 12));
  Exec exec(path);
  exec.comment = "the block's comment";
  exec.latestTime = true;
  exec.Add(dir.File("x.txt"));
  exec.answer = Answering({{zippack::kActionNewName, "renamed/x.txt"}, {zippack::kActionFileComment, "a comment"}});
  ASSERT_EQ(exec.Run(), 1);
  const auto entries = ReadWithLibzip(path);
  ASSERT_EQ(NamesOf(entries), (std::vector<std::string>{"old.txt", "renamed/x.txt"}));
  EXPECT_EQ(entries[1].comment, "a comment");
  EXPECT_TRUE(ReadFile(path).ends_with("the block's comment"));
  struct stat st{};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, Moment(3, 12));  // the newest entry's time
}

TEST(ZipPackAdd, RefusesArchivesItMustNotTouch) {
  TempDir dir;
  const std::string path = dir.File("A.zip");
  WriteFile(dir.File("x.txt"), "x");
  const auto refusedWith = [&](int32_t code) {
    const std::string before = ReadFile(path);
    Exec exec(path);
    exec.Add(dir.File("x.txt"));
    EXPECT_EQ(exec.Run(), 0);
    EXPECT_EQ(exec.ErrorCodes(), (std::vector<int32_t>{code}));
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_TRUE(StrayTemps(dir.path()).empty());
  };
  const std::string good = ZipBuilder().Add("a.txt", "aaa").Add("b.txt", "bbb").Build();

  WriteFile(path, good);
  ::chmod(path.c_str(), 0444);  // refused also to root
  refusedWith(10);
  ::chmod(path.c_str(), 0644);
  {
    const int reader = ::open(path.c_str(), O_RDONLY);  // a reader of ours holds it
    ASSERT_EQ(::flock(reader, LOCK_SH), 0);
    refusedWith(11);
    ::close(reader);
  }
  WriteFile(path, good.substr(0, good.size() - 4));  // the end record cut
  refusedWith(13);
  // Both central headers name the first local header.
  std::string overlapping = good;
  const size_t second = overlapping.rfind("PK\x01\x02");
  overlapping.replace(second + 42, 4, std::string(4, '\0'));
  WriteFile(path, overlapping);
  refusedWith(13);

  // A block without its end marker is not read at all.
  zippack::ZipExecParams block{};
  block.Version = zippack::kComponentVersion;
  EXPECT_EQ(CallWithBlock(&block), -1);
}

}  // namespace
}  // namespace zippack_test
