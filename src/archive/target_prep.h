// Making the place an extracted entry goes to.
#pragma once

#include <cstdint>
#include <string>

#include "platform/posix/shared_file.h"

namespace archive {

enum class TargetOutcome {
  File,       // the output file is created (empty) and open for writing
  Directory,  // a directory entry: its folders are made, nothing to write
  Failed,     // the file cannot be created, or the path is too long
};

// The target path buffer of the extraction: 259 characters and a zero.
inline constexpr size_t kMaxTargetPath = 259;

// Creates the target file (truncating an existing one), making the folders
// on its path when they are missing. A target with attribute bit 0x10 or a
// trailing '/' is a directory entry: its folders are made and nothing else.
// Folders are made by path; the process's current directory never changes.
// `path` receives the target as used (with the '/' of a directory entry).
TargetOutcome PrepareTarget(const std::string& targetName, uint16_t attributes, platform::SharedFile& output,
                            std::string& path);

}  // namespace archive
