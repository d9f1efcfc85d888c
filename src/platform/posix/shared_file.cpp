#include "platform/posix/shared_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/posix/io_error.h"
#include "platform/posix/positional_io.h"

namespace platform {

SharedFile::~SharedFile() { Close(); }

SharedFile::SharedFile(SharedFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

SharedFile& SharedFile::operator=(SharedFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

int SharedFile::Open(const std::string& path, FileAccess access, FileShare share, FileCreation creation) {
  Close();
  const bool writes = access != FileAccess::Read;
  if (writes) {
    // A file without write permission is "read-only" and refused to everyone,
    // root included, as Windows refuses it to administrators.
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0) return EACCES;
  }
  int flags = O_CLOEXEC;
  flags |= access == FileAccess::Read ? O_RDONLY : access == FileAccess::Write ? O_WRONLY : O_RDWR;
  if (creation == FileCreation::OpenOrCreate) flags |= O_CREAT;
  // Truncation waits until the lock is held, so a refused open never empties
  // a file somebody else is using.
  if (creation == FileCreation::CreateOrTruncate) flags |= O_CREAT;
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) return errno;
  struct stat st{};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return EACCES;
  }
  const int lockKind = share == FileShare::DenyAll ? LOCK_EX : LOCK_SH;
  if (::flock(fd, lockKind | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    return error == EWOULDBLOCK ? EWOULDBLOCK : error;
  }
  if (creation == FileCreation::CreateOrTruncate && ::ftruncate(fd, 0) != 0) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  fd_ = fd;
  return 0;
}

void SharedFile::OpenOrThrow(const std::string& path, FileAccess access, FileShare share, FileCreation creation) {
  if (const int error = Open(path, access, share, creation); error != 0) throw IoError(error);
}

ssize_t SharedFile::Read(void* buffer, size_t count) {
  if (fd_ < 0) {
    errno = EBADF;
    return -1;
  }
  size_t total = 0;
  auto* bytes = static_cast<char*>(buffer);
  while (total < count) {
    const ssize_t n = ::read(fd_, bytes + total, count - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      return total > 0 ? static_cast<ssize_t>(total) : -1;
    }
    if (n == 0) break;
    total += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(total);
}

bool SharedFile::ReadAt(int64_t offset, uint8_t* out, size_t count) {
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  if (offset < 0) {
    errno = EINVAL;
    return false;
  }
  errno = 0;
  return ReadFullyAt(fd_, static_cast<uint64_t>(offset), out, count);
}

int SharedFile::Write(const void* buffer, size_t count) {
  if (fd_ < 0) return EBADF;
  const auto* bytes = static_cast<const char*>(buffer);
  while (count > 0) {
    const ssize_t n = ::write(fd_, bytes, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes += n;
    count -= static_cast<size_t>(n);
  }
  return 0;
}

bool SharedFile::Seek(int64_t offset) {
  return fd_ >= 0 && offset >= 0 && ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) == offset;
}

int64_t SharedFile::Size() const {
  struct stat st{};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
  return st.st_size;
}

int SharedFile::Close() {
  if (fd_ < 0) return 0;
  const int fd = std::exchange(fd_, -1);
  return ::close(fd) == 0 ? 0 : errno;
}

}  // namespace platform
