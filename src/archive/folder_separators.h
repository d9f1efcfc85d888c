// Names from archives of any origin separate their folders with "/" or with
// "\" (writers on DOS and Windows). Wherever two names are compared, or a
// name becomes a path, "\" is read as "/".
//
// Header-only and plain C++, so that the compression library, which links
// nothing of Qt, reads names by the same rule as the program.
#pragma once

#include <string>
#include <string_view>

namespace archive {

inline std::string WithSlashes(std::string_view name) {
  std::string slashed(name);
  for (char& c : slashed) {
    if (c == '\\') c = '/';
  }
  return slashed;
}

}  // namespace archive
