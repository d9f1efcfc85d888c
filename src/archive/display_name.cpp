#include "archive/display_name.h"

#include <cstdint>
#include <cstring>

#include "archive/code_pages.h"

namespace archive {
namespace {

// The length of the well-formed UTF-8 sequence at p (at most `left` bytes),
// or 0 when none starts there.
size_t Utf8SequenceAt(const uint8_t* p, size_t left) {
  const uint8_t lead = p[0];
  if (lead < 0x80) return 1;
  size_t length;
  uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong below U+10000
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (left < length || p[1] < low || p[1] > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (p[i] < 0x80 || p[i] > 0xBF) return 0;
  }
  return length;
}

void AppendCodePoint(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

constexpr uint32_t kReplacement = 0xFFFD;

// A Windows-1252 character as a code point. From 0xA0 up the page is
// Latin-1, whose code points equal the bytes. Of 0x80..0x9F only 0x83 (ƒ)
// reaches here: the CP437 table gives no other character of that row, and
// the Windows-1252 rule admits only 0xC0..0xFF.
uint32_t AnsiCodePoint(uint8_t c) {
  if (c < 0x80 || c >= 0xA0) return c;
  return c == 0x83 ? 0x0192 : kReplacement;
}

bool IsAnsiLetterWindow(uint8_t c) { return c >= 0xC0 && c != 0xD7 && c != 0xF7; }

}  // namespace

bool IsUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t i = 0;
  while (i < bytes.size()) {
    const size_t length = Utf8SequenceAt(p + i, bytes.size() - i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

bool HasHighByte(std::string_view bytes) {
  // Eight bytes at a time: this runs over every name a search lists.
  size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes.data() + i, sizeof word);
    if ((word & 0x8080808080808080u) != 0) return true;
  }
  for (; i < bytes.size(); ++i) {
    if (static_cast<uint8_t>(bytes[i]) >= 0x80) return true;
  }
  return false;
}

NameEncoding NameEncodingOf(std::string_view bytes, bool flaggedUtf8) {
  if (flaggedUtf8 || IsUtf8(bytes)) return NameEncoding::Utf8;
  bool letterBesidesSharpS = false;
  for (const char c : bytes) {
    const auto byte = static_cast<uint8_t>(c);
    if (byte < 0x80) continue;
    if (!IsAnsiLetterWindow(byte)) return NameEncoding::Cp437;
    if (byte != 0xE1) letterBesidesSharpS = true;
  }
  return letterBesidesSharpS ? NameEncoding::Windows1252 : NameEncoding::Cp437;
}

std::string NameToUtf8(std::string_view bytes, NameEncoding encoding) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  for (size_t i = 0; i < bytes.size();) {
    const uint8_t c = p[i];
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    switch (encoding) {
      case NameEncoding::Utf8:
        if (const size_t length = Utf8SequenceAt(p + i, bytes.size() - i); length != 0) {
          out.append(bytes.substr(i, length));
          i += length;
        } else {
          AppendCodePoint(out, kReplacement);
          ++i;
        }
        continue;
      case NameEncoding::Cp437: AppendCodePoint(out, AnsiCodePoint(codepage::OemToAnsi(c))); break;
      case NameEncoding::Windows1252: AppendCodePoint(out, AnsiCodePoint(c)); break;
    }
    ++i;
  }
  return out;
}

std::string DisplayName(std::string_view bytes, bool flaggedUtf8) {
  if (!HasHighByte(bytes)) return std::string(bytes);
  return NameToUtf8(bytes, NameEncodingOf(bytes, flaggedUtf8));
}

}  // namespace archive
