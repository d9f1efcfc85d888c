#include "platform/posix/file_attributes.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "platform/posix/paths.h"

namespace platform {

int64_t GetFileAttributes(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return -1;
  uint32_t attributes = 0;
  if (S_ISDIR(st.st_mode)) attributes |= kAttrDirectory;
  if (S_ISREG(st.st_mode)) attributes |= kAttrArchive;
  if ((st.st_mode & 0222) == 0) attributes |= kAttrReadOnly;
  const std::string name = NameOf(path);
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") attributes |= kAttrHidden;
  return attributes;
}

bool SetFileAttributes(const std::string& path, uint32_t attributes) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  if (attributes & kAttrReadOnly) {
    mode &= ~static_cast<mode_t>(0222);
  } else if ((mode & 0222) == 0) {
    mode |= S_IWUSR;
  }
  return ::chmod(path.c_str(), mode) == 0;
}

bool IsFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

}  // namespace platform
