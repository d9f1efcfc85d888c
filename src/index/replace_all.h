// Name conversion between stored names and shown names: every "_" of an
// archive or entry name is shown as a space in the index, and a space of a
// grid cell is looked up as "_".
#pragma once

#include <string>
#include <string_view>

namespace fretfile {

// Replaces the first occurrence of find, searching from the start each time,
// until none is left. An empty find text is never found. A replacement that
// contains find would loop forever; such a pair is replaced in one pass.
std::string ReplaceAll(std::string text, std::string_view find, std::string_view replacement);

}  // namespace fretfile
