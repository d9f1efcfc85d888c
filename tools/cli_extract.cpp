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
#include "cli_entry.h"

namespace {

int RunExtract(const std::vector<std::string>& args) {
  if (args.size() < 2 || args.size() > 3) {
    std::fprintf(stderr, "usage: fretfile-cli extract ARCHIVE (ENTRY | --all) [DIR]\n");
    return 2;
  }
  const std::string& archivePath = args[0];
  const bool all = args[1] == "--all";
  const std::string folder = args.size() == 3 ? args[2] : ".";

  // Collect first: the walk is closed before anything is extracted.
  std::vector<cli::ArchiveEntry> entries;
  if (!cli::FindEntries(archivePath, args[1], all, entries)) return 2;
  if (entries.empty() && !all) {
    std::fprintf(stderr, "fretfile-cli: %s has no entry %s\n", archivePath.c_str(), args[1].c_str());
    return 2;
  }

  bool allDone = true;
  for (const auto& entry : entries) {
    std::string written;
    const int result = cli::ExtractEntry(archivePath, entry, folder, written);
    std::printf("%s\t%d\n", entry.DisplayName().c_str(), result);
    if (result != 0) allDone = false;
  }
  return allDone ? 0 : 1;
}

const cli::CliCommandRegistration kRegistration({"extract", "ARCHIVE (ENTRY | --all) [DIR]", RunExtract});

}  // namespace
