// A faster way into the extraction state's bit reader for the legacy
// decompressors (shrink, reduce, implode).
//
// ExtractionState::NeedBits takes one byte per loop turn. The decoders ask for
// bits once per symbol, so most of the time the bytes they need are already
// sitting in the 2048-byte input buffer; NeedBitsFast then moves seven or so
// of them into the 64-bit bit buffer with one unaligned load. Only near the
// end of the buffer does it fall back to NeedBits, which refills the buffer
// (and pumps messages, reports progress, sets the end-of-input flag).
//
// The fast path never calls ReadInputBlock, so reading ahead this way cannot
// run the input into its end early: the end-of-input flag still rises only
// when a decoder truly needs bytes the entry does not have. The bit buffer
// keeps its meaning (only unconsumed bits, nothing above bitCount), so the
// data-descriptor read that follows a decompressor sees exactly the bytes
// behind the compressed data.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "archive/extraction_state.h"

namespace archive {

static_assert(std::endian::native == std::endian::little,
              "NeedBitsFast loads input bytes as one little-endian word");

// Makes at least n bits (n <= 32) available in state.bitBuffer.
inline void NeedBitsFast(ExtractionState& state, uint32_t n) {
  if (state.bitCount >= n) return;
  if (state.inputLast - state.inputPosition >= 7) {
    uint64_t word;
    std::memcpy(&word, state.input + state.inputPosition, sizeof word);
    const uint32_t bytes = (63 - state.bitCount) >> 3;
    word &= (uint64_t{1} << (bytes * 8)) - 1;
    state.bitBuffer |= word << state.bitCount;
    state.inputPosition += static_cast<int32_t>(bytes);
    state.bitCount += bytes * 8;
    return;
  }
  state.NeedBits(n);
}

// Takes n bits (n <= 32), least significant first.
inline uint32_t GetBitsFast(ExtractionState& state, uint32_t n) {
  NeedBitsFast(state, n);
  const uint32_t value = state.PeekBits(n);
  state.DropBits(n);
  return value;
}

}  // namespace archive
