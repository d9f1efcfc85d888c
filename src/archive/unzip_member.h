// Extracting one archive entry into a file.
//
// UnzipMember starts at the entry's local header (HeaderOffset from the
// central-directory walk, zip_find.h), checks it, creates the target file and
// the folders on its path, runs the decompressor of the entry's method, checks
// the CRC-32, and gives the file the entry's modification time and
// attributes. It never shows anything: the caller words its own message from
// the result.
//
// One extraction runs at a time. While it runs it lets pending window
// messages run at every input block (so the window stays responsive); a
// second UnzipMember started from one of them returns kUnzipBusy at once. A
// busy mark left behind by an exception that escaped a progress receiver is
// taken as stale once 30 seconds have passed since the last message pass.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "archive/extraction_state.h"

namespace archive {

// Results: kUnzipBusy (-1), kUnzipOk (0), kUnzipCrcMismatch (1),
// kUnzipWriteFailed (2), kUnzipInputFailed (3), kUnzipCorrupt (4),
// kUnzipAborted (5), kUnzipUnsupportedMethod (6), kUnzipEncrypted (7).
//
// targetName: full path of the file to create (at most 259 characters,
// including the '/' appended to a directory entry; longer gives 2).
// attributes: the entry's MS-DOS attribute byte; 0x10 marks a directory entry.
// notify: progress receiver, or empty; without one, keyCode (if not 0) is the
// key whose being held aborts the extraction (the program passes Escape, 27).
// recorded: the CRC-32 and sizes of the central-directory record by which
// the entry was found (ZipSearchRec's Crc, CompressedSize and Size). An
// entry whose local header leaves them to a data descriptor (flag bit 3) is
// extracted with these, whatever its method and whether or not the
// descriptor starts with its signature. Without them such an entry's CRC is
// read from the descriptor, and its sizes are unknown: a stored entry then
// copies what its local header says, and only deflate finds its own end.
struct RecordedValues {
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
};
int UnzipMember(const std::string& archiveName, const std::string& targetName, uint16_t attributes,
                uint32_t headerOffset, const ProgressNotify& notify, int16_t keyCode,
                const std::optional<RecordedValues>& recorded = std::nullopt);

// The methods UnzipMember can extract, as a bit mask over method numbers 0-31.
inline constexpr uint32_t kSupportedMethods = 0x17F;  // 0-6 and 8
inline bool IsSupportedMethod(uint32_t method) { return method < 32 && ((kSupportedMethods >> method) & 1) != 0; }

}  // namespace archive
