#include "update/library/retired_archive.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace zippack {
namespace {

// In the forked process only calls that are safe after a fork of a threaded
// process: nothing but system calls. Every other descriptor is closed first,
// so that the holder keeps nobody's lock (the new archive's) or pipe (a
// caller reading our standard error) while it waits and while the kernel
// frees the blocks.
[[noreturn]] void HoldUntilReleased(int fd, int released) {
  if (::dup2(released, 0) < 0 || ::dup2(fd, 1) < 0) ::_exit(0);
  ::close_range(2, UINT_MAX, 0);
  char byte = 0;
  while (::read(0, &byte, 1) != 0 && errno == EINTR) {
  }
  ::_exit(0);  // the last reference to the old file goes here
}

}  // namespace

bool RetiredArchive::HandOver(int fd) {
  int ends[2];
  // Both ends above the standard descriptors, which the holder reuses.
  if (fd <= 2 || ::pipe2(ends, O_CLOEXEC) != 0) return false;
  if (ends[0] <= 2 || ends[1] <= 2) {
    ::close(ends[0]);
    ::close(ends[1]);
    return false;
  }
  // Two forks: the first child starts the holder and ends at once, so the
  // holder belongs to nobody who must wait for it, and leaves no zombie.
  // _Fork runs none of the caller's fork handlers (a threaded program's
  // libraries may have some), and is safe inside the first child.
  const pid_t child = ::_Fork();
  if (child == 0) {
    ::close(ends[1]);
    if (::_Fork() == 0) HoldUntilReleased(fd, ends[0]);
    ::_exit(0);
  }
  ::close(ends[0]);
  if (child < 0) {
    ::close(ends[1]);
    return false;
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  pipe_ = ends[1];
  return true;
}

void RetiredArchive::Release() {
  if (pipe_ < 0) return;
  ::close(pipe_);
  pipe_ = -1;
}

}  // namespace zippack
