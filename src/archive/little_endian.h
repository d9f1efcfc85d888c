// Reads of the little-endian numbers zip archives are made of (every field
// of every header stores its low byte first). Assembled byte by byte, so the
// result does not depend on the host's byte order or on alignment;
// compilers turn each into a single load on little-endian machines.
#pragma once

#include <cstdint>

namespace archive {

inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

inline uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace archive
