#include "update/library/archive_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace zippack {
namespace {

// A lock taken on a file that was replaced between our open and our lock
// would guard nothing; we open again, a few times at most.
constexpr int kLockAttempts = 5;

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The named check for a read-only archive: no write permission bit at all
// (checked on the bits themselves, so root is refused too, as Windows
// refuses a read-only file to administrators), or none for us.
bool IsReadOnly(const std::string& path, const struct stat& st) {
  return (st.st_mode & 0222) == 0 || ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0;
}

}  // namespace

ArchiveLock::~ArchiveLock() { Close(); }

void ArchiveLock::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

LockOutcome ArchiveLock::Open(const std::string& path) {
  Close();
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    struct stat named{};
    if (::stat(path.c_str(), &named) != 0) {
      error_ = errno;
      return errno == ENOENT ? LockOutcome::Missing : LockOutcome::Failed;
    }
    if (!S_ISREG(named.st_mode)) return LockOutcome::NotAFile;
    if (IsReadOnly(path, named)) return LockOutcome::ReadOnly;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
      error_ = errno;
      if (errno == ENOENT) continue;
      return LockOutcome::Failed;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      error_ = errno;
      Close();
      return error_ == EWOULDBLOCK ? LockOutcome::InUse : LockOutcome::Failed;
    }
    if (::fstat(fd_, &status_) != 0) {
      error_ = errno;
      Close();
      return LockOutcome::Failed;
    }
    if (StillAt(path)) return LockOutcome::Locked;
    Close();
  }
  return LockOutcome::InUse;
}

bool ArchiveLock::StillAt(const std::string& path) const {
  struct stat named{};
  return fd_ >= 0 && ::stat(path.c_str(), &named) == 0 && SameFile(named, status_);
}

}  // namespace zippack
