#include "platform/app_paths.h"

#include <unistd.h>

#include <climits>
#include <vector>

namespace platform {

std::string AppDirFromProgramPath(const std::string& programPath) {
  const auto last = programPath.find_last_of(kSeparator);
  if (last == std::string::npos) return {};
  return programPath.substr(0, last + 1);
}

std::string ApplicationDir() {
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return "./";
  return AppDirFromProgramPath(std::string(buffer.data(), static_cast<size_t>(n)));
}

}  // namespace platform
