// Method 8: deflate (RFC 1951). The entry point `Inflate` is declared with
// the other decompressors in extraction_state.h; this header exposes the
// prefix-code table builder so that it can be tested on its own.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/extraction_state.h"

namespace archive::inflate_detail {

// One entry of a lookup table. `op`: 0-13 a length or distance base in
// `value` with that many extra bits; 15 end of block; 16 a literal (or, in
// the code-length table, a symbol) in `value`; 17-32 a sub-table at index
// `value` of the same table, indexed by op - 16 further bits; 99 invalid.
// `bits`: the bits this entry consumes.
struct TableEntry {
  uint8_t op;
  uint8_t bits;
  uint16_t value;
};

inline constexpr uint8_t kOpEndOfBlock = 15;
inline constexpr uint8_t kOpLiteral = 16;
inline constexpr uint8_t kOpInvalid = 99;

enum class CodeSet { Complete, Incomplete, Bad };

struct LookupTable {
  std::vector<TableEntry> entries;
  uint32_t width = 0;  // bits indexing the first level
};

// Builds the table for `count` code lengths (each 0-16). Symbols below
// `simpleCount` are literals (below 256, or every one when simpleCount is not
// 257) or end of block (256); the others take base[s - simpleCount] and
// extra[s - simpleCount], where an extra of kOpInvalid marks an invalid symbol.
CodeSet BuildTable(const uint8_t* lengths, uint32_t count, uint32_t simpleCount, const uint16_t* base,
                   const uint8_t* extra, uint32_t width, LookupTable& table);

}  // namespace archive::inflate_detail
