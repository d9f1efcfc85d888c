// The archive an Add updates, read as hostile input: where its directory
// is, what entries it lists, and which bytes of the file belong to which
// entry, so that every entry not replaced can be copied exactly as it is.
//
// An entry's bytes run from its local header to the next entry's local
// header (in file order), the last entry's to the central directory; its
// data descriptor and anything else between two entries travel with it.
// The bytes in front of the first entry (a stub) travel as they are.
//
// Each decision about the file's bytes is a named check: the end record is
// there and names one disk only, the directory lies inside the file, every
// central header is whole and inside the directory, the directory holds as
// many entries as the end record says, every entry's local header is where
// its central header says, and every entry fits before the next one begins.
// A file that fails one is refused, never rewritten.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/zip_format.h"

namespace zippack {

// One central record as the directory reader hands it out; the pointers
// stay valid until the reader's next call.
struct CentralRecord {
  archive::zip::CentralHeader header;  // with its zip64 values applied
  const uint8_t* bytes = nullptr;      // the whole record: fixed part, name, extra field, comment
  size_t length = 0;
  std::string_view name;
  std::string_view comment;
};

// Reads the central records of a directory one after the other through a
// window of the file.
class DirectoryReader {
 public:
  enum Result { kRecord, kEnd, kDamaged };
  DirectoryReader(int fd, uint64_t start, uint64_t size);
  Result Next(CentralRecord& record);
  const std::string& why() const { return why_; }

 private:
  bool Load(uint64_t offset, size_t count);
  Result Damaged(std::string why);

  int fd_;
  uint64_t next_;
  uint64_t end_;
  std::vector<uint8_t> window_;
  uint64_t windowStart_ = 0;
  size_t windowLength_ = 0;
  std::string why_;
};

inline constexpr uint32_t kEntryKept = 0xFFFFFFFF;

struct ExistingEntry {
  uint64_t localOffset = 0;  // its local header in the file
  uint64_t newOffset = 0;    // its local header in the new archive
  uint64_t compressedSize = 0;
  uint32_t dosDateTime = 0;
  uint32_t fate = kEntryKept;  // kept, or the index of the addition that takes its place
};

class ExistingArchive {
 public:
  enum class Outcome { Read, Damaged, Spanned, Unreadable };

  // Reads the directory of the open file; `visit` sees every central record
  // with its index, in directory order. An empty file is an empty archive.
  Outcome Read(int fd, uint64_t fileSize, const std::function<void(size_t, const CentralRecord&)>& visit);
  const std::string& why() const { return why_; }

  std::vector<ExistingEntry>& entries() { return entries_; }
  // Entry indexes in the order their bytes lie in the file.
  const std::vector<uint32_t>& fileOrder() const { return fileOrder_; }
  // Where the bytes of the entry at fileOrder()[position] end.
  uint64_t RegionEnd(size_t position) const;
  uint64_t prefixEnd() const { return prefixEnd_; }
  // Added to each recorded local-header offset to find the header in the file.
  int64_t offsetShift() const { return offsetShift_; }
  const std::string& comment() const { return comment_; }
  // A second reading of the same directory, for writing the new one.
  DirectoryReader Reread() const { return DirectoryReader(fd_, directoryStart_, directorySize_); }

 private:
  Outcome Fail(Outcome outcome, std::string why);
  Outcome LayOut();

  int fd_ = -1;
  std::vector<ExistingEntry> entries_;
  std::vector<uint32_t> fileOrder_;
  uint64_t directoryStart_ = 0;
  uint64_t directorySize_ = 0;
  uint64_t prefixEnd_ = 0;
  int64_t offsetShift_ = 0;
  std::string comment_;
  std::string why_;
};

}  // namespace zippack
