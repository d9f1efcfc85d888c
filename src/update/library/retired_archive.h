// The archive a rewrite replaces, held after the rename by a detached
// process until this one has let go of it.
//
// Freeing a large file's blocks is the kernel's work at the moment the last
// reference to its inode goes: without this, the close of our locked
// descriptor of the replaced archive, on the caller's path (a fifth of a
// rewrite of a large archive). A process of its own that nobody waits for
// takes a copy of that descriptor and keeps it until our side of a pipe
// closes; its last close is then the one that frees the blocks.
//
// No name is involved: the old file has none once the new one is renamed
// over it, so nothing can be left behind, whatever process is killed when.
#pragma once

namespace zippack {

class RetiredArchive {
 public:
  RetiredArchive() = default;
  ~RetiredArchive() { Release(); }
  RetiredArchive(const RetiredArchive&) = delete;
  RetiredArchive& operator=(const RetiredArchive&) = delete;

  // After the rename: starts the holder with a copy of `fd`, our descriptor
  // of the old file. False when it cannot (the blocks are then freed where
  // our last descriptor closes, as without it).
  bool HandOver(int fd);
  // Once our own descriptors of the old file are closed: lets the holder
  // close its copy.
  void Release();

 private:
  int pipe_ = -1;  // our (writing) end; the holder waits for its end of file
};

}  // namespace zippack
