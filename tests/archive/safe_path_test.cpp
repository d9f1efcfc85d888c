#include "archive/safe_path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "support/temp_dir.h"

using archive::SafeJoin;
using testing_support::TempDir;

TEST(SafeJoin, JoinsPlainNames) {
  TempDir dir;
  const std::string folder = dir.path() + "out";
  EXPECT_EQ(SafeJoin(folder, "song.txt"), folder + "/song.txt");
  EXPECT_EQ(SafeJoin(folder + "/", "a/b/c.txt"), folder + "/a/b/c.txt");
  EXPECT_EQ(SafeJoin(folder, "a/b/"), folder + "/a/b/");  // a directory entry keeps its '/'
  EXPECT_EQ(SafeJoin(folder, "./a"), folder + "/./a");
  EXPECT_EQ(SafeJoin(folder, "a..b"), folder + "/a..b");
}

TEST(SafeJoin, RefusesNamesThatLeaveTheFolder) {
  TempDir dir;
  const std::string folder = dir.path() + "out";
  for (const char* name : {"", "/etc/passwd", "../x", "a/../../x", "a/..", "..", ".", "./", "a/./../..", "//x"}) {
    EXPECT_FALSE(SafeJoin(folder, name)) << name;
  }
  EXPECT_FALSE(SafeJoin("", "a"));
}

TEST(SafeJoin, FollowsExistingLinks) {
  TempDir dir;
  const std::string folder = dir.path() + "out";
  std::filesystem::create_directories(folder + "/inside");
  std::filesystem::create_directories(dir.path() + "elsewhere");
  ASSERT_EQ(::symlink((dir.path() + "elsewhere").c_str(), (folder + "/escape").c_str()), 0);
  ASSERT_EQ(::symlink("inside", (folder + "/alias").c_str()), 0);
  EXPECT_FALSE(SafeJoin(folder, "escape/x.txt"));
  EXPECT_FALSE(SafeJoin(folder, "escape"));
  EXPECT_EQ(SafeJoin(folder, "alias/x.txt"), folder + "/alias/x.txt");
  // The folder itself may be reached through a link.
  ASSERT_EQ(::symlink(folder.c_str(), (dir.path() + "link").c_str()), 0);
  EXPECT_EQ(SafeJoin(dir.path() + "link", "x.txt"), dir.path() + "link/x.txt");
}
