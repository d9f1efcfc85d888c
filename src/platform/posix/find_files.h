// Find-first / find-next over the entries of one directory, with the
// Windows wildcard rules and attribute selection.
//
// Names are matched against the pattern with '*' (any run of characters)
// and '?' (exactly one character), ASCII letters case-insensitively:
// "Band.ZIP" matches "*.zip". "*.*" matches every name, with or without a
// dot, as it does on Windows. Entries come in the directory's own order,
// unsorted, "." and ".." included when the pattern matches them. Only files
// and directories (links followed) are offered: pipes, sockets and devices
// have no place in a Windows directory listing.
#pragma once

#include <dirent.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

struct FoundEntry {
  std::string name;
  uint32_t attributes = 0;  // MS-DOS bits, see file_attributes.h
  uint64_t size = 0;
};

bool WildcardMatch(std::string_view pattern, std::string_view name);

class DirectoryFinder {
 public:
  DirectoryFinder() = default;
  ~DirectoryFinder();
  DirectoryFinder(const DirectoryFinder&) = delete;
  DirectoryFinder& operator=(const DirectoryFinder&) = delete;

  // Starts listing dir (ending in the separator) for names matching
  // pattern. An entry is offered only if each of its hidden, system,
  // volume-label and directory bits is also in attributeMask; read-only,
  // archive and plain files need nothing. False when dir cannot be read.
  bool First(const std::string& dir, const std::string& pattern, uint32_t attributeMask);
  // The next offered entry; false at the end.
  bool Next(FoundEntry& entry);
  void Close();

 private:
  DIR* dir_ = nullptr;
  std::string path_;
  std::string pattern_;
  uint32_t mask_ = 0;
};

// An identity of the directory a path leads to (device and inode), so a
// tree walk can tell when a link brings it back to a directory it has seen.
// Empty when the path cannot be examined.
std::string DirectoryIdentity(const std::string& path);

}  // namespace platform
