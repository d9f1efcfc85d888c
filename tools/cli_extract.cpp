// fretfile-cli extract ARCHIVE (ENTRY | --all) [DIR]: extracts entries the
// way the program opens a hit, printing "FileName<TAB>result" for each.
// Exit 0 when every result is 0, 1 when any is not, 2 when the archive
// cannot be walked or the entry is not in it.
#include <cstdio>
#include <string>
#include <vector>

#include "archive/safe_path.h"
#include "archive/unzip.h"
#include "archive/zip_find.h"
#include "cli_command.h"
#include "platform/ui_contracts/key_state.h"

namespace {

struct Found {
  std::string name;
  uint32_t headerOffset;
  uint16_t attributes;
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
    if (all || args[1] == rec.FileName) {
      entries.push_back({rec.FileName, rec.HeaderOffset, rec.Attributes});
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
                                    platform::kKeyEscape);
    }
    std::printf("%s\t%d\n", entry.name.c_str(), result);
    if (result != 0) allDone = false;
  }
  return allDone ? 0 : 1;
}

const cli::CliCommandRegistration kRegistration({"extract", "ARCHIVE (ENTRY | --all) [DIR]", RunExtract});

}  // namespace
