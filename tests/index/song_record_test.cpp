// The records and drafts beside the songs in temp/: what they keep, and
// that a damaged or misplaced record is no record.
#include <gtest/gtest.h>

#include <filesystem>

#include "index/song_record.h"
#include "support/temp_dir.h"

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

TEST(SongRecordTest, RecordsTellEditsThatNeverReachedTheirArchive) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("temp/live"));
  // Names are bytes: line breaks and digits in them are no part of the format.
  fretfile::SongRecord record{dir.File("Some Band\n3.zip"), "live/Song\n12.txt", "Some Band\n3"};
  record.Set("as stored");
  ASSERT_TRUE(fretfile::WriteSongRecord(dir.path(), record));
  const auto read = fretfile::ReadSongRecord(dir.path(), record.entryName);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->archivePath, record.archivePath);
  EXPECT_EQ(read->artist, record.artist);
  EXPECT_TRUE(read->Holds("as stored"));

  // The song in temp/ as extracted: nothing to offer; changed there, or in
  // a viewer's draft, it is an edit.
  WriteFile(dir.File("temp/live/Song\n12.txt"), "as stored");
  EXPECT_TRUE(fretfile::FindUnstoredEdits(dir.path()).empty());
  WriteFile(dir.File("temp/live/Song\n12.txt"), "edited elsewhere");
  auto edits = fretfile::FindUnstoredEdits(dir.path());
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(edits[0].text, "edited elsewhere");
  EXPECT_FALSE(edits[0].fromDraft);
  ASSERT_TRUE(fretfile::WriteSongDraft(dir.path(), record.entryName, std::string("typed")));
  edits = fretfile::FindUnstoredEdits(dir.path());
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(edits[0].text, "typed");
  EXPECT_TRUE(edits[0].fromDraft);

  // A record cut short, or lying in another entry's place, is none.
  const std::string path = dir.File("temp/.fretfile-records/live/Song\n12.txt.record");
  const std::string whole = ReadFile(path);
  for (const size_t cut : {size_t{0}, size_t{10}, whole.size() / 2, whole.size() - 1}) {
    WriteFile(path, whole.substr(0, cut));
    EXPECT_TRUE(fretfile::FindUnstoredEdits(dir.path()).empty()) << cut;
  }
  WriteFile(path, whole);
  std::filesystem::rename(path, dir.File("temp/.fretfile-records/live/Other.txt.record"));
  EXPECT_TRUE(fretfile::FindUnstoredEdits(dir.path()).empty());
  EXPECT_FALSE(fretfile::ReadSongRecord(dir.path(), "live/Other.txt"));
}

}  // namespace
