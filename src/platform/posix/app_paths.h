// Where the program lives: the folder of the running executable. It is the
// collection's folder only when it holds archives or the index
// (index/collection_choice.h); an installed program writes nothing beside
// itself.
#pragma once

#include <string>

namespace platform {

// The directory part of a program path, up to and including its last
// separator. "/opt/songs/fretfile" gives "/opt/songs/"; a bare name gives "".
std::string AppDirFromProgramPath(const std::string& programPath);

// The running executable's folder, ending in the separator.
std::string ApplicationDir();

}  // namespace platform
