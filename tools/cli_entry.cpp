#include "cli_entry.h"

#include <cstdio>

#include "archive/display_name.h"
#include "archive/safe_path.h"
#include "archive/unzip_member.h"
#include "archive/zip_find.h"
#include "platform/ui_contracts/key_state.h"

namespace cli {

std::string ArchiveEntry::DisplayName() const {
  return archive::DisplayName(name, (flags & archive::zip::kFlagUtf8) != 0);
}

bool FindEntries(const std::string& archivePath, const std::string& name, bool all, std::vector<ArchiveEntry>& entries) {
  archive::ZipSearchRec rec;
  int walk = archive::ZipFindFirst(archivePath, rec);
  if (walk != 0) {
    std::fprintf(stderr, "fretfile-cli: cannot read the directory of %s (%d)\n", archivePath.c_str(), walk);
    return false;
  }
  for (; walk == 0; walk = archive::ZipFindNext(rec)) {
    // The entry is named by its bytes or as it is shown.
    const bool utf8 = (rec.Flags & archive::zip::kFlagUtf8) != 0;
    if (all || name == rec.FileName || name == archive::DisplayName(rec.FileName, utf8)) {
      entries.push_back({rec.FileName, rec.HeaderOffset, rec.Attributes, rec.Flags, {rec.Crc, rec.CompressedSize, rec.Size}});
      if (!all) break;
    }
  }
  archive::ZipFindClose(rec);
  return true;
}

int ExtractEntry(const std::string& archivePath, const ArchiveEntry& entry, const std::string& folder,
                 std::string& path) {
  const auto target = archive::SafeJoin(folder, entry.name);
  if (!target) return archive::kUnzipWriteFailed;
  path = *target;
  return archive::UnzipMember(archivePath, *target, entry.attributes, entry.headerOffset, nullptr,
                              platform::kKeyEscape, entry.recorded);
}

}  // namespace cli
