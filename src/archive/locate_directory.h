// Where an archive's central directory lies, worked out from its end record,
// on any source of bytes. Every reader of the program finds the directory
// here: the central-directory iteration, the walker's look-up of deferred
// sizes, the update component's directory list and the compression library.
//
// The end record is found by its signature, searching backwards from the end
// of the file to its start: the record nearest the end is the archive's. Its
// comment (up to 65,535 bytes) and whatever a disk or a program left behind
// the archive (sector padding, a signature, a second file copied on) may lie
// behind it, and none of them, however long, hides it.
//
// The record names where the directory starts, but that number is not always
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
//
// A source is anything with
//   bool ReadAt(int64_t offset, uint8_t* out, size_t count);
// that reads exactly count bytes at offset or returns false. A
// platform::SharedFile is one; the compression library, which links nothing
// of the platform layer, reads a plain file descriptor. This header needs
// nothing but the zip records.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>

#include "archive/zip_format.h"

namespace archive {

struct DirectoryLocation {
  int64_t endRecordOffset = 0;  // file offset of the end record
  zip::EndRecord endRecord;
  int64_t zip64EndRecordOffset = -1;  // file offset of the zip64 end record, -1 when none is used
  int64_t start = 0;            // where the first central header really is
  uint64_t size = 0;            // the directory's length as recorded
  uint64_t totalEntries = 0;
  // Added to every header offset the directory records (0 for an archive
  // whose offsets count from the start of the file).
  int64_t offsetShift = 0;
};

namespace locate_detail {

inline constexpr int64_t kSearchBlock = 4096;

template <typename Source>
bool SignatureAt(Source& source, int64_t offset, uint32_t signature) {
  uint8_t bytes[4];
  return offset >= 0 && source.ReadAt(offset, bytes, sizeof bytes) && zip::HasSignature(bytes, signature);
}

// The zip64 end record of an archive whose end record defers to it: where
// the locator in front of the end record says, or else (a stub in front
// shifted that offset too) right in front of the locator.
template <typename Source>
bool ReadZip64EndRecord(Source& source, int64_t endRecordOffset, zip::Zip64EndRecord& record,
                        int64_t& recordOffset) {
  const int64_t locatorOffset = endRecordOffset - static_cast<int64_t>(zip::kZip64LocatorLength);
  uint8_t locatorBytes[zip::kZip64LocatorLength];
  zip::Zip64Locator locator;
  if (locatorOffset < 0 || !source.ReadAt(locatorOffset, locatorBytes, sizeof locatorBytes) ||
      !zip::ParseZip64Locator(locatorBytes, locator)) {
    return false;
  }
  uint8_t bytes[zip::kZip64EndRecordLength];
  const int64_t candidates[] = {
      locator.endRecordOffset < static_cast<uint64_t>(locatorOffset) ? static_cast<int64_t>(locator.endRecordOffset)
                                                                    : -1,
      locatorOffset - static_cast<int64_t>(zip::kZip64EndRecordLength)};
  for (const int64_t offset : candidates) {
    if (offset >= 0 && source.ReadAt(offset, bytes, sizeof bytes) && zip::ParseZip64EndRecord(bytes, record)) {
      recordOffset = offset;
      return true;
    }
  }
  return false;
}

}  // namespace locate_detail

// Searches backwards from the end of the file to its start in 4096-byte
// blocks that overlap by the record's length, so a record across a block
// boundary is seen whole. Returns the offset of the end record nearest the
// end (-1 when there is none or the file cannot be read) and its fields. A
// file without a record is read once, whole, a block at a time.
template <typename Source>
int64_t FindEndRecordIn(Source& source, int64_t fileSize, zip::EndRecord& record) {
  constexpr auto kEndLength = static_cast<int64_t>(zip::kEndRecordLength);
  const int64_t length = std::min(fileSize, locate_detail::kSearchBlock);
  if (length < kEndLength) return -1;
  auto block = std::make_unique<uint8_t[]>(static_cast<size_t>(length));
  int64_t start = fileSize - length;
  for (;;) {
    if (!source.ReadAt(start, block.get(), static_cast<size_t>(length))) return -1;
    for (int64_t offset = length - kEndLength; offset >= 0; --offset) {
      if (zip::ParseEndRecord(block.get() + offset, record)) return start + offset;
    }
    if (start == 0) return -1;
    start = std::max<int64_t>(0, start - (length - kEndLength));
  }
}

// Resolves the directory's real start for the end record at endRecordOffset.
// Nothing when neither the recorded start nor the start counted back from
// the end holds a plausible directory (behind the end record, say).
template <typename Source>
std::optional<DirectoryLocation> LocateDirectoryIn(Source& source, int64_t endRecordOffset,
                                                   const zip::EndRecord& record) {
  DirectoryLocation location;
  location.endRecordOffset = endRecordOffset;
  location.endRecord = record;
  uint64_t recorded = record.directoryOffset;
  location.size = record.directorySize;
  location.totalEntries = record.totalEntries;
  // The directory ends where the record that describes it begins.
  int64_t directoryEnd = endRecordOffset;

  zip::Zip64EndRecord zip64;
  int64_t zip64Offset = 0;
  if (record.NeedsZip64() && locate_detail::ReadZip64EndRecord(source, endRecordOffset, zip64, zip64Offset)) {
    recorded = zip64.directoryOffset;
    location.size = zip64.directorySize;
    location.totalEntries = zip64.totalEntries;
    location.zip64EndRecordOffset = zip64Offset;
    directoryEnd = zip64Offset;
  }

  const bool recordedFits = recorded <= static_cast<uint64_t>(directoryEnd);
  if (recordedFits &&
      locate_detail::SignatureAt(source, static_cast<int64_t>(recorded), zip::kCentralHeaderSignature)) {
    location.start = static_cast<int64_t>(recorded);
    return location;
  }
  // Offsets counted from the archive's own start: the directory sits right
  // in front of the record that describes it.
  if (location.size <= static_cast<uint64_t>(directoryEnd)) {
    const int64_t counted = directoryEnd - static_cast<int64_t>(location.size);
    if (locate_detail::SignatureAt(source, counted, zip::kCentralHeaderSignature)) {
      location.start = counted;
      location.offsetShift = counted - static_cast<int64_t>(recorded);
      return location;
    }
  }
  // Neither holds a central header: an empty directory, or a damaged one,
  // which the reader finds out at its first header.
  if (!recordedFits) return std::nullopt;
  if (location.size == 0) {
    // An empty directory has no header to find it by: it is where it must
    // be, right in front of its record, and whatever lies before it is data
    // in front of the archive (a stub concatenated before an empty archive),
    // which a writer must keep.
    location.start = directoryEnd;
    location.offsetShift = directoryEnd - static_cast<int64_t>(recorded);
    return location;
  }
  location.start = static_cast<int64_t>(recorded);
  return location;
}

}  // namespace archive
