#include "archive/crc32.h"

#include <gtest/gtest.h>

#include <random>

#include "support/zip_builder.h"

TEST(Crc32, MatchesTheByteAtATimeFormAtEveryLengthAndAlignment) {
  std::mt19937 gen(3);
  std::string data(300, '\0');
  for (auto& c : data) c = static_cast<char>(gen());
  for (size_t start = 0; start < 9; ++start) {
    for (size_t length = 0; length + start <= data.size(); length += 1 + length / 8) {
      const std::string piece = data.substr(start, length);
      EXPECT_EQ(archive::Crc32(reinterpret_cast<const uint8_t*>(piece.data()), piece.size()),
                testing_support::Crc32Of(piece))
          << start << " " << length;
    }
  }
  EXPECT_EQ(archive::Crc32(reinterpret_cast<const uint8_t*>("123456789"), 9), 0xCBF43926u);
}

TEST(Crc32, RunningRegisterEqualsOneShot) {
  const std::string text = "The quick brown fox jumps over the lazy dog, again and again and again.";
  uint32_t crc = archive::kCrc32Preset;
  for (size_t i = 0; i < text.size(); i += 7) {
    crc = archive::Crc32Update(crc, reinterpret_cast<const uint8_t*>(text.data()) + i, std::min<size_t>(7, text.size() - i));
  }
  EXPECT_EQ(crc ^ 0xFFFFFFFFu, testing_support::Crc32Of(text));
}
