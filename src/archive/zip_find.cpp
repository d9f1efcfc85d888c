#include "archive/zip_find.h"

#include <algorithm>
#include <cstring>

#include "archive/locate_directory.h"
#include "archive/zip_format.h"

namespace archive {
namespace {

constexpr auto kHeaderLength = static_cast<int32_t>(zip::kCentralHeaderLength);
constexpr uint64_t kLargest32 = 0xFFFFFFFF;

// Moves the unparsed bytes to the front of the window and fills the rest
// from the archive. Bytes the file no longer has are zero, which no header
// starts with, so the walk stops there instead of meeting stale bytes again.
bool RefillWindow(ZipSearchRec& rec) {
  uint8_t* buffer = rec.Buffer.get();
  const int32_t left = rec.BufferLength - rec.Position;
  std::memmove(buffer, buffer + rec.Position, static_cast<size_t>(left));
  const ssize_t got = rec.Archive.Read(buffer + left, rec.Position);
  if (got < 0) return false;
  std::memset(buffer + left + got, 0, static_cast<size_t>(rec.Position - got));
  rec.Position = 0;
  return true;
}

// The whole header's length, from its three length fields.
int64_t HeaderLength(const uint8_t* h) {
  zip::CentralHeader header;
  zip::ParseCentralHeader(h, header);
  return static_cast<int64_t>(header.Length());
}

int ParseEntry(ZipSearchRec& rec) {
  const uint8_t* buffer = rec.Buffer.get();
  int32_t left = rec.BufferLength - rec.Position;
  if (rec.BufferLength == kZipWindowLength &&
      (left < kHeaderLength || HeaderLength(buffer + rec.Position) > left)) {
    if (!RefillWindow(rec)) return kZipFindNoMore;
    left = rec.BufferLength;
  }
  const uint8_t* h = buffer + rec.Position;
  zip::CentralHeader header;
  if (left < kHeaderLength || !zip::ParseCentralHeader(h, header) ||
      static_cast<int64_t>(header.Length()) > left) {
    return kZipFindNoMore;  // the end record's signature, or a malformed header
  }
  const uint8_t* name = h + zip::kCentralHeaderLength;
  zip::ApplyZip64Extra(name + header.nameLength, header.extraLength, header);

  // Shifted to the file; an offset the shift takes below 0 names no header.
  const int64_t offset = static_cast<int64_t>(header.localHeaderOffset) + rec.OffsetShift;
  if (header.compressedSize > kLargest32 || header.uncompressedSize > kLargest32 || offset < 0 ||
      static_cast<uint64_t>(offset) > kLargest32) {
    return kZipFindTooLarge;
  }

  rec.Flags = header.flags;
  rec.PackMethod = header.method;
  rec.Time = uint32_t{header.date} << 16 | header.time;
  rec.Crc = header.crc;
  rec.CompressedSize = static_cast<uint32_t>(header.compressedSize);
  rec.Size = static_cast<uint32_t>(header.uncompressedSize);
  rec.Attributes = header.HostSystem() == zip::kHostMsDos ? (header.externalAttributes & 0xFF) : 0;
  rec.HeaderOffset = static_cast<uint32_t>(offset);

  // The name ends at its length, at a zero byte, or after 259 characters.
  const size_t nameLength = std::min<size_t>(header.nameLength, kZipNameBufferSize - 1);
  size_t copied = 0;
  while (copied < nameLength && name[copied] != 0) {
    rec.FileName[copied] = static_cast<char>(name[copied]);
    ++copied;
  }
  rec.FileName[copied] = '\0';
  // Entry names use '/' between folders, which is this platform's separator
  // already, so the name needs no translation.

  rec.Position = static_cast<uint16_t>(rec.Position + header.Length());
  return kZipFindFound;
}

}  // namespace

int ZipFindFirst(const std::string& archiveName, ZipSearchRec& rec) {
  ZipFindClose(rec);
  platform::SharedFile file;
  if (file.Open(archiveName, platform::FileAccess::Read, platform::FileShare::Shared) != 0) return kZipFindUnreadable;
  const int64_t fileSize = file.Size();
  if (fileSize <= 0) return kZipFindUnreadable;

  zip::EndRecord endRecord;
  const int64_t endOffset = FindEndRecordIn(file, fileSize, endRecord);
  if (endOffset < 0) return kZipFindUnreadable;
  if (endOffset < kHeaderLength) return kZipFindEarlyEnd;
  const auto location = LocateDirectoryIn(file, endOffset, endRecord);
  if (!location) return kZipFindUnreadable;

  // The directory plus the four signature bytes of the record behind it,
  // which stop the walk after the last entry.
  const int64_t directoryLength = endOffset - location->start + 4;
  const int32_t bufferLength =
      directoryLength >= kZipWindowLength ? kZipWindowLength : static_cast<int32_t>(directoryLength);
  // Zero-filled, so bytes a short read leaves out are never uninitialised.
  auto buffer = std::unique_ptr<uint8_t[]>(new uint8_t[static_cast<size_t>(bufferLength) + 1]());
  if (!file.Seek(location->start) || file.Read(buffer.get(), static_cast<size_t>(bufferLength)) < 0) {
    return kZipFindUnreadable;
  }

  rec.Buffer = std::move(buffer);
  rec.BufferLength = bufferLength;
  rec.Position = 0;
  rec.OffsetShift = location->offsetShift;
  if (bufferLength == kZipWindowLength) rec.Archive = std::move(file);

  const int result = ParseEntry(rec);
  if (result != kZipFindFound) ZipFindClose(rec);
  return result;
}

int ZipFindNext(ZipSearchRec& rec) {
  if (!rec.IsOpen()) return kZipFindClosed;
  const int result = ParseEntry(rec);
  if (result != kZipFindFound) ZipFindClose(rec);
  return result;
}

void ZipFindClose(ZipSearchRec& rec) {
  if (!rec.IsOpen()) return;
  rec.Archive.Close();  // an error in closing changes nothing for the caller
  rec.Buffer.reset();
  rec.BufferLength = 0;
  rec.Position = 0;
  rec.OffsetShift = 0;
}

}  // namespace archive
