#include "platform/posix/app_paths.h"

#include <unistd.h>

#include <climits>
#include <vector>

#include "platform/posix/paths.h"

namespace platform {

std::string AppDirFromProgramPath(const std::string& programPath) {
  return WithTrailingSeparator(FolderOf(programPath));
}

std::string ApplicationDir() {
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return "./";
  return AppDirFromProgramPath(std::string(buffer.data(), static_cast<size_t>(n)));
}

}  // namespace platform
