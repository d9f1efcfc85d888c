// The traditional PKWARE encryption of zip entries: three 32-bit keys set
// from the password, each plain byte encrypted with a byte drawn from the
// keys and then stirred into them. An encrypted entry's data begins with a
// 12-byte encryption header of random bytes, the last of which is the high
// byte of the entry's CRC-32, so that a reader can tell a wrong password.
//
// This encryption is weak by today's standards; it is here because the
// archives it protects must open in every zip reader.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zippack {

inline constexpr size_t kEncryptionHeaderLength = 12;

class TraditionalCipher {
 public:
  explicit TraditionalCipher(const std::string& password);

  // The encrypted header for an entry with this CRC-32; it must be the first
  // thing encrypted.
  std::array<uint8_t, kEncryptionHeaderLength> Header(uint32_t crc);
  void Encrypt(uint8_t* bytes, size_t count);

 private:
  void Update(uint8_t plain);
  uint8_t KeyByte() const;

  uint32_t keys_[3];
};

}  // namespace zippack
