// Taking paths apart and putting them together: the folder a path lies in,
// the name it ends in, and a folder written with its trailing separator.
// Paths are byte strings; only the separator is looked at.
#pragma once

#include <string>

namespace platform {

inline constexpr char kSeparator = '/';

// The folder of a path, without a trailing separator: "/a/b/c" gives "/a/b",
// "/c" gives "/", a bare name gives "". A trailing separator counts as the
// last one: "/a/b/" gives "/a/b".
std::string FolderOf(const std::string& path);

// The text behind the last separator: "/a/b/c.zip" gives "c.zip", a bare
// name gives itself, "/a/b/" gives "".
std::string NameOf(const std::string& path);

// The folder ending in the separator, ready to have a name appended: "/a/b"
// and "/a/b/" give "/a/b/". An empty folder (the current one) stays empty.
std::string WithTrailingSeparator(std::string folder);

// The path without trailing separators: "/a/b/" gives "/a/b"; the root "/"
// stays itself.
std::string WithoutTrailingSeparator(std::string path);

}  // namespace platform
