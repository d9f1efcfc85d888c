#include "platform/posix/paths.h"

#include <gtest/gtest.h>

#include "platform/posix/app_paths.h"

TEST(Paths, FolderNameAndSeparatorsAtTheEdges) {
  EXPECT_EQ(platform::FolderOf("/music/Some_Band.zip"), "/music");
  EXPECT_EQ(platform::FolderOf("/Some_Band.zip"), "/");  // never empty for an absolute path
  EXPECT_EQ(platform::FolderOf("Some_Band.zip"), "");
  EXPECT_EQ(platform::FolderOf("temp/Folder/"), "temp/Folder");
  EXPECT_EQ(platform::NameOf("/music/Some_Band.zip"), "Some_Band.zip");
  EXPECT_EQ(platform::NameOf("x.zip"), "x.zip");
  EXPECT_EQ(platform::WithTrailingSeparator("/music"), "/music/");
  EXPECT_EQ(platform::WithTrailingSeparator("/music/"), "/music/");
  EXPECT_EQ(platform::WithTrailingSeparator(""), "");  // the current folder stays relative
  EXPECT_EQ(platform::WithoutTrailingSeparator("/music//"), "/music");
  EXPECT_EQ(platform::WithoutTrailingSeparator("/"), "/");
  EXPECT_EQ(platform::AppDirFromProgramPath("/opt/songs/fretfile"), "/opt/songs/");
  EXPECT_EQ(platform::AppDirFromProgramPath("/fretfile"), "/");
  EXPECT_EQ(platform::AppDirFromProgramPath("fretfile"), "");
}
