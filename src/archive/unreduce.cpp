// Unreduce: methods 2 to 5, "reduced" entries of PKZIP 0.x, compression
// factor 1 to 4 (method - 1).
//
// Reducing is two layers. The outer one codes each byte by the byte before
// it: every byte value j has a "follower set" of up to 63 bytes that tend to
// come after j; a byte that is in the set of its predecessor costs a 0 bit and
// its index in the set, any other byte a 1 bit and its 8 bits. The sets are
// stored first, for j = 255 down to 0. The inner layer is a run-length and
// back-reference scheme driven by DLE (144): DLE 0 is a literal 144, DLE V
// (and for the longest lengths one more length byte) then a distance byte is
// a copy of length + 3 bytes from up to 4096 bytes back. The factor decides
// how V splits into length bits and high distance bits.
//
// Why the code is shaped as it is:
//  * Output goes into the first 16 KB of the slide window, which is also the
//    history for copies; it is zero-filled per extraction, so a copy reaching
//    before the start of the output reads zeros, as the format wants.
//  * The follower sets live in one table allocated per call (owned, so it is
//    released on every way out); each set keeps its index width B(N) beside
//    it, so decoding a byte is a peek at up to 9 bits and a few shifts.
//  * The format has no end code: the entry's uncompressed size ends it, and
//    the end-of-input flag ends it early when the data runs out. An entry
//    whose size is not known (data descriptor) cannot be decoded and is
//    refused.
//  * Every decision about hostile bytes is one of the named checks below.
#include "archive/unreduce.h"

#include <memory>

#include "archive/legacy_bit_input.h"
#include "archive/legacy_window.h"

namespace archive {
namespace {

constexpr uint32_t kReduceWindow = 16384;
constexpr uint8_t kDle = 144;

struct FollowerSet {
  uint8_t count = 0;      // N, 0..63
  uint8_t indexBits = 0;  // B(N): bits that index the set
  uint8_t followers[64] = {};
};

// B(N): the bits needed to write N - 1, at least one.
uint8_t IndexBits(uint32_t count) {
  uint8_t bits = 1;
  while ((1u << bits) < count) ++bits;
  return bits;
}

// ---------------------------------------------------------------------------
// Hostile-input checks
// ---------------------------------------------------------------------------

// The uncompressed size is the only end the format has.
bool SizesKnown(const ExtractionState& state) {
  return state.uncompressedSize != kUnknownSize && state.compressedSize != kUnknownSize;
}

// An index past the end of a follower set reads the zero-filled rest of the
// set's 64 slots, never outside it: B(N) is at most 6 bits.
static_assert(sizeof(FollowerSet::followers) == 64);

// Bytes read after the archive ran out are filler: the entry has failed.
bool InputEnded(const ExtractionState& state) { return state.endOfInput; }

// Only methods 2 to 5 are reduced (factors 1 to 4).
bool IsReduceMethod(int method) { return method >= 2 && method <= 5; }

// ---------------------------------------------------------------------------
// Bit input: the follower sets and the outer layer
// ---------------------------------------------------------------------------

void ReadFollowerSets(ExtractionState& state, FollowerSet* sets) {
  for (int j = 255; j >= 0; --j) {
    FollowerSet& set = sets[j];
    set.count = static_cast<uint8_t>(GetBitsFast(state, 6));
    set.indexBits = IndexBits(set.count);
    for (uint32_t i = 0; i < set.count; ++i) set.followers[i] = static_cast<uint8_t>(GetBitsFast(state, 8));
  }
}

// The next byte of the outer layer, given the byte before it.
inline uint8_t DecodeByte(ExtractionState& state, const FollowerSet& set) {
  if (set.count == 0) return static_cast<uint8_t>(GetBitsFast(state, 8));
  NeedBitsFast(state, 9);
  if ((state.bitBuffer & 1) != 0) {
    const uint8_t byte = static_cast<uint8_t>(state.bitBuffer >> 1);
    state.DropBits(9);
    return byte;
  }
  const uint32_t index = static_cast<uint32_t>(state.bitBuffer >> 1) & ((1u << set.indexBits) - 1);
  state.DropBits(1 + set.indexBits);
  return set.followers[index];
}

}  // namespace

// ---------------------------------------------------------------------------
// Decoding: the DLE expansion (output goes through legacy_window.h:
// PutWindowByte, CopyFromHistory, over the first 16 KB of the window)
// ---------------------------------------------------------------------------

int Unreduce(ExtractionState& state, int method) {
  state.ResetInput();
  state.endOfInput = false;
  if (!IsReduceMethod(method)) return kDecodeCorrupt;
  if (!SizesKnown(state)) return kDecodeCorrupt;

  const uint32_t factor = static_cast<uint32_t>(method - 1);
  const uint32_t lengthMask = 0xFFu >> factor;            // 0x7F, 0x3F, 0x1F, 0x0F
  const uint32_t distanceShift = 8 - factor;              // 7, 6, 5, 4
  const uint32_t distanceHighMask = (1u << factor) - 1;

  auto sets = std::make_unique<FollowerSet[]>(256);
  ReadFollowerSets(state, sets.get());

  enum class Expand { kPlain, kAfterDle, kLengthByte, kDistanceByte };
  Expand expand = Expand::kPlain;
  uint32_t lengthByte = 0;  // V, the byte after DLE
  uint32_t length = 0;
  uint8_t last = 0;
  int64_t left = state.uncompressedSize;

  while (left > 0 && !state.abortFlag && !InputEnded(state)) {
    const uint8_t byte = DecodeByte(state, sets[last]);
    last = byte;
    switch (expand) {
      case Expand::kPlain:
        if (byte == kDle) {
          expand = Expand::kAfterDle;
          continue;
        }
        if (!PutWindowByte(state, byte, kReduceWindow)) return kDecodeWriteFailed;
        --left;
        break;
      case Expand::kAfterDle:
        if (byte == 0) {
          if (!PutWindowByte(state, kDle, kReduceWindow)) return kDecodeWriteFailed;
          --left;
          expand = Expand::kPlain;
          break;
        }
        lengthByte = byte;
        length = byte & lengthMask;
        expand = length == lengthMask ? Expand::kLengthByte : Expand::kDistanceByte;
        break;
      case Expand::kLengthByte:
        length += byte;
        expand = Expand::kDistanceByte;
        break;
      case Expand::kDistanceByte: {
        const uint32_t distance = ((lengthByte >> distanceShift) & distanceHighMask) * 256 + byte + 1;
        const uint32_t count = ClampToOutputLeft(length + 3, left);
        if (!CopyFromHistory(state, distance, count, kReduceWindow)) return kDecodeWriteFailed;
        left -= count;
        expand = Expand::kPlain;
        break;
      }
    }
  }

  return FinishWindowOutput(state);
}

}  // namespace archive
