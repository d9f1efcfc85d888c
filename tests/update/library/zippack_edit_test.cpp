// Deleting and renaming entries through ZipPackEdit: every entry the call
// does not name keeps every byte, a renamed entry keeps its data and data
// descriptor and says its new name everywhere, and whatever refuses or
// stops the call leaves the archive byte for byte.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "update/library/zippack_harness.h"

namespace zippack_test {
namespace {

constexpr int32_t kEntryNotFound = 40;
constexpr int32_t kEntryNameTaken = 41;
constexpr int32_t kInvalidNewName = 42;

uint16_t Get16(const std::string& bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes.at(at)) | static_cast<uint8_t>(bytes.at(at + 1)) << 8);
}

uint32_t Get32(const std::string& bytes, size_t at) { return Get16(bytes, at) | uint32_t{Get16(bytes, at + 2)} << 16; }

// The central records of an archive by name, found from its end record.
std::map<std::string, std::string> CentralRecords(const std::string& path) {
  const std::string bytes = ReadFile(path);
  const size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
  std::map<std::string, std::string> records;
  if (end == std::string::npos) return records;
  size_t at = Get32(bytes, end + 16);
  for (int i = 0; i < Get16(bytes, end + 10); ++i) {
    const size_t length = 46 + Get16(bytes, at + 28) + Get16(bytes, at + 30) + Get16(bytes, at + 32);
    records[bytes.substr(at + 46, Get16(bytes, at + 28))] = bytes.substr(at, length);
    at += length;
  }
  return records;
}

// The extra field of a local header (offset 26) or central record (28).
std::string ExtraOf(const std::string& record, size_t nameLengthAt) {
  const size_t fixed = nameLengthAt == 26 ? 30 : 46;
  return record.substr(fixed + Get16(record, nameLengthAt), Get16(record, nameLengthAt + 2));
}

std::string ExtraBlock(uint16_t id, const std::string& data) {
  std::string block;
  block += static_cast<char>(id & 0xFF);
  block += static_cast<char>(id >> 8);
  block += static_cast<char>(data.size() & 0xFF);
  block += static_cast<char>(data.size() >> 8);
  return block + data;
}

// A stub, a deflated entry, a stored one, one with a data descriptor, a
// zip64 one, and a comment: what a rewrite must carry over untouched.
std::string MixedArchive() {
  ZipEntrySpec described;
  described.name = "Described.txt";
  described.data = std::string(2000, 'd');
  described.method = 8;
  described.dataDescriptor = true;
  ZipEntrySpec zip64;
  zip64.name = "Zip64.txt";
  zip64.data = "sixty-four";
  zip64.zip64Local = true;
  return ZipBuilder()
      .Prefix("STUB")
      .Add("First.txt", std::string(3000, 'f'), 8)
      .Add("dir/Second.txt", "second")
      .Add(described)
      .Add(zip64)
      .Add("Last.txt", "last")
      .ArchiveComment("the band")
      .Build();
}

// Every entry of `before` but those gone has the same bytes in the archive
// now; `renamed` entries have come under new names.
void ExpectUntouched(const std::map<std::string, std::string>& before, const std::string& path,
                     const std::vector<std::string>& gone, size_t renamed = 0) {
  std::string stub;
  const auto after = EntryBytes(path, &stub);
  EXPECT_EQ(stub, "STUB");
  for (const auto& [name, bytes] : before) {
    if (std::find(gone.begin(), gone.end(), name) != gone.end()) {
      EXPECT_EQ(after.count(name), 0u) << name;
    } else {
      ASSERT_EQ(after.count(name), 1u) << name;
      EXPECT_EQ(after.at(name), bytes) << name;
    }
  }
  EXPECT_EQ(after.size(), before.size() - gone.size() + renamed);
}

TEST(ZipPackEdit, DeletesEntriesAndKeepsEveryOtherByte) {
  TempDir dir;
  const std::string path = dir.File("A.zip");
  WriteFile(path, MixedArchive());
  const auto before = EntryBytes(path);

  // One from the middle, named with "\" for "/".
  Exec one(path);
  EXPECT_EQ(one.RunEdit(zippack::kEditDelete, {"dir\\Second.txt"}), 1) << testing::PrintToString(one.Errors());
  ExpectUntouched(before, path, {"dir/Second.txt"});
  const auto entries = ReadWithLibzip(path);
  EXPECT_EQ(NamesOf(entries), (std::vector<std::string>{"First.txt", "Described.txt", "Zip64.txt", "Last.txt"}));
  EXPECT_EQ(Find(entries, "Described.txt")->data, std::string(2000, 'd'));
  EXPECT_EQ(ReadFile(path).substr(ReadFile(path).size() - 8), "the band");

  // Several, one of them twice and one the archive lacks: that one is
  // reported, the others go.
  Exec several(path);
  EXPECT_EQ(several.RunEdit(zippack::kEditDelete, {"First.txt", "Nope.txt", "Zip64.txt", "First.txt"}), 2);
  EXPECT_EQ(several.ErrorCodes(), (std::vector<int32_t>{kEntryNotFound}));
  EXPECT_EQ(several.Errors().front(), "no such entry in the archive: Nope.txt");
  ExpectUntouched(before, path, {"dir/Second.txt", "First.txt", "Zip64.txt"});
  EXPECT_EQ(NamesOf(ReadWithLibzip(path)), (std::vector<std::string>{"Described.txt", "Last.txt"}));

  // The rest: an empty archive that keeps its stub and comment.
  Exec rest(path);
  EXPECT_EQ(rest.RunEdit(zippack::kEditDelete, {"Last.txt", "Described.txt"}), 2);
  EXPECT_TRUE(ReadWithLibzip(path).empty());
  EXPECT_EQ(ReadFile(path), "STUB" + std::string("PK\x05\x06", 4) + std::string(12, '\0') + "\x04" +
                                std::string(3, '\0') + std::string("\x08\x00", 2) + "the band");
  EXPECT_TRUE(StrayTemps(dir.path()).empty());

  // Of a name the archive holds twice, the first in its directory goes.
  WriteFile(path, ZipBuilder().Add("Twice.txt", "first").Add("Twice.txt", "second").Build());
  Exec twice(path);
  EXPECT_EQ(twice.RunEdit(zippack::kEditDelete, {"Twice.txt"}), 1);
  const auto left = ReadWithLibzip(path);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].data, "second");
}

TEST(ZipPackEdit, ARenamedEntryKeepsItsDataAndSaysItsNewNameEverywhere) {
  TempDir dir;
  const std::string path = dir.File("A.zip");
  // A descriptor behind its data, a Unicode path field naming the old name
  // and a timestamp field, in both headers, and a comment.
  ZipEntrySpec song;
  song.name = "Old.txt";
  song.data = std::string(5000, 's');
  song.method = 8;
  song.dataDescriptor = true;
  song.flags = 0x0002;
  const std::string timestamp = ExtraBlock(0x5455, std::string("\x01\x00\x00\x00\x60", 5));
  song.extra = ExtraBlock(0x7075, std::string("\x01\x00\x00\x00\x00", 5) + "Old.txt") + timestamp;
  song.comment = "a comment";
  ZipEntrySpec zip64;
  zip64.name = "Zip64.txt";
  zip64.data = "sixty-four";
  zip64.zip64Local = true;
  WriteFile(path,
            ZipBuilder().Prefix("STUB").Add("First.txt", "first").Add(song).Add(zip64).Add("Last.txt", "last").Build());
  const auto before = EntryBytes(path);
  const std::string oldEntry = before.at("Old.txt");
  const size_t oldHeader = 30 + 7 + Get16(oldEntry, 28);

  const std::string utf8 =
      "Lieder/\xC3\x9C"
      "ber \xE2\x82\xAC.txt";
  Exec rename(path);
  EXPECT_EQ(rename.RunEdit(zippack::kEditRename, {"Old.txt"}, {utf8}), 1) << testing::PrintToString(rename.Errors());
  ExpectUntouched(before, path, {"Old.txt"}, 1);
  const auto entries = ReadWithLibzip(path);
  EXPECT_EQ(NamesOf(entries), (std::vector<std::string>{"First.txt", utf8, "Zip64.txt", "Last.txt"}));
  EXPECT_EQ(Find(entries, utf8)->data, song.data);
  EXPECT_EQ(Find(entries, utf8)->comment, "a comment");
  const std::string local = EntryBytes(path).at(utf8);
  const std::string central = CentralRecords(path).at(utf8);
  EXPECT_EQ(Get16(local, 6), 0x0802 | 0x0008);  // UTF-8, the other bits kept
  EXPECT_EQ(Get16(central, 8), 0x0802 | 0x0008);
  EXPECT_EQ(ExtraOf(local, 26), timestamp);
  EXPECT_EQ(ExtraOf(central, 28), timestamp);
  // Everything behind the local header (the data and its descriptor) as it was.
  EXPECT_EQ(local.substr(30 + utf8.size() + timestamp.size()), oldEntry.substr(oldHeader));

  // ASCII again, and then a name that is not UTF-8: bit 11 goes.
  Exec ascii(path);
  EXPECT_EQ(ascii.RunEdit(zippack::kEditRename, {utf8}, {"Plain.txt"}), 1);
  EXPECT_EQ(Get16(CentralRecords(path).at("Plain.txt"), 8), 0x0002 | 0x0008);
  const std::string latin1 = "Caf\xE9.txt";
  Exec other(path);
  EXPECT_EQ(other.RunEdit(zippack::kEditRename, {"Plain.txt"}, {latin1}), 1);
  EXPECT_EQ(Get16(EntryBytes(path).at(latin1), 6), 0x0002 | 0x0008);
  EXPECT_EQ(Find(ReadWithLibzip(path), "First.txt")->data, "first");
  ExpectUntouched(before, path, {"Old.txt"}, 1);

  // A zip64 entry keeps its zip64 field (the sizes it holds) and its data.
  Exec big(path);
  EXPECT_EQ(big.RunEdit(zippack::kEditRename, {"Zip64.txt"}, {"Sixty-four.txt"}), 1);
  const std::string oldZip64 = before.at("Zip64.txt");
  const std::string newZip64 = EntryBytes(path).at("Sixty-four.txt");
  EXPECT_EQ(ExtraOf(newZip64, 26), ExtraOf(oldZip64, 26));
  EXPECT_EQ(newZip64.substr(30 + 14), oldZip64.substr(30 + 9));
  EXPECT_EQ(Find(ReadWithLibzip(path), "Sixty-four.txt")->data, "sixty-four");
  EXPECT_TRUE(StrayTemps(dir.path()).empty());
}

TEST(ZipPackEdit, RefusalsLeaveTheArchiveByteForByte) {
  TempDir dir;
  const std::string path = dir.File("A.zip");
  const std::string original = MixedArchive();
  WriteFile(path, original);
  const auto refused = [&](const std::string& what, int32_t operation, std::vector<std::string> names,
                           std::vector<std::string> newNames, std::vector<int32_t> codes) {
    SCOPED_TRACE(what);
    Exec exec(path);
    EXPECT_EQ(exec.RunEdit(operation, names, newNames), 0);
    EXPECT_EQ(exec.ErrorCodes(), codes);
    EXPECT_EQ(ReadFile(path), original);
    EXPECT_TRUE(StrayTemps(dir.path()).empty());
  };
  refused("a name taken", zippack::kEditRename, {"First.txt"}, {"dir/Second.txt"}, {kEntryNameTaken});
  refused("a name taken, with \\", zippack::kEditRename, {"First.txt"}, {"dir\\Second.txt"}, {kEntryNameTaken});
  refused("no such entry", zippack::kEditRename, {"Nope.txt"}, {"New.txt"}, {kEntryNotFound});
  refused("no such entries", zippack::kEditDelete, {"Nope.txt", "first.txt"}, {}, {kEntryNotFound, kEntryNotFound});
  for (const std::string& name : {std::string(), std::string("/abs.txt"), std::string("a/../../b.txt"),
                                  std::string(".."), std::string("a\0b", 3), std::string(0x10000, 'n'),
                                  std::string("a file, not a folder/")}) {
    refused("new name " + name.substr(0, 20), zippack::kEditRename, {"First.txt"}, {name}, {kInvalidNewName});
  }

  // Damaged: the directory cut short. Spanned: the end record names disk 1.
  WriteFile(path, original.substr(0, original.size() - 30));
  Exec damaged(path);
  EXPECT_EQ(damaged.RunEdit(zippack::kEditDelete, {"First.txt"}), 0);
  EXPECT_EQ(damaged.ErrorCodes(), (std::vector<int32_t>{13}));
  EXPECT_EQ(ReadFile(path), original.substr(0, original.size() - 30));
  std::string spanned = original;
  spanned[spanned.rfind(std::string("PK\x05\x06", 4)) + 4] = 1;
  WriteFile(path, spanned);
  Exec span(path);
  EXPECT_EQ(span.RunEdit(zippack::kEditRename, {"First.txt"}, {"New.txt"}), 0);
  EXPECT_EQ(span.ErrorCodes(), (std::vector<int32_t>{14}));
  EXPECT_EQ(ReadFile(path), spanned);

  // Read-only, and held by another process.
  WriteFile(path, original);
  ::chmod(path.c_str(), 0444);
  Exec readOnly(path);
  EXPECT_EQ(readOnly.RunEdit(zippack::kEditDelete, {"First.txt"}), 0);
  EXPECT_EQ(readOnly.ErrorCodes(), (std::vector<int32_t>{10}));
  ::chmod(path.c_str(), 0644);
  int held[2];
  ASSERT_EQ(::pipe(held), 0);
  const pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0 || ::flock(fd, LOCK_SH) != 0 || ::write(held[1], "x", 1) != 1) ::_exit(1);
    for (;;) ::pause();
  }
  char byte = 0;
  ASSERT_EQ(::read(held[0], &byte, 1), 1);
  Exec inUse(path);
  EXPECT_EQ(inUse.RunEdit(zippack::kEditDelete, {"First.txt"}), 0);
  EXPECT_EQ(inUse.ErrorCodes(), (std::vector<int32_t>{11}));
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  ::close(held[0]);
  ::close(held[1]);
  EXPECT_EQ(ReadFile(path), original);

  // A missing archive is not made; blocks the library cannot take are
  // refused before anything is read.
  Exec missing(dir.File("None.zip"));
  EXPECT_EQ(missing.RunEdit(zippack::kEditDelete, {"First.txt"}), 0);
  EXPECT_FALSE(std::filesystem::exists(dir.File("None.zip")));
  std::string archive = path;
  const char* names[] = {"First.txt", "Last.txt"};
  zippack::ZipEntryName records[2] = {{names[0], 9, names[1], 8}, {names[1], 8, names[0], 9}};
  zippack::ZipEditParams block{};
  block.Version = zippack::kEditVersion;
  block.Operation = zippack::kEditRename;
  block.ArchiveName = archive.data();
  block.NameCount = 2;  // a rename names one entry
  block.Names = records;
  block.EndMarker = zippack::kEndMarker;
  EXPECT_EQ(CallEditWithBlock(&block), -1);
  block.NameCount = 1;
  block.Version = zippack::kCommentVersion;
  EXPECT_EQ(CallEditWithBlock(&block), -1);
  block.Version = zippack::kEditVersion;
  block.Operation = 3;
  EXPECT_EQ(CallEditWithBlock(&block), -1);
  EXPECT_EQ(ReadFile(path), original);
}

// Damaged archives, a few bytes changed at random: each delete and rename
// either refuses the archive and leaves it as it was, or changes it into an
// archive libzip reads (the damage lay in bytes it copies as they are).
TEST(ZipPackEdit, DamagedArchivesAreRefusedOrEditedNeverHalfWritten) {
  TempDir dir;
  const std::string path = dir.File("A.zip");
  const std::string good = MixedArchive();
  std::mt19937 random(23);
  for (int round = 0; round < 200; ++round) {
    std::string damaged = good;
    for (int k = 0; k < 1 + round % 3; ++k) damaged[random() % damaged.size()] = static_cast<char>(random());
    WriteFile(path, damaged);
    Exec exec(path);
    const int32_t changed = round % 2 == 0 ? exec.RunEdit(zippack::kEditDelete, {"Described.txt"})
                                           : exec.RunEdit(zippack::kEditRename, {"Zip64.txt"}, {"Renamed.txt"});
    if (changed == 0) {
      EXPECT_EQ(ReadFile(path), damaged) << "round " << round;
    } else {
      EXPECT_EQ(changed, 1) << "round " << round;
      EXPECT_TRUE(exec.Errors().empty()) << "round " << round;
    }
    ASSERT_TRUE(StrayTemps(dir.path()).empty()) << "round " << round;
  }
}

}  // namespace
}  // namespace zippack_test
