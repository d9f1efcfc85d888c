// Two ways to the same register value:
//
//  * Slicing-by-8 (any processor): eight tables, where table k maps a byte to
//    the register change it causes when k more zero bytes follow it. Eight
//    input bytes are then folded into the register with eight independent
//    lookups instead of a chain of eight dependent ones.
//
//  * Folding with carry-less multiplication (x86-64 processors that have
//    PCLMULQDQ, checked at run time), for buffers of 64 bytes and more. The
//    CRC is the remainder of the message polynomial (times x^32) by the
//    generator P, and the remainder of a sum is the sum of the remainders.
//    Four 128-bit accumulators each hold a polynomial congruent (mod P) to
//    the part of the message they have taken in; moving one 512 bits further
//    along multiplies it by x^512, which for its two 64-bit halves H and L is
//    H * (x^576 mod P) + L * (x^512 mod P): two multiplications by 32-bit
//    constants that leave at most 96 bits, so the accumulator stays 128 bits
//    wide and the next 16 message bytes are simply added (XOR). At the end
//    the four are folded into one the same way (by 128 bits), and the
//    remainder of that last 16-byte polynomial is taken by the table code
//    with a register of 0. The bit order is the reflected one of the zip
//    CRC: the first message bit is the lowest bit of a register, so a 64-bit
//    half holds the coefficient of x^d in bit 63 - d, and a carry-less
//    product of two such halves comes out one place short (times x); the
//    constants are therefore x^575 and x^511 (and x^191, x^127 for the
//    128-bit step) mod P.
#include "archive/crc32.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define FRETFILE_CRC32_CLMUL 1
#endif

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

uint32_t Crc32Tables(uint32_t crc, const uint8_t* data, size_t length) {
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

#ifdef FRETFILE_CRC32_CLMUL

// x^n mod P, P = x^32 + 0x04C11DB7 (coefficient of x^d in bit d), placed as
// a reflected 64-bit half: the coefficient of x^d in bit 63 - d.
constexpr uint64_t ReflectedPowerModP(int n) {
  uint64_t r = 1;
  for (int i = 0; i < n; ++i) {
    r <<= 1;
    if (r & (uint64_t{1} << 32)) r ^= 0x104C11DB7u;
  }
  uint64_t reflected = 0;
  for (int d = 0; d < 32; ++d) {
    if (r & (uint64_t{1} << d)) reflected |= uint64_t{1} << (63 - d);
  }
  return reflected;
}

constexpr uint64_t kFold512High = ReflectedPowerModP(575);  // for the low half (higher powers)
constexpr uint64_t kFold512Low = ReflectedPowerModP(511);
constexpr uint64_t kFold128High = ReflectedPowerModP(191);
constexpr uint64_t kFold128Low = ReflectedPowerModP(127);

__attribute__((target("sse2,pclmul"))) inline __m128i Fold(__m128i acc, __m128i constants, __m128i next) {
  const __m128i high = _mm_clmulepi64_si128(acc, constants, 0x00);
  const __m128i low = _mm_clmulepi64_si128(acc, constants, 0x11);
  return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

// length >= 64.
__attribute__((target("sse2,pclmul"))) uint32_t Crc32Clmul(uint32_t crc, const uint8_t* data, size_t length) {
  auto load = [](const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
  __m128i a0 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i a1 = load(data + 16);
  __m128i a2 = load(data + 32);
  __m128i a3 = load(data + 48);
  data += 64;
  length -= 64;
  const __m128i by512 = _mm_set_epi64x(static_cast<long long>(kFold512Low), static_cast<long long>(kFold512High));
  while (length >= 64) {
    a0 = Fold(a0, by512, load(data));
    a1 = Fold(a1, by512, load(data + 16));
    a2 = Fold(a2, by512, load(data + 32));
    a3 = Fold(a3, by512, load(data + 48));
    data += 64;
    length -= 64;
  }
  const __m128i by128 = _mm_set_epi64x(static_cast<long long>(kFold128Low), static_cast<long long>(kFold128High));
  a1 = Fold(a0, by128, a1);
  a2 = Fold(a1, by128, a2);
  a3 = Fold(a2, by128, a3);
  while (length >= 16) {
    a3 = Fold(a3, by128, load(data));
    data += 16;
    length -= 16;
  }
  uint8_t last[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(last), a3);
  return Crc32Tables(Crc32Tables(0, last, sizeof last), data, length);
}

bool HaveClmul() {
  static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
  return have;
}

#endif

}  // namespace

uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t length) {
#ifdef FRETFILE_CRC32_CLMUL
  if (length >= 64 && HaveClmul()) return Crc32Clmul(crc, data, length);
#endif
  return Crc32Tables(crc, data, length);
}

}  // namespace archive
