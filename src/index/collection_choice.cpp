#include "index/collection_choice.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "index/collection.h"
#include "platform/posix/find_files.h"
#include "platform/posix/paths.h"
#include "platform/posix/profile.h"
#include "platform/posix/user_config.h"

namespace fretfile {
namespace {

constexpr const char* kChoiceFileName = "fretfile.conf";
constexpr const char* kChoiceSection = "Collection";
constexpr const char* kChoiceKey = "Folder";

bool IsFolder(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

}  // namespace

bool HoldsCollection(const std::string& folder) {
  std::error_code error;
  if (std::filesystem::is_regular_file(IndexPathOf(folder), error)) return true;
  // Plain files only: a folder named "x.zip" is no archive.
  platform::DirectoryFinder finder;
  platform::FoundEntry entry;
  return finder.First(folder, "*.zip", 0) && finder.Next(entry);
}

std::string RememberedChoiceFile() {
  const std::string folder = platform::UserConfigFolder();
  return folder.empty() ? std::string() : folder + kChoiceFileName;
}

std::string RememberedCollectionFolder() {
  const std::string file = RememberedChoiceFile();
  if (file.empty()) return {};
  const std::string folder = platform::GetPrivateProfileString(kChoiceSection, kChoiceKey, "", file);
  if (folder.empty() || !IsFolder(folder)) return {};
  return platform::WithTrailingSeparator(folder);
}

void RememberCollectionFolder(const std::string& folder) {
  const std::string file = RememberedChoiceFile();
  if (file.empty()) throw std::runtime_error("No configuration folder: neither XDG_CONFIG_HOME nor HOME is set");
  // A profile value is one line.
  if (folder.find_first_of("\r\n") != std::string::npos) {
    throw std::runtime_error("Unable to remember a folder whose name holds a line break");
  }
  std::error_code ignored;
  std::filesystem::create_directories(platform::FolderOf(file), ignored);
  if (!platform::WritePrivateProfileString(kChoiceSection, kChoiceKey, folder, file)) {
    throw std::runtime_error("Unable to write to " + file);
  }
}

std::string StartCollectionFolder(const std::string& programDir, const std::string& namedFolder) {
  if (!namedFolder.empty()) return platform::WithTrailingSeparator(namedFolder);
  if (HoldsCollection(programDir)) return programDir;
  return RememberedCollectionFolder();
}

}  // namespace fretfile
