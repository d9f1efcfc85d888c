// Explode: method 6, "imploded" entries of PKZIP 1.x.
//
// The format is a sliding dictionary (LZ77) of 4 KB or 8 KB whose output is
// coded with two or three Shannon-Fano trees. Flag bit 1 of the local header
// selects the 8 KB dictionary (7 raw low distance bits instead of 6), flag
// bit 2 a third tree for literals (without it a literal is 8 raw bits and the
// shortest match is 2 bytes instead of 3). The trees come first, as bytes:
// literal (256 codes), length (64), distance (64), each as a count byte and
// run-length pairs of (codes, bit length). Then the stream proper: one flag
// bit per item, 1 for a literal and 0 for a match of (low distance bits,
// distance code, length code, and 8 more length bits after length code 63).
//
// Shannon-Fano codes, as PKZIP builds them, are the canonical prefix codes of
// deflate with every bit inverted. So the tables here are the same canonical
// lookup tables as deflate's (prefix_code.h: a first level of `width` bits
// and second-level tables for longer codes) and every lookup indexes them
// with the complement of the input bits.
//
// Why the code is shaped as it is:
//  * Output goes straight into the 32 KB slide window, which doubles as the
//    dictionary; the window is zero-filled per extraction, so a match reaching
//    before the start of the output reads zeros, as the format wants.
//  * One symbol is one table lookup in almost all cases: the first-level
//    widths (literal 9, length 7, distance 7 or 8) cover the common codes.
//  * The entry's uncompressed size is the only end marker the format has, so
//    it bounds the loop; the end-of-input flag bounds it when the data lies.
//  * Every decision about hostile bytes is one of the named checks below.
#include "archive/explode.h"

#include <algorithm>
#include <array>

#include "archive/legacy_bit_input.h"
#include "archive/legacy_window.h"

namespace archive {
namespace {

constexpr uint32_t kMaxCodeLength = 16;
constexpr uint32_t kLiteralCodes = 256;
constexpr uint32_t kLengthCodes = 64;
constexpr uint32_t kDistanceCodes = 64;
constexpr uint32_t kLiteralWidth = 9;
constexpr uint32_t kLengthWidth = 7;
constexpr uint32_t kLongLengthCode = 63;  // followed by 8 more length bits
constexpr uint32_t kWindow = ExtractionState::kWindowSize;

// ---------------------------------------------------------------------------
// Hostile-input checks
// ---------------------------------------------------------------------------

// Without the entry's real size there is nothing to stop at: the format has
// no end code.
bool SizesKnown(const ExtractionState& state) {
  return state.uncompressedSize != kUnknownSize && state.compressedSize != kUnknownSize;
}

// A tree description may not name more codes than the tree has ...
bool TreeRunFits(uint32_t codesSoFar, uint32_t run, uint32_t treeSize) {
  return codesSoFar + run <= treeSize;
}

// ... nor fewer.
bool TreeDescriptionComplete(uint32_t codes, uint32_t treeSize) { return codes == treeSize; }

// PKZIP's trees use up every bit pattern; anything else is damage.
bool TreeUsable(CodeSet kind) { return kind == CodeSet::kComplete; }

// Bit patterns no code has (possible only in a table that is not complete)
// are damage.
bool CodeKnown(const CodeEntry& entry) { return entry.op != kCodeInvalid; }

// Bytes read after the archive ran out are filler: the entry has failed.
bool InputEnded(const ExtractionState& state) { return state.endOfInput; }

// ---------------------------------------------------------------------------
// Bit input
// ---------------------------------------------------------------------------

// The trees come as whole bytes (ReadByte, before any bit is read): a count
// byte, then (codes - 1, length - 1) nibble pairs. Fills `lengths` with
// treeSize code lengths; returns a decode result.
int ReadTreeLengths(ExtractionState& state, uint32_t treeSize, uint8_t* lengths) {
  const uint32_t descriptionBytes = static_cast<uint32_t>(state.ReadByte()) + 1;
  uint32_t codes = 0;
  bool fits = true;
  for (uint32_t i = 0; i < descriptionBytes; ++i) {
    const uint8_t pair = state.ReadByte();
    const uint32_t run = (pair >> 4) + 1u;
    const uint8_t length = static_cast<uint8_t>((pair & 0x0F) + 1);
    if (!TreeRunFits(codes, run, treeSize)) {
      fits = false;
      continue;  // keep reading, so a truncated description still reads as truncated
    }
    std::fill_n(lengths + codes, run, length);
    codes += run;
  }
  if (InputEnded(state)) return kDecodeInputEnded;
  if (!fits || !TreeDescriptionComplete(codes, treeSize)) return kDecodeCorrupt;
  return kDecodeOk;
}

// Decodes one symbol through its table, looking the code up with the input
// bits inverted. Codes are at most 16 bits, so one refill serves both
// levels. False for a bit pattern no code has.
inline bool DecodeInverted(ExtractionState& state, const LookupTable& table, uint32_t& symbol) {
  NeedBitsFast(state, kMaxCodeLength);
  const CodeEntry* entry = &table.entries[~state.bitBuffer & ((1u << table.width) - 1)];
  if (entry->op != kCodeSymbol) {
    if (!CodeKnown(*entry)) return false;
    state.DropBits(entry->bits);
    const uint32_t subBits = entry->op - kCodeSymbol;
    entry = &table.entries[entry->value + (~state.bitBuffer & ((1u << subBits) - 1))];
    if (!CodeKnown(*entry)) return false;
  }
  state.DropBits(entry->bits);
  symbol = entry->value;
  return true;
}

// ---------------------------------------------------------------------------
// Code tables
// ---------------------------------------------------------------------------

// The distance table's first level grows with the entry: larger entries use
// longer distance codes more often.
uint32_t DistanceWidth(const ExtractionState& state) { return state.compressedSize <= 200000 ? 7 : 8; }

// Reads one tree and builds its table; returns a decode result.
int ReadTree(ExtractionState& state, uint32_t treeSize, uint32_t width, LookupTable& table) {
  uint8_t lengths[kLiteralCodes];
  const int result = ReadTreeLengths(state, treeSize, lengths);
  if (result != kDecodeOk) return result;
  if (!TreeUsable(BuildLookupTable(lengths, treeSize, width, table))) return kDecodeCorrupt;
  return kDecodeOk;
}

}  // namespace

CodeSet BuildLookupTable(const uint8_t* lengths, uint32_t count, uint32_t width, LookupTable& table) {
  static constexpr auto kSymbols = [] {
    std::array<PrefixEntry, kLiteralCodes> symbols{};
    for (uint32_t s = 0; s < kLiteralCodes; ++s) symbols[s] = PrefixEntry{kCodeSymbol, 0, static_cast<uint16_t>(s)};
    return symbols;
  }();
  if (count > kLiteralCodes) return CodeSet::kBad;
  return BuildPrefixTable(lengths, count, kSymbols.data(), width, table);
}

// ---------------------------------------------------------------------------
// Decoding (output goes through legacy_window.h: PutWindowByte, CopyFromHistory,
// FinishWindowOutput)
// ---------------------------------------------------------------------------

int Explode(ExtractionState& state) {
  state.ResetInput();
  if (!SizesKnown(state)) return kDecodeCorrupt;

  const bool bigDictionary = (state.flags & 0x02) != 0;
  const bool literalTree = (state.flags & 0x04) != 0;
  const uint32_t lowDistanceBits = bigDictionary ? 7 : 6;
  const uint32_t minimumMatch = literalTree ? 3 : 2;

  LookupTable literals, lengths, distances;
  int result = kDecodeOk;
  if (literalTree) result = ReadTree(state, kLiteralCodes, kLiteralWidth, literals);
  if (result == kDecodeOk) result = ReadTree(state, kLengthCodes, kLengthWidth, lengths);
  if (result == kDecodeOk) result = ReadTree(state, kDistanceCodes, DistanceWidth(state), distances);
  if (result != kDecodeOk) return result;
  state.ResetBits();

  int64_t left = state.uncompressedSize;
  while (left > 0 && !state.abortFlag && !InputEnded(state)) {
    if (GetBitsFast(state, 1) != 0) {
      uint32_t literal;
      if (literalTree) {
        if (!DecodeInverted(state, literals, literal)) return kDecodeCorrupt;
      } else {
        literal = GetBitsFast(state, 8);
      }
      if (!PutWindowByte(state, static_cast<uint8_t>(literal), kWindow)) return kDecodeWriteFailed;
      --left;
      continue;
    }
    const uint32_t low = GetBitsFast(state, lowDistanceBits);
    uint32_t distanceCode, lengthCode;
    if (!DecodeInverted(state, distances, distanceCode)) return kDecodeCorrupt;
    if (!DecodeInverted(state, lengths, lengthCode)) return kDecodeCorrupt;
    const uint32_t distance = ((distanceCode << lowDistanceBits) | low) + 1;
    uint32_t length = lengthCode + minimumMatch;
    if (lengthCode == kLongLengthCode) length += GetBitsFast(state, 8);
    length = ClampToOutputLeft(length, left);
    if (!CopyFromHistory(state, distance, length, kWindow)) return kDecodeWriteFailed;
    left -= length;
  }

  return FinishWindowOutput(state);
}

}  // namespace archive
