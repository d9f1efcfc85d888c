// fretfile-cli list ARCHIVE: one line per central-directory entry. Exit 0
// when the whole directory was listed, 1 when an entry could not be (its
// sizes or offset need more than 32 bits), 2 when no directory was found.
#include <cstdio>

#include "archive/display_name.h"
#include "archive/zip_find.h"
#include "archive/zip_format.h"
#include "cli_command.h"

namespace {

int RunList(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: fretfile-cli list ARCHIVE\n");
    return 2;
  }
  archive::ZipSearchRec rec;
  int result = archive::ZipFindFirst(args[0], rec);
  if (result != 0) {
    std::printf("%d\n", result);
    return 2;
  }
  for (; result == 0; result = archive::ZipFindNext(rec)) {
    const std::string name = archive::DisplayName(rec.FileName, (rec.Flags & archive::zip::kFlagUtf8) != 0);
    std::printf("%s\t%u\t%u\t%u\t%08x\t%u\t%x\t%x\n", name.c_str(), rec.PackMethod, rec.CompressedSize, rec.Size,
                rec.Crc, rec.HeaderOffset, rec.Attributes, rec.Flags);
  }
  archive::ZipFindClose(rec);
  if (result != archive::kZipFindNoMore) {
    std::fprintf(stderr, "fretfile-cli: %s: an entry lies beyond 4 GiB (%d)\n", args[0].c_str(), result);
    return 1;
  }
  return 0;
}

const cli::CliCommandRegistration kRegistration({"list", "ARCHIVE", RunList});

}  // namespace
