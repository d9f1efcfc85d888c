// Finding entries of an archive by name, and extracting one, for the
// commands that work on an archive's entries (extract, pdf).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/unzip_member.h"
#include "archive/zip_format.h"

namespace cli {

struct ArchiveEntry {
  std::string name;
  uint32_t headerOffset;
  uint16_t attributes;
  uint16_t flags;
  archive::RecordedValues recorded;

  // The name in UTF-8, as the program shows it.
  std::string DisplayName() const;
};

// The archive's entries named `name`, by their bytes or as they are shown
// (the first one), or all of them when all is set. The walk is closed
// before it returns. False, with the reason on standard error, when the
// archive's directory cannot be read.
bool FindEntries(const std::string& archivePath, const std::string& name, bool all, std::vector<ArchiveEntry>& entries);

// Extracts the entry into the folder under its own name, as the program
// opens a hit; the result of UnzipMember (a name that would leave the
// folder is not written: kUnzipWriteFailed). Sets path to the file written.
int ExtractEntry(const std::string& archivePath, const ArchiveEntry& entry, const std::string& folder,
                 std::string& path);

}  // namespace cli
