#include "archive/zip_find.h"

#include <algorithm>
#include <cstring>

#include "archive/little_endian.h"

namespace archive {
namespace {

constexpr int64_t kSearchBlock = 4096;
constexpr int64_t kEndRecordLength = 22;
constexpr int32_t kCentralHeaderLength = 46;

bool IsSignature(const uint8_t* p, uint8_t third, uint8_t fourth) {
  return p[0] == 0x50 && p[1] == 0x4B && p[2] == third && p[3] == fourth;
}

// Finds the end-of-central-directory record nearest the end of the file.
// Returns its file offset (or -1) and the directory start it names.
int64_t FindEndRecord(platform::SharedFile& file, int64_t fileSize, uint32_t& directoryStart) {
  const int64_t length = std::min(fileSize, kSearchBlock);
  auto block = std::make_unique<uint8_t[]>(static_cast<size_t>(length) + 1);
  int64_t start = fileSize - length;
  for (;;) {
    if (!file.Seek(start) || file.Read(block.get(), static_cast<size_t>(length)) != length) return -1;
    for (int64_t offset = length - kEndRecordLength; offset >= 0; --offset) {
      if (IsSignature(block.get() + offset, 0x05, 0x06)) {
        directoryStart = Get32(block.get() + offset + 16);
        return start + offset;
      }
    }
    if (start == 0) return -1;
    // Consecutive blocks overlap by the length of the record, so a record
    // across a block boundary is seen whole in the earlier block.
    start = std::max<int64_t>(0, start - (length - kEndRecordLength));
  }
}

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

int ParseEntry(ZipSearchRec& rec) {
  const uint8_t* buffer = rec.Buffer.get();
  auto headerLength = [&]() -> int64_t {
    const uint8_t* h = buffer + rec.Position;
    return int64_t{kCentralHeaderLength} + Get16(h + 28) + Get16(h + 30) + Get16(h + 32);
  };
  int32_t left = rec.BufferLength - rec.Position;
  if (rec.BufferLength == kZipWindowLength &&
      (left < kCentralHeaderLength || headerLength() > left)) {
    if (!RefillWindow(rec)) return 1;
    left = rec.BufferLength;
  }
  const uint8_t* h = buffer + rec.Position;
  if (left >= 4 && IsSignature(h, 0x05, 0x06)) return 1;
  if (left < kCentralHeaderLength || headerLength() > left || !IsSignature(h, 0x01, 0x02)) return 1;

  rec.Flags = Get16(h + 8);
  rec.PackMethod = Get16(h + 10);
  rec.Time = Get32(h + 12);
  rec.Crc = Get32(h + 16);
  rec.CompressedSize = Get32(h + 20);
  rec.Size = Get32(h + 24);
  rec.Attributes = h[5] == 0 ? h[38] : 0;
  rec.HeaderOffset = Get32(h + 42);

  // The name ends at its length, at a zero byte, or after 259 characters.
  const uint8_t* name = h + kCentralHeaderLength;
  const size_t nameLength = std::min<size_t>(Get16(h + 28), kZipNameBufferSize - 1);
  size_t copied = 0;
  while (copied < nameLength && name[copied] != 0) {
    rec.FileName[copied] = static_cast<char>(name[copied]);
    ++copied;
  }
  rec.FileName[copied] = '\0';
  // Entry names use '/' between folders, which is this platform's separator
  // already, so the name needs no translation.

  rec.Position = static_cast<uint16_t>(rec.Position + headerLength());
  return 0;
}

}  // namespace

int ZipFindFirst(const std::string& archiveName, ZipSearchRec& rec) {
  ZipFindClose(rec);
  platform::SharedFile file;
  if (file.Open(archiveName, platform::FileAccess::Read, platform::FileShare::Shared) != 0) return -1;
  const int64_t fileSize = file.Size();
  if (fileSize <= 0) return -1;

  uint32_t directoryStart = 0;
  const int64_t endRecord = FindEndRecord(file, fileSize, directoryStart);
  if (endRecord < 0) return -1;
  if (endRecord < kCentralHeaderLength) return -2;
  // The directory must lie before the end record; an offset behind it (or a
  // 64-bit archive's 0xFFFFFFFF) names no directory this reader can walk.
  if (directoryStart > endRecord) return -1;

  const int64_t directoryLength = endRecord - directoryStart + 4;
  const int32_t bufferLength =
      directoryLength >= kZipWindowLength ? kZipWindowLength : static_cast<int32_t>(directoryLength);
  // Zero-filled, so bytes a short read leaves out are never uninitialised.
  auto buffer = std::unique_ptr<uint8_t[]>(new uint8_t[static_cast<size_t>(bufferLength) + 1]());
  if (!file.Seek(directoryStart) || file.Read(buffer.get(), static_cast<size_t>(bufferLength)) < 0) return -1;

  rec.Buffer = std::move(buffer);
  rec.BufferLength = bufferLength;
  rec.Position = 0;
  if (bufferLength == kZipWindowLength) rec.Archive = std::move(file);

  const int result = ParseEntry(rec);
  if (result != 0) ZipFindClose(rec);
  return result;
}

int ZipFindNext(ZipSearchRec& rec) {
  if (!rec.IsOpen()) return -2;
  const int result = ParseEntry(rec);
  if (result != 0) ZipFindClose(rec);
  return result;
}

void ZipFindClose(ZipSearchRec& rec) {
  if (!rec.IsOpen()) return;
  rec.Archive.Close();  // an error in closing changes nothing for the caller
  rec.Buffer.reset();
  rec.BufferLength = 0;
  rec.Position = 0;
}

}  // namespace archive
