#include "archive/zip_find.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/unzip_member.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

using archive::ZipFindClose;
using archive::ZipFindFirst;
using archive::ZipFindNext;
using archive::ZipSearchRec;
using testing_support::TempDir;
using testing_support::WriteFile;
using testing_support::ZipBuilder;
using testing_support::ZipEntrySpec;

namespace {

std::string EndRecord(uint32_t directoryStart, uint32_t directorySize = 0, const std::string& comment = "") {
  std::string r = std::string("PK\x05\x06", 4) + std::string(12, '\0');
  r[12] = static_cast<char>(directorySize & 0xFF);
  r[13] = static_cast<char>((directorySize >> 8) & 0xFF);
  for (int i = 0; i < 4; ++i) r.push_back(static_cast<char>((directoryStart >> (8 * i)) & 0xFF));
  r.push_back(static_cast<char>(comment.size() & 0xFF));
  r.push_back(static_cast<char>(comment.size() >> 8));
  return r + comment;
}

std::vector<std::string> Names(const std::string& path, int* firstResult = nullptr) {
  std::vector<std::string> names;
  ZipSearchRec rec;
  int r = ZipFindFirst(path, rec);
  if (firstResult != nullptr) *firstResult = r;
  for (; r == 0; r = ZipFindNext(rec)) names.push_back(rec.FileName);
  EXPECT_FALSE(rec.IsOpen());
  ZipFindClose(rec);
  return names;
}

// n small stored entries whose central directory is exactly `directorySize`
// bytes: the last entry's comment takes up the remainder.
ZipBuilder DirectoryOfSize(size_t directorySize, int n) {
  ZipBuilder builder;
  size_t used = 0;
  for (int i = 0; i < n; ++i) {
    ZipEntrySpec e;
    char name[16];
    std::snprintf(name, sizeof name, "e%05d.txt", i);
    e.name = name;
    e.data = "x";
    used += 46 + e.name.size();
    if (i == n - 1) e.comment.assign(directorySize - used, 'c');
    builder.Add(e);
  }
  return builder;
}

}  // namespace

TEST(ZipFind, RefusesFilesWithoutAnEndRecord) {
  TempDir dir;
  ZipSearchRec rec;
  EXPECT_EQ(ZipFindFirst(dir.File("missing.zip"), rec), -1);
  WriteFile(dir.File("empty.zip"), "");
  EXPECT_EQ(ZipFindFirst(dir.File("empty.zip"), rec), -1);
  WriteFile(dir.File("noise.zip"), std::string(10000, 'P'));
  EXPECT_EQ(ZipFindFirst(dir.File("noise.zip"), rec), -1);
  WriteFile(dir.File("short.zip"), "PK\x05");
  EXPECT_EQ(ZipFindFirst(dir.File("short.zip"), rec), -1);
  EXPECT_FALSE(rec.IsOpen());
}

TEST(ZipFind, EndRecordPlacement) {
  TempDir dir;
  ZipSearchRec rec;
  // Only an end record: it starts at offset 0, before any header could.
  WriteFile(dir.File("only.zip"), EndRecord(0));
  EXPECT_EQ(ZipFindFirst(dir.File("only.zip"), rec), -2);
  // A directory that starts at the end record itself holds no entry.
  WriteFile(dir.File("none.zip"), std::string(46, 'x') + EndRecord(46));
  EXPECT_EQ(ZipFindFirst(dir.File("none.zip"), rec), 1);
  // A directory start behind the end record (or the 64-bit marker) is refused.
  WriteFile(dir.File("behind.zip"), std::string(100, 'x') + EndRecord(101));
  EXPECT_NE(ZipFindFirst(dir.File("behind.zip"), rec), 0);
  WriteFile(dir.File("zip64.zip"), std::string(100, 'x') + EndRecord(0xFFFFFFFF));
  EXPECT_NE(ZipFindFirst(dir.File("zip64.zip"), rec), 0);
  EXPECT_FALSE(rec.IsOpen());
}

TEST(ZipFind, TakesTheLastEndRecordAndSearchesBackThroughBlocks) {
  TempDir dir;
  ZipBuilder builder;
  builder.Add("a.txt", "alpha");
  const std::string real = builder.Build();
  // A fake end record inside the comment names a directory starting at
  // itself: if it is taken (it is the later one) the walk finds no entry.
  const uint32_t fakeOffset = static_cast<uint32_t>(real.size());
  std::string withFake = real.substr(0, real.size() - 2);
  const std::string fake = EndRecord(fakeOffset);
  withFake.push_back(static_cast<char>(fake.size()));
  withFake.push_back(0);
  withFake += fake;
  WriteFile(dir.File("fake.zip"), withFake);
  int first = 0;
  EXPECT_TRUE(Names(dir.File("fake.zip"), &first).empty());
  EXPECT_EQ(first, 1);

  // An end record followed by a long comment is found in an earlier block,
  // including one that straddles two blocks.
  for (size_t commentLength : {5000u, 4096u - 22u + 3u, 20000u}) {
    ZipBuilder b;
    b.Add("x/y.txt", "why").ArchiveComment(std::string(commentLength, 'z'));
    WriteFile(dir.File("comment.zip"), b.Build());
    EXPECT_EQ(Names(dir.File("comment.zip")), std::vector<std::string>{"x/y.txt"}) << commentLength;
  }
}

TEST(ZipFind, ReportsTheFieldsOfEachEntry) {
  TempDir dir;
  ZipBuilder builder;
  ZipEntrySpec song;
  song.name = "dir/sub/song.txt";
  song.data = "la la la";
  song.comment = "a file comment";
  song.extra = std::string("\x01\x02\x03\x04", 4);
  song.dosTime = 0x1234;
  song.dosDate = 0x5678;
  song.flags = 0x0002;
  builder.Add(song);
  ZipEntrySpec unix;
  unix.name = "unix.txt";
  unix.data = "u";
  unix.hostSystem = 3;
  unix.externalAttributes = 0x10;
  builder.Add(unix);
  ZipEntrySpec folder;
  folder.name = "folder/";
  folder.externalAttributes = 0x10;
  builder.Add(folder);
  ZipEntrySpec longName;
  longName.name = std::string(300, 'n');
  builder.Add(longName);
  builder.WriteTo(dir.File("a.zip"));

  ZipSearchRec rec;
  ASSERT_EQ(ZipFindFirst(dir.File("a.zip"), rec), 0);
  EXPECT_STREQ(rec.FileName, "dir/sub/song.txt");
  EXPECT_EQ(rec.PackMethod, 0);
  EXPECT_EQ(rec.Size, 8u);
  EXPECT_EQ(rec.CompressedSize, 8u);
  EXPECT_EQ(rec.Crc, testing_support::Crc32Of("la la la"));
  EXPECT_EQ(rec.Time, 0x56781234u);
  EXPECT_EQ(rec.Flags, 0x0002);
  EXPECT_EQ(rec.Attributes, 0x20);
  EXPECT_EQ(rec.HeaderOffset, builder.HeaderOffsets()[0]);
  ASSERT_EQ(ZipFindNext(rec), 0);  // behind the extra field and comment
  EXPECT_STREQ(rec.FileName, "unix.txt");
  EXPECT_EQ(rec.Attributes, 0);
  EXPECT_EQ(rec.HeaderOffset, builder.HeaderOffsets()[1]);
  ASSERT_EQ(ZipFindNext(rec), 0);
  EXPECT_EQ(rec.Attributes, 0x10);
  ASSERT_EQ(ZipFindNext(rec), 0);
  EXPECT_EQ(std::string(rec.FileName), std::string(259, 'n'));
  EXPECT_EQ(ZipFindNext(rec), 1);
  EXPECT_FALSE(rec.IsOpen());
  EXPECT_EQ(ZipFindNext(rec), -2);
  ZipFindClose(rec);
  ZipFindClose(rec);
}

TEST(ZipFind, NameEndsAtAZeroByte) {
  TempDir dir;
  ZipBuilder builder;
  builder.Add(std::string("abc\0def", 7), "x");
  builder.Add("next", "y");
  builder.WriteTo(dir.File("z.zip"));
  EXPECT_EQ(Names(dir.File("z.zip")), (std::vector<std::string>{"abc", "next"}));
}

TEST(ZipFind, MalformedHeaderEndsTheWalk) {
  TempDir dir;
  ZipBuilder builder;
  builder.Add("one", "1").Add("two", "2");
  std::string bytes = builder.Build();
  const size_t second = bytes.find(std::string("PK\x01\x02", 4), bytes.find(std::string("PK\x01\x02", 4)) + 4);
  bytes[second + 3] = 0x09;
  WriteFile(dir.File("bad.zip"), bytes);
  EXPECT_EQ(Names(dir.File("bad.zip")), std::vector<std::string>{"one"});
  // A name length running past the directory is not read.
  bytes = builder.Build();
  const size_t first = bytes.find(std::string("PK\x01\x02", 4));
  bytes[first + 28] = static_cast<char>(0xFF);
  bytes[first + 29] = 0x7F;
  WriteFile(dir.File("long.zip"), bytes);
  int r = 0;
  EXPECT_TRUE(Names(dir.File("long.zip"), &r).empty());
  EXPECT_EQ(r, 1);
}

TEST(ZipFind, WindowedDirectoryStartsAt63996Bytes) {
  TempDir dir;
  for (size_t size : {63995u, 63996u, 150000u}) {
    const int n = size < 100000 ? 1100 : 2000;
    DirectoryOfSize(size, n).WriteTo(dir.File("big.zip"));
    ZipSearchRec rec;
    ASSERT_EQ(ZipFindFirst(dir.File("big.zip"), rec), 0) << size;
    const bool windowed = size >= 63996;
    EXPECT_EQ(rec.BufferLength, windowed ? 64000 : static_cast<int32_t>(size + 4));
    EXPECT_EQ(rec.Archive.IsOpen(), windowed);
    int count = 1;
    bool inOrder = true;
    int r;
    while ((r = ZipFindNext(rec)) == 0) {
      char expected[16];
      std::snprintf(expected, sizeof expected, "e%05d.txt", count);
      inOrder = inOrder && std::string(rec.FileName) == expected;
      ++count;
    }
    EXPECT_EQ(r, 1);
    EXPECT_TRUE(inOrder) << size;
    EXPECT_EQ(count, n) << size;
    EXPECT_FALSE(rec.Archive.IsOpen());
  }
}

TEST(ZipFind, TwoWalksSideBySide) {
  TempDir dir;
  ZipBuilder builder;
  builder.Add("a", "1").Add("b", "2");
  builder.WriteTo(dir.File("two.zip"));
  ZipSearchRec first, second;
  ASSERT_EQ(ZipFindFirst(dir.File("two.zip"), first), 0);
  ASSERT_EQ(ZipFindFirst(dir.File("two.zip"), second), 0);
  ASSERT_EQ(ZipFindNext(first), 0);
  EXPECT_STREQ(first.FileName, "b");
  EXPECT_STREQ(second.FileName, "a");
  ZipFindClose(first);
  ZipFindClose(second);
}

TEST(ZipFind, ArchiveConcatenatedBehindAStubIsReadWithOffsetsShiftedToTheFile) {
  TempDir dir;
  const std::string song(3001, 'a');
  for (const bool adjusted : {false, true}) {
    SCOPED_TRACE(adjusted ? "offsets from the file's start" : "offsets from the archive's start");
    ZipBuilder builder;
    ZipEntrySpec zip64;
    zip64.name = "Zip64.txt";
    zip64.data = song;
    zip64.zip64Local = true;  // a stored entry whose local sizes are in the zip64 field
    builder.Prefix(std::string(4097, 's'), adjusted).Add("Deflated.txt", song, 8).Add(zip64);
    const std::string path = dir.File("stub.zip");
    builder.WriteTo(path);

    ZipSearchRec rec;
    int r = ZipFindFirst(path, rec);
    for (size_t i = 0; i < 2; ++i, r = ZipFindNext(rec)) {
      ASSERT_EQ(r, 0);
      EXPECT_EQ(rec.HeaderOffset, builder.HeaderOffsets()[i]);
      const std::string target = dir.File("out.txt");
      ASSERT_EQ(archive::UnzipMember(path, target, 0x20, rec.HeaderOffset, nullptr, 0), 0) << rec.FileName;
      EXPECT_EQ(testing_support::ReadFile(target), song);
    }
    EXPECT_EQ(r, archive::kZipFindNoMore);
  }
}

TEST(ZipFind, Zip64SizesComeFromTheExtraFieldAndSizesPast4GiBEndTheWalk) {
  TempDir dir;
  ZipEntrySpec fits;
  fits.name = "fits.txt";
  fits.data = "12345";
  fits.zip64CentralCompressedSize = 5;
  ZipEntrySpec huge = fits;
  huge.name = "huge.bin";
  huge.zip64CentralCompressedSize = uint64_t{5} << 30;
  ZipBuilder().Add(fits).Add(huge).WriteTo(dir.File("a.zip"));

  ZipSearchRec rec;
  ASSERT_EQ(ZipFindFirst(dir.File("a.zip"), rec), 0);
  EXPECT_EQ(rec.CompressedSize, 5u);
  // Never a truncated size: the iteration ends with its own result.
  EXPECT_EQ(ZipFindNext(rec), archive::kZipFindTooLarge);
  EXPECT_FALSE(rec.IsOpen());
}
