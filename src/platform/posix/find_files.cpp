#include "platform/posix/find_files.h"

#include <sys/stat.h>

#include "platform/posix/file_attributes.h"

namespace platform {
namespace {

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Attributes that an entry may only carry when the caller asked for them.
constexpr uint32_t kSelectedAttributes = kAttrHidden | kAttrSystem | kAttrVolumeId | kAttrDirectory;

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*" || pattern == "*") return true;
  // Greedy matching that remembers the last '*' and retries from there:
  // linear in practice and never worse than pattern x name steps.
  size_t p = 0, n = 0;
  size_t starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || FoldAscii(pattern[p]) == FoldAscii(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

DirectoryFinder::~DirectoryFinder() { Close(); }

bool DirectoryFinder::First(const std::string& dir, const std::string& pattern, uint32_t attributeMask) {
  Close();
  dir_ = ::opendir(dir.c_str());
  if (dir_ == nullptr) return false;
  path_ = dir;
  pattern_ = pattern;
  mask_ = attributeMask;
  return true;
}

bool DirectoryFinder::Next(FoundEntry& entry) {
  if (dir_ == nullptr) return false;
  while (const dirent* found = ::readdir(dir_)) {
    const std::string_view name = found->d_name;
    if (!WildcardMatch(pattern_, name)) continue;
    const std::string full = path_ + std::string(name);
    const int64_t attributes = GetFileAttributes(full);
    if (attributes < 0) continue;  // vanished meanwhile, or a dangling link
    if ((static_cast<uint32_t>(attributes) & kSelectedAttributes & ~mask_) != 0) continue;
    // Only files and directories exist for the program: a pipe, socket or
    // device named like an archive would block or mislead the first open.
    struct stat st{};
    if (::stat(full.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) continue;
    entry.name = std::string(name);
    entry.attributes = static_cast<uint32_t>(attributes);
    entry.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    return true;
  }
  return false;
}

void DirectoryFinder::Close() {
  if (dir_ != nullptr) {
    ::closedir(dir_);
    dir_ = nullptr;
  }
}

std::string DirectoryIdentity(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

}  // namespace platform
