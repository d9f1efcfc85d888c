// Makers of legacy compressed streams for tests and benchmarks: a bit packer
// and a small shrink (LZW) compressor. Nothing here is used by the program.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

namespace legacy_streams {

// Packs bits least significant first, as every legacy method stores them.
class BitWriter {
 public:
  void Put(uint32_t value, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
      if (bit_ == 0) bytes_.push_back('\0');
      if ((value >> i) & 1) bytes_.back() = static_cast<char>(bytes_.back() | (1 << bit_));
      bit_ = (bit_ + 1) & 7;
    }
  }
  // A Shannon-Fano code of implode: stored inverted, most significant bit first.
  void PutInvertedCode(uint32_t code, uint32_t length) {
    for (uint32_t i = length; i-- > 0;) Put(((code >> i) & 1) ^ 1, 1);
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
  int bit_ = 0;
};

// Shrinks `data` the way the decoder reads it: the code for (previous string,
// first byte of the current one) is made after the current code, codes are
// widened with 256,1 when the next code needs it, and once all codes up to
// 8191 (the largest a 13-bit code can name) are made the table stays as it is (no partial clears).
inline std::string Shrink(const std::string& data) {
  BitWriter out;
  if (data.empty()) return std::string();
  std::unordered_map<uint32_t, uint32_t> codes;  // (prefix << 8 | byte) -> code
  uint32_t nextCode = 257;
  uint32_t width = 9;
  int64_t previous = -1;
  auto emit = [&](uint32_t code, uint8_t firstByte) {
    while (code >= (1u << width)) {
      out.Put(256, width);
      out.Put(1, width);
      ++width;
    }
    out.Put(code, width);
    if (previous >= 0 && nextCode <= 8191) {
      codes.emplace(static_cast<uint32_t>(previous) << 8 | firstByte, nextCode);
      ++nextCode;
    }
    previous = code;
  };
  uint32_t current = static_cast<uint8_t>(data[0]);
  uint8_t currentFirst = static_cast<uint8_t>(data[0]);
  for (size_t i = 1; i < data.size(); ++i) {
    const uint8_t byte = static_cast<uint8_t>(data[i]);
    const auto found = codes.find(current << 8 | byte);
    if (found != codes.end()) {
      current = found->second;
      continue;
    }
    emit(current, currentFirst);
    current = byte;
    currentFirst = byte;
  }
  emit(current, currentFirst);
  return out.bytes();
}

}  // namespace legacy_streams
