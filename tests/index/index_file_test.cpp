#include "index/index_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "index/replace_all.h"
#include "platform/posix/io_error.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"

using fretfile::IndexText;
using fretfile::IndexWriter;
using fretfile::ReplaceAll;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(ReplaceAll, ReplacesEveryOccurrence) {
  EXPECT_EQ(ReplaceAll("Some_Band", "_", " "), "Some Band");
  EXPECT_EQ(ReplaceAll("a__b", "_", " "), "a  b");
  EXPECT_EQ(ReplaceAll("First Song.txt", " ", "_"), "First_Song.txt");
  EXPECT_EQ(ReplaceAll("", "_", " "), "");
}

TEST(ReplaceAll, EmptyFindTextLeavesTheTextAlone) { EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc"); }

TEST(ReplaceAll, SearchesFromTheStartEachTimeSoNewOccurrencesAreReplacedToo) {
  // "aabb" -> "aab" -> "aa": the first replacement makes a new "ab".
  EXPECT_EQ(ReplaceAll("aabb", "ab", "a"), "aa");
  EXPECT_EQ(ReplaceAll("xxy", "xy", "y"), "y");
}

TEST(ReplaceAll, AReplacementHoldingTheFindTextEndsInsteadOfLoopingForever) {
  EXPECT_EQ(ReplaceAll("a_b", "_", "__"), "a__b");
}

TEST(IndexWriter, WritesLinesWithCrLfAndPutsTheIndexInPlaceAtClose) {
  TempDir dir;
  const auto path = dir.File("kest.idx");
  WriteFile(path, "old<>line\r\n");
  IndexWriter writer;
  writer.Open(path);
  writer.WriteLine("Some Band", "First Song.txt");
  writer.WriteLine("Some Band", "live/Second Song.txt");
  // Until the close, readers still see the previous index.
  EXPECT_EQ(ReadFile(path), "old<>line\r\n");
  writer.Close();
  EXPECT_EQ(ReadFile(path), "Some Band<>First Song.txt\r\nSome Band<>live/Second Song.txt\r\n");
  EXPECT_FALSE(FileExists(path + ".new"));
}

TEST(IndexWriter, AnAbandonedIndexLeavesThePreviousOneByteForByte) {
  TempDir dir;
  const auto path = dir.File("kest.idx");
  WriteFile(path, std::string("keep<>me\n\0odd", 12));
  const std::string before = ReadFile(path);
  {
    IndexWriter writer;
    writer.Open(path);
    writer.WriteLine("a", "b");
  }  // destroyed without Close, as when a rebuild fails half-way
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_FALSE(FileExists(path + ".new"));
}

TEST(IndexWriter, OpenFailureRaisesTheAccessText) {
  TempDir dir;
  ::chmod(dir.path().c_str(), 0555);
  IndexWriter writer;
  if (::geteuid() == 0) {
    // Root may write into a read-only folder; check a missing folder instead.
    EXPECT_THROW(writer.Open(dir.File("missing/kest.idx")), platform::IoError);
  } else {
    EXPECT_THROW(writer.Open(dir.File("kest.idx")), platform::IoError);
  }
  ::chmod(dir.path().c_str(), 0755);
}

TEST(IndexWriter, AFullDiskIsReportedAndThePreviousIndexStays) {
  TempDir dir;
  const auto path = dir.File("kest.idx");
  WriteFile(path, "previous<>index\r\n");
  std::string error;
  {
    testing_support::FileSizeLimit full(4096);
    ASSERT_TRUE(full.active());
    try {
      IndexWriter writer;
      writer.Open(path);
      for (int i = 0; i < 10000; ++i) writer.WriteLine("Artist", "A song title that fills the buffer.txt");
      writer.Close();
    } catch (const platform::IoError& e) {
      error = e.what();
    }
  }
  EXPECT_EQ(error, "Disk full");
  EXPECT_EQ(ReadFile(path), "previous<>index\r\n");
  EXPECT_FALSE(FileExists(path + ".new"));
}

TEST(IndexText, LinesEndAtCrLfOrCrLfAndNoEmptyLineIsAddedAtTheEnd) {
  EXPECT_EQ(IndexText::FromBytes("a\r\nb\rc\nd").Lines(), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(IndexText::FromBytes("a\r\n").Lines(), (std::vector<std::string>{"a"}));
  EXPECT_EQ(IndexText::FromBytes("a\n\nb\n").Lines(), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(IndexText::FromBytes("a\n\rb").Lines(), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(IndexText::FromBytes("").LineCount(), 0u);
  EXPECT_EQ(IndexText::FromBytes("\r\n").Lines(), (std::vector<std::string>{""}));
}

TEST(IndexText, AZeroByteEndsTheText) {
  EXPECT_EQ(IndexText::FromBytes(std::string("a<>b\r\nc<>d\0e<>f\r\n", 17)).Lines(),
            (std::vector<std::string>{"a<>b", "c<>d"}));
}

TEST(IndexText, WrittenAndReadBackGivesOneLinePerWrittenLine) {
  TempDir dir;
  IndexWriter writer;
  writer.Open(dir.File("kest.idx"));
  for (int i = 0; i < 1000; ++i) writer.WriteLine("Artist " + std::to_string(i), "Song.txt");
  writer.Close();
  const IndexText text = IndexText::Load(dir.File("kest.idx"));
  ASSERT_EQ(text.LineCount(), 1000u);
  EXPECT_EQ(text.LineAt(999), "Artist 999<>Song.txt");
}

TEST(IndexText, AnIndexHeldOpenByAnotherPartyCannotBeLoaded) {
  TempDir dir;
  WriteFile(dir.File("kest.idx"), "a<>b\r\n");
  platform::SharedFile holder;
  ASSERT_EQ(holder.Open(dir.File("kest.idx"), platform::FileAccess::Read, platform::FileShare::Shared), 0);
  try {
    IndexText::Load(dir.File("kest.idx"));
    FAIL();
  } catch (const platform::IoError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot open file " + dir.File("kest.idx"));
    EXPECT_EQ(error.code(), EWOULDBLOCK);
  }
}
