// Files opened with Windows-style sharing modes.
//
// Windows refuses an open that conflicts with another party's sharing mode;
// the program relies on that (a search cannot read the index while it is
// being written, an archive being walked is not changed under the walker).
// We emulate it with advisory flock() locks taken without waiting:
//   - DenyAll opens take an exclusive lock and fail if anyone holds one;
//   - Shared opens take a shared lock and fail only against an exclusive one.
// Locks belong to the open file description, so two opens inside this one
// process conflict exactly as two programs would.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace platform {

enum class FileAccess { Read, Write, ReadWrite };
enum class FileShare { Shared, DenyAll };
enum class FileCreation { OpenExisting, CreateOrTruncate, OpenOrCreate };

class SharedFile {
 public:
  SharedFile() = default;
  ~SharedFile();
  SharedFile(SharedFile&& other) noexcept;
  SharedFile& operator=(SharedFile&& other) noexcept;
  SharedFile(const SharedFile&) = delete;
  SharedFile& operator=(const SharedFile&) = delete;

  // Opens the file; returns 0 or an errno value (EWOULDBLOCK for a sharing
  // conflict, EACCES for a read-only file opened for writing, even as root).
  int Open(const std::string& path, FileAccess access, FileShare share,
           FileCreation creation = FileCreation::OpenExisting);
  // Same, but throws IoError with the platform text on failure.
  void OpenOrThrow(const std::string& path, FileAccess access, FileShare share,
                   FileCreation creation = FileCreation::OpenExisting);

  bool IsOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  // Reads up to count bytes; returns the count read, or -1 (errno set).
  ssize_t Read(void* buffer, size_t count);
  // Reads exactly count bytes at offset, leaving the position where it was;
  // false when the file ends first or a read fails (errno then says why).
  // This makes a SharedFile a byte source for archive/locate_directory.h.
  bool ReadAt(int64_t offset, uint8_t* out, size_t count);
  // Writes all bytes; returns 0 or an errno value.
  int Write(const void* buffer, size_t count);
  // Positions absolutely; returns false on failure.
  bool Seek(int64_t offset);
  int64_t Size() const;
  // Closes; returns 0 or the errno value of the failing close.
  int Close();

 private:
  int fd_ = -1;
};

}  // namespace platform
