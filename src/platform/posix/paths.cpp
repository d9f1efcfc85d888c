#include "platform/posix/paths.h"

namespace platform {

std::string FolderOf(const std::string& path) {
  const auto last = path.find_last_of(kSeparator);
  if (last == std::string::npos) return {};
  if (last == 0) return std::string(1, kSeparator);
  return path.substr(0, last);
}

std::string NameOf(const std::string& path) {
  const auto last = path.find_last_of(kSeparator);
  return last == std::string::npos ? path : path.substr(last + 1);
}

std::string WithTrailingSeparator(std::string folder) {
  if (!folder.empty() && folder.back() != kSeparator) folder += kSeparator;
  return folder;
}

std::string WithoutTrailingSeparator(std::string path) {
  while (path.size() > 1 && path.back() == kSeparator) path.pop_back();
  return path;
}

}  // namespace platform
