// Entry names written by MS-DOS and OS/2 zip programs are in the OEM code
// page (437); the program's texts are in the ANSI code page (1252). The
// fixed tables of archive/code_pages.h convert between the two, one
// character at a time, for the characters from 0x80 up (ASCII stays as it is).
#pragma once

#include <cstdint>
#include <string>

#include "update/updater_types.h"

namespace fretfile {

enum class NameDirection { ToOem, FromOem };

// Converts every character from 0x80 up through the table of the direction.
std::string ConvertCodePage(const std::string& text, NameDirection direction);

// Whether the names of a header made by this host system and zip version
// are converted: MS-DOS names in automatic mode, OS/2 (HPFS) names, NTFS
// names of zip version 5.0, and every name in OEM mode.
bool NameConversionApplies(CodePageOpts codePage, uint8_t hostSystem, uint8_t madeByVersion);

}  // namespace fretfile
