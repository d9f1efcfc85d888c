// A song's bytes as the text a viewer shows, and that text as bytes again.
//
// Songs are byte strings in no declared encoding. A song that is valid UTF-8
// is read as UTF-8 (a byte-order mark stays a character of the text); any
// other is read as Windows-1252, the code page most songs written on Windows
// are in, with the five bytes that code page leaves undefined read as the
// control characters of the same number, so that every byte comes back.
// Every line break (CR LF, lone CR, lone LF) becomes one line feed; written
// back, each line feed is CR LF.
//
// A text box turns some characters into line breaks of its own (the
// paragraph separator and the two non-characters it uses to mark frames) and
// shows the line separator as a line break that typing cannot tell from one
// the user entered with Shift+Enter. Such characters of the song are shown
// as placeholders, characters of the Private Use Area that the song does not
// use, and written back as what they were.
//
// So a text decoded and encoded again unchanged gives the song's bytes with
// its line breaks as CR LF, whatever the bytes are.
#pragma once

#include <QString>
#include <string>
#include <string_view>
#include <vector>

namespace fretfile {

enum class SongEncoding { Utf8, Windows1252 };

struct SongText {
  QString text;  // line breaks as '\n', the characters above as placeholders
  SongEncoding encoding = SongEncoding::Utf8;
  struct Placeholder {
    char16_t shown;
    char16_t original;
  };
  std::vector<Placeholder> placeholders;
};

SongText DecodeSong(std::string_view bytes);

struct EncodedSong {
  std::string bytes;     // line breaks as CR LF
  QString unencodable;   // the distinct characters the song's encoding cannot hold, in order; empty when none
};

// The text of a viewer (line breaks as '\n'; a paragraph separator or a line
// separator typed into the box is a line break too) in the encoding of the
// song it was decoded from.
EncodedSong EncodeSong(const QString& text, const SongText& song);

// The characters as a user reads them in a message: each one quoted, with
// its code point ("€" U+20AC).
std::string DescribeCharacters(const QString& characters);
// What a save says when the song's code page cannot hold some characters.
std::string CannotStoreMessage(const QString& characters);

}  // namespace fretfile
