#include "platform/posix/shared_file.h"

#include <sys/stat.h>

#include <cerrno>

#include <gtest/gtest.h>

#include "platform/posix/io_error.h"
#include "support/temp_dir.h"

using platform::FileAccess;
using platform::FileCreation;
using platform::FileShare;
using platform::SharedFile;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(SharedFile, ExclusiveOpenRefusesEveryOtherOpen) {
  TempDir dir;
  WriteFile(dir.File("a"), "abc");
  SharedFile owner;
  ASSERT_EQ(owner.Open(dir.File("a"), FileAccess::Read, FileShare::DenyAll), 0);
  SharedFile other;
  EXPECT_EQ(other.Open(dir.File("a"), FileAccess::Read, FileShare::Shared), EWOULDBLOCK);
  EXPECT_EQ(other.Open(dir.File("a"), FileAccess::Read, FileShare::DenyAll), EWOULDBLOCK);
  owner.Close();
  EXPECT_EQ(other.Open(dir.File("a"), FileAccess::Read, FileShare::DenyAll), 0);
}

TEST(SharedFile, SharedOpensCoexist) {
  TempDir dir;
  WriteFile(dir.File("a"), "abc");
  SharedFile one, two;
  ASSERT_EQ(one.Open(dir.File("a"), FileAccess::Read, FileShare::Shared), 0);
  EXPECT_EQ(two.Open(dir.File("a"), FileAccess::Read, FileShare::Shared), 0);
}

TEST(SharedFile, RefusedTruncatingOpenLeavesContent) {
  TempDir dir;
  WriteFile(dir.File("a"), "keep me");
  SharedFile owner;
  ASSERT_EQ(owner.Open(dir.File("a"), FileAccess::Read, FileShare::DenyAll), 0);
  SharedFile writer;
  EXPECT_NE(writer.Open(dir.File("a"), FileAccess::Write, FileShare::DenyAll, FileCreation::CreateOrTruncate), 0);
  EXPECT_EQ(ReadFile(dir.File("a")), "keep me");
}

TEST(SharedFile, ReadOnlyFileRefusesWritingEvenToRoot) {
  TempDir dir;
  WriteFile(dir.File("ro"), "x");
  ::chmod(dir.File("ro").c_str(), 0444);
  SharedFile file;
  EXPECT_EQ(file.Open(dir.File("ro"), FileAccess::Write, FileShare::DenyAll, FileCreation::CreateOrTruncate), EACCES);
  EXPECT_EQ(ReadFile(dir.File("ro")), "x");
}

TEST(SharedFile, ErrorsCarryTheUsualTexts) {
  TempDir dir;
  SharedFile file;
  try {
    file.OpenOrThrow(dir.File("missing"), FileAccess::Read, FileShare::Shared);
    FAIL();
  } catch (const platform::IoError& error) {
    EXPECT_STREQ(error.what(), "File not found");
  }
  EXPECT_EQ(platform::IoErrorText(EACCES), "File access denied");
  EXPECT_EQ(platform::IoErrorText(ENOSPC), "Disk full");
  EXPECT_EQ(platform::IoErrorText(EIO), "I/O error 5");
}
