#include "platform/posix/io_error.h"

#include <cerrno>

namespace platform {

std::string IoErrorText(int errnoValue) {
  switch (errnoValue) {
    case ENOENT:
    case ENOTDIR:
      return "File not found";
    case EACCES:
    case EPERM:
    case EWOULDBLOCK:
    case EROFS:
    case EISDIR:
      return "File access denied";
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return "Disk full";
    default:
      return "I/O error " + std::to_string(errnoValue);
  }
}

}  // namespace platform
