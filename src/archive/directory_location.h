// Where an archive's central directory lies, worked out from its end record.
//
// The end record is found by its signature within the last blocks of the
// file. It names where the directory starts, but that number is not always
// where the directory is:
//   - an archive over the classic limits keeps the real start in its zip64
//     end record, which the zip64 locator right in front of the end record
//     points at;
//   - an archive with data in front of it (a self-extractor stub, or a stub
//     simply concatenated with an ordinary archive) may count its offsets
//     from its own first byte instead of the file's. Then the directory
//     really starts at the end record (or the zip64 end record) minus the
//     directory's size, and every local-header offset the directory names is
//     short by the same difference.
// The central-directory iteration and the local-header walker both locate
// the directory this way, on a file they already hold open.
#pragma once

#include <cstdint>
#include <optional>

#include "archive/zip_format.h"
#include "platform/shared_file.h"

namespace archive {

struct DirectoryLocation {
  int64_t endRecordOffset = 0;  // file offset of the end record
  zip::EndRecord endRecord;
  int64_t start = 0;            // where the first central header really is
  uint64_t size = 0;            // the directory's length as recorded
  uint64_t totalEntries = 0;
  // Added to every header offset the directory records (0 for an archive
  // whose offsets count from the start of the file).
  int64_t offsetShift = 0;
};

// Searches backwards from the end of the file in 4096-byte blocks that
// overlap by the record's length, so a record across a block boundary is
// seen whole. Returns the offset of the end record nearest the end (-1 when
// there is none or the file cannot be read) and its fields.
int64_t FindEndRecordBackwards(platform::SharedFile& file, int64_t fileSize, zip::EndRecord& record);

// Resolves the directory's real start for the end record at endRecordOffset.
// Nothing when neither the recorded start nor the start counted back from
// the end holds a plausible directory (behind the end record, say).
std::optional<DirectoryLocation> LocateDirectory(platform::SharedFile& file, int64_t endRecordOffset,
                                                 const zip::EndRecord& record);

}  // namespace archive
