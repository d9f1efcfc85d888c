// Reading a whole range of an open file by position. Header-only and plain
// POSIX, so that the compression library and the self-extractor's stub,
// which link none of the platform layer, share it too.
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

}  // namespace platform
