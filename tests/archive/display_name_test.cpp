#include "archive/display_name.h"

#include <gtest/gtest.h>

#include <string>

using archive::DisplayName;
using archive::NameEncoding;
using archive::NameEncodingOf;

TEST(DisplayName, EachNameIsReadInItsOwnEncoding) {
  // UTF-8, valid or flagged; ASCII as it is.
  EXPECT_EQ(DisplayName("Sigur R\xC3\xB3s \xF0\x9F\x8E\xB8.txt"), "Sigur R\xC3\xB3s \xF0\x9F\x8E\xB8.txt");
  EXPECT_EQ(DisplayName("Plain_Name.txt"), "Plain_Name.txt");
  EXPECT_EQ(DisplayName("Bj\x94rk", true), "Bj\xEF\xBF\xBDrk");  // flagged, but not UTF-8: U+FFFD
  // CP437, the format's default: letters at 0x80..0xA5 and ß at 0xE1.
  EXPECT_EQ(DisplayName("Bj\x94rk_Song.txt"), "Bj\xC3\xB6rk_Song.txt");
  EXPECT_EQ(DisplayName("Stra\xE1" "e"), "Stra\xC3\x9F" "e");
  EXPECT_EQ(DisplayName("Se\xA4or \x9F"), "Se\xC3\xB1or \xC6\x92");  // ñ, ƒ
  // Windows-1252: every byte from 0x80 up a letter of its 0xC0..0xFF.
  EXPECT_EQ(DisplayName("Caf\xE9_Song.txt"), "Caf\xC3\xA9_Song.txt");
  EXPECT_EQ(DisplayName("M\xF6tley Cr\xFC" "e"), "M\xC3\xB6tley Cr\xC3\xBC" "e");
  EXPECT_EQ(NameEncodingOf("\xC1ngel Mar\xED" "a"), NameEncoding::Windows1252);
  // Anything else stays CP437: a byte below 0xC0, the signs × and ÷, or
  // 0xE1 alone (ß rather than á).
  EXPECT_EQ(NameEncodingOf("Caf\xE9 \x96 Mix"), NameEncoding::Cp437);
  EXPECT_EQ(NameEncodingOf("2\xD7" "3"), NameEncoding::Cp437);
  EXPECT_EQ(NameEncodingOf("Mam\xE1"), NameEncoding::Cp437);
  // Forms UTF-8 does not allow are not UTF-8: overlong, surrogate, beyond
  // U+10FFFF, cut short.
  for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "ab\xE2\x82"}) {
    EXPECT_FALSE(archive::IsUtf8(bad)) << bad;
    EXPECT_NE(NameEncodingOf(bad), NameEncoding::Utf8) << bad;
  }
}

TEST(DisplayName, EveryCp437CharacterBecomesACharacter) {
  for (int c = 0x80; c <= 0xFF; ++c) {
    const std::string name(1, static_cast<char>(c));
    const std::string shown = archive::NameToUtf8(name, NameEncoding::Cp437);
    EXPECT_TRUE(archive::IsUtf8(shown)) << c;
    EXPECT_EQ(shown.find("\xEF\xBF\xBD"), std::string::npos) << c;
  }
}
