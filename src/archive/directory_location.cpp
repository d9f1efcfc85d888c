#include "archive/directory_location.h"

#include <algorithm>
#include <memory>

#include "archive/little_endian.h"

namespace archive {
namespace {

constexpr int64_t kSearchBlock = 4096;
constexpr auto kEndLength = static_cast<int64_t>(zip::kEndRecordLength);

bool ReadAt(platform::SharedFile& file, int64_t offset, uint8_t* out, size_t count) {
  return offset >= 0 && file.Seek(offset) && file.Read(out, count) == static_cast<ssize_t>(count);
}

bool SignatureAt(platform::SharedFile& file, int64_t offset, uint32_t signature) {
  uint8_t bytes[4];
  return ReadAt(file, offset, bytes, sizeof bytes) && zip::HasSignature(bytes, signature);
}

// The zip64 end record of an archive whose end record defers to it: where
// the locator in front of the end record says, or else (a stub in front
// shifted that offset too) right in front of the locator.
bool ReadZip64EndRecord(platform::SharedFile& file, int64_t endRecordOffset, zip::Zip64EndRecord& record,
                        int64_t& recordOffset) {
  const int64_t locatorOffset = endRecordOffset - static_cast<int64_t>(zip::kZip64LocatorLength);
  uint8_t locatorBytes[zip::kZip64LocatorLength];
  zip::Zip64Locator locator;
  if (!ReadAt(file, locatorOffset, locatorBytes, sizeof locatorBytes) ||
      !zip::ParseZip64Locator(locatorBytes, locator)) {
    return false;
  }
  uint8_t bytes[zip::kZip64EndRecordLength];
  const int64_t candidates[] = {
      locator.endRecordOffset < static_cast<uint64_t>(locatorOffset) ? static_cast<int64_t>(locator.endRecordOffset)
                                                                    : -1,
      locatorOffset - static_cast<int64_t>(zip::kZip64EndRecordLength)};
  for (const int64_t offset : candidates) {
    if (ReadAt(file, offset, bytes, sizeof bytes) && zip::ParseZip64EndRecord(bytes, record)) {
      recordOffset = offset;
      return true;
    }
  }
  return false;
}

}  // namespace

int64_t FindEndRecordBackwards(platform::SharedFile& file, int64_t fileSize, zip::EndRecord& record) {
  const int64_t length = std::min(fileSize, kSearchBlock);
  if (length < kEndLength) return -1;
  auto block = std::make_unique<uint8_t[]>(static_cast<size_t>(length));
  int64_t start = fileSize - length;
  for (;;) {
    if (!ReadAt(file, start, block.get(), static_cast<size_t>(length))) return -1;
    for (int64_t offset = length - kEndLength; offset >= 0; --offset) {
      if (zip::ParseEndRecord(block.get() + offset, record)) return start + offset;
    }
    if (start == 0) return -1;
    start = std::max<int64_t>(0, start - (length - kEndLength));
  }
}

std::optional<DirectoryLocation> LocateDirectory(platform::SharedFile& file, int64_t endRecordOffset,
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
  if (record.NeedsZip64() && ReadZip64EndRecord(file, endRecordOffset, zip64, zip64Offset)) {
    recorded = zip64.directoryOffset;
    location.size = zip64.directorySize;
    location.totalEntries = zip64.totalEntries;
    directoryEnd = zip64Offset;
  }

  const bool recordedFits = recorded <= static_cast<uint64_t>(directoryEnd);
  if (recordedFits && SignatureAt(file, static_cast<int64_t>(recorded), zip::kCentralHeaderSignature)) {
    location.start = static_cast<int64_t>(recorded);
    return location;
  }
  // Offsets counted from the archive's own start: the directory sits right
  // in front of the record that describes it.
  if (location.size <= static_cast<uint64_t>(directoryEnd)) {
    const int64_t counted = directoryEnd - static_cast<int64_t>(location.size);
    if (SignatureAt(file, counted, zip::kCentralHeaderSignature)) {
      location.start = counted;
      location.offsetShift = counted - static_cast<int64_t>(recorded);
      return location;
    }
  }
  // Neither holds a central header: an empty directory, or a damaged one,
  // which the reader finds out at its first header.
  if (!recordedFits) return std::nullopt;
  location.start = static_cast<int64_t>(recorded);
  return location;
}

}  // namespace archive
