// The state one extraction shares with the decompressor that runs it.
//
// UnzipMember (unzip_member.h) owns one ExtractionState for the whole
// program: only one extraction runs at a time. It opens the archive and the output file,
// positions the archive at the entry's compressed data, fills in the sizes
// and flags from the local header, zeroes the slide window and then calls the
// decompressor of the entry's method with the state. After the decompressor
// returns, UnzipMember reads the data descriptor (if any) from the same bit
// reader, checks the CRC and finishes the file.
//
// How a decompressor uses it:
//
//  * Input. Start with ResetInput() (empty input buffer and bit buffer).
//    Bits come least significant first: NeedBits(n) makes n bits (n <= 32)
//    available in `bitBuffer`, PeekBits(n) looks at them, DropBits(n) consumes
//    them; GetBits(n) does all three. ReadByte() takes the next whole byte of
//    input, bypassing the bit buffer (implode reads its trees that way, then
//    calls ResetBits()). Refills of the 2048-byte input buffer happen inside,
//    through ReadInputBlock(), which also pumps messages and reports progress.
//    The archive itself is read 64 KiB at a time into a read-ahead buffer
//    that the 2048-byte blocks are taken from, so a block costs a copy and
//    not a system call; what a decompressor sees (blocks, the byte count,
//    when input ends, when messages are pumped) is the same either way.
//
//  * End of input. When the archive has no more bytes (or the entry's data has
//    been read well past its end), `endOfInput` is set and the bit reader goes
//    on delivering filler bytes from inside the input buffer. The filler means
//    nothing: test `endOfInput` in every main loop and return
//    kDecodeInputEnded (3). Nothing here ever reads outside the buffer, so a
//    loop that tests the flag cannot run away.
//
//  * Output. Store bytes at window[windowPosition]; when the position reaches
//    kWindowSize call FlushWindow(kWindowSize) and restart at 0 (PutByte()
//    does both). At the end call FlushWindow(windowPosition) once more.
//    FlushWindow writes the bytes to the output file and feeds them to the
//    running CRC; when it returns false return kDecodeWriteFailed (2). The
//    window starts zero-filled and keeps its contents across flushes, so it is
//    also the history for back-references (modulo kWindowSize). A method with
//    a smaller window (reduce: 16384) flushes with its own size. Unshrink may
//    use the whole window as table space. The kWindowSlack bytes behind the
//    window are scratch: they may be overwritten (fast copies that overrun),
//    are never flushed and never read as history.
//
//  * Abort. Test `abortFlag` in the main loop and return kDecodeAborted (5).
//    The flag is updated by ReportProgress (Escape key or the notify
//    receiver), which runs at every input refill.
//
//  * Results: kDecodeOk (0), kDecodeWriteFailed (2), kDecodeInputEnded (3),
//    kDecodeCorrupt (4), kDecodeAborted (5). Nothing else; UnzipMember turns
//    every non-zero result into a failed extraction and checks the CRC after 0.
//    Release every table before returning (use owning containers).
//
//  * Sizes. `compressedSize` and `uncompressedSize` come from the local header
//    as unsigned 32-bit values. When the sizes are not known yet (flag bit 3,
//    sizes in a data descriptor behind the data), both are kUnknownSize and
//    the decompressor must not trust them as an amount of anything (reduce
//    and implode, which need the output size, and shrink, which needs the
//    input size, must fail such an entry with a non-zero result).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/posix/shared_file.h"

namespace archive {

// Results of UnzipMember (also used by the decompressors for 0, 2, 3, 4, 5).
inline constexpr int kUnzipBusy = -1;
inline constexpr int kUnzipOk = 0;
inline constexpr int kUnzipCrcMismatch = 1;
inline constexpr int kUnzipWriteFailed = 2;
inline constexpr int kUnzipInputFailed = 3;
inline constexpr int kUnzipCorrupt = 4;
inline constexpr int kUnzipAborted = 5;
inline constexpr int kUnzipUnsupportedMethod = 6;
inline constexpr int kUnzipEncrypted = 7;

// The results a decompressor may return.
inline constexpr int kDecodeOk = kUnzipOk;
inline constexpr int kDecodeWriteFailed = kUnzipWriteFailed;
inline constexpr int kDecodeInputEnded = kUnzipInputFailed;
inline constexpr int kDecodeCorrupt = kUnzipCorrupt;
inline constexpr int kDecodeAborted = kUnzipAborted;

// The sizes UnzipMember sets when the local header defers them to a data
// descriptor (flag bit 3 with a zero compressed size).
inline constexpr int64_t kUnknownSize = 0x7FFFFF9B;

// Progress notification: receives the key code and the percentage word
// (0..100). The receiver may store 0xFFFF into the word to ask for an abort.
using ProgressNotify = std::function<void(int16_t keyCode, uint16_t* percentage)>;

struct ExtractionState {
  static constexpr int32_t kInputSize = 2048;
  static constexpr uint32_t kReadAheadSize = 64 * 1024;
  static constexpr uint32_t kWindowSize = 32768;
  static constexpr uint32_t kWindowSlack = 512;

  // --- files ---------------------------------------------------------------
  platform::SharedFile archive;  // positioned at the entry's compressed data
  platform::SharedFile output;   // the target file, unless memoryOutput is set
  // An extraction into memory appends the bytes here instead, and fails
  // (as a failed write) once they would pass memoryLimit.
  std::string* memoryOutput = nullptr;
  size_t memoryLimit = 0;

  // --- input ---------------------------------------------------------------
  uint8_t input[kInputSize] = {};
  int32_t inputPosition = 0;  // next unread byte
  int32_t inputLast = -1;     // last valid byte; -1 when empty
  uint64_t bitBuffer = 0;     // unconsumed bits, least significant first
  uint32_t bitCount = 0;      // valid bits in bitBuffer (at most 63)
  int64_t compressedRead = 0; // archive bytes read since the start of the data
  int64_t compressedSize = 0;
  int64_t uncompressedSize = 0;
  uint16_t flags = 0;         // general-purpose bit flags of the local header
  bool endOfInput = false;
  // Archive bytes read ahead of the input blocks: readAhead[readAheadPosition,
  // readAheadLength) come next. readAheadFetched counts the bytes read from
  // the archive since the last ResetInput (to stop reading ahead where the
  // blocks can never reach).
  uint8_t readAhead[kReadAheadSize] = {};
  uint32_t readAheadPosition = 0;
  uint32_t readAheadLength = 0;
  int64_t readAheadFetched = 0;

  // --- output --------------------------------------------------------------
  std::unique_ptr<uint8_t[]> windowStorage;  // kWindowSize + kWindowSlack bytes
  uint8_t* window = nullptr;
  uint32_t windowPosition = 0;  // bytes in the window not yet written out
  uint32_t crc = 0xFFFFFFFFu;   // running CRC-32 register
  bool writeFailed = false;

  // --- progress and abort --------------------------------------------------
  bool busy = false;            // the busy mark: an extraction is running
  bool pumpMessages = true;     // false: no window message runs during the extraction
  uint32_t lastPumpTime = 0;    // tick count of the last PumpMessages; 0 before the first
  bool abortFlag = false;
  ProgressNotify notify;        // receiver of progress notifications, or empty
  int16_t keyCode = 0;          // notification id, or the key polled for abort
  int16_t lastPercentage = 0;

  // Allocates the slide window (zero-filled) unless present, and zeroes it.
  void PrepareWindow();
  void ReleaseWindow();

  // --- bit input -----------------------------------------------------------
  void ResetBits() {
    bitBuffer = 0;
    bitCount = 0;
  }
  // Empties the input buffer, the read-ahead and the bit buffer: reading
  // resumes at the archive's current position.
  void ResetInput() {
    inputPosition = 0;
    inputLast = -1;
    readAheadPosition = 0;
    readAheadLength = 0;
    readAheadFetched = 0;
    ResetBits();
  }

  // The next whole input byte (refilling the input buffer when it is used up).
  uint8_t ReadByte() {
    if (inputPosition > inputLast) ReadInputBlock();
    return input[inputPosition++];
  }

  // Makes at least n bits (n <= 32) available in bitBuffer.
  void NeedBits(uint32_t n) {
    while (bitCount < n) {
      bitBuffer |= static_cast<uint64_t>(ReadByte()) << bitCount;
      bitCount += 8;
    }
  }
  uint32_t PeekBits(uint32_t n) const { return static_cast<uint32_t>(bitBuffer & ((uint64_t{1} << n) - 1)); }
  void DropBits(uint32_t n) {
    bitBuffer >>= n;
    bitCount -= n;
  }
  uint32_t GetBits(uint32_t n) {
    NeedBits(n);
    const uint32_t value = PeekBits(n);
    DropBits(n);
    return value;
  }

  // Refills the input buffer from the archive (pumping messages and reporting
  // progress first). Sets endOfInput and leaves filler when nothing is left.
  // Afterwards inputPosition is 0 and inputLast >= 0.
  void ReadInputBlock();
  // Up to `count` next archive bytes (through the read-ahead); the count
  // delivered, 0 at the end of the archive, -1 on a read error.
  ssize_t ReadArchive(uint8_t* to, uint32_t count);

  // --- output --------------------------------------------------------------
  // Writes window[0, n) to the output and feeds it to the running CRC. False
  // when the write failed (or an earlier one did).
  bool FlushWindow(uint32_t n);
  // Same for bytes kept elsewhere (a decompressor with its own output buffer).
  bool FlushBytes(const uint8_t* data, size_t n);

  // Stores one byte at the window position, flushing a full window.
  bool PutByte(uint8_t byte) {
    window[windowPosition++] = byte;
    if (windowPosition < kWindowSize) return true;
    windowPosition = 0;
    return FlushWindow(kWindowSize);
  }

  // --- responsiveness ------------------------------------------------------
  // Lets pending window messages run (a second UnzipMember started from one
  // of them is refused by the busy mark) and records the time.
  void PumpMessages();
  // Recomputes the percentage; when it changed, notifies the receiver or
  // polls the abort key and updates abortFlag.
  void ReportProgress();
};

// The program's one extraction state.
ExtractionState& TheExtractionState();

// The clock the busy mark is judged by; platform::GetTickCount unless a test
// installs another (nullptr restores it).
using TickSource = uint32_t (*)();
void SetTickSourceForTesting(TickSource source);
uint32_t CurrentTick();

}  // namespace archive
