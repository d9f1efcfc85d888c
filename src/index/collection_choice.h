// Which folder is the collection. A program copied into the folder of its
// archives uses that folder, as it always has. An installed program, whose
// own folder is a system folder where nothing may be written, uses the
// folder named on its command line, or the one the user chose and the
// program remembers in the user's configuration (platform/posix/user_config.h).
#pragma once

#include <string>

namespace fretfile {

// True when the folder (ending in the separator) holds the index or at
// least one "*.zip" archive.
bool HoldsCollection(const std::string& folder);

// The file that remembers the chosen folder; "" when the user has no
// configuration folder.
std::string RememberedChoiceFile();
// The remembered folder, ending in the separator; "" when none is
// remembered or it is no longer a folder.
std::string RememberedCollectionFolder();
// Remembers the folder for the next start. Throws std::runtime_error when
// it cannot be remembered.
void RememberCollectionFolder(const std::string& folder);

// The collection the program starts on, ending in the separator: the folder
// named on the command line (namedFolder, "" for none); else the program's
// own folder when it holds a collection; else the remembered folder; else ""
// (the user is to be asked). Reads only.
std::string StartCollectionFolder(const std::string& programDir, const std::string& namedFolder);

}  // namespace fretfile
