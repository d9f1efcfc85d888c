// Sequential reading of a file through one large buffer, with forward skips.
//
// The local-header walker asks for a handful of small fields per entry and
// then skips the entry's data. Reading each field with its own system call
// would cost a dozen calls per entry; this reader fills a 64 KiB buffer and
// serves the fields from it, and a skip that lands beyond the buffer only
// moves the position, so the next read starts a fresh fill there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/posix/shared_file.h"

namespace archive {

class BufferedReader {
 public:
  static constexpr size_t kBufferSize = 64 * 1024;

  // Reads from an open file, from its start; the reader does not own it.
  explicit BufferedReader(platform::SharedFile& file);

  // Copies up to count bytes to out and returns how many were available
  // (fewer at the end of the file or after a read error).
  size_t Read(void* out, size_t count);
  // Copies up to count bytes (at most kBufferSize) without consuming them.
  size_t Peek(void* out, size_t count);
  // Moves the position forward by count bytes. Moving past the end of the
  // file is allowed; later reads then return nothing.
  void Skip(uint64_t count);
  // The file position of the next byte to be read.
  uint64_t Position() const { return bufferStart_ + bufferPos_; }

 private:
  // Refills the buffer from the current position; false when nothing more
  // can be read there.
  bool Fill();
  // Reads more behind the bytes still unread, keeping them; false when
  // nothing more could be added.
  bool TopUp();

  platform::SharedFile& file_;
  std::vector<uint8_t> buffer_;
  uint64_t bufferStart_ = 0;  // file offset of buffer_[0]
  size_t bufferPos_ = 0;      // next byte within the buffer
  size_t bufferLen_ = 0;      // valid bytes within the buffer
  int64_t fileSize_;          // taken at the start: nobody else may write the file meanwhile
  bool exhausted_ = false;    // the last fill read nothing
};

}  // namespace archive
