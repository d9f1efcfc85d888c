// Explode: the decompressor of method 6 (imploded entries). See explode.cpp.
//
// The Shannon-Fano lookup tables are declared here so the tests can check
// how code sets are judged (complete, incomplete, bad) on their own.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/extraction_state.h"

namespace archive {

// One entry of a lookup table. `op` says what the entry is:
//   16       a symbol: `value` is the symbol, `bits` the code length
//            (counted from the start of the table the entry sits in);
//   17..32   a sub-table of (op - 16) index bits starting at entries[value],
//            reached after dropping `bits` (the first-level width);
//   99       no code has these bits: corrupt data.
struct CodeEntry {
  uint32_t value = 0;
  uint8_t op = 99;
  uint8_t bits = 0;
};

inline constexpr uint8_t kCodeSymbol = 16;
inline constexpr uint8_t kCodeInvalid = 99;

enum class CodeSet { kComplete, kIncomplete, kBad };

struct LookupTable {
  std::vector<CodeEntry> entries;  // 2^width first-level entries, then the sub-tables
  uint32_t width = 0;
};

// Builds the table for a prefix code given by its code lengths (0 = symbol
// unused, at most 16), with `width` first-level index bits (1..16). Codes are
// canonical: shorter codes first, symbols in order within one length, read
// from the stream least significant bit first. Reports whether the lengths
// use up every bit pattern (complete), leave some over (incomplete: those
// decode to op 99) or over-subscribe them or exceed 16 (bad: no table).
// A set of all-zero lengths is complete and gives a table of op 99 only; a set
// whose longest code has 1 bit is complete even with a single code.
CodeSet BuildLookupTable(const uint8_t* lengths, uint32_t count, uint32_t width, LookupTable& table);

}  // namespace archive
