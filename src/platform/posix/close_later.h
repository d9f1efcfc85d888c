// Closing the last descriptor of a file that was just replaced by a rename
// is when the kernel frees its blocks: milliseconds for a large file, which
// nobody needs to wait for. CloseLater closes it on a thread of its own.
#pragma once

namespace platform {

// Closes fd soon, off the caller's path (at once, when no thread can be had).
void CloseLater(int fd);

}  // namespace platform
