#include "update/library/traditional_cipher.h"

#include <sys/random.h>

#include <chrono>

#include "archive/crc32.h"

namespace zippack {
namespace {

// One step of the CRC-32 register, which is how the keys are stirred.
uint32_t CrcStep(uint32_t crc, uint8_t byte) { return archive::Crc32Update(crc, &byte, 1); }

}  // namespace

TraditionalCipher::TraditionalCipher(const std::string& password) : keys_{305419896u, 591751049u, 878082192u} {
  for (const char c : password) Update(static_cast<uint8_t>(c));
}

void TraditionalCipher::Update(uint8_t plain) {
  keys_[0] = CrcStep(keys_[0], plain);
  keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
  keys_[2] = CrcStep(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
}

uint8_t TraditionalCipher::KeyByte() const {
  // The low 16 bits of the key, multiplied in 32 bits (a 16-bit product
  // would overflow as int).
  const uint32_t temp = (keys_[2] | 2) & 0xFFFF;
  return static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
}

void TraditionalCipher::Encrypt(uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const uint8_t plain = bytes[i];
    bytes[i] = plain ^ KeyByte();
    Update(plain);
  }
}

std::array<uint8_t, kEncryptionHeaderLength> TraditionalCipher::Header(uint32_t crc) {
  std::array<uint8_t, kEncryptionHeaderLength> header{};
  if (::getrandom(header.data(), header.size() - 1, GRND_NONBLOCK) != static_cast<ssize_t>(header.size() - 1)) {
    // Without the kernel's random bytes (very early after boot) the header
    // still must differ between entries; the clock is good enough for that.
    uint64_t state = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (size_t i = 0; i + 1 < header.size(); ++i) {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      header[i] = static_cast<uint8_t>(state >> 56);
    }
  }
  header.back() = static_cast<uint8_t>(crc >> 24);
  Encrypt(header.data(), header.size());
  return header;
}

}  // namespace zippack
