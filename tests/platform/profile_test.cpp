#include "platform/posix/profile.h"

#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "support/file_size_limit.h"
#include "support/temp_dir.h"

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(Profile, MissingFileSectionOrKeyGivesDefault) {
  TempDir dir;
  EXPECT_EQ(platform::GetPrivateProfileString("Ext Viewers", "Path", "Error", dir.File("none.ini")), "Error");
  WriteFile(dir.File("k.ini"), "[Other]\r\nPath=x\r\n[Ext Viewers]\r\nName=vi\r\n");
  EXPECT_EQ(platform::GetPrivateProfileString("Ext Viewers", "Path", "Error", dir.File("k.ini")), "Error");
  EXPECT_EQ(platform::GetPrivateProfileString("Nope", "Name", "Error", dir.File("k.ini")), "Error");
}

TEST(Profile, NamesMatchIgnoringCaseAndBlanksAreTrimmed) {
  TempDir dir;
  WriteFile(dir.File("k.ini"), "[ ext viewers ]\n  path =  /usr/bin/ \nNAME=less\n");
  EXPECT_EQ(platform::GetPrivateProfileString("Ext Viewers", "Path", "Error", dir.File("k.ini")), "/usr/bin/");
  EXPECT_EQ(platform::GetPrivateProfileString("EXT VIEWERS", "name", "Error", dir.File("k.ini")), "less");
}

TEST(Profile, WriteCreatesFileAndSectionThenReplacesInPlace) {
  TempDir dir;
  const auto ini = dir.File("k.ini");
  ASSERT_TRUE(platform::WritePrivateProfileString("Ext Viewers", "Path", "/opt/", ini));
  ASSERT_TRUE(platform::WritePrivateProfileString("Ext Viewers", "Name", "view", ini));
  EXPECT_EQ(ReadFile(ini), "[Ext Viewers]\r\nPath=/opt/\r\nName=view\r\n");
  ASSERT_TRUE(platform::WritePrivateProfileString("ext viewers", "PATH", "/bin/", ini));
  EXPECT_EQ(ReadFile(ini), "[Ext Viewers]\r\nPATH=/bin/\r\nName=view\r\n");
}

TEST(Profile, WriteKeepsOtherLinesAndSections) {
  TempDir dir;
  const auto ini = dir.File("k.ini");
  WriteFile(ini, "; note\n[A]\nx=1\n\n[B]\ny=2\n");
  ASSERT_TRUE(platform::WritePrivateProfileString("A", "z", "3", ini));
  EXPECT_EQ(ReadFile(ini), "; note\n[A]\nx=1\nz=3\r\n\n[B]\ny=2\n");
  EXPECT_EQ(platform::GetPrivateProfileString("B", "y", "", ini), "2");
}

TEST(Profile, ValuesAreBytesUnchanged) {
  TempDir dir;
  const auto ini = dir.File("k.ini");
  ASSERT_TRUE(platform::WritePrivateProfileString("S", "Path", "C:\\Tools\\\xE9", ini));
  EXPECT_EQ(platform::GetPrivateProfileString("S", "Path", "", ini), "C:\\Tools\\\xE9");
}

TEST(Profile, UnwritableOrReadOnlyFileFailsAndStaysAsItWas) {
  EXPECT_FALSE(platform::WritePrivateProfileString("S", "k", "v", "/nonexistent-dir/k.ini"));
  TempDir dir;
  // Read-only: refused even where the process could write it (root).
  const auto ini = dir.File("k.ini");
  WriteFile(ini, "[S]\r\nk=old\r\n");
  ASSERT_EQ(::chmod(ini.c_str(), 0444), 0);
  EXPECT_FALSE(platform::WritePrivateProfileString("S", "k", "new", ini));
  EXPECT_EQ(ReadFile(ini), "[S]\r\nk=old\r\n");
  std::filesystem::create_directory(dir.File("folder.ini"));
  EXPECT_FALSE(platform::WritePrivateProfileString("S", "k", "v", dir.File("folder.ini")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2) << "no file left behind";
}

TEST(Profile, AFullDiskFailsAndLeavesTheFileAsItWas) {
  TempDir dir;
  const auto ini = dir.File("kest.ini");
  WriteFile(ini, "[S]\r\nk=old\r\n");
  bool written = true;
  {
    testing_support::FileSizeLimit full(64);
    ASSERT_TRUE(full.active());
    written = platform::WritePrivateProfileString("S", "k", std::string(200, 'v'), ini);
  }
  EXPECT_FALSE(written);
  EXPECT_EQ(ReadFile(ini), "[S]\r\nk=old\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "no file left behind";
}

TEST(Profile, WriteReplacesTheFileWholeKeepingItsPermissionsAndLinks) {
  TempDir dir;
  const auto real = dir.File("real.ini");
  WriteFile(real, "[S]\r\nk=old\r\n");
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  std::filesystem::create_symlink(real, dir.File("k.ini"));
  ASSERT_TRUE(platform::WritePrivateProfileString("S", "k", "new", dir.File("k.ini")));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("k.ini")));
  EXPECT_EQ(ReadFile(real), "[S]\r\nk=new\r\n");
  struct stat st{};
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2) << "no file left behind";
}
