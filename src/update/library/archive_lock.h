// The archive being updated, opened for reading and held with an exclusive
// flock for the whole Add, the way the rest of the program emulates Windows
// sharing: a reader that holds it (a shared lock) keeps us out, and while we
// hold it nobody else of ours reads or writes it.
#pragma once

#include <sys/stat.h>

#include <string>

namespace zippack {

enum class LockOutcome {
  Locked,     // open and locked
  Missing,    // no file of that name: the Add makes a new archive
  ReadOnly,   // no write permission
  InUse,      // somebody else holds it
  NotAFile,   // a folder or a device
  Failed,     // cannot open or look at it; error() says why
};

class ArchiveLock {
 public:
  ArchiveLock() = default;
  ~ArchiveLock();
  ArchiveLock(const ArchiveLock&) = delete;
  ArchiveLock& operator=(const ArchiveLock&) = delete;

  LockOutcome Open(const std::string& path);

  int fd() const { return fd_; }
  const struct stat& status() const { return status_; }
  int error() const { return error_; }
  // The named check before the new archive replaces it: the path still
  // names the file we locked (nobody renamed or replaced it meanwhile).
  bool StillAt(const std::string& path) const;
  // Closes and unlocks the file (the destructor does it otherwise).
  void Close();

 private:

  int fd_ = -1;
  int error_ = 0;
  struct stat status_{};
};

}  // namespace zippack
