#include "platform/posix/close_later.h"

#include <unistd.h>

#include <system_error>
#include <thread>

namespace platform {

void CloseLater(int fd) {
  if (fd < 0) return;
  try {
    std::thread([fd] { ::close(fd); }).detach();
  } catch (const std::system_error&) {
    ::close(fd);
  }
}

}  // namespace platform
