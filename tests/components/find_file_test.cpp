#include "components/find_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix/find_files.h"
#include "support/temp_dir.h"

using fretfile::TAttrOptions;
using fretfile::TFindFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

std::vector<std::string> Sorted(std::vector<std::string> items) {
  std::sort(items.begin(), items.end());
  return items;
}

std::vector<std::string> List(TFindFile& finder) {
  finder.Execute();
  return Sorted(finder.Files());
}

}  // namespace

TEST(WildcardMatch, WindowsRules) {
  using platform::WildcardMatch;
  EXPECT_TRUE(WildcardMatch("*.zip", "Band.ZIP"));
  EXPECT_TRUE(WildcardMatch("*.ZIP", "band.zip"));
  EXPECT_FALSE(WildcardMatch("*.zip", "band.zipx"));
  EXPECT_FALSE(WildcardMatch("*.zip", "band.zip.bak"));
  EXPECT_TRUE(WildcardMatch("*.zip", ".zip"));
  EXPECT_TRUE(WildcardMatch("?and.zip", "Band.zip"));
  EXPECT_FALSE(WildcardMatch("?and.zip", "and.zip"));
  EXPECT_TRUE(WildcardMatch("*.*", "no-dot"));
  EXPECT_TRUE(WildcardMatch("a*b*c", "a-b-b-c"));
  EXPECT_FALSE(WildcardMatch("a*b*c", "a-b-b-"));
  // Only ASCII letters fold; other bytes must be equal.
  EXPECT_FALSE(WildcardMatch("\xC4.zip", "\xE4.zip"));
}

TEST(TFindFile, ListsMatchingFilesWithOrWithoutTrailingSeparator) {
  TempDir dir;
  WriteFile(dir.File("Band.ZIP"), "1");
  WriteFile(dir.File("other.zip"), "22");
  WriteFile(dir.File("notes.txt"), "333");
  WriteFile(dir.File("archive.zipx"), "4444");
  ASSERT_EQ(::mkfifo(dir.File("pipe.zip").c_str(), 0600), 0);  // opening it would block
  TFindFile finder;
  finder.SetFilter("*.zip");
  finder.SetDirectory(dir.path());
  const auto withSeparator = List(finder);
  EXPECT_EQ(withSeparator, (std::vector<std::string>{dir.File("Band.ZIP"), dir.File("other.zip")}));
  EXPECT_EQ(finder.FileCount(), 2);
  EXPECT_EQ(finder.DirectoryCount(), 0);
  EXPECT_EQ(finder.TotalSize(), 3u);
  finder.SetDirectory(dir.path().substr(0, dir.path().size() - 1));
  EXPECT_EQ(List(finder), withSeparator);
}

TEST(TFindFile, DefaultAttributesSkipDirectoriesButKeepHiddenAndReadOnlyFiles) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("folder.zip"));
  WriteFile(dir.File(".hidden.zip"), "h");
  WriteFile(dir.File("locked.zip"), "r");
  ::chmod(dir.File("locked.zip").c_str(), 0444);
  TFindFile finder;
  finder.SetFilter("*.zip");
  finder.SetDirectory(dir.path());
  EXPECT_EQ(List(finder), (std::vector<std::string>{dir.File(".hidden.zip"), dir.File("locked.zip")}));

  TAttrOptions noHidden = finder.Attributes();
  noHidden.Exclude(fretfile::ffHidden);
  finder.SetAttributes(noHidden);
  EXPECT_EQ(List(finder), (std::vector<std::string>{dir.File("locked.zip")}));
}

TEST(TFindFile, DirectoriesCountAsDirectoriesOnlyWithAttributeExactly16) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("plain"));
  std::filesystem::create_directory(dir.File("readonly"));
  ::chmod(dir.File("readonly").c_str(), 0555);
  WriteFile(dir.File("file"), "12345");
  TFindFile finder;
  TAttrOptions attributes = finder.Attributes();
  attributes.Include(fretfile::ffDirectory);
  finder.SetAttributes(attributes);
  EXPECT_EQ(attributes.Mask(), 55u);
  finder.SetDirectory(dir.path());
  EXPECT_EQ(List(finder), (std::vector<std::string>{dir.File("file"), dir.File("plain"), dir.File("readonly")}));
  EXPECT_EQ(finder.DirectoryCount(), 1);
  EXPECT_EQ(finder.FileCount(), 2);
  EXPECT_EQ(finder.TotalSize(), 5u);
}

TEST(TFindFile, TreeIsListedBreadthFirst) {
  TempDir dir;
  WriteFile(dir.File("root.txt"), "");
  WriteFile(dir.File("a/a.txt"), "");
  WriteFile(dir.File("a/b/b.txt"), "");
  WriteFile(dir.File("c/c.txt"), "");
  WriteFile(dir.File("c/d/e/e.txt"), "");
  TFindFile finder;
  finder.SetRecurse(true);
  finder.SetFilter("*.txt");
  finder.SetDirectory(dir.path());
  std::vector<std::string> newPaths;
  finder.OnNewPath = [&](TFindFile&, const std::string& path, bool&) { newPaths.push_back(path); };
  finder.Execute();
  const auto& files = finder.Files();
  ASSERT_EQ(files.size(), 5u);
  const auto depth = [&](const std::string& path) {
    return std::count(path.begin() + static_cast<long>(dir.path().size()), path.end(), '/');
  };
  for (size_t i = 1; i < files.size(); ++i) EXPECT_LE(depth(files[i - 1]), depth(files[i])) << files[i];
  EXPECT_EQ(files[0], dir.File("root.txt"));
  EXPECT_EQ(files[4], dir.File("c/d/e/e.txt"));
  EXPECT_EQ(newPaths.front(), dir.path());
  EXPECT_EQ(newPaths.size(), 6u);
  for (const auto& path : newPaths) EXPECT_EQ(path.back(), '/');
}

TEST(TFindFile, LinksBackIntoTheTreeAreListedOnce) {
  TempDir dir;
  WriteFile(dir.File("a/song.txt"), "");
  ASSERT_EQ(::symlink(dir.path().c_str(), dir.File("a/up").c_str()), 0);
  ASSERT_EQ(::symlink(dir.File("a").c_str(), dir.File("a/self").c_str()), 0);
  TFindFile finder;
  finder.SetRecurse(true);
  finder.SetFilter("*.txt");
  finder.SetDirectory(dir.path());
  finder.Execute();
  EXPECT_EQ(finder.Files(), (std::vector<std::string>{dir.File("a/song.txt")}));
}

TEST(TFindFile, AbortStopsThisRunAndEveryLaterOne) {
  TempDir dir;
  WriteFile(dir.File("x.zip"), "");
  WriteFile(dir.File("sub/y.zip"), "");
  TFindFile finder;
  finder.SetRecurse(true);
  finder.SetDirectory(dir.path());
  // Abort at the second directory of a tree: the root's files stay.
  int seen = 0;
  finder.OnNewPath = [&](TFindFile&, const std::string&, bool& abort) {
    if (++seen == 2) abort = true;
  };
  finder.Execute();
  EXPECT_EQ(finder.Files(), (std::vector<std::string>{dir.File("x.zip")}));
  EXPECT_TRUE(finder.Aborted());
  finder.OnNewPath = nullptr;
  finder.SetRecurse(false);
  finder.Execute();
  EXPECT_TRUE(finder.Files().empty());
}

TEST(TFindFile, MissingOrEmptyDirectoryListsNothingButRaisesTheRunEvents) {
  TempDir dir;
  TFindFile finder;
  std::vector<std::string> events;
  finder.BeforeExecute = [&](TFindFile& sender) {
    events.push_back("before");
    EXPECT_TRUE(sender.Files().empty());
  };
  finder.AfterExecute = [&](TFindFile&) { events.push_back("after"); };
  finder.SetFiles({"stale"});
  finder.SetDirectory(dir.File("missing"));
  finder.Execute();
  EXPECT_TRUE(finder.Files().empty());
  finder.SetDirectory("");
  finder.Execute();
  EXPECT_EQ(events, (std::vector<std::string>{"before", "after", "before", "after"}));
}
