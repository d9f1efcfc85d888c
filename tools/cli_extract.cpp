// fretfile-cli extract ARCHIVE (ENTRY | --all) [DIR]: extracts entries the
// way the program opens a hit, printing "FileName<TAB>result" for each.
// Exit 0 when every result is 0, 1 when any is not, 2 when the archive
// cannot be walked or the entry is not in it.
#include <cstdio>
#include <string>
#include <vector>

#include "archive/display_name.h"
#include "archive/safe_path.h"
#include "archive/unzip_member.h"
#include "archive/zip_find.h"
#include "archive/zip_format.h"
#include "cli_command.h"
#include "platform/ui_contracts/key_state.h"

namespace {

struct Found {
  std::string name;
  uint32_t headerOffset;
  uint16_t attributes;
  uint16_t flags;
  archive::RecordedValues recorded;
};

int RunExtract(const std::vector<std::string>& args) {
  if (args.size() < 2 || args.size() > 3) {
    std::fprintf(stderr, "usage: fretfile-cli extract ARCHIVE (ENTRY | --all) [DIR]\n");
    return 2;
  }
  const std::string& archivePath = args[0];
  const bool all = args[1] == "--all";
  const std::string folder = args.size() == 3 ? args[2] : ".";

  // Collect first: the walk is closed before anything is extracted.
  std::vector<Found> entries;
  archive::ZipSearchRec rec;
  int walk = archive::ZipFindFirst(archivePath, rec);
  if (walk != 0) {
    std::fprintf(stderr, "fretfile-cli: cannot read the directory of %s (%d)\n", archivePath.c_str(), walk);
    return 2;
  }
  for (; walk == 0; walk = archive::ZipFindNext(rec)) {
    // The entry is named by its bytes or as it is shown.
    const bool utf8 = (rec.Flags & archive::zip::kFlagUtf8) != 0;
    if (all || args[1] == rec.FileName || args[1] == archive::DisplayName(rec.FileName, utf8)) {
      entries.push_back({rec.FileName, rec.HeaderOffset, rec.Attributes, rec.Flags, {rec.Crc, rec.CompressedSize, rec.Size}});
      if (!all) break;
    }
  }
  archive::ZipFindClose(rec);
  if (entries.empty() && !all) {
    std::fprintf(stderr, "fretfile-cli: %s has no entry %s\n", archivePath.c_str(), args[1].c_str());
    return 2;
  }

  bool allDone = true;
  for (const auto& entry : entries) {
    int result = archive::kUnzipWriteFailed;  // a name that would leave the folder
    if (const auto target = archive::SafeJoin(folder, entry.name)) {
      result = archive::UnzipMember(archivePath, *target, entry.attributes, entry.headerOffset, nullptr,
                                    platform::kKeyEscape, entry.recorded);
    }
    std::printf("%s\t%d\n", archive::DisplayName(entry.name, (entry.flags & archive::zip::kFlagUtf8) != 0).c_str(),
                result);
    if (result != 0) allDone = false;
  }
  return allDone ? 0 : 1;
}

const cli::CliCommandRegistration kRegistration({"extract", "ARCHIVE (ENTRY | --all) [DIR]", RunExtract});

}  // namespace
