// Initialisation files (kest.ini) read and written with the semantics the
// program's users know from Windows profile strings: section and key names
// match case-insensitively, blanks around names and values are trimmed, a
// missing file, section or key gives the default, and writing a key keeps
// every other line of the file as it was.
#pragma once

#include <string>

namespace platform {

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& path);

// Creates the file and the section when missing, replaces the key's value in
// place or appends the key to its section. The file is replaced as a whole
// (written beside it, then renamed over it). Returns false when it cannot be
// written; a read-only file (no write permission) is never written, even by
// root.
bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path);

}  // namespace platform
