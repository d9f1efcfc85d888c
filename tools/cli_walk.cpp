// fretfile-cli walk ARCHIVE: the archive's entries as the index rebuild
// sees them, one line per local header:
//   PackMethod TAB Flags (hex) TAB CompressedSize TAB Size TAB Crc TAB FileName
#include <cinttypes>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "archive/display_name.h"
#include "archive/tzip.h"
#include "archive/zip_format.h"
#include "cli_command.h"

namespace cli {
namespace {

int RunWalk(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: fretfile-cli walk ARCHIVE\n");
    return 2;
  }
  fretfile::TZipFile zip;
  zip.OnReadFile = [](fretfile::ZipFile entry) {
    // The walk skips the data by the size taken as unsigned; print it so.
    std::printf("%u\t0x%04x\t%" PRIu32 "\t%" PRIu32 "\t%08" PRIx32 "\t", entry.PackMethod, entry.Flags,
                static_cast<uint32_t>(entry.CompressedSize), entry.Size, entry.Crc);
    const std::string name = archive::DisplayName(entry.FileName, (entry.Flags & archive::zip::kFlagUtf8) != 0);
    std::fwrite(name.data(), 1, name.size(), stdout);
    std::fputc('\n', stdout);
  };
  try {
    zip.ReadEntries(args[0]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "fretfile-cli walk: %s\n", error.what());
    return 1;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

const CliCommandRegistration kRegistration({"walk", "ARCHIVE  list the local headers of ARCHIVE", RunWalk});

}  // namespace
}  // namespace cli
