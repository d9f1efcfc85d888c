// Explode: the decompressor of method 6 (imploded entries). See explode.cpp.
//
// The Shannon-Fano lookup tables are declared here so the tests can check
// how code sets are judged (complete, incomplete, bad) on their own.
#pragma once

#include <cstdint>

#include "archive/extraction_state.h"
#include "archive/prefix_code.h"

namespace archive {

// Starts at the entry's compressed data with an empty input buffer and a
// zeroed window; returns a kDecode* result.
int Explode(ExtractionState& state);

// The lookup tables are the shared prefix-code tables (prefix_code.h):
// implode's trees are canonical codes, looked up with the input bits
// inverted.
using CodeEntry = PrefixEntry;
using CodeSet = PrefixCodeSet;
using LookupTable = PrefixTable;
inline constexpr uint8_t kCodeSymbol = kPrefixOpSymbol;
inline constexpr uint8_t kCodeInvalid = kPrefixOpInvalid;

// Builds the table for a tree given by its code lengths (0 = symbol unused,
// at most 16), with `width` first-level index bits (1..12); each symbol
// decodes to itself (op kCodeSymbol). Reports whether the lengths use up
// every bit pattern (complete), leave some over (incomplete: those decode to
// kCodeInvalid) or over-subscribe them or exceed 16 (bad).
CodeSet BuildLookupTable(const uint8_t* lengths, uint32_t count, uint32_t width, LookupTable& table);

}  // namespace archive
