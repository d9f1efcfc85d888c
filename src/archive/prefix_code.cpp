// Building a lookup table from code lengths, by the canonical rule: codes
// of one length are consecutive numbers in symbol order, and the first code
// of each length follows the last code of the length below, shifted left by
// one. The stream sends a code's first bit first, so each code is
// bit-reversed before it indexes the table, and a code of `len` bits fills
// every slot whose low `len` bits equal it.
#include "archive/prefix_code.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace archive {
namespace {

constexpr std::array<uint8_t, 256> MakeByteReversal() {
  std::array<uint8_t, 256> table{};
  for (uint32_t b = 0; b < 256; ++b) {
    uint32_t r = 0;
    for (int i = 0; i < 8; ++i) r |= ((b >> i) & 1u) << (7 - i);
    table[b] = static_cast<uint8_t>(r);
  }
  return table;
}

constexpr std::array<uint8_t, 256> kByteReversal = MakeByteReversal();

// The low `length` bits of `code` in reverse order.
uint32_t Reversed(uint32_t code, uint32_t length) {
  const uint32_t r16 = static_cast<uint32_t>(kByteReversal[code & 0xFF]) << 8 | kByteReversal[(code >> 8) & 0xFF];
  return r16 >> (16 - length);
}

// The extra bits a base entry (op 0 to 13) takes after its code.
uint32_t ExtraBits(const PrefixEntry& e) { return e.op < kPrefixOpEndOfBlock ? e.op : 0; }

}  // namespace

PrefixCodeSet BuildPrefixTable(const uint8_t* lengths, uint32_t count, const PrefixEntry* symbols, uint32_t width,
                               PrefixTable& table, uint32_t prefixWidth) {
  if (width < 1 || width > kMaxPrefixTableWidth || count > kMaxPrefixSymbols || prefixWidth > width) {
    return PrefixCodeSet::kBad;
  }
  uint32_t perLength[kMaxPrefixCodeLength + 1] = {};
  for (uint32_t s = 0; s < count; ++s) {
    if (lengths[s] > kMaxPrefixCodeLength) return PrefixCodeSet::kBad;
    ++perLength[lengths[s]];
  }
  perLength[0] = 0;

  // Kraft sum: the patterns left over at each length; below zero is
  // over-subscribed.
  int64_t left = 1;
  uint32_t maxLength = 0;
  for (uint32_t len = 1; len <= kMaxPrefixCodeLength; ++len) {
    left = left * 2 - perLength[len];
    if (left < 0) return PrefixCodeSet::kBad;
    if (perLength[len] != 0) maxLength = len;
  }
  const PrefixCodeSet outcome = left == 0 || maxLength <= 1 ? PrefixCodeSet::kComplete : PrefixCodeSet::kIncomplete;

  // The used symbols in canonical order (by length, then by symbol), each
  // with its reversed code.
  uint32_t start[kMaxPrefixCodeLength + 2] = {};
  for (uint32_t len = 1; len <= kMaxPrefixCodeLength; ++len) start[len + 1] = start[len] + perLength[len];
  const uint32_t used = start[kMaxPrefixCodeLength + 1];
  uint16_t order[kMaxPrefixSymbols];
  for (uint32_t s = 0; s < count; ++s) {
    if (lengths[s] != 0) order[start[lengths[s]]++] = static_cast<uint16_t>(s);
  }
  uint16_t reversed[kMaxPrefixSymbols];
  uint32_t code = 0;
  uint32_t codeLength = used > 0 ? lengths[order[0]] : 0;
  for (uint32_t i = 0; i < used; ++i) {
    const uint32_t len = lengths[order[i]];
    code <<= len - codeLength;
    codeLength = len;
    reversed[i] = static_cast<uint16_t>(Reversed(code++, len));
  }

  // Second levels: as wide as the longest code below each first-level
  // pattern, laid out behind the first level. The codes longer than the
  // first level come last in canonical order, those below one pattern next
  // to each other and the longest of them last; a pattern is the low
  // `width` bits of the reversed code.
  const uint32_t rootSize = 1u << width;
  const uint32_t firstLong = start[width];  // (start[len] now points past the codes of length len)
  struct SubTable {
    uint32_t root;
    uint32_t bits;
    uint32_t offset;
  };
  SubTable subTables[kMaxPrefixSymbols];
  uint32_t subTableCount = 0;
  uint32_t size = rootSize;
  for (uint32_t i = firstLong; i < used; ++i) {
    const uint32_t root = reversed[i] & (rootSize - 1);
    const uint32_t bits = lengths[order[i]] - width;
    if (subTableCount == 0 || subTables[subTableCount - 1].root != root) {
      subTables[subTableCount++] = SubTable{root, bits, 0};
    } else {
      subTables[subTableCount - 1].bits = bits;
    }
  }
  for (uint32_t t = 0; t < subTableCount; ++t) {
    subTables[t].offset = size;
    size += 1u << subTables[t].bits;
  }
  if (size > 0xFFFF) return PrefixCodeSet::kBad;  // second-level starts are 16 bits

  table.width = width;
  table.entries.resize(size);
  PrefixEntry* const entries = table.entries.data();
  const PrefixEntry invalid{kPrefixOpInvalid, static_cast<uint8_t>(width), 0};

  // The first level grows by doubling: while it holds the codes of up to
  // `len` bits it is 2^len entries long, each code in the one slot of its
  // reversed bits, the shorter ones repeated by the doublings. Slots no code
  // reaches keep the invalid entry they start from.
  entries[0] = entries[1] = invalid;
  uint32_t i = 0;
  for (uint32_t len = 1;; ++len) {
    for (; i < firstLong && lengths[order[i]] == len; ++i) {
      PrefixEntry e = symbols[order[i]];
      e.bits = static_cast<uint8_t>(len + ExtraBits(e));
      entries[reversed[i]] = e;
    }
    if (len == width) break;
    std::memcpy(entries + (1u << len), entries, (1u << len) * sizeof(PrefixEntry));
  }
  // Only a code that uses up every pattern covers every second-level slot.
  if (left != 0) std::fill(entries + rootSize, entries + size, invalid);

  uint32_t t = 0;
  for (uint32_t i = firstLong; i < used; ++i) {
    const uint32_t root = reversed[i] & (rootSize - 1);
    if (subTables[t].root != root) ++t;
    const SubTable& sub = subTables[t];
    entries[root] = PrefixEntry{static_cast<uint8_t>(kPrefixOpSymbol + sub.bits), static_cast<uint8_t>(width),
                                static_cast<uint16_t>(sub.offset)};
    const uint32_t len = lengths[order[i]];
    PrefixEntry e = symbols[order[i]];
    e.bits = static_cast<uint8_t>(len - width + ExtraBits(e));
    for (uint32_t slot = reversed[i] >> width; slot < (1u << sub.bits); slot += 1u << (len - width)) {
      entries[sub.offset + slot] = e;
    }
  }

  if (prefixWidth != 0 && maxLength > prefixWidth) {
    table.longestBelow.assign(1u << prefixWidth, 0);
    for (uint32_t i = start[prefixWidth]; i < used; ++i) {  // the codes longer than prefixWidth
      uint8_t& longest = table.longestBelow[reversed[i] & ((1u << prefixWidth) - 1)];
      longest = std::max(longest, lengths[order[i]]);
    }
  } else {
    table.longestBelow.clear();
  }
  return outcome;
}

}  // namespace archive
