// The two 8-bit code pages zip entry names come in besides UTF-8: the OEM
// code page 437, the format's default (every MS-DOS zip program, and many
// written on Windows), and the ANSI code page 1252 of Windows programs.
//
// The tables map the upper halves (0x80..0xFF) of the two pages onto each
// other, one character at a time; ASCII stays as it is. A character one page
// lacks becomes its nearest plain look-alike in the other (see the .cpp).
// The archive-update component converts directory names with them, and the
// display of names (display_name.h) reads CP437 through them. Plain C++, so
// the self-extractor's stub, which links no Qt, can use them as well.
#pragma once

#include <cstdint>

namespace archive::codepage {

// Code page 437 character 0x80 + i as a code page 1252 character.
extern const uint8_t kOemToAnsi[128];
// Code page 1252 character 0x80 + i as a code page 437 character.
extern const uint8_t kAnsiToOem[128];

inline uint8_t OemToAnsi(uint8_t c) { return c < 0x80 ? c : kOemToAnsi[c - 0x80]; }
inline uint8_t AnsiToOem(uint8_t c) { return c < 0x80 ? c : kAnsiToOem[c - 0x80]; }

}  // namespace archive::codepage
