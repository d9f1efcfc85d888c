// The component's settings, its messages and its temporary names.
#include <filesystem>

#include "update/component/updater_messages.h"
#include "update/updater_fixture.h"

using fretfile::EZipUpdater;
using fretfile::TZipUpdater;
using testing_support::UpdaterTest;
namespace msg = fretfile::msg;

namespace {

using SettingsTest = UpdaterTest;

TEST_F(SettingsTest, SettersKeepTheirRules) {
  // The two-byte option set keeps bits 0 to 7 in its first byte.
  EXPECT_EQ((fretfile::AddOpts{fretfile::AddDirNames, fretfile::AddResetArchive, fretfile::AddDiskSpanErase}
                 .ToBits()),
            0x4201);
  updater.SetPasswordReqCount(40);
  EXPECT_EQ(updater.PasswordReqCount(), 15u);
  updater.SetVersionInfo("2.0");
  EXPECT_EQ(updater.VersionInfo(), "1.60 L");
  updater.SetPassword(std::string(300, 'p'));
  EXPECT_EQ(updater.Password().size(), 255u);

  updater.SetDLLDirectory("/opt/lib/");
  EXPECT_EQ(updater.DLLDirectory(), "/opt/lib");
  // Only one separator goes, and a value equal to the current one changes
  // nothing (not even a separator at its end).
  updater.SetDLLDirectory("/opt//");
  EXPECT_EQ(updater.DLLDirectory(), "/opt/");
  updater.SetDLLDirectory("/opt/");
  EXPECT_EQ(updater.DLLDirectory(), "/opt/");

  updater.SetRootDir("/songs");
  EXPECT_EQ(updater.RootDir(), "/songs/");
  updater.SetRootDir("/songs/");
  EXPECT_EQ(updater.RootDir(), "/songs/");
  updater.SetRootDir("");
  EXPECT_EQ(updater.RootDir(), "");

  EXPECT_EQ(updater.StoreSuffixList(), ".gif:.png:.z:.zip:.zoo:.arc:.lzh:.arj:.taz:.tgz:.lha");
  updater.AddStoreSuffixes = {fretfile::assEXE};
  EXPECT_EQ(updater.StoreSuffixList(), ".exe");
  updater.AddStoreSuffixes = {};
  EXPECT_EQ(updater.StoreSuffixList(), "");
}

TEST_F(SettingsTest, TemporaryNamesAreNewFilesInTempDir) {
  std::filesystem::create_directory(dir.File("tmp"));
  updater.TempDir = dir.File("tmp");
  const std::string name = updater.MakeTempFileName("", "");
  EXPECT_EQ(updater.TempDir, dir.File("tmp/"));
  EXPECT_TRUE(name.starts_with(dir.File("tmp/zip"))) << name;
  EXPECT_TRUE(name.ends_with(".zip")) << name;
  EXPECT_FALSE(std::filesystem::exists(name));
  EXPECT_TRUE(std::filesystem::is_empty(dir.File("tmp")));
  EXPECT_NE(updater.MakeTempFileName("", ""), name);
  updater.TempDir = dir.File("missing");
  EXPECT_EQ(updater.MakeTempFileName("arc", ".tmp"), "");
}

TEST_F(SettingsTest, MessagesHaveTextsAndNumbersWithoutOneSayWhichTheyAre) {
  EXPECT_EQ(TZipUpdater::MessageText(msg::kCopying, "default"), "Copying: ");
  EXPECT_EQ(TZipUpdater::MessageText(12345, "default"), "default");
  const std::string fallback = msg::kFallbackText;
  EXPECT_TRUE(fallback.ends_with("Missing message number: "));

  const EZipUpdater plain(12345, EZipUpdater::Display::No);
  EXPECT_EQ(std::string(plain.what()), fallback + "12345");
  EXPECT_EQ(plain.DisplayFlag, 0);
  EXPECT_EQ(plain.MessageNumber, 12345);
  // The fallback text is not formatted, whatever the argument.
  EXPECT_EQ(std::string(EZipUpdater(12346, 7).what()), fallback + "12346");
  const EZipUpdater number(msg::kSfxCreateFailed, -9);
  EXPECT_TRUE(std::string(number.what()).ends_with("(error -9)")) << number.what();
  EXPECT_EQ(number.DisplayFlag, 1);
  EXPECT_TRUE(std::string(EZipUpdater(msg::kDriveAbsent, "/media/x/").what()).ends_with(": /media/x/"));

  EXPECT_EQ(msg::FormatText("disk %.1d of %.1d, 100%%", {int64_t{2}, int64_t{3}}), "disk 2 of 3, 100%");
  // An argument of the other kind is written as text; a missing one is
  // dropped instead of read from nowhere.
  EXPECT_EQ(msg::FormatText("%d/%s/%d", {std::string("a"), int64_t{5}}), "a/5/");
  EXPECT_EQ(msg::FormatText("50%", {}), "50%");
}

}  // namespace
