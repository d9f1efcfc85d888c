// Reading and writing a whole range of an open file by position.
// Header-only and plain POSIX, so that the compression library and the
// self-extractor's stub, which link none of the platform layer, share it.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace platform {

// Reads exactly `count` bytes at offset `at` of fd into out, going on after
// short reads and signals; false when the file ends first or a read fails
// (errno then says why).
inline bool ReadFullyAt(int fd, uint64_t at, void* out, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t got = ::pread(fd, static_cast<char*>(out) + done, count - done, static_cast<off_t>(at + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

// Writes all `count` bytes at offset `at` of fd, going on after short writes
// and signals. 0, or the errno of the failure (ENOSPC when nothing more
// could be written).
inline int WriteFullyAt(int fd, uint64_t at, const void* bytes, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t wrote =
        ::pwrite(fd, static_cast<const char*>(bytes) + done, count - done, static_cast<off_t>(at + done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0) return errno;
    if (wrote == 0) return ENOSPC;
    done += static_cast<size_t>(wrote);
  }
  return 0;
}

}  // namespace platform
