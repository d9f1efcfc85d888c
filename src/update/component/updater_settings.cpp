#include "update/component/updater_settings.h"

#include <algorithm>

namespace fretfile {
namespace {

constexpr size_t kPasswordLength = 255;
constexpr uint32_t kMostPasswordRequests = 15;
constexpr char kSeparator = '/';

}  // namespace

std::string AppendSlash(const std::string& path) {
  return !path.empty() && path.back() == kSeparator ? path : path + kSeparator;
}

void UpdaterSettings::SetPassword(const std::string& password) { Password_ = password.substr(0, kPasswordLength); }

void UpdaterSettings::SetDLLDirectory(const std::string& directory) {
  if (directory == DLLDirectory_) return;
  DLLDirectory_ = directory;
  if (!DLLDirectory_.empty() && DLLDirectory_.back() == kSeparator) DLLDirectory_.pop_back();
}

void UpdaterSettings::SetPasswordReqCount(uint32_t count) {
  PasswordReqCount_ = std::min(count, kMostPasswordRequests);
}

void UpdaterSettings::SetRootDir(const std::string& directory) {
  if (directory == RootDir_) return;
  // An empty value stays empty: no base folder rather than the file
  // system's root.
  RootDir_ = directory.empty() ? directory : AppendSlash(directory);
}

std::string UpdaterSettings::StoreSuffixList() const {
  std::string list;
  for (unsigned i = assGIF; i <= assEXE; ++i) {
    if (!AddStoreSuffixes.Contains(static_cast<AddStoreSuffixEnum>(i))) continue;
    if (!list.empty()) list += ':';
    list += std::string(".") + kStoreSuffixTexts[i];
  }
  return list;
}

}  // namespace fretfile
