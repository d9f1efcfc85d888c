// Starting other programs and removing folders, as the shell did.
// Results above 32 mean success, 32 or less failure, as callers expect.
#pragma once

#include <string>

namespace platform {

// Starts program detached with path as its one argument (no shell, no
// quoting). Returns 33 when it started, 2 when it could not be started.
int ShellExecuteProgram(const std::string& program, const std::string& argument);

// Removes a folder with everything below it; with allowUndo it goes to the
// desktop trash instead. Returns false when anything could not be removed.
bool ShellRemoveTree(const std::string& path, bool allowUndo = false);

}  // namespace platform
