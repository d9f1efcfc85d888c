// Makers of legacy compressed streams for tests and benchmarks: a bit packer
// and small compressors for shrink (LZW), reduce and implode, simple greedy
// ones, enough to make large inputs for the decoders. Nothing here is used
// by the program.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

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

// Greedy LZ77 matching with one candidate per 3-byte hash: calls
// literal(byte) or match(distance, length) for the whole input.
template <typename Literal, typename Match>
void GreedyMatches(const std::string& data, uint32_t maxDistance, uint32_t minLength, uint32_t maxLength,
                   Literal literal, Match match) {
  std::vector<int64_t> last(1 << 16, -1);
  auto hash = [&](size_t i) {
    return ((static_cast<uint8_t>(data[i]) << 8) ^ (static_cast<uint8_t>(data[i + 1]) << 4) ^
            static_cast<uint8_t>(data[i + 2])) & 0xFFFF;
  };
  size_t i = 0;
  while (i < data.size()) {
    uint32_t length = 0, distance = 0;
    if (i + 3 <= data.size()) {
      const int64_t candidate = last[hash(i)];
      last[hash(i)] = static_cast<int64_t>(i);
      if (candidate >= 0 && i - static_cast<size_t>(candidate) <= maxDistance) {
        const size_t limit = std::min<size_t>(maxLength, data.size() - i);
        size_t n = 0;
        while (n < limit && data[static_cast<size_t>(candidate) + n] == data[i + n]) ++n;
        if (n >= minLength) {
          length = static_cast<uint32_t>(n);
          distance = static_cast<uint32_t>(i - static_cast<size_t>(candidate));
        }
      }
    }
    if (length == 0) {
      literal(static_cast<uint8_t>(data[i]));
      ++i;
      continue;
    }
    match(distance, length);
    for (size_t k = 1; k < length && i + k + 3 <= data.size(); ++k) last[hash(i + k)] = static_cast<int64_t>(i + k);
    i += length;
  }
}

// Implodes with an 8 KB dictionary and three trees (flags 0x06), all of
// them flat: literals 8 bits, length and distance codes 6 bits.
inline std::string Implode(const std::string& data) {
  std::string out;
  out += '\x0F';
  out += std::string(16, '\xF7');  // 256 codes of 8 bits
  for (int tree = 0; tree < 2; ++tree) out += std::string("\x03\xF5\xF5\xF5\xF5", 5);  // 64 of 6 bits
  BitWriter bits;
  GreedyMatches(
      data, 8192, 3, 66 + 255,
      [&](uint8_t byte) {
        bits.Put(1, 1);
        bits.PutInvertedCode(byte, 8);
      },
      [&](uint32_t distance, uint32_t length) {
        bits.Put(0, 1);
        bits.Put((distance - 1) & 0x7F, 7);
        bits.PutInvertedCode((distance - 1) >> 7, 6);
        if (length >= 66) {
          bits.PutInvertedCode(63, 6);
          bits.Put(length - 66, 8);
        } else {
          bits.PutInvertedCode(length - 3, 6);
        }
      });
  return out + bits.bytes();
}

// Reduces with compression factor 4 (method 5). Each byte's follower set is
// the (up to 32) bytes that follow it most often in the inner stream.
inline std::string Reduce(const std::string& data) {
  constexpr uint8_t kDle = 144;
  std::string inner;
  GreedyMatches(
      data, 4096, 4, 15 + 255 + 3,
      [&](uint8_t byte) {
        inner += static_cast<char>(byte);
        if (byte == kDle) inner += '\0';
      },
      [&](uint32_t distance, uint32_t length) {
        const uint32_t l = length - 3;
        inner += static_cast<char>(kDle);
        inner += static_cast<char>((((distance - 1) >> 8) << 4) | std::min<uint32_t>(l, 15));
        if (l >= 15) inner += static_cast<char>(l - 15);
        inner += static_cast<char>((distance - 1) & 0xFF);
      });
  std::vector<std::array<uint32_t, 256>> counts(256);
  for (auto& row : counts) row.fill(0);
  uint8_t previous = 0;
  for (char c : inner) {
    ++counts[previous][static_cast<uint8_t>(c)];
    previous = static_cast<uint8_t>(c);
  }
  std::vector<std::vector<uint8_t>> sets(256);
  std::vector<std::array<int, 256>> indexOf(256);
  for (int j = 0; j < 256; ++j) {
    std::vector<int> order(256);
    for (int k = 0; k < 256; ++k) order[static_cast<size_t>(k)] = k;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return counts[j][a] > counts[j][b]; });
    indexOf[j].fill(-1);
    for (int k = 0; k < 32 && counts[j][order[k]] > 0; ++k) {
      indexOf[j][order[k]] = static_cast<int>(sets[j].size());
      sets[j].push_back(static_cast<uint8_t>(order[k]));
    }
  }
  BitWriter bits;
  for (int j = 255; j >= 0; --j) {
    bits.Put(static_cast<uint32_t>(sets[j].size()), 6);
    for (uint8_t follower : sets[j]) bits.Put(follower, 8);
  }
  previous = 0;
  for (char c : inner) {
    const uint8_t byte = static_cast<uint8_t>(c);
    const auto& set = sets[previous];
    if (!set.empty()) {
      const int index = indexOf[previous][byte];
      if (index >= 0) {
        uint32_t indexBits = 1;
        while ((1u << indexBits) < set.size()) ++indexBits;
        bits.Put(0, 1);
        bits.Put(static_cast<uint32_t>(index), indexBits);
        previous = byte;
        continue;
      }
      bits.Put(1, 1);
    }
    bits.Put(byte, 8);
    previous = byte;
  }
  return bits.bytes();
}

}  // namespace legacy_streams
