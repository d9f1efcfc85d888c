// fretfile-cli list ARCHIVE: one line per central-directory entry.
#include <cstdio>

#include "archive/zip_find.h"
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
    std::printf("%s\t%u\t%u\t%u\t%08x\t%u\t%x\t%x\n", rec.FileName, rec.PackMethod, rec.CompressedSize, rec.Size,
                rec.Crc, rec.HeaderOffset, rec.Attributes, rec.Flags);
  }
  archive::ZipFindClose(rec);
  return 0;
}

const cli::CliCommandRegistration kRegistration({"list", "ARCHIVE", RunList});

}  // namespace
