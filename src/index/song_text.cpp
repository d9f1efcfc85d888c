#include "index/song_text.h"

#include <QList>
#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <cstdio>

namespace fretfile {
namespace {

// Windows-1252 bytes 0x80..0x9F as characters; the five it leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) as the control character of the same number.
// From 0xA0 up the code page is Latin-1.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The characters a text box does not keep as themselves (see the header).
constexpr std::array<char16_t, 4> kNotKeptByTextBox = {0x2028, 0x2029, 0xFDD0, 0xFDD1};
// Placeholders are taken from the top of the Private Use Area down.
constexpr char16_t kLastPrivateUse = 0xF8FF;
constexpr char16_t kFirstPrivateUse = 0xE000;

std::string UnifyLineBreaks(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r') {
      text += '\n';
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else {
      text += bytes[i];
    }
  }
  return text;
}

QString FromWindows1252(const std::string& bytes) {
  QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
  QChar* out = text.data();
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    *out++ = QChar(byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : char16_t{byte});
  }
  return text;
}

// The byte of a character in Windows-1252, or -1 when it has none.
int ToWindows1252(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
  const auto* found = std::find(kWindows1252High.begin(), kWindows1252High.end(), c);
  return found == kWindows1252High.end() ? -1 : static_cast<int>(0x80 + (found - kWindows1252High.begin()));
}

void ReplacePlaceholders(QString& text, const SongText& song) {
  for (const auto& placeholder : song.placeholders) {
    text.replace(QChar(placeholder.shown), QChar(placeholder.original));
  }
}

}  // namespace

SongText DecodeSong(std::string_view bytes) {
  SongText song;
  const std::string unified = UnifyLineBreaks(bytes);
  auto decoder = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                          QStringDecoder::Flag::ConvertInitialBom);
  song.text = decoder(QByteArrayView(unified.data(), static_cast<qsizetype>(unified.size())));
  if (decoder.hasError()) {
    song.encoding = SongEncoding::Windows1252;
    song.text = FromWindows1252(unified);
  }
  // Each character the box would not keep gets a placeholder the song does
  // not use (the search runs only for songs that hold such a character).
  char16_t candidate = kLastPrivateUse;
  for (const char16_t original : kNotKeptByTextBox) {
    if (!song.text.contains(QChar(original))) continue;
    while (candidate >= kFirstPrivateUse && song.text.contains(QChar(candidate))) --candidate;
    if (candidate < kFirstPrivateUse) break;  // a song using the whole area keeps the box's reading
    song.placeholders.push_back({candidate, original});
    song.text.replace(QChar(original), QChar(candidate));
    --candidate;
  }
  return song;
}

EncodedSong EncodeSong(const QString& text, const SongText& song) {
  // Separators typed into the box are its line breaks; the song's own ones
  // are behind placeholders.
  QString plain = text;
  plain.replace(QChar(QChar::ParagraphSeparator), QLatin1Char('\n'));
  plain.replace(QChar(QChar::LineSeparator), QLatin1Char('\n'));
  ReplacePlaceholders(plain, song);
  plain.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));

  EncodedSong encoded;
  if (song.encoding == SongEncoding::Utf8) {
    encoded.bytes = plain.toUtf8().toStdString();
    return encoded;
  }
  encoded.bytes.reserve(static_cast<size_t>(plain.size()));
  std::vector<char32_t> missing;
  const QList<uint> points = plain.toUcs4();
  for (const uint point : points) {
    const int byte = point <= 0xFFFF ? ToWindows1252(static_cast<char16_t>(point)) : -1;
    if (byte >= 0) {
      encoded.bytes += static_cast<char>(byte);
    } else if (std::find(missing.begin(), missing.end(), point) == missing.end()) {
      missing.push_back(point);
    }
  }
  encoded.unencodable = QString::fromUcs4(missing.data(), static_cast<qsizetype>(missing.size()));
  return encoded;
}

std::string DescribeCharacters(const QString& characters) {
  std::string described;
  const QList<uint> points = characters.toUcs4();
  for (const uint point : points) {
    if (!described.empty()) described += ", ";
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", point);
    described += "\u201C" + QString::fromUcs4(reinterpret_cast<const char32_t*>(&point), 1).toStdString() +
                 "\u201D " + code;
  }
  return described;
}

std::string CannotStoreMessage(const QString& characters) {
  return "These characters cannot be stored in this song, which is written in the Windows-1252 code page: " +
         DescribeCharacters(characters) + ".\nChange them, then save again. Nothing was stored.";
}

}  // namespace fretfile
