#include "update/stub/choices.h"

#include <cctype>

namespace sfxstub {
namespace {

// A number at text[at], moving at past it; nothing when there is none or it
// exceeds limit.
std::optional<size_t> Number(const std::string& text, size_t& at, size_t limit) {
  size_t value = 0;
  const size_t start = at;
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
    value = value * 10 + static_cast<size_t>(text[at++] - '0');
    if (value > limit) return std::nullopt;
  }
  if (at == start) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::vector<bool>> ParseChoice(const std::string& answer, size_t count) {
  std::vector<bool> chosen(count, false);
  bool any = false;
  size_t at = 0;
  while (true) {
    while (at < answer.size() && (answer[at] == ' ' || answer[at] == ',' || answer[at] == '\t')) ++at;
    if (at == answer.size()) break;
    const auto first = Number(answer, at, count);
    if (!first || *first == 0) return std::nullopt;
    size_t last = *first;
    if (at < answer.size() && answer[at] == '-') {
      ++at;
      const auto end = Number(answer, at, count);
      if (!end || *end < *first) return std::nullopt;
      last = *end;
    }
    for (size_t n = *first; n <= last; ++n) chosen[n - 1] = true;
    any = true;
  }
  if (!any) return std::nullopt;
  return chosen;
}

}  // namespace sfxstub
