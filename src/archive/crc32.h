// CRC-32 of the zip format: reflected polynomial 0xEDB88320, register preset
// to 0xFFFFFFFF and complemented at the end.
//
// Crc32Update works on the raw register (no preset, no final complement), so
// a running CRC can be fed block by block: start with kCrc32Preset, feed,
// complement once at the end. It gives exactly the value of the classic
// byte-at-a-time table loop, only faster (eight bytes per step).
#pragma once

#include <cstddef>
#include <cstdint>

namespace archive {

inline constexpr uint32_t kCrc32Preset = 0xFFFFFFFFu;

// Feeds `length` bytes into the raw register `crc` and returns the new register.
uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t length);

// The finished CRC-32 of one buffer.
inline uint32_t Crc32(const uint8_t* data, size_t length) {
  return Crc32Update(kCrc32Preset, data, length) ^ 0xFFFFFFFFu;
}

}  // namespace archive
