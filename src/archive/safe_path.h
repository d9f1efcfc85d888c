// Joining a folder and an archive entry's name without letting the name
// escape the folder. Entry names come from archives, which are hostile
// input: "../../.bashrc", "/etc/passwd" or a path through a symbolic link
// that points elsewhere must never become a place we write to or open.
#pragma once

#include <optional>
#include <string>

namespace archive {

// folder + "/" + entryName when that stays inside folder; nothing when the
// name is empty, absolute, has a ".." component, names the folder itself, or
// resolves (through existing symbolic links) to a place outside the folder.
// A trailing '/' of the name (a directory entry) is kept.
std::optional<std::string> SafeJoin(const std::string& folder, const std::string& entryName);

}  // namespace archive
