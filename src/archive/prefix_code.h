// Lookup tables for canonical prefix codes, shared by Inflate (deflate's
// Huffman codes) and Explode (implode's Shannon-Fano trees, which are the
// same canonical codes read with every bit inverted).
//
// A table is indexed by the next input bits, least significant first. Its
// first level has 2^width entries; a code longer than `width` bits is found
// through a second-level table hanging off its first `width` bits, as wide
// as the longest code below that prefix. Bit patterns no code has decode to
// an invalid entry.
#pragma once

#include <cstdint>
#include <vector>

namespace archive {

// One entry. `op`: 0-13 a length or distance base in `value` with that many
// extra bits to read; 15 end of block; 16 a symbol (a literal byte, a code
// length, an implode symbol) in `value`; 17-32 a second-level table starting
// at entries[value], indexed by op - 16 further bits; 99 no code has these
// bits. `bits`: the bits the entry consumes at its level: the code length
// (less the first level's width in a second-level table), and for a base
// entry its extra bits as well, so that one shift takes a code with its
// extra bits; the width for a second-level pointer.
struct PrefixEntry {
  uint8_t op;
  uint8_t bits;
  uint16_t value;
};

inline constexpr uint8_t kPrefixOpEndOfBlock = 15;
inline constexpr uint8_t kPrefixOpSymbol = 16;
inline constexpr uint8_t kPrefixOpInvalid = 99;
inline constexpr uint32_t kMaxPrefixCodeLength = 16;
inline constexpr uint32_t kMaxPrefixTableWidth = 12;
inline constexpr uint32_t kMaxPrefixSymbols = 320;

// Complete: the lengths use up every bit pattern. Incomplete: some are left
// over (they decode to op 99). Bad: over-subscribed, or a length above 16.
// A set of all-zero lengths is complete (every pattern is invalid), and so
// is a set whose longest code has a single bit.
enum class PrefixCodeSet { kComplete, kIncomplete, kBad };

struct PrefixTable {
  std::vector<PrefixEntry> entries;  // 2^width first-level entries, then the second levels
  uint32_t width = 0;
  // With a prefix width p given to the builder: for each pattern of the
  // first p bits, the length of the longest code longer than p bits that
  // starts with it, 0 when there is none (and empty when no code is longer
  // than p). A lookup through a table of first level p needs
  // max(p, longestBelow[pattern]) bits before it knows its symbol.
  std::vector<uint8_t> longestBelow;
};

// Builds the table of the code given by `count` code lengths (0: the symbol
// is not used). symbols[s] is what symbol s decodes to (its op and value;
// the builder sets bits). `width` is 1 to 12; a prefixWidth of 1 to `width`
// also fills longestBelow. The table keeps its storage from build to build.
PrefixCodeSet BuildPrefixTable(const uint8_t* lengths, uint32_t count, const PrefixEntry* symbols, uint32_t width,
                               PrefixTable& table, uint32_t prefixWidth = 0);

}  // namespace archive
