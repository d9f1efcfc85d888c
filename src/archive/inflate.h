// Method 8: deflate (RFC 1951). Besides the entry point, this header
// exposes the prefix-code table builder in deflate's terms so that it can be
// tested on its own.
#pragma once

#include <cstdint>

#include "archive/extraction_state.h"
#include "archive/prefix_code.h"

namespace archive {

// Starts at the entry's compressed data with an empty input buffer and a
// zeroed window; returns a kDecode* result.
int Inflate(ExtractionState& state);

}  // namespace archive

namespace archive::inflate_detail {

using TableEntry = PrefixEntry;
using LookupTable = PrefixTable;

inline constexpr uint8_t kOpEndOfBlock = kPrefixOpEndOfBlock;
inline constexpr uint8_t kOpLiteral = kPrefixOpSymbol;
inline constexpr uint8_t kOpInvalid = kPrefixOpInvalid;

enum class CodeSet { Complete, Incomplete, Bad };

// Builds the table for `count` code lengths (each 0-16). Symbols below
// `simpleCount` are literals (below 256, or every one when simpleCount is not
// 257) or end of block (256); the others take base[s - simpleCount] and
// extra[s - simpleCount], where an extra of kOpInvalid marks an invalid symbol.
CodeSet BuildTable(const uint8_t* lengths, uint32_t count, uint32_t simpleCount, const uint16_t* base,
                   const uint8_t* extra, uint32_t width, LookupTable& table);

}  // namespace archive::inflate_detail
