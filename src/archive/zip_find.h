// Walking the central directory of a zip archive, one entry at a time, in
// the manner of a find-first / find-next / find-close directory search.
//
//   ZipSearchRec rec;
//   for (int r = ZipFindFirst(path, rec); r == 0; r = ZipFindNext(rec)) {
//     if (name matches rec.FileName) break;
//   }
//   ZipFindClose(rec);
//
// ZipFindFirst and ZipFindNext close the record themselves whenever they
// return anything but 0, so the final ZipFindClose is always harmless.
//
// Only the end-of-central-directory record (the one nearest the end of the
// file, found by searching backwards from the end, however much follows it),
// the zip64 end record where the end record defers to it, and the central
// headers are read. Sizes and offsets that a header keeps in its zip64 extra
// field are taken from there; an archive behind a stub whose offsets count
// from the archive's own start is read with every header offset shifted to
// the file (locate_directory.h). A directory (plus the four signature bytes
// of the end record that stop the walk) under 64000 bytes is read whole and
// the archive is closed at once; a larger one is read through a 64000-byte
// window that slides forward, with the archive kept open until the record is
// closed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/posix/shared_file.h"

namespace archive {

inline constexpr int32_t kZipWindowLength = 64000;
inline constexpr int kZipNameBufferSize = 260;  // 259 characters and a zero

struct ZipSearchRec {
  std::unique_ptr<uint8_t[]> Buffer;  // BufferLength + 1 bytes; none while closed
  uint32_t Size = 0;                  // uncompressed size of the current entry
  int32_t BufferLength = 0;           // directory bytes in Buffer; 64000 = windowed
  uint16_t Position = 0;              // offset of the next central header in Buffer
  uint32_t Time = 0;                  // MS-DOS time (low 16 bits) and date (high 16 bits)
  uint32_t CompressedSize = 0;
  uint32_t HeaderOffset = 0;          // offset of the entry's local header
  uint32_t Crc = 0;
  char FileName[kZipNameBufferSize] = {};
  uint16_t PackMethod = 0;
  uint16_t Attributes = 0;            // MS-DOS attribute byte, or 0 for other hosts
  uint16_t Flags = 0;
  platform::SharedFile Archive;       // open only in windowed mode
  int64_t OffsetShift = 0;            // added to every recorded header offset

  bool IsOpen() const { return Buffer != nullptr; }
};

inline constexpr int kZipFindFound = 0;
inline constexpr int kZipFindNoMore = 1;       // end of the directory, a malformed header, a failed refill
inline constexpr int kZipFindTooLarge = 2;     // the entry's sizes or offset need more than 32 bits
inline constexpr int kZipFindUnreadable = -1;  // see ZipFindFirst
inline constexpr int kZipFindEarlyEnd = -2;    // ZipFindFirst: end record before offset 46
inline constexpr int kZipFindClosed = -2;      // ZipFindNext: the record is closed

// 0 an entry was found; 1 the directory holds no entry or its first header is
// malformed; 2 the first entry lies beyond what the record's 32-bit fields
// hold (an entry or offset past 4 GiB); -1 the archive cannot be opened, is
// empty, cannot be read, has no end record, or its end record points at no
// plausible directory; -2 the end record starts before file offset 46.
int ZipFindFirst(const std::string& archiveName, ZipSearchRec& rec);

// 0 an entry was found; 1 no further entry (end of the directory, a malformed
// header, a failed refill); 2 the entry lies beyond the 32-bit fields (the
// iteration ends there); -2 the record is closed.
int ZipFindNext(ZipSearchRec& rec);

// Releases the buffer and, in windowed mode, closes the archive. Does nothing
// on a closed record.
void ZipFindClose(ZipSearchRec& rec);

}  // namespace archive
