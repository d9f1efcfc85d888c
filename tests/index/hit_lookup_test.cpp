// From a grid row to the archive and the entry, over archives in a
// temporary collection folder.
#include "index/hit_lookup.h"

#include <cerrno>

#include <gtest/gtest.h>

#include "platform/posix/io_error.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

using fretfile::LocateHit;
using testing_support::TempDir;
using testing_support::ZipBuilder;

namespace {

TEST(HitLookup, RowGivesArchiveAndEntryWithUnderscores) {
  EXPECT_EQ(fretfile::ArchivePathOfRow("/c/", "Some Artist"), "/c/Some_Artist.zip");
  EXPECT_EQ(fretfile::SoughtEntryName("My Song.txt"), "My_Song.txt");
}

TEST(HitLookup, UnderscoreFormsWinAndRealSpacesAreTheFallback) {
  TempDir dir;
  ZipBuilder underscored;
  underscored.Add("My Song.txt", "spaced entry").Add("My_Song.txt", "underscored entry");
  underscored.WriteTo(dir.File("Some_Artist.zip"));
  ZipBuilder().Add("My_Song.txt", "spaced archive").WriteTo(dir.File("Some Artist.zip"));
  auto hit = LocateHit(dir.path(), "Some Artist", "My Song.txt");
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->archivePath, dir.File("Some_Artist.zip"));
  EXPECT_EQ(hit->fileName, "My_Song.txt");
  EXPECT_EQ(hit->headerOffset, underscored.HeaderOffsets()[1]);

  // Names that hold real spaces are found when no "_" form exists.
  ZipBuilder().Add("Your Song.txt", "spaced").WriteTo(dir.File("Other Artist.zip"));
  hit = LocateHit(dir.path(), "Other Artist", "Your Song.txt");
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->archivePath, dir.File("Other Artist.zip"));
  EXPECT_EQ(hit->fileName, "Your Song.txt");
}

TEST(HitLookup, NoSuchEntryGivesNothingAndNoArchiveAnInputOutputError) {
  TempDir dir;
  ZipBuilder().Add("My_Song.txt", "text").WriteTo(dir.File("Some_Artist.zip"));
  EXPECT_FALSE(LocateHit(dir.path(), "Some Artist", "my song.txt"));  // case counts
  try {
    LocateHit(dir.path(), "Nobody", "Song.txt");
    ADD_FAILURE() << "no archive, no error";
  } catch (const platform::IoError& error) {
    EXPECT_EQ(error.code(), ENOENT);
  }
}

}  // namespace
