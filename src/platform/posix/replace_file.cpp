#include "platform/posix/replace_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/posix/file_attributes.h"
#include "platform/posix/shared_file.h"

namespace platform {

bool ReplaceFileContents(const std::string& path, const std::string& text) {
  std::string target = path;
  std::error_code error;
  if (std::filesystem::is_symlink(path, error)) {
    target = std::filesystem::weakly_canonical(path, error).string();
    if (error) return false;
  }
  const int64_t attributes = GetFileAttributes(target);
  if (attributes >= 0 && (attributes & (kAttrReadOnly | kAttrDirectory)) != 0) return false;
  struct stat old{};
  const bool exists = ::stat(target.c_str(), &old) == 0;

  const std::string temporary = target + ".new";
  SharedFile file;
  if (file.Open(temporary, FileAccess::Write, FileShare::DenyAll, FileCreation::CreateOrTruncate) != 0) return false;
  bool written = file.Write(text.data(), text.size()) == 0 && (::fsync(file.fd()) == 0 || errno == EINVAL);
  if (written && exists) {
    written = ::fchmod(file.fd(), old.st_mode & 07777) == 0;
    // Root writing a user's file gives it back to the user; others cannot
    // change the owner and need not.
    if (::fchown(file.fd(), old.st_uid, old.st_gid) != 0) {
      // The file stays the writer's, as a newly made one would be.
    }
  }
  written = file.Close() == 0 && written;
  if (!written || std::rename(temporary.c_str(), target.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace platform
