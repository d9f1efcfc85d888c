// Inflate: expanding deflate data (RFC 1951), zip method 8.
//
// The format. A deflate stream is a sequence of blocks, each starting with a
// last-block bit and a two-bit type: stored (raw bytes with a length and its
// complement), fixed codes, or dynamic codes whose prefix-code lengths are
// themselves sent compressed at the start of the block. Inside a coded block
// a literal/length code either gives a byte, ends the block, or starts a
// match: a length of 3 to 258 followed by a distance code naming how far back
// (1 to 32768 bytes) the repeated bytes start. Matches may overlap their own
// output, which is how runs are encoded. Bits are packed least significant
// first, but each prefix code is sent most significant bit first, so codes
// are bit-reversed before they index a table.
//
// Why the code is shaped as it is:
//
//  * Almost all the time goes into decoding symbols and copying matches, so
//    the inner loop (FastDecode) keeps the bit buffer, the input pointer and
//    the output position in local variables. It tops the 64-bit bit buffer
//    up to at least 56 bits with one unaligned 8-byte load, which is enough
//    for the longest literal/length and distance pair (15 + 5 + 15 + 13
//    bits) or for four literals in a row, and it looks the next symbol up
//    before that load whenever the bits left hold its index, so the load
//    never waits between one symbol and the next. It runs only while at
//    least 8 input bytes are buffered and the output has room for the
//    longest match, and checks both once per turn, never inside.
//
//  * One lookup decodes a literal or a whole length: a table entry carries
//    the literal byte, or the length (or distance) base with its count of
//    extra bits, and the bits to consume, the code's and the extra bits
//    together, so that one shift takes both (prefix_code.h). The first level
//    of the tables is 11 bits wide for literals and lengths and 8 bits for
//    distances, so second-level lookups are rare.
//
//  * Input comes in blocks of 2048 bytes, and reading the next one pumps
//    messages and may see the abort key or the end of the input, so where
//    that happens must not depend on how the symbols are decoded. The
//    shared bit reader of the extraction state, used for everything outside
//    the fast loop (the symbols around a block's end, stored blocks, the
//    headers of dynamic blocks), makes input available as a lookup through
//    narrower tables would (9 bits for dynamic literal/length codes, 6 for
//    distances, 7 and 5 for the fixed codes, then the longest code below
//    those bits), a byte at a time. The fast loop stops while 8 bytes are
//    left, and a symbol after it is taken from the buffered bits only when
//    they hold all that reader would ask for (EdgeSymbol); otherwise it goes
//    through the reader. So blocks are read, and the end of the input is
//    met, at the same symbol whatever the tables look like. Bytes the fast
//    loop took into the bit buffer stay there, so when the stream ends the
//    bit position is exact and the data descriptor behind it is read from
//    the right place.
//
//  * Output goes to a linear buffer of 32 KB of history followed by 256 KB
//    of new bytes. When the new part is full it is written out (with the
//    CRC) and the last 32 KB slide to the front. A match therefore never
//    wraps around, and chunked copies may overrun the match end into bytes
//    that are not history yet. The history starts zero-filled (the
//    extraction's slide window), so a distance reaching before the start of
//    the output reads zeros.
//
//  * Hostile input: every decision about untrusted bits is made in one named
//    check (StoredLengthMatches, RepeatFits, AcceptCodeLengthCode, ...), and
//    every loop either consumes input or is bounded by a count. The input
//    flags (end of input, abort) change only when the input buffer is
//    refilled, so testing them once per symbol outside the fast loop and
//    once per block is the same as testing them before every symbol.
#include "archive/inflate.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace archive {

using inflate_detail::CodeSet;

namespace {

// ---------------------------------------------------------------------------
// Constant tables (RFC 1951, 3.2.5)

constexpr uint16_t kLengthBase[31] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27, 31,
                                      35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
constexpr uint8_t kLengthExtra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                      3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, kPrefixOpInvalid, kPrefixOpInvalid};
constexpr uint16_t kDistanceBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,  33,
                                        49,   65,   97,   129,  193,  257,   385,   513,   769, 1025, 1537,
                                        2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 0,   0};
constexpr uint8_t kDistanceExtra[32] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,  6, 7, 7, 8, 8, 9, 9, 10,
                                        10, 11, 11, 12, 12, 13, 13, kPrefixOpInvalid, kPrefixOpInvalid};
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr uint32_t kLiteralSymbols = 288;
constexpr uint32_t kDistanceSymbols = 32;
constexpr uint32_t kCodeLengthSymbols = 19;
// Extra bits after each code-length symbol (16: 2, 17: 3, 18: 7).
constexpr uint8_t kCodeLengthExtra[kCodeLengthSymbols] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
// A code-length symbol and its extra bits.
constexpr uint32_t kMaxCodeLengthBits = 7 + 7;

// What each symbol decodes to: literals (and code lengths) as themselves,
// 256 as the end of the block, lengths and distances as a base with its
// count of extra bits; 286, 287, 30 and 31 are invalid.
template <uint32_t N>
constexpr std::array<PrefixEntry, N> SymbolEntries(uint32_t simpleCount, const uint16_t* base, const uint8_t* extra) {
  std::array<PrefixEntry, N> entries{};
  for (uint32_t s = 0; s < N; ++s) {
    if (s < simpleCount) {
      const bool end = simpleCount == 257 && s == 256;
      entries[s] = PrefixEntry{end ? kPrefixOpEndOfBlock : kPrefixOpSymbol, 0, static_cast<uint16_t>(s)};
    } else {
      entries[s] = PrefixEntry{extra[s - simpleCount], 0, base[s - simpleCount]};
    }
  }
  return entries;
}

constexpr auto kLiteralEntries = SymbolEntries<kLiteralSymbols>(257, kLengthBase, kLengthExtra);
constexpr auto kDistanceEntries = SymbolEntries<kDistanceSymbols>(0, kDistanceBase, kDistanceExtra);
constexpr auto kCodeLengthEntries = SymbolEntries<kCodeLengthSymbols>(kCodeLengthSymbols, nullptr, nullptr);

// The widths input is read by (see the notes at the top) ...
constexpr uint32_t kFixedLiteralWidth = 7;
constexpr uint32_t kFixedDistanceWidth = 5;
constexpr uint32_t kCodeLengthWidth = 7;
constexpr uint32_t kDynamicLiteralWidth = 9;
constexpr uint32_t kDynamicDistanceWidth = 6;
// ... and the first levels of the tables. The fixed codes are at most 9 and
// 5 bits long, the code-length codes at most 7.
constexpr uint32_t kFixedLiteralTableWidth = 9;
constexpr uint32_t kFixedDistanceTableWidth = 5;
constexpr uint32_t kCodeLengthTableWidth = 7;
constexpr uint32_t kLiteralTableWidth = 11;
constexpr uint32_t kDistanceTableWidth = 8;

constexpr uint32_t kMaxMatch = 258;
// Bits the fast loop may consume after one refill: a literal/length code,
// its extra bits, a distance code and its extra bits.
constexpr uint32_t kMaxMatchBits = 15 + 5 + 15 + 13;

// One refill leaves 56 bits or more: enough for a whole match, or for four
// first-level literals and the lookup of the symbol after them.
static_assert(kMaxMatchBits <= 56 && 5 * kLiteralTableWidth <= 56);

// Block results besides the kDecode* codes.
constexpr int kBlockContinue = -100;
constexpr int kNeedsInput = -101;  // EdgeSymbol: this symbol must go the slow way

// A prefix code of one block: its table, and the width input is read by.
struct Code {
  PrefixTable table;
  uint32_t readWidth = 0;
};

// ---------------------------------------------------------------------------
// Hostile-input checks: each decision about untrusted bits, by name.

bool StoredLengthMatches(uint32_t length, uint32_t complement) { return (length ^ 0xFFFF) == complement; }

// A code-length repeat must stay within the lengths the block announced.
bool RepeatFits(uint32_t filled, uint32_t repeat, uint32_t total) { return filled + repeat <= total; }

// The code-length code and the literal/length code must be complete; the
// distance code may leave patterns unused (an incomplete set); none may be
// over-subscribed.
bool AcceptCodeLengthCode(PrefixCodeSet set) { return set == PrefixCodeSet::kComplete; }
bool AcceptLiteralCode(PrefixCodeSet set) { return set == PrefixCodeSet::kComplete; }
bool AcceptDistanceCode(PrefixCodeSet set) { return set != PrefixCodeSet::kBad; }

// Block type 3 is reserved.
bool IsKnownBlockType(uint32_t type) { return type < 3; }

// An entry that decodes to nothing: an unused pattern of an incomplete code,
// any pattern of an empty code, or symbols 286, 287, 30 and 31.
bool IsInvalidEntry(const PrefixEntry& entry) { return entry.op == kPrefixOpInvalid; }

// An entry that points to a second-level table (op 17 to 32).
bool IsSecondLevelEntry(const PrefixEntry& entry) {
  return entry.op > kPrefixOpSymbol && entry.op <= kPrefixOpSymbol + kMaxPrefixCodeLength;
}

// The bits of an entry's code alone: a length or distance base entry
// counts its extra bits in `bits` too.
uint32_t CodeBits(const PrefixEntry& entry) { return entry.op < kPrefixOpEndOfBlock ? entry.bits - entry.op : entry.bits; }

// Input that has run out (the filler read after it means nothing) or an
// abort request ends the block before its next symbol.
int InputStop(const ExtractionState& state) {
  if (state.abortFlag) return kDecodeAborted;
  if (state.endOfInput) return kDecodeInputEnded;
  return kDecodeOk;
}

// ---------------------------------------------------------------------------
// Bit input
//
// Outside the fast loop every bit comes through the extraction state's
// reader (NeedBits / PeekBits / DropBits), which refills the 2048-byte
// input buffer from the archive one byte at a time as needed. The fast loop
// keeps the bit buffer in a register and tops it up with Refill64.

inline uint64_t LowBits(uint64_t bits, uint32_t n) { return bits & ((uint64_t{1} << n) - 1); }

// Tops the 64-bit buffer up to at least 56 bits with one unaligned load of 8
// bytes (which must be there), taking only the whole bytes that fit. Bits
// above the count are the next input bits: the next load ORs the same bits in.
inline void Refill64(const uint8_t*& in, uint64_t& bits, uint32_t& count) {
  uint64_t word;
  std::memcpy(&word, in, 8);
  bits |= word << count;
  in += (63 - count) >> 3;
  count |= 56;
}

// Decodes one symbol through the shared bit reader. It makes input
// available as a lookup through a table of first level `readWidth` would:
// that many bits, then, when a longer code starts with them, as many as the
// longest such code; bits above the count read as zeros, which cannot change
// the entry of a code no longer than the bits there. Returns the final
// entry; an invalid one is returned as such, its bits not consumed.
PrefixEntry DecodeSlow(ExtractionState& state, const Code& code) {
  const PrefixTable& table = code.table;
  state.NeedBits(code.readWidth);
  if (!table.longestBelow.empty()) state.NeedBits(table.longestBelow[state.PeekBits(code.readWidth)]);
  PrefixEntry entry = table.entries[state.PeekBits(table.width)];
  if (entry.op > kPrefixOpSymbol) {
    if (IsInvalidEntry(entry)) return entry;
    state.DropBits(entry.bits);
    entry = table.entries[entry.value + state.PeekBits(entry.op - kPrefixOpSymbol)];
    if (IsInvalidEntry(entry)) return entry;
  }
  state.DropBits(CodeBits(entry));  // the extra bits are the caller's to take
  return entry;
}

// Builds a block's table, with the longest codes below each pattern of the
// read width.
PrefixCodeSet BuildCode(const uint8_t* lengths, uint32_t count, const PrefixEntry* symbols, uint32_t readWidth,
                        uint32_t tableWidth, Code& code) {
  code.readWidth = readWidth;
  return BuildPrefixTable(lengths, count, symbols, tableWidth, code.table, readWidth);
}

const Code& FixedLiteralCode() {
  static const Code code = [] {
    uint8_t lengths[kLiteralSymbols];
    std::fill(lengths, lengths + 144, 8);
    std::fill(lengths + 144, lengths + 256, 9);
    std::fill(lengths + 256, lengths + 280, 7);
    std::fill(lengths + 280, lengths + 288, 8);
    Code c;
    BuildCode(lengths, kLiteralSymbols, kLiteralEntries.data(), kFixedLiteralWidth, kFixedLiteralTableWidth, c);
    return c;
  }();
  return code;
}

const Code& FixedDistanceCode() {
  static const Code code = [] {
    uint8_t lengths[30];
    std::fill(lengths, lengths + 30, 5);
    Code c;
    BuildCode(lengths, 30, kDistanceEntries.data(), kFixedDistanceWidth, kFixedDistanceTableWidth, c);
    return c;
  }();
  return code;
}

// ---------------------------------------------------------------------------
// Output window: 32 KB of history, then room for new bytes.

class OutputWindow {
 public:
  static constexpr uint32_t kHistory = ExtractionState::kWindowSize;
  static constexpr uint32_t kFresh = 8 * ExtractionState::kWindowSize;
  static constexpr uint32_t kLimit = kHistory + kFresh;  // flush once position reaches this
  // Room past the limit for what one turn of the fast loop adds (four
  // literals, or a match) and for the overrun of chunked copies.
  static constexpr uint32_t kSize = kLimit + kMaxMatch + 64;

  // Only the history is filled: every byte after it is written before it is
  // read (a match copies from produced bytes only), so the 288 KB are not
  // zeroed for every entry.
  explicit OutputWindow(const ExtractionState& state) : bytes_(std::make_unique_for_overwrite<uint8_t[]>(kSize)) {
    // The history starts as the extraction's zero-filled slide window.
    std::memcpy(bytes_.get(), state.window, kHistory);
  }

  uint8_t* data() { return bytes_.get(); }
  uint32_t position = kHistory;

  bool Full() const { return position >= kLimit; }

  // Writes the new bytes and slides the last 32 KB to the front.
  bool Flush(ExtractionState& state) {
    if (!state.FlushBytes(bytes_.get() + kHistory, position - kHistory)) return false;
    std::memmove(bytes_.get(), bytes_.get() + position - kHistory, kHistory);
    position = kHistory;
    return true;
  }

  // Writes what is pending, at the end of the stream.
  bool Finish(ExtractionState& state) { return state.FlushBytes(bytes_.get() + kHistory, position - kHistory); }

 private:
  std::unique_ptr<uint8_t[]> bytes_;
};

// Copies a match of `length` bytes from `distance` back. The source never
// lies before the buffer (distance <= 32768 <= position), and the chunked
// copies may write up to 15 bytes past the end, into bytes not yet produced.
inline void CopyMatch(uint8_t* out, uint32_t distance, uint32_t length) {
  uint8_t* dst = out;
  const uint8_t* src = out - distance;
  uint8_t* const end = out + length;
  if (distance >= 8) {
    // Eight bytes at a time; most matches are done after two steps.
    uint64_t word;
    std::memcpy(&word, src, 8);
    std::memcpy(dst, &word, 8);
    std::memcpy(&word, src + 8, 8);
    std::memcpy(dst + 8, &word, 8);
    dst += 16;
    src += 16;
    while (dst < end) {
      std::memcpy(&word, src, 8);
      std::memcpy(dst, &word, 8);
      dst += 8;
      src += 8;
    }
  } else if (distance == 1) {
    std::memset(dst, *src, length);
  } else {
    // A short repeating pattern: lay it down byte by byte until a whole
    // number of periods (q >= 8) is there, then copy 8 bytes at a time from
    // q back, which is always a finished part of the pattern.
    const size_t q = (8 + distance - 1) / distance * distance;
    size_t i = 0;
    for (; i < length && i < q; ++i) dst[i] = src[i];
    for (; i < length; i += 8) std::memcpy(dst + i, dst + i - q, 8);
  }
}

// The code lengths of a dynamic block as they are decoded: symbols 0 to 15
// are lengths (and become the previous length); 16 repeats the previous
// length 3 to 6 times, 17 writes 3 to 10 zeros, 18 writes 11 to 138 zeros
// (after both the previous length is 0, and a 16 at the very start repeats
// 0).
struct CodeLengthSequence {
  uint8_t* lengths;
  uint32_t total;
  uint32_t filled = 0;
  uint8_t previous = 0;

  // Adds one symbol with its extra bits; false when a repeat runs past the
  // lengths the block announced.
  bool Add(uint32_t symbol, uint32_t extra) {
    if (symbol < 16) {
      lengths[filled++] = previous = static_cast<uint8_t>(symbol);
      return true;
    }
    const uint32_t repeat = (symbol == 18 ? 11 : 3) + extra;
    const uint8_t value = symbol == 16 ? previous : 0;
    if (!RepeatFits(filled, repeat, total)) return false;
    std::fill(lengths + filled, lengths + filled + repeat, value);
    filled += repeat;
    previous = value;
    return true;
  }
};

// ---------------------------------------------------------------------------
// Block decoding

struct Inflater {
  ExtractionState& state;
  OutputWindow out;
  Code codeLengths;

  explicit Inflater(ExtractionState& s) : state(s), out(s) {}

  int StoredBlock();
  int DynamicBlock(Code& literals, Code& distances);
  int DecodeBlock(const Code& literals, const Code& distances);
  int FastDecode(const PrefixTable& literals, const PrefixTable& distances);
  int EdgeSymbol(const Code& literals, const Code& distances);
  int SlowSymbol(const Code& literals, const Code& distances);
};

int Inflater::StoredBlock() {
  state.DropBits(state.bitCount % 8);
  const uint32_t length = state.GetBits(16);
  const uint32_t complement = state.GetBits(16);
  if (!StoredLengthMatches(length, complement)) return kDecodeCorrupt;
  uint32_t left = length;
  while (left > 0) {
    if (const int stop = InputStop(state); stop != kDecodeOk) return stop;
    if (out.Full() && !out.Flush(state)) return kDecodeWriteFailed;
    const uint32_t room = OutputWindow::kLimit - out.position;
    if (state.bitCount >= 8) {
      // Whole bytes still in the bit buffer come first.
      out.data()[out.position++] = static_cast<uint8_t>(state.GetBits(8));
      --left;
      continue;
    }
    if (state.inputPosition > state.inputLast) {
      state.ReadInputBlock();
      continue;  // the flags may have changed
    }
    const uint32_t available = static_cast<uint32_t>(state.inputLast + 1 - state.inputPosition);
    const uint32_t n = std::min({left, available, room});
    std::memcpy(out.data() + out.position, state.input + state.inputPosition, n);
    out.position += n;
    state.inputPosition += static_cast<int32_t>(n);
    left -= n;
  }
  return kDecodeOk;
}

int Inflater::DynamicBlock(Code& literals, Code& distances) {
  const uint32_t literalCount = state.GetBits(5) + 257;
  const uint32_t distanceCount = state.GetBits(5) + 1;
  const uint32_t codeLengthCount = state.GetBits(4) + 4;

  uint8_t codeLengthLengths[kCodeLengthSymbols] = {};
  for (uint32_t i = 0; i < codeLengthCount; ++i) codeLengthLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(state.GetBits(3));
  if (!AcceptCodeLengthCode(BuildCode(codeLengthLengths, kCodeLengthSymbols, kCodeLengthEntries.data(),
                                      kCodeLengthWidth, kCodeLengthTableWidth, codeLengths))) {
    return kDecodeCorrupt;
  }

  // Literal/length and distance lengths form one sequence: a repeat may run
  // from one into the other. While 8 input bytes are buffered, the symbols
  // come out of one 8-byte load at a time (a symbol and its extra bits take
  // at most 14 bits); otherwise through the shared bit reader.
  uint8_t lengths[kLiteralSymbols + kDistanceSymbols] = {};
  CodeLengthSequence sequence{lengths, literalCount + distanceCount};
  const PrefixEntry* const table = codeLengths.table.entries.data();
  const uint64_t mask = (uint64_t{1} << codeLengths.table.width) - 1;
  while (sequence.filled < sequence.total) {
    if (const int stop = InputStop(state); stop != kDecodeOk) return stop;
    if (state.inputLast + 1 - state.inputPosition < 8) {
      const PrefixEntry entry = DecodeSlow(state, codeLengths);
      if (IsInvalidEntry(entry)) return kDecodeCorrupt;
      if (!sequence.Add(entry.value, state.GetBits(kCodeLengthExtra[entry.value]))) return kDecodeCorrupt;
      continue;
    }
    const uint8_t* in = state.input + state.inputPosition;
    uint64_t bits = state.bitBuffer;
    uint32_t count = state.bitCount;
    Refill64(in, bits, count);
    bool valid = true;
    while (valid && count >= kMaxCodeLengthBits && sequence.filled < sequence.total) {
      const PrefixEntry entry = table[bits & mask];
      if (IsInvalidEntry(entry)) {
        valid = false;
        break;
      }
      bits >>= entry.bits;
      count -= entry.bits;
      const uint32_t extra = kCodeLengthExtra[entry.value];
      valid = sequence.Add(entry.value, static_cast<uint32_t>(LowBits(bits, extra)));
      bits >>= extra;
      count -= extra;
    }
    state.inputPosition = static_cast<int32_t>(in - state.input);
    state.bitBuffer = LowBits(bits, count);
    state.bitCount = count;
    if (!valid) return kDecodeCorrupt;
  }

  if (!AcceptLiteralCode(BuildCode(lengths, literalCount, kLiteralEntries.data(), kDynamicLiteralWidth,
                                   kLiteralTableWidth, literals))) {
    return kDecodeCorrupt;
  }
  if (!AcceptDistanceCode(BuildCode(lengths + literalCount, distanceCount, kDistanceEntries.data(),
                                    kDynamicDistanceWidth, kDistanceTableWidth, distances))) {
    return kDecodeCorrupt;
  }
  return DecodeBlock(literals, distances);
}

// One symbol (a literal, the end of the block, or a whole match) through the
// shared bit reader. kBlockContinue after a literal or match.
int Inflater::SlowSymbol(const Code& literals, const Code& distances) {
  const PrefixEntry entry = DecodeSlow(state, literals);
  if (IsInvalidEntry(entry)) return kDecodeCorrupt;
  if (entry.op == kPrefixOpSymbol) {
    out.data()[out.position++] = static_cast<uint8_t>(entry.value);
    return kBlockContinue;
  }
  if (entry.op == kPrefixOpEndOfBlock) return kDecodeOk;
  const uint32_t length = entry.value + state.GetBits(entry.op);
  const PrefixEntry distanceEntry = DecodeSlow(state, distances);
  if (IsInvalidEntry(distanceEntry)) return kDecodeCorrupt;
  const uint32_t distance = distanceEntry.value + state.GetBits(distanceEntry.op);
  CopyMatch(out.data() + out.position, distance, length);
  out.position += length;
  return kBlockContinue;
}

// One symbol near the end of the input buffer, taken from the bits already
// buffered when they hold everything the shared reader would ask for while
// decoding it (DecodeSlow's widths, then the extra bits): then no input
// block would be read during the symbol, and decoding it here is the same.
// kNeedsInput, with nothing consumed, when they do not.
int Inflater::EdgeSymbol(const Code& literals, const Code& distances) {
  // Every buffered byte into a local bit buffer, or as many as fit; bytes
  // left over mean more than 56 bits, more than any symbol asks for.
  uint64_t bits = state.bitBuffer;
  uint32_t count = state.bitCount;
  int32_t position = state.inputPosition;
  while (count <= 56 && position <= state.inputLast) {
    bits |= static_cast<uint64_t>(state.input[position++]) << count;
    count += 8;
  }
  uint32_t used = 0;
  auto there = [&](uint32_t n) { return used + n <= count; };
  // Looks a symbol up the way DecodeSlow does; false when the bits it would
  // ask for are not all there. Bits above the count are zero, which cannot
  // change the entry of a code no longer than the bits there.
  auto lookUp = [&](const Code& code, PrefixEntry& entry) {
    const uint64_t ahead = bits >> used;
    uint32_t need = code.readWidth;
    if (!code.table.longestBelow.empty()) {
      need = std::max<uint32_t>(need, code.table.longestBelow[LowBits(ahead, code.readWidth)]);
    }
    if (!there(code.readWidth) || !there(need)) return false;
    entry = code.table.entries[LowBits(ahead, code.table.width)];
    if (IsSecondLevelEntry(entry)) {
      used += entry.bits;
      entry = code.table.entries[entry.value + LowBits(ahead >> entry.bits, entry.op - kPrefixOpSymbol)];
    }
    return true;
  };
  auto commit = [&] {
    state.bitBuffer = LowBits(bits >> used, count - used);
    state.bitCount = count - used;
    state.inputPosition = position;
  };

  PrefixEntry e;
  if (!lookUp(literals, e)) return kNeedsInput;
  if (IsInvalidEntry(e)) return kDecodeCorrupt;
  if (e.op == kPrefixOpSymbol || e.op == kPrefixOpEndOfBlock) {
    used += e.bits;
    commit();
    if (e.op == kPrefixOpEndOfBlock) return kDecodeOk;
    out.data()[out.position++] = static_cast<uint8_t>(e.value);
    return kBlockContinue;
  }
  used += CodeBits(e);
  if (!there(e.op)) return kNeedsInput;
  const uint32_t length = e.value + static_cast<uint32_t>(LowBits(bits >> used, e.op));
  used += e.op;
  PrefixEntry d;
  if (!lookUp(distances, d)) return kNeedsInput;
  if (IsInvalidEntry(d)) return kDecodeCorrupt;
  used += CodeBits(d);
  if (!there(d.op)) return kNeedsInput;
  const uint32_t distance = d.value + static_cast<uint32_t>(LowBits(bits >> used, d.op));
  used += d.op;
  commit();
  CopyMatch(out.data() + out.position, distance, length);
  out.position += length;
  return kBlockContinue;
}

// The inner loop. Runs while 8 input bytes are buffered and the output has
// room; returns kBlockContinue when either runs short, else the block's end
// (kDecodeOk) or kDecodeCorrupt.
int Inflater::FastDecode(const PrefixTable& literals, const PrefixTable& distances) {
  const PrefixEntry* const lit = literals.entries.data();
  const PrefixEntry* const dist = distances.entries.data();
  const uint32_t litWidth = literals.width;
  const uint64_t litMask = (uint64_t{1} << litWidth) - 1;
  const uint64_t distMask = (uint64_t{1} << distances.width) - 1;
  const uint8_t* in = state.input + state.inputPosition;
  const uint8_t* const inEnd = state.input + state.inputLast + 1;
  uint8_t* const window = out.data();
  uint32_t pos = out.position;
  uint64_t bits = state.bitBuffer;
  uint32_t count = state.bitCount;
  int result = kBlockContinue;

  auto consume = [&](uint32_t n) {
    bits >>= n;
    count -= n;
  };

  // Each turn starts with the bits topped up to 56 or more and the entry of
  // the next symbol looked up. The lookup for the turn after is made before
  // the refill whenever the bits left hold a whole first-level index, so
  // the refill works while the lookup is under way.
  if (inEnd - in < 8 || pos >= OutputWindow::kLimit) return kBlockContinue;
  Refill64(in, bits, count);
  PrefixEntry e = lit[bits & litMask];
  for (;;) {
    if (e.op == kPrefixOpSymbol) {
      // A run of literals: four fit in the bits of one refill (first-level
      // codes are at most 11 bits), leaving 12 or more for the next lookup.
      // (Written out: as a counted loop it runs a few percent slower.)
      consume(e.bits);
      window[pos++] = static_cast<uint8_t>(e.value);
      e = lit[bits & litMask];
      if (e.op == kPrefixOpSymbol) {
        consume(e.bits);
        window[pos++] = static_cast<uint8_t>(e.value);
        e = lit[bits & litMask];
        if (e.op == kPrefixOpSymbol) {
          consume(e.bits);
          window[pos++] = static_cast<uint8_t>(e.value);
          e = lit[bits & litMask];
          if (e.op == kPrefixOpSymbol) {
            consume(e.bits);
            window[pos++] = static_cast<uint8_t>(e.value);
            e = lit[bits & litMask];
          }
        }
      }
    } else {
      if (e.op > kPrefixOpSymbol) {
        if (IsInvalidEntry(e)) {
          result = kDecodeCorrupt;
          break;
        }
        consume(e.bits);
        e = lit[e.value + LowBits(bits, e.op - kPrefixOpSymbol)];
        if (IsInvalidEntry(e)) {
          result = kDecodeCorrupt;
          break;
        }
      }
      if (e.op == kPrefixOpSymbol) {
        consume(e.bits);
        window[pos++] = static_cast<uint8_t>(e.value);
      } else if (e.op == kPrefixOpEndOfBlock) {
        consume(e.bits);
        result = kDecodeOk;
        break;
      } else {
        // A length (the code and its extra bits go in one shift), then a
        // distance, then the copy.
        const uint32_t length = e.value + static_cast<uint32_t>(LowBits(bits >> (e.bits - e.op), e.op));
        consume(e.bits);
        PrefixEntry d = dist[bits & distMask];
        if (d.op > kPrefixOpSymbol) {
          if (IsInvalidEntry(d)) {
            result = kDecodeCorrupt;
            break;
          }
          consume(d.bits);
          d = dist[d.value + LowBits(bits, d.op - kPrefixOpSymbol)];
          if (IsInvalidEntry(d)) {
            result = kDecodeCorrupt;
            break;
          }
        }
        const uint32_t distance = d.value + static_cast<uint32_t>(LowBits(bits >> (d.bits - d.op), d.op));
        consume(d.bits);
        CopyMatch(window + pos, distance, length);
        pos += length;
      }
      e = lit[bits & litMask];  // valid only if count >= litWidth; looked up again below otherwise
    }
    if (inEnd - in < 8 || pos >= OutputWindow::kLimit) break;
    const bool looked = count >= litWidth;
    Refill64(in, bits, count);
    if (!looked) e = lit[bits & litMask];
  }

  state.inputPosition = static_cast<int32_t>(in - state.input);
  // Bits above the count are the next input bits, already loaded again by
  // the next refill; clear them so the bit buffer holds only what it counts.
  state.bitBuffer = LowBits(bits, count);
  state.bitCount = count;
  out.position = pos;
  return result;
}

int Inflater::DecodeBlock(const Code& literals, const Code& distances) {
  for (;;) {
    if (const int stop = InputStop(state); stop != kDecodeOk) return stop;
    if (out.Full() && !out.Flush(state)) return kDecodeWriteFailed;
    int result;
    if (state.inputLast + 1 - state.inputPosition >= 8) {
      result = FastDecode(literals.table, distances.table);
    } else {
      result = EdgeSymbol(literals, distances);
      if (result == kNeedsInput) result = SlowSymbol(literals, distances);
    }
    if (result != kBlockContinue) return result;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Building tables in deflate's terms (for the tests)

namespace inflate_detail {

CodeSet BuildTable(const uint8_t* lengths, uint32_t count, uint32_t simpleCount, const uint16_t* base,
                   const uint8_t* extra, uint32_t width, LookupTable& table) {
  if (count > kMaxPrefixSymbols) return CodeSet::Bad;
  PrefixEntry symbols[kMaxPrefixSymbols];
  for (uint32_t s = 0; s < count; ++s) {
    if (s < simpleCount) {
      const bool end = simpleCount == 257 && s == 256;
      symbols[s] = PrefixEntry{end ? kPrefixOpEndOfBlock : kPrefixOpSymbol, 0, static_cast<uint16_t>(s)};
    } else {
      symbols[s] = PrefixEntry{extra[s - simpleCount], 0, base[s - simpleCount]};
    }
  }
  switch (BuildPrefixTable(lengths, count, symbols, width, table)) {
    case PrefixCodeSet::kComplete: return CodeSet::Complete;
    case PrefixCodeSet::kIncomplete: return CodeSet::Incomplete;
    case PrefixCodeSet::kBad: break;
  }
  return CodeSet::Bad;
}

}  // namespace inflate_detail

// ---------------------------------------------------------------------------
// The block loop

int Inflate(ExtractionState& state) {
  state.ResetInput();
  Inflater inflater(state);
  Code literals;
  Code distances;
  for (;;) {
    // Also stops a run of empty stored blocks made of the filler that
    // follows the end of the input, which no symbol test would catch.
    if (const int stop = InputStop(state); stop != kDecodeOk) return stop;
    const uint32_t last = state.GetBits(1);
    const uint32_t type = state.GetBits(2);
    if (!IsKnownBlockType(type)) return kDecodeCorrupt;
    int result;
    if (type == 0) {
      result = inflater.StoredBlock();
    } else if (type == 1) {
      result = inflater.DecodeBlock(FixedLiteralCode(), FixedDistanceCode());
    } else {
      result = inflater.DynamicBlock(literals, distances);
    }
    if (result != kDecodeOk) return result;
    if (last != 0) break;
  }
  return inflater.out.Finish(state) ? kDecodeOk : kDecodeWriteFailed;
}

}  // namespace archive
