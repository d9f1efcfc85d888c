// A full disk for this process: while a FileSizeLimit lives, a write that
// would make a file longer than its limit fails with EFBIG (the signal such
// a write raises is ignored), as a write onto a full disk fails.
#pragma once

#include <sys/resource.h>

#include <csignal>

namespace testing_support {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    active_ = ::getrlimit(RLIMIT_FSIZE, &saved_) == 0;
    if (!active_) return;
    savedHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved_;
    limited.rlim_cur = bytes;
    active_ = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    if (savedHandler_ != SIG_ERR) std::signal(SIGXFSZ, savedHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  // Whether the limit is in force (a test without it proves nothing).
  bool active() const { return active_; }

 private:
  struct rlimit saved_{};
  void (*savedHandler_)(int) = SIG_ERR;
  bool active_ = false;
};

}  // namespace testing_support
