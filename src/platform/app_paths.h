// Where the program lives. The program's own folder is its collection:
// archives, kest.idx, kest.ini and temp/ all sit beside the executable.
#pragma once

#include <string>

namespace platform {

// The directory part of a program path, up to and including its last
// separator. "/opt/songs/fretfile" gives "/opt/songs/"; a bare name gives "".
std::string AppDirFromProgramPath(const std::string& programPath);

// The running executable's folder, ending in the separator.
std::string ApplicationDir();

}  // namespace platform
