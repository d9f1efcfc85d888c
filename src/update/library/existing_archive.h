// The archive a rewrite changes (an Add, a delete, a rename), read as
// hostile input: where its directory is, what entries it lists, and which
// bytes of the file belong to which entry, so that every entry not replaced
// can be copied exactly as it is.
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
#include <vector>

#include "archive/central_records.h"
#include "archive/zip_format.h"

namespace zippack {

// The open archive as a source of bytes (locate_directory.h); a read error
// is remembered, so that it is not taken for a damaged file.
struct FdSource {
  int fd = -1;
  int error = 0;
  bool ReadAt(int64_t offset, uint8_t* out, size_t count);
};

using archive::CentralRecord;
using DirectoryReader = archive::CentralRecords<FdSource>;

// What becomes of an existing entry in the new archive.
enum class EntryFate : uint8_t {
  Kept,      // every byte copied as it is
  Replaced,  // a new entry (an addition) takes its place
  Dropped,   // left out, from the file and the directory
  Renamed,   // its local header and central record get a new name; the rest is copied
};

struct ExistingEntry {
  uint64_t localOffset = 0;  // its local header in the file
  uint64_t newOffset = 0;    // its local header in the new archive
  uint64_t compressedSize = 0;
  uint32_t dosDateTime = 0;
  uint32_t replacement = 0;  // Replaced: the index of the addition that takes its place
  EntryFate fate = EntryFate::Kept;
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
  DirectoryReader Reread() { return DirectoryReader(source_, directoryStart_, directoryStart_ + directorySize_); }

 private:
  Outcome Fail(Outcome outcome, std::string why);
  Outcome LayOut();

  FdSource source_;
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
