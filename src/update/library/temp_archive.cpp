#include "update/library/temp_archive.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/posix/positional_io.h"

namespace zippack {
namespace {

constexpr size_t kBufferSize = 1 << 20;
// Large copies go in pieces of this size, with a keep-alive call between.
constexpr uint64_t kCopyPiece = uint64_t{64} << 20;
constexpr int kCreateAttempts = 32;
constexpr const char* kTempMark = ".zippack-";
constexpr const char* kTempSuffix = ".tmp";

std::string TempPrefix(const std::string& archiveName) { return "." + archiveName + kTempMark; }

bool IsTempName(const std::string& name, const std::string& prefix) {
  const size_t suffix = std::strlen(kTempSuffix);
  return name.size() > prefix.size() + suffix && name.compare(0, prefix.size(), prefix) == 0 &&
         name.compare(name.size() - suffix, suffix, kTempSuffix) == 0;
}

std::string RandomTag() {
  static const char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  uint8_t bytes[8] = {};
  if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    // Uniqueness is what matters here, and O_EXCL checks it anyway.
    uint64_t mix = static_cast<uint64_t>(::getpid()) * 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(std::time(nullptr));
    std::memcpy(bytes, &mix, sizeof bytes);
  }
  std::string tag;
  for (const uint8_t b : bytes) tag += kDigits[b % (sizeof kDigits - 1)];
  return tag;
}

// The named check for a file we are about to lock or remove: the path still
// names the very file we hold open.
bool PathNames(const std::string& path, int fd) {
  struct stat named{}, held{};
  return ::lstat(path.c_str(), &named) == 0 && ::fstat(fd, &held) == 0 && named.st_dev == held.st_dev &&
         named.st_ino == held.st_ino;
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Renames without replacing: renameat2 where the file system has it, else a
// hard link (which fails on an existing name) and the unlink of the old name.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  ::unlink(from.c_str());
  return 0;
}

}  // namespace

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

TempArchive::~TempArchive() { Close(); }

void TempArchive::Close() {
  if (fd_ < 0) return;
  if (!published_) ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
}

void TempArchive::RemoveStale(const std::string& folder, const std::string& archiveName) {
  const std::string prefix = TempPrefix(archiveName);
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(dir)) {
    if (IsTempName(entry->d_name, prefix)) stale.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  for (const std::string& name : stale) {
    const std::string path = folder + "/" + name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat st{};
    // Only a regular file whose writer is gone (its lock is free) goes.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && PathNames(path, fd)) {
      ::unlink(path.c_str());
    }
    ::close(fd);
  }
}

int TempArchive::Create(const std::string& folder, const std::string& archiveName) {
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    const std::string path = folder + "/" + TempPrefix(archiveName) + RandomTag() + kTempSuffix;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return errno;
    }
    // Between our create and our lock another Add may have taken the file
    // for stale and removed it; then we start over with a new name.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !PathNames(path, fd)) {
      ::close(fd);
      continue;
    }
    fd_ = fd;
    path_ = path;
    buffer_.reserve(kBufferSize);
    return 0;
  }
  return EEXIST;
}

int TempArchive::Fail(int error) {
  if (error_ == 0) error_ = error;
  return error_;
}

int TempArchive::Flush() {
  if (error_ != 0) return error_;
  if (const int error = platform::WriteFullyAt(fd_, flushed_, buffer_.data(), buffer_.size()); error != 0) {
    return Fail(error);
  }
  flushed_ += buffer_.size();
  buffer_.clear();
  return 0;
}

int TempArchive::Write(const void* bytes, size_t count) {
  if (error_ != 0) return error_;
  const auto* from = static_cast<const uint8_t*>(bytes);
  while (count > 0) {
    if (buffer_.size() == kBufferSize && Flush() != 0) return error_;
    const size_t take = std::min(count, kBufferSize - buffer_.size());
    buffer_.insert(buffer_.end(), from, from + take);
    from += take;
    count -= take;
    position_ += take;
  }
  return 0;
}

int TempArchive::CopyFrom(int fd, uint64_t offset, uint64_t length, const std::function<bool()>& keepAlive) {
  if (Flush() != 0) return error_;
  bool inKernel = true;
  std::vector<uint8_t> bounce;
  const uint64_t end = offset + length;
  while (offset < end) {
    if (keepAlive && !keepAlive()) return Fail(ECANCELED);
    const uint64_t pieceEnd = std::min(end, offset + kCopyPiece);
    const uint64_t pieceOut = flushed_;
    while (offset < pieceEnd) {
      const uint64_t want = pieceEnd - offset;
      ssize_t got = 0;
      if (inKernel) {
        auto in = static_cast<off_t>(offset);
        auto out = static_cast<off_t>(flushed_);
        got = ::copy_file_range(fd, &in, fd_, &out, static_cast<size_t>(want), 0);
        if (got < 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
          inKernel = false;  // not on this kernel or between these file systems: read and write
          continue;
        }
      } else {
        if (bounce.empty()) bounce.resize(kBufferSize);
        got = ::pread(fd, bounce.data(), static_cast<size_t>(std::min<uint64_t>(bounce.size(), want)),
                      static_cast<off_t>(offset));
        if (got > 0) {
          if (const int error = platform::WriteFullyAt(fd_, flushed_, bounce.data(), static_cast<size_t>(got)); error != 0) {
            return Fail(error);
          }
        }
      }
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return Fail(errno);
      if (got == 0) return Fail(EIO);  // the archive is shorter than its directory says
      offset += static_cast<uint64_t>(got);
      flushed_ += static_cast<uint64_t>(got);
    }
    // The piece goes to the disk while the next one is copied, so that the
    // flush at the end waits only for what is left (a hint: a failure here
    // is found by that flush).
    (void)::sync_file_range(fd_, static_cast<off_t>(pieceOut), static_cast<off_t>(flushed_ - pieceOut),
                            SYNC_FILE_RANGE_WRITE);
  }
  position_ = flushed_;
  return 0;
}

int TempArchive::PatchAt(uint64_t position, const void* bytes, size_t count) {
  if (error_ != 0) return error_;
  if (position + count > position_) return Fail(EINVAL);
  // What is on the file already is patched there, the rest in the buffer.
  const auto* from = static_cast<const uint8_t*>(bytes);
  const size_t onFile = position >= flushed_ ? 0 : static_cast<size_t>(std::min<uint64_t>(count, flushed_ - position));
  if (const int error = platform::WriteFullyAt(fd_, position, from, onFile); error != 0) return Fail(error);
  if (onFile < count) std::memcpy(buffer_.data() + (position + onFile - flushed_), from + onFile, count - onFile);
  return 0;
}

int TempArchive::Rewind(uint64_t position) {
  if (error_ != 0) return error_;
  if (position >= flushed_) {
    buffer_.resize(static_cast<size_t>(position - flushed_));
  } else {
    buffer_.clear();
    if (::ftruncate(fd_, static_cast<off_t>(position)) != 0) return Fail(errno);
    flushed_ = position;
  }
  position_ = position;
  return 0;
}

int TempArchive::Finish(mode_t mode, std::optional<std::pair<uid_t, gid_t>> owner,
                        std::optional<std::time_t> modified) {
  if (Flush() != 0) return error_;
  // An owner we may not give (we are not root) leaves the file ours.
  if (owner) (void)::fchown(fd_, owner->first, owner->second);
  if (::fchmod(fd_, mode & 07777) != 0) return Fail(errno);
  if (modified) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = *modified;
    times[1].tv_nsec = 0;
    if (::futimens(fd_, times) != 0) return Fail(errno);
  }
  if (::fsync(fd_) != 0) return Fail(errno);
  return 0;
}

int TempArchive::Publish(const std::string& target, bool replace) {
  if (error_ != 0) return error_;
  const int error = replace ? (::rename(path_.c_str(), target.c_str()) == 0 ? 0 : errno)
                            : RenameNoReplace(path_, target);
  if (error != 0) return Fail(error);
  published_ = true;
  // The rename is on the disk once the folder that now names the file is;
  // the folder the file left (TempDir) needs nothing: losing that change
  // would at worst bring back a stale temporary file. The new archive is in
  // place whatever the folder's flush says, so its failure is not ours to
  // report as one.
  SyncFolder(FolderOf(target));
  return 0;
}

}  // namespace zippack
