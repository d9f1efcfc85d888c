// Opening a document with the desktop's program for its type (xdg-open).
#pragma once

#include <string>

namespace platform {

// Above 32 when a program took the file, 32 or less when none could.
int ShellOpenDocument(const std::string& path);

}  // namespace platform
