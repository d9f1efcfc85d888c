// How a name is shown to the user: one rule for the grid, the window
// titles, the messages and fretfile-cli.
//
// Names are kept as the bytes their archive (or the file system) holds: the
// index, the grid's cells and the lookup of a hit all work on those bytes.
// Only what the user sees is converted, to UTF-8, by this rule:
//   - a name that is valid UTF-8, or whose entry carries the UTF-8 flag
//     (general-purpose bit 11), is UTF-8;
//   - any other name is in code page 437, the format's default, except
//   - a name whose bytes from 0x80 up all lie in 0xC0..0xFF, are letters
//     there in Windows-1252 (not 0xD7 '×' or 0xF7 '÷') and are not all
//     0xE1, which is Windows-1252.
// The exception is sound because the two pages keep their letters apart:
// CP437 has all its accented letters at 0x80..0xA5 (and ß at 0xE1), and
// uses 0xB0..0xDF for line drawing and 0xE0..0xFF for Greek and maths, which
// names do not hold; Windows-1252 has its accented letters at 0xC0..0xFF and
// punctuation at 0x80..0xBF. A name in that window is therefore not CP437
// text, and it cannot be UTF-8 either (a lead byte from 0xC0 up needs a
// byte from 0x80..0xBF behind it). A name that also holds a byte below 0xC0
// stays CP437, which is the format's rule; 0xE1 alone is read as CP437's ß
// ("Straße"), the letter it most often is in a zip name.
//
// Plain C++ (the self-extractor's stub links no Qt). Characters CP437 has and
// Windows-1252 lacks show as the look-alikes of code_pages.h (box drawing as
// '+', '-', '|', Greek letters as their Latin look-alikes).
#pragma once

#include <string>
#include <string_view>

namespace archive {

enum class NameEncoding { Utf8, Cp437, Windows1252 };

// Whether the bytes are well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF). ASCII is.
bool IsUtf8(std::string_view bytes);

// Whether any byte is 0x80 or above (plain ASCII needs no conversion).
bool HasHighByte(std::string_view bytes);

// The encoding the rule above gives the name.
NameEncoding NameEncodingOf(std::string_view bytes, bool flaggedUtf8 = false);

// The name's characters in UTF-8, read in the given encoding. Bytes that are
// not UTF-8 in a name taken as UTF-8 (a flagged name that is not) become
// U+FFFD, one for each.
std::string NameToUtf8(std::string_view bytes, NameEncoding encoding);

// The name as the user sees it, in UTF-8.
std::string DisplayName(std::string_view bytes, bool flaggedUtf8 = false);

}  // namespace archive
