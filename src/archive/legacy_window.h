// Output through the slide window for the sliding-dictionary methods
// (reduce and implode).
//
// Both methods put their output into the start of the extraction state's
// slide window and copy matches out of it: reduce uses the first 16384 bytes,
// implode all 32768. The window is zero-filled when the extraction starts and
// is never cleared after a flush, so a distance that reaches before the start
// of the output reads zeros, as both formats require, and every other
// distance reads the real history modulo the window size.
//
// A match is copied in pieces that end at the window's end on either side.
// Pieces whose source and destination do not overlap move with memcpy; an
// overlapping piece (a distance shorter than the length, which repeats a
// pattern) goes eight bytes at a time when the distance allows it and byte by
// byte otherwise. The eight-byte steps may write up to seven bytes past the
// piece: into the slack behind the window, or into window bytes older than
// any distance either method can express (at most 8192 in a window of at
// least 16384), which the following output overwrites anyway.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "archive/extraction_state.h"

namespace archive {

// A match never produces more than the entry has left to produce.
inline uint32_t ClampToOutputLeft(uint32_t length, int64_t left) {
  return left < static_cast<int64_t>(length) ? static_cast<uint32_t>(left) : length;
}

// Stores one byte; flushes the window when it reaches windowSize. False when
// that flush failed.
inline bool PutWindowByte(ExtractionState& state, uint8_t byte, uint32_t windowSize) {
  state.window[state.windowPosition++] = byte;
  if (state.windowPosition < windowSize) return true;
  state.windowPosition = 0;
  return state.FlushWindow(windowSize);
}

// Appends `length` bytes taken from `distance` (1 .. windowSize / 2) bytes
// back. windowSize is a power of two, at most ExtractionState::kWindowSize.
// False when a flush failed.
inline bool CopyFromHistory(ExtractionState& state, uint32_t distance, uint32_t length,
                            uint32_t windowSize) {
  uint8_t* const window = state.window;
  const uint32_t mask = windowSize - 1;
  uint32_t position = state.windowPosition;
  uint32_t source = (position - distance) & mask;
  while (length > 0) {
    const uint32_t piece = std::min(length, windowSize - std::max(source, position));
    uint8_t* to = window + position;
    const uint8_t* from = window + source;
    if (source + piece <= position || position + piece <= source) {
      std::memcpy(to, from, piece);
    } else if (distance == 1) {
      std::memset(to, *from, piece);
    } else if (distance >= 8) {
      for (uint32_t i = 0; i < piece; i += 8) std::memcpy(to + i, from + i, 8);
    } else {
      for (uint32_t i = 0; i < piece; ++i) to[i] = from[i];
    }
    position += piece;
    source = (source + piece) & mask;
    length -= piece;
    if (position == windowSize) {
      position = 0;
      state.windowPosition = 0;
      if (!state.FlushWindow(windowSize)) return false;
    }
  }
  state.windowPosition = position;
  return true;
}

// Ends a stream once its decoding loop has stopped: an abort leaves the
// pending output unwritten; otherwise the rest of the window is written out,
// and a stream that ran into the end of its input has failed even so (its
// last bytes were filler).
inline int FinishWindowOutput(ExtractionState& state) {
  if (state.abortFlag) return kDecodeAborted;
  if (!state.FlushWindow(state.windowPosition)) return kDecodeWriteFailed;
  state.windowPosition = 0;
  if (state.endOfInput) return kDecodeInputEnded;
  return kDecodeOk;
}

}  // namespace archive
