// Whether a song saved from a viewer reached its archive.
//
// "Save" hands the edited file to the archive-update component, which
// reports a failure only through its last message (it runs unattended), and
// a stored nothing can have many causes: no library, an archive in use or
// unreadable, a full disk. So the window checks the result where it
// matters: the archive's entry of that name must hold exactly the saved
// bytes. Of an archive holding the name twice, that is the first entry of
// the name in its directory: the one an opening shows and a save replaces.
#pragma once

#include <string>

namespace fretfile {

// True when the first entry of archivePath named entryName ("/" and "\"
// taken as the same) has the size and CRC-32 of content.
bool ArchiveEntryHolds(const std::string& archivePath, const std::string& entryName, const std::string& content);

}  // namespace fretfile
