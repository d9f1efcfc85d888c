// Slicing-by-8: eight tables, where table k maps a byte to the register
// change it causes when k more zero bytes follow it. Eight input bytes are
// then folded into the register with eight independent lookups instead of a
// chain of eight dependent ones.
#include "archive/crc32.h"

#include <array>
#include <cstring>

#include "archive/little_endian.h"

namespace archive {
namespace {

using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcTables MakeTables() {
  CrcTables tables{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    tables[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i) {
    for (size_t k = 1; k < 8; ++k) {
      const uint32_t previous = tables[k - 1][i];
      tables[k][i] = (previous >> 8) ^ tables[0][previous & 0xFF];
    }
  }
  return tables;
}

constexpr CrcTables kTables = MakeTables();

}  // namespace

uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t length) {
  while (length >= 8) {
    const uint32_t low = Get32(data) ^ crc;
    const uint32_t high = Get32(data + 4);
    crc = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^ kTables[5][(low >> 16) & 0xFF] ^
          kTables[4][low >> 24] ^ kTables[3][high & 0xFF] ^ kTables[2][(high >> 8) & 0xFF] ^
          kTables[1][(high >> 16) & 0xFF] ^ kTables[0][high >> 24];
    data += 8;
    length -= 8;
  }
  while (length-- > 0) crc = (crc >> 8) ^ kTables[0][(crc ^ *data++) & 0xFF];
  return crc;
}

}  // namespace archive
