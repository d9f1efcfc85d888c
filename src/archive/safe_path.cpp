#include "archive/safe_path.h"

#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/posix/paths.h"

namespace archive {
namespace {

// The name's own shape: relative, no "..", at least one real component.
bool IsPlainRelativeName(std::string_view name) {
  if (name.empty() || name.front() == '/') return false;
  bool anyComponent = false;
  size_t start = 0;
  while (start <= name.size()) {
    const size_t end = std::min(name.find('/', start), name.size());
    const std::string_view component = name.substr(start, end - start);
    if (component == "..") return false;
    if (!component.empty() && component != ".") anyComponent = true;
    start = end + 1;
  }
  return anyComponent;
}

bool IsInside(const std::filesystem::path& base, const std::filesystem::path& candidate) {
  auto b = base.begin();
  auto c = candidate.begin();
  for (; b != base.end(); ++b, ++c) {
    if (b->empty()) continue;  // a trailing separator of the base
    if (c == candidate.end() || *b != *c) return false;
  }
  return c != candidate.end();
}

}  // namespace

std::optional<std::string> SafeJoin(const std::string& folder, const std::string& entryName) {
  if (folder.empty() || !IsPlainRelativeName(entryName)) return std::nullopt;
  const std::string joined = platform::WithTrailingSeparator(folder) + entryName;

  // Symbolic links among the parts that exist already are followed, both in
  // the folder and below it; the result must still lie inside the folder.
  std::error_code error;
  const auto base = std::filesystem::weakly_canonical(folder, error);
  if (error) return std::nullopt;
  const auto resolved = std::filesystem::weakly_canonical(platform::WithoutTrailingSeparator(joined), error);
  if (error || !IsInside(base, resolved)) return std::nullopt;
  return joined;
}

}  // namespace archive
