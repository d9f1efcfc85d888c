// Unshrink: method 1, "shrunk" entries of PKZIP 0.x and 1.x.
//
// Shrinking is LZW with codes of 9 to 13 bits. Codes 0-255 are literal
// bytes; code 256 introduces a control code (1: widen the codes by one bit,
// 2: partial clear); codes 257-8191 name strings, each the string of its
// prefix code plus one suffix byte. Unlike classic LZW the width changes only
// when the compressor says so, and a "clear" frees just the leaves of the
// string tree, which are then reused lowest first.
//
// Why the code is shaped as it is:
//  * Everything lives inside the 32 KB slide window, which this method does
//    not need as history: a 767-byte output buffer at its start (flushed with
//    FlushWindow), the prefix table (16-bit, codes 257-8192), the suffix table
//    and the decode stack. No other memory is taken.
//  * A free code's prefix entry holds minus the next free code, so the free
//    codes form a list in ascending order from its head; a partial clear
//    relinks the freed leaves in front of it.
//  * A string is unwound from its last byte to its first onto the decode
//    stack, then copied out in order.
//  * The format has no end code: the compressed size, as a budget of bits,
//    ends the stream. An entry whose size is not known (data descriptor)
//    cannot be decoded and is refused. The declared uncompressed size caps
//    the output, so damaged data cannot write far more than the entry holds.
//  * Hostile data can make prefix chains that run into free codes, loop, or
//    outgrow the stack; the named checks below end such an entry with
//    "corrupt" (4) rather than reading or writing outside the window.
#include "archive/unshrink.h"

#include <cstring>

#include "archive/legacy_bit_input.h"

namespace archive {
namespace {

constexpr uint32_t kFirstWidth = 9;
constexpr uint32_t kLastWidth = 13;
constexpr int32_t kControlCode = 256;
constexpr int32_t kFirstStringCode = 257;
constexpr int32_t kLastCode = 8192;
constexpr uint32_t kSubcodeWiden = 1;
constexpr uint32_t kSubcodeClear = 2;

// Layout of the slide window.
constexpr uint32_t kOutputSize = 767;
constexpr uint32_t kPrefixOffset = kOutputSize;                                // 16-bit entries
constexpr uint32_t kSuffixOffset = kPrefixOffset + 2 * (kLastCode - 256);      // 16639
constexpr uint32_t kStackOffset = kSuffixOffset + (kLastCode - 256);           // 24575
constexpr uint32_t kStackSize = ExtractionState::kWindowSize - kStackOffset;   // 8193
static_assert(kStackSize == 8193);

// ---------------------------------------------------------------------------
// Hostile-input checks
// ---------------------------------------------------------------------------

// The bit budget needs the real compressed size, the output cap the real
// uncompressed size.
bool SizesKnown(const ExtractionState& state) {
  return state.compressedSize != kUnknownSize && state.uncompressedSize != kUnknownSize;
}

// The data may not grow past the entry's declared size: a damaged stream of
// longest strings would otherwise write thousands of bytes per code.
bool FitsDeclaredSize(uint32_t count, int64_t left) { return static_cast<int64_t>(count) <= left; }

// Codes are read only while the entry's bits hold a whole one.
bool BudgetHoldsCode(int64_t budget, uint32_t width) { return budget >= static_cast<int64_t>(width); }

// Bytes that were never there (the archive ended early) decode to nothing
// meaningful: the entry has failed, whatever its declared size promises.
bool InputEnded(const ExtractionState& state) { return state.endOfInput; }

// The first code has nothing before it to build on: it must be a literal.
bool FirstCodeIsLiteral(uint32_t code) { return code < 256; }

// A control code may widen the codes up to 13 bits; any subcode but 1 and 2
// is damage.
bool ControlAllowed(uint32_t subcode, uint32_t width) {
  return subcode == kSubcodeClear || (subcode == kSubcodeWiden && width < kLastWidth);
}

// A link of a prefix chain must lead to a code in use (a literal ends it); a
// free code or the control code in a chain is damage.
bool ChainLinkValid(int32_t code) { return code >= 0 && code != kControlCode && code <= kLastCode; }

// A string longer than the stack can only come from a chain that loops.
bool StackHasRoom(uint32_t depth) { return depth < kStackSize; }

// ---------------------------------------------------------------------------
// Bit input
// ---------------------------------------------------------------------------

// Codes of `width` bits, least significant bit first, counted against the
// entry's compressed size as a budget of bits. A control subcode is read
// whatever the budget says (it belongs to the code before it); a budget
// driven below zero that way simply ends the stream.
class CodeReader {
 public:
  explicit CodeReader(ExtractionState& state) : state_(state), budget_(state.compressedSize * 8) {}

  bool HasCode() const { return BudgetHoldsCode(budget_, width_); }
  uint32_t Next() {
    budget_ -= width_;
    return GetBitsFast(state_, width_);
  }
  uint32_t width() const { return width_; }
  void Widen() { ++width_; }

 private:
  ExtractionState& state_;
  int64_t budget_;
  uint32_t width_ = kFirstWidth;
};

// ---------------------------------------------------------------------------
// Code tables (inside the slide window)
// ---------------------------------------------------------------------------

class CodeTables {
 public:
  explicit CodeTables(uint8_t* window) : window_(window) {}

  int32_t Prefix(int32_t code) const {
    int16_t value;
    std::memcpy(&value, window_ + kPrefixOffset + 2 * (code - kFirstStringCode), 2);
    return value;
  }
  void SetPrefix(int32_t code, int32_t prefix) {
    const int16_t value = static_cast<int16_t>(prefix);
    std::memcpy(window_ + kPrefixOffset + 2 * (code - kFirstStringCode), &value, 2);
  }
  uint8_t Suffix(int32_t code) const { return window_[kSuffixOffset + code - kFirstStringCode]; }
  void SetSuffix(int32_t code, uint8_t suffix) { window_[kSuffixOffset + code - kFirstStringCode] = suffix; }
  bool IsFree(int32_t code) const { return code >= kFirstStringCode && Prefix(code) < 0; }

  uint8_t* Stack() { return window_ + kStackOffset; }

  // Every code starts free, each pointing to the next one up.
  void Reset() {
    for (int32_t code = kFirstStringCode; code <= kLastCode; ++code) SetPrefix(code, -(code + 1));
    freeHead_ = kFirstStringCode;
  }

  // Gives the lowest free code the string prefix + suffix (when one is left).
  void Add(int32_t prefix, uint8_t suffix) {
    if (freeHead_ > kLastCode) return;
    const int32_t code = freeHead_;
    freeHead_ = -Prefix(code);
    SetPrefix(code, prefix);
    SetSuffix(code, suffix);
  }

  // Frees every code that is no other code's prefix (the leaves). Every code
  // below the free head is in use, because the free list always ascends from
  // the lowest free code. The decode stack serves as the mark array.
  void PartialClear() {
    const int32_t last = freeHead_ - 1;
    uint8_t* leaf = Stack();
    if (last >= kFirstStringCode) std::memset(leaf, 1, static_cast<size_t>(last - kFirstStringCode + 1));
    for (int32_t code = kFirstStringCode; code <= last; ++code) {
      const int32_t prefix = Prefix(code);
      if (prefix >= kFirstStringCode && prefix <= kLastCode) leaf[prefix - kFirstStringCode] = 0;
    }
    int32_t head = freeHead_;
    for (int32_t code = last; code >= kFirstStringCode; --code) {
      if (leaf[code - kFirstStringCode] == 0) continue;
      SetPrefix(code, -head);
      head = code;
    }
    freeHead_ = head;
  }

 private:
  uint8_t* window_;
  int32_t freeHead_ = kFirstStringCode;
};

// ---------------------------------------------------------------------------
// Output (the buffer at the start of the window)
// ---------------------------------------------------------------------------

class OutputBuffer {
 public:
  explicit OutputBuffer(ExtractionState& state) : state_(state) {}

  bool Put(uint8_t byte) {
    state_.window[used_++] = byte;
    return used_ < kOutputSize || Flush();
  }
  // Short strings (the usual case) move byte by byte: their bytes were just
  // stored one at a time, and a wide load of them would stall.
  bool Put(const uint8_t* bytes, uint32_t count) {
    if (count <= 16 && used_ + count <= kOutputSize) {
      uint8_t* to = state_.window + used_;
      for (uint32_t i = 0; i < count; ++i) to[i] = bytes[i];
      used_ += count;
      return used_ < kOutputSize || Flush();
    }
    while (count > 0) {
      const uint32_t piece = count < kOutputSize - used_ ? count : kOutputSize - used_;
      std::memcpy(state_.window + used_, bytes, piece);
      used_ += piece;
      bytes += piece;
      count -= piece;
      if (used_ == kOutputSize && !Flush()) return false;
    }
    return true;
  }
  bool Flush() {
    const uint32_t count = used_;
    used_ = 0;
    return state_.FlushWindow(count);
  }

 private:
  ExtractionState& state_;
  uint32_t used_ = 0;
};

// ---------------------------------------------------------------------------
// Decoding
// ---------------------------------------------------------------------------

// Unwinds the string of `code` onto the top end of the stack, below `top`.
// Returns the new top, or nullptr for a chain that is damaged. Prefix links
// are either codes read from the stream (at most 8191) or free-list links
// (negative), so a chain leaves the loop at a literal, at the control code
// or at a free code, and the checks after the loop tell them apart.
uint8_t* UnwindString(CodeTables& tables, int32_t code, uint8_t* top) {
  uint8_t* const bottom = tables.Stack();
  while (code >= kFirstStringCode) {
    if (!StackHasRoom(static_cast<uint32_t>(bottom + kStackSize - top))) return nullptr;
    *--top = tables.Suffix(code);
    code = tables.Prefix(code);
  }
  if (!ChainLinkValid(code) || !StackHasRoom(static_cast<uint32_t>(bottom + kStackSize - top))) return nullptr;
  *--top = static_cast<uint8_t>(code);
  return top;
}

}  // namespace

int Unshrink(ExtractionState& state) {
  state.ResetInput();
  if (!SizesKnown(state)) return kDecodeCorrupt;

  CodeTables tables(state.window);
  tables.Reset();
  OutputBuffer output(state);
  CodeReader codes(state);
  uint8_t* const stackEnd = tables.Stack() + kStackSize;

  if (!codes.HasCode()) return kDecodeOk;  // an empty entry
  const uint32_t first = codes.Next();
  if (InputEnded(state)) return kDecodeInputEnded;
  if (!FirstCodeIsLiteral(first)) return kDecodeCorrupt;
  int64_t left = state.uncompressedSize;
  if (!FitsDeclaredSize(1, left)) return kDecodeCorrupt;
  --left;
  if (!output.Put(static_cast<uint8_t>(first))) return kDecodeWriteFailed;
  int32_t previous = static_cast<int32_t>(first);

  while (!state.abortFlag && codes.HasCode()) {
    const int32_t code = static_cast<int32_t>(codes.Next());
    if (InputEnded(state)) return kDecodeInputEnded;
    if (code == kControlCode) {
      const uint32_t subcode = codes.Next();
      if (InputEnded(state)) return kDecodeInputEnded;
      if (!ControlAllowed(subcode, codes.width())) return kDecodeCorrupt;
      if (subcode == kSubcodeWiden) {
        codes.Widen();
      } else {
        tables.PartialClear();
      }
      continue;
    }

    uint8_t firstByte;
    if (code < 256) {
      firstByte = static_cast<uint8_t>(code);
      if (!FitsDeclaredSize(1, left)) return kDecodeCorrupt;
      --left;
      if (!output.Put(firstByte)) return kDecodeWriteFailed;
    } else {
      // A free code is the string about to be made: the previous string
      // followed by its own first byte.
      uint8_t* top = stackEnd;
      const bool unmade = tables.IsFree(code);
      if (unmade) --top;
      top = UnwindString(tables, unmade ? previous : code, top);
      if (top == nullptr) return kDecodeCorrupt;
      firstByte = *top;
      if (unmade) stackEnd[-1] = firstByte;
      const uint32_t length = static_cast<uint32_t>(stackEnd - top);
      if (!FitsDeclaredSize(length, left)) return kDecodeCorrupt;
      left -= length;
      if (!output.Put(top, length)) return kDecodeWriteFailed;
    }
    tables.Add(previous, firstByte);
    previous = code;
  }

  if (state.abortFlag) return kDecodeAborted;  // pending output is not written
  if (!output.Flush()) return kDecodeWriteFailed;
  return kDecodeOk;
}

}  // namespace archive
