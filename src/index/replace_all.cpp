#include "index/replace_all.h"

#include <algorithm>

namespace fretfile {

std::string ReplaceAll(std::string text, std::string_view find, std::string_view replacement) {
  if (find.empty()) return text;
  const bool canRecur = replacement.find(find) == std::string_view::npos;
  size_t from = 0;
  for (;;) {
    const size_t at = text.find(find, from);
    if (at == std::string::npos) return text;
    text.replace(at, find.size(), replacement);
    // No occurrence lies wholly before `at`, so searching again from the
    // start finds the same first occurrence as searching from the earliest
    // place a new one can begin: overlapping the replacement's left edge.
    from = canRecur ? at - std::min(at, find.size() - 1) : at + replacement.size();
  }
}

}  // namespace fretfile
