#include "index/collection.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "platform/posix/profile.h"

namespace fretfile {

std::string IndexPathOf(const std::string& appDir) { return appDir + kIndexFileName; }

std::string SettingsPathOf(const std::string& appDir) { return appDir + kSettingsFileName; }

std::string LyricsPathOf(const std::string& appDir) { return appDir + kLyricsFileName; }

std::string StampsPathOf(const std::string& appDir) { return appDir + kStampsFileName; }

std::string TempFolderOf(const std::string& appDir) { return appDir + kTempFolderName; }

bool SettingsFileExists(const std::string& appDir) {
  std::error_code error;
  return std::filesystem::exists(SettingsPathOf(appDir), error);
}

ViewerSetting ReadViewerSetting(const std::string& appDir) {
  const std::string ini = SettingsPathOf(appDir);
  return ViewerSetting{platform::GetPrivateProfileString(kViewerSection, "Path", kMissingViewerValue, ini),
                       platform::GetPrivateProfileString(kViewerSection, "Name", kMissingViewerValue, ini)};
}

void WriteViewerSetting(const std::string& appDir, const ViewerSetting& setting) {
  const std::string ini = SettingsPathOf(appDir);
  if (!platform::WritePrivateProfileString(kViewerSection, "Path", setting.path, ini) ||
      !platform::WritePrivateProfileString(kViewerSection, "Name", setting.name, ini)) {
    throw std::runtime_error("Unable to write to " + ini);
  }
}

}  // namespace fretfile
