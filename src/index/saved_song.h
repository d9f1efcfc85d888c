// Whether a song saved from a viewer reached its archive.
//
// "Save" hands the edited file to the archive-update component, which
// reports a failure only through its last message (it runs unattended), and
// a stored nothing can have many causes: no library, an archive in use or
// unreadable, a full disk. So the window checks the result where it
// matters: the archive's entry of that name must hold exactly the saved
// bytes, and be the only entry of that name.
#pragma once

#include <string>

namespace fretfile {

// True when archivePath has exactly one entry named entryName ("/" and "\"
// taken as the same) and its size and CRC-32 are those of content.
bool ArchiveEntryHolds(const std::string& archivePath, const std::string& entryName, const std::string& content);

}  // namespace fretfile
