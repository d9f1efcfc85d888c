// The new archive while it is being written: a temporary file beside the
// archive, written through a buffer, then flushed to disk and renamed over
// the archive in one step. Until that rename the archive is untouched; a
// temporary file that was not published is removed when this object goes,
// and one left by a killed process is removed by the next Add into the same
// archive.
//
// Temporary files are named ".<archive name>.zippack-XXXXXXXX.tmp" and are
// held with an exclusive flock while they are written. The lock dies with the
// process, so a temporary file whose lock can be taken belongs to nobody.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zippack {

class TempArchive {
 public:
  TempArchive() = default;
  ~TempArchive();
  TempArchive(const TempArchive&) = delete;
  TempArchive& operator=(const TempArchive&) = delete;

  // Removes the temporary files of `archiveName` in `folder` that nobody
  // holds any more.
  static void RemoveStale(const std::string& folder, const std::string& archiveName);

  // Creates and locks a fresh temporary file; 0 or an errno value.
  int Create(const std::string& folder, const std::string& archiveName);
  const std::string& path() const { return path_; }

  // Each returns 0 or an errno value; once one fails, all later ones fail
  // with the same value (ECANCELED when the caller asked to stop).
  int Write(const void* bytes, size_t count);
  int Write(const std::string& bytes) { return Write(bytes.data(), bytes.size()); }
  // Copies length bytes of another file from offset, in the kernel where it
  // can; keepAlive runs between large pieces and stops the copy when false.
  int CopyFrom(int fd, uint64_t offset, uint64_t length, const std::function<bool()>& keepAlive);
  // Overwrites bytes already written (a local header once its sizes are known).
  int PatchAt(uint64_t position, const void* bytes, size_t count);
  // Drops everything from position on (an entry that could not be finished).
  int Rewind(uint64_t position);
  uint64_t Position() const { return position_; }
  // The first failure, or 0.
  int error() const { return error_; }

  // Flushes, gives the file its permissions, owner and time (nothing keeps
  // the current one), and waits until it is on the disk.
  int Finish(mode_t mode, std::optional<std::pair<uid_t, gid_t>> owner, std::optional<std::time_t> modified);
  // Renames the file to target and makes the rename durable. With replace
  // false the rename fails with EEXIST when target exists meanwhile.
  int Publish(const std::string& target, bool replace);
  // Closes the file (and lets its lock go) once it is published, before
  // the destructor would.
  void Close();

 private:
  int Flush();
  int Fail(int error);

  int fd_ = -1;
  std::string path_;
  std::vector<uint8_t> buffer_;
  uint64_t flushed_ = 0;   // bytes on the file
  uint64_t position_ = 0;  // flushed_ plus the buffered bytes
  int error_ = 0;
  bool published_ = false;
};

// The folder part and the name part of a path ("." for a bare name).
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);

}  // namespace zippack
