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
//    the output position in local variables, reloads the 64-bit bit buffer
//    with one unaligned load per symbol (enough for the longest
//    length/distance pair: 15 + 5 + 15 + 13 bits) and copies matches in
//    8- or 16-byte chunks. It runs only while at least 8 input bytes are
//    buffered and the output has room for the longest match, so it never
//    needs to test for either inside.
//
//  * Everything else (the bytes around an input refill, stored blocks, the
//    headers of dynamic blocks) goes through the shared bit reader of the
//    extraction state, one byte at a time, exactly as the other methods read.
//    Bytes the fast loop took into the bit buffer stay there, so when the
//    stream ends the bit position is exact and the data descriptor behind it
//    is read from the right place.
//
//  * Prefix codes are decoded through two-level tables: a first level of
//    7 (fixed literal/length and code-length codes), 9 (dynamic
//    literal/length), 5 (fixed distance) or 6 (dynamic distance) bits, and
//    for longer codes a second level sized for the longest code below that
//    prefix. Most symbols take one lookup.
//
//  * Output goes to a linear buffer of 32 KB of history followed by 128 KB of
//    new bytes. When the new part is full it is written out (with the CRC)
//    and the last 32 KB slide to the front. A match therefore never wraps
//    around, and chunked copies may overrun the match end into bytes that
//    are not history yet. The history starts zero-filled (the extraction's
//    slide window), so a distance reaching before the start of the output
//    reads zeros.
//
//  * Hostile input: every decision about untrusted bits is made in one named
//    check (StoredLengthMatches, RepeatFits, AcceptCodeLengthCode, ...), and
//    every loop either consumes input or is bounded by a count. The input
//    flags (end of input, abort) change only when the input buffer is
//    refilled, so testing them once per symbol outside the fast loop and
//    once per block is the same as testing them before every symbol.
#include "archive/inflate.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace archive {

using inflate_detail::BuildTable;
using inflate_detail::CodeSet;
using inflate_detail::kOpEndOfBlock;
using inflate_detail::kOpInvalid;
using inflate_detail::kOpLiteral;
using inflate_detail::LookupTable;
using inflate_detail::TableEntry;

namespace {

// ---------------------------------------------------------------------------
// Constant tables (RFC 1951, 3.2.5)

constexpr uint16_t kLengthBase[31] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27, 31,
                                      35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
constexpr uint8_t kLengthExtra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                      3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, kOpInvalid, kOpInvalid};
constexpr uint16_t kDistanceBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,  33,
                                        49,   65,   97,   129,  193,  257,   385,   513,   769, 1025, 1537,
                                        2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 0,   0};
constexpr uint8_t kDistanceExtra[32] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,          6,         6,
                                        7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, kOpInvalid, kOpInvalid};
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr uint32_t kFixedLiteralWidth = 7;
constexpr uint32_t kFixedDistanceWidth = 5;
constexpr uint32_t kCodeLengthWidth = 7;
constexpr uint32_t kDynamicLiteralWidth = 9;
constexpr uint32_t kDynamicDistanceWidth = 6;

constexpr uint32_t kMaxMatch = 258;

// Block results besides the kDecode* codes.
constexpr int kBlockContinue = -100;

// ---------------------------------------------------------------------------
// Hostile-input checks: each decision about untrusted bits, by name.

bool StoredLengthMatches(uint32_t length, uint32_t complement) { return (length ^ 0xFFFF) == complement; }

// A code-length repeat must stay within the lengths the block announced.
bool RepeatFits(uint32_t filled, uint32_t repeat, uint32_t total) { return filled + repeat <= total; }

// The code-length code and the literal/length code must be complete; the
// distance code may leave patterns unused (an incomplete set); none may be
// over-subscribed.
bool AcceptCodeLengthCode(CodeSet set) { return set == CodeSet::Complete; }
bool AcceptLiteralCode(CodeSet set) { return set == CodeSet::Complete; }
bool AcceptDistanceCode(CodeSet set) { return set != CodeSet::Bad; }

// Block type 3 is reserved.
bool IsKnownBlockType(uint32_t type) { return type < 3; }

// An entry that decodes to nothing: an unused pattern of an incomplete code,
// any pattern of an empty code, or symbols 286, 287, 30 and 31.
bool IsInvalidEntry(const TableEntry& entry) { return entry.op == kOpInvalid; }

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

// Decodes one symbol through the shared bit reader (byte-at-a-time refills).
// Returns the final entry; an invalid one is reported as such.
TableEntry DecodeSlow(ExtractionState& state, const LookupTable& table) {
  state.NeedBits(table.width);
  TableEntry entry = table.entries[state.PeekBits(table.width)];
  while (entry.op > kOpLiteral) {
    if (IsInvalidEntry(entry)) return entry;
    state.DropBits(entry.bits);
    const uint32_t subBits = entry.op - kOpLiteral;
    state.NeedBits(subBits);
    entry = table.entries[entry.value + state.PeekBits(subBits)];
  }
  state.DropBits(entry.bits);
  return entry;
}

}  // namespace

// ---------------------------------------------------------------------------
// Code tables
//
// A table is built from code lengths by the canonical rule of RFC 1951
// (3.2.2): codes of one length are consecutive and follow those of the
// length below. Each code is bit-reversed (the stream sends it most
// significant bit first) and fills every first-level slot whose low bits
// match it; a code longer than the first level goes to a second-level table
// hanging off its first `width` bits, as wide as the longest code there.
// Slots no code reaches stay invalid, so an incomplete code decodes its
// unused patterns as corrupt data.

namespace inflate_detail {

CodeSet BuildTable(const uint8_t* lengths, uint32_t count, uint32_t simpleCount, const uint16_t* base,
                   const uint8_t* extra, uint32_t width, LookupTable& table) {
  constexpr uint32_t kMaxBits = 16;
  uint32_t perLength[kMaxBits + 1] = {};
  uint32_t maxLength = 0;
  for (uint32_t s = 0; s < count; ++s) {
    if (lengths[s] > kMaxBits) return CodeSet::Bad;
    ++perLength[lengths[s]];
    maxLength = std::max<uint32_t>(maxLength, lengths[s]);
  }
  // The first level is at most 9 bits wide (the widest table of the format).
  if (width < 1 || width > 9 || count > 320) return CodeSet::Bad;
  table.width = width;
  const uint32_t rootSize = 1u << width;

  // Kraft sum: patterns left over at each length; below zero is over-subscribed.
  int64_t left = 1;
  for (uint32_t len = 1; len <= kMaxBits; ++len) {
    left = left * 2 - perLength[len];
    if (left < 0) return CodeSet::Bad;
  }
  CodeSet outcome = left == 0 || maxLength <= 1 ? CodeSet::Complete : CodeSet::Incomplete;

  // Canonical codes: the first code of each length follows the codes of the
  // length below it.
  uint32_t nextCode[kMaxBits + 1] = {};
  for (uint32_t len = 2; len <= kMaxBits; ++len) nextCode[len] = (nextCode[len - 1] + perLength[len - 1]) << 1;

  auto reversed = [](uint32_t c, uint32_t len) {
    uint32_t r = 0;
    for (uint32_t i = 0; i < len; ++i) {
      r = (r << 1) | (c & 1);
      c >>= 1;
    }
    return r;
  };
  auto entryFor = [&](uint32_t symbol, uint32_t bits) {
    TableEntry e{kOpInvalid, static_cast<uint8_t>(bits), 0};
    if (symbol < simpleCount) {
      e.op = simpleCount == 257 && symbol == 256 ? kOpEndOfBlock : kOpLiteral;
      e.value = static_cast<uint16_t>(symbol);
    } else if (extra[symbol - simpleCount] != kOpInvalid) {
      e.op = extra[symbol - simpleCount];
      e.value = base[symbol - simpleCount];
    }
    return e;
  };

  // First pass: the second-level size each first-level pattern needs.
  uint32_t codes[320];
  uint32_t subBits[1u << 9] = {};  // widths are at most 9
  uint32_t* const next = nextCode;
  for (uint32_t s = 0; s < count; ++s) {
    const uint32_t len = lengths[s];
    if (len == 0) continue;
    codes[s] = reversed(next[len]++, len);
    if (len > width) {
      uint32_t& b = subBits[codes[s] & (rootSize - 1)];
      b = std::max(b, len - width);
    }
  }
  uint32_t size = rootSize;
  uint32_t subStart[1u << 9] = {};
  for (uint32_t r = 0; r < rootSize; ++r) {
    if (subBits[r] == 0) continue;
    subStart[r] = size;
    size += 1u << subBits[r];
  }
  if (size > 0xFFFF) return CodeSet::Bad;  // sub-table indexes are 16 bits
  table.entries.assign(size, TableEntry{kOpInvalid, static_cast<uint8_t>(width), 0});
  for (uint32_t r = 0; r < rootSize; ++r) {
    if (subBits[r] != 0) {
      table.entries[r] = TableEntry{static_cast<uint8_t>(kOpLiteral + subBits[r]), static_cast<uint8_t>(width),
                                    static_cast<uint16_t>(subStart[r])};
    }
  }

  // Second pass: fill every pattern each code covers.
  for (uint32_t s = 0; s < count; ++s) {
    const uint32_t len = lengths[s];
    if (len == 0) continue;
    if (len <= width) {
      const TableEntry e = entryFor(s, len);
      for (uint32_t i = codes[s]; i < rootSize; i += 1u << len) table.entries[i] = e;
    } else {
      const uint32_t root = codes[s] & (rootSize - 1);
      const uint32_t sub = subBits[root];
      const TableEntry e = entryFor(s, len - width);
      for (uint32_t i = codes[s] >> width; i < (1u << sub); i += 1u << (len - width)) {
        table.entries[subStart[root] + i] = e;
      }
    }
  }
  return outcome;
}

}  // namespace inflate_detail


namespace {

const LookupTable& FixedLiteralTable() {
  static const LookupTable table = [] {
    uint8_t lengths[288];
    std::fill(lengths, lengths + 144, 8);
    std::fill(lengths + 144, lengths + 256, 9);
    std::fill(lengths + 256, lengths + 280, 7);
    std::fill(lengths + 280, lengths + 288, 8);
    LookupTable t;
    BuildTable(lengths, 288, 257, kLengthBase, kLengthExtra, kFixedLiteralWidth, t);
    return t;
  }();
  return table;
}

const LookupTable& FixedDistanceTable() {
  static const LookupTable table = [] {
    uint8_t lengths[30];
    std::fill(lengths, lengths + 30, 5);
    LookupTable t;
    BuildTable(lengths, 30, 0, kDistanceBase, kDistanceExtra, kFixedDistanceWidth, t);
    return t;
  }();
  return table;
}

// ---------------------------------------------------------------------------
// Output window: 32 KB of history, then room for new bytes.

class OutputWindow {
 public:
  static constexpr uint32_t kHistory = ExtractionState::kWindowSize;
  static constexpr uint32_t kFresh = 4 * ExtractionState::kWindowSize;
  static constexpr uint32_t kLimit = kHistory + kFresh;      // flush once position reaches this
  static constexpr uint32_t kSize = kLimit + kMaxMatch + 64;  // room for one symbol and chunk overrun

  explicit OutputWindow(const ExtractionState& state) : bytes_(std::make_unique<uint8_t[]>(kSize)) {
    // The history starts as the extraction's zero-filled slide window.
    std::memcpy(bytes_.get(), state.window, kHistory);
    std::memset(bytes_.get() + kHistory, 0, kSize - kHistory);
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
  if (distance >= 16) {
    do {
      std::memcpy(dst, src, 16);
      dst += 16;
      src += 16;
    } while (dst < end);
  } else if (distance >= 8) {
    do {
      std::memcpy(dst, src, 8);
      dst += 8;
      src += 8;
    } while (dst < end);
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

// ---------------------------------------------------------------------------
// Block decoding

struct Inflater {
  ExtractionState& state;
  OutputWindow out;

  explicit Inflater(ExtractionState& s) : state(s), out(s) {}

  int StoredBlock();
  int DynamicBlock(LookupTable& literals, LookupTable& distances);
  int DecodeBlock(const LookupTable& literals, const LookupTable& distances);
  int FastDecode(const LookupTable& literals, const LookupTable& distances);
  int SlowSymbol(const LookupTable& literals, const LookupTable& distances);
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

int Inflater::DynamicBlock(LookupTable& literals, LookupTable& distances) {
  const uint32_t literalCount = state.GetBits(5) + 257;
  const uint32_t distanceCount = state.GetBits(5) + 1;
  const uint32_t codeLengthCount = state.GetBits(4) + 4;

  uint8_t codeLengthLengths[19] = {};
  for (uint32_t i = 0; i < codeLengthCount; ++i) codeLengthLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(state.GetBits(3));
  LookupTable codeLengths;
  if (!AcceptCodeLengthCode(BuildTable(codeLengthLengths, 19, 19, nullptr, nullptr, kCodeLengthWidth, codeLengths))) {
    return kDecodeCorrupt;
  }

  // Literal/length and distance lengths form one sequence: a repeat may run
  // from one into the other.
  uint8_t lengths[288 + 32] = {};
  const uint32_t total = literalCount + distanceCount;
  uint32_t filled = 0;
  uint8_t previous = 0;
  while (filled < total) {
    if (const int stop = InputStop(state); stop != kDecodeOk) return stop;
    const TableEntry entry = DecodeSlow(state, codeLengths);
    if (IsInvalidEntry(entry)) return kDecodeCorrupt;
    const uint32_t symbol = entry.value;
    if (symbol < 16) {
      lengths[filled++] = previous = static_cast<uint8_t>(symbol);
      continue;
    }
    uint32_t repeat;
    uint8_t value = 0;
    if (symbol == 16) {
      repeat = 3 + state.GetBits(2);
      value = previous;  // 0 when the sequence starts with a repeat
    } else if (symbol == 17) {
      repeat = 3 + state.GetBits(3);
    } else {
      repeat = 11 + state.GetBits(7);
    }
    if (!RepeatFits(filled, repeat, total)) return kDecodeCorrupt;
    std::fill(lengths + filled, lengths + filled + repeat, value);
    filled += repeat;
    previous = value;
  }

  if (!AcceptLiteralCode(BuildTable(lengths, literalCount, 257, kLengthBase, kLengthExtra, kDynamicLiteralWidth,
                                    literals))) {
    return kDecodeCorrupt;
  }
  if (!AcceptDistanceCode(BuildTable(lengths + literalCount, distanceCount, 0, kDistanceBase, kDistanceExtra,
                                     kDynamicDistanceWidth, distances))) {
    return kDecodeCorrupt;
  }
  return DecodeBlock(literals, distances);
}

// One symbol (a literal, the end of the block, or a whole match) through the
// shared bit reader. kBlockContinue after a literal or match.
int Inflater::SlowSymbol(const LookupTable& literals, const LookupTable& distances) {
  const TableEntry entry = DecodeSlow(state, literals);
  if (IsInvalidEntry(entry)) return kDecodeCorrupt;
  if (entry.op == kOpLiteral) {
    out.data()[out.position++] = static_cast<uint8_t>(entry.value);
    return kBlockContinue;
  }
  if (entry.op == kOpEndOfBlock) return kDecodeOk;
  const uint32_t length = entry.value + state.GetBits(entry.op);
  const TableEntry distanceEntry = DecodeSlow(state, distances);
  if (IsInvalidEntry(distanceEntry)) return kDecodeCorrupt;
  const uint32_t distance = distanceEntry.value + state.GetBits(distanceEntry.op);
  CopyMatch(out.data() + out.position, distance, length);
  out.position += length;
  return kBlockContinue;
}

// The inner loop. Runs while 8 input bytes are buffered and the output has
// room; returns kBlockContinue when either runs short, else the block's end
// (kDecodeOk) or kDecodeCorrupt.
int Inflater::FastDecode(const LookupTable& literals, const LookupTable& distances) {
  const TableEntry* const lit = literals.entries.data();
  const TableEntry* const dist = distances.entries.data();
  const uint64_t litMask = (uint64_t{1} << literals.width) - 1;
  const uint64_t distMask = (uint64_t{1} << distances.width) - 1;
  const uint8_t* in = state.input + state.inputPosition;
  const uint8_t* const inEnd = state.input + state.inputLast + 1;
  uint8_t* const window = out.data();
  uint32_t pos = out.position;
  uint64_t bits = state.bitBuffer;
  uint32_t count = state.bitCount;
  int result = kBlockContinue;

  while (inEnd - in >= 8 && pos < OutputWindow::kLimit) {
    Refill64(in, bits, count);

    TableEntry e = lit[bits & litMask];
    if (e.op > kOpLiteral) {
      if (IsInvalidEntry(e)) {
        result = kDecodeCorrupt;
        break;
      }
      bits >>= e.bits;
      count -= e.bits;
      e = lit[e.value + (bits & ((uint64_t{1} << (e.op - kOpLiteral)) - 1))];
      if (IsInvalidEntry(e)) {
        result = kDecodeCorrupt;
        break;
      }
    }
    bits >>= e.bits;
    count -= e.bits;
    if (e.op == kOpLiteral) {
      window[pos++] = static_cast<uint8_t>(e.value);
      continue;
    }
    if (e.op == kOpEndOfBlock) {
      result = kDecodeOk;
      break;
    }
    const uint32_t length = e.value + static_cast<uint32_t>(bits & ((uint64_t{1} << e.op) - 1));
    bits >>= e.op;
    count -= e.op;

    e = dist[bits & distMask];
    if (e.op > kOpLiteral) {
      if (IsInvalidEntry(e)) {
        result = kDecodeCorrupt;
        break;
      }
      bits >>= e.bits;
      count -= e.bits;
      e = dist[e.value + (bits & ((uint64_t{1} << (e.op - kOpLiteral)) - 1))];
    }
    if (IsInvalidEntry(e)) {
      result = kDecodeCorrupt;
      break;
    }
    bits >>= e.bits;
    count -= e.bits;
    const uint32_t distance = e.value + static_cast<uint32_t>(bits & ((uint64_t{1} << e.op) - 1));
    bits >>= e.op;
    count -= e.op;
    CopyMatch(window + pos, distance, length);
    pos += length;
  }

  state.inputPosition = static_cast<int32_t>(in - state.input);
  // Bits above the count are the next input bits, already loaded again by
  // the next refill; clear them so the bit buffer holds only what it counts.
  state.bitBuffer = bits & ((uint64_t{1} << count) - 1);
  state.bitCount = count;
  out.position = pos;
  return result;
}

int Inflater::DecodeBlock(const LookupTable& literals, const LookupTable& distances) {
  for (;;) {
    if (const int stop = InputStop(state); stop != kDecodeOk) return stop;
    if (out.Full() && !out.Flush(state)) return kDecodeWriteFailed;
    int result;
    if (state.inputLast + 1 - state.inputPosition >= 8) {
      result = FastDecode(literals, distances);
    } else {
      result = SlowSymbol(literals, distances);
    }
    if (result != kBlockContinue) return result;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// The block loop

int Inflate(ExtractionState& state) {
  state.ResetInput();
  Inflater inflater(state);
  LookupTable literals;
  LookupTable distances;
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
      result = inflater.DecodeBlock(FixedLiteralTable(), FixedDistanceTable());
    } else {
      result = inflater.DynamicBlock(literals, distances);
    }
    if (result != kDecodeOk) return result;
    if (last != 0) break;
  }
  return inflater.out.Finish(state) ? kDecodeOk : kDecodeWriteFailed;
}

}  // namespace archive

