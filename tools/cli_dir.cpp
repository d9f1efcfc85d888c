// fretfile-cli dir ARCHIVE: the archive-update component's directory list,
// one line per listed entry (name, method, compressed and uncompressed
// size, CRC, header offset, disk), then what the read found about the
// archive. Warnings go to standard error. Exit 1 when the list cannot be
// read. Given any volume of a spanned set on a fixed drive, the whole set's
// directory is read (a simulated drive set up by the file
// FRETFILE_SIMULATED_DRIVES names would need disk prompts for other
// volumes, which unattended are refused).
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "archive/display_name.h"
#include "cli_command.h"
#include "platform/drives.h"
#include "platform/io_error.h"
#include "update/volume_names.h"
#include "update/zip_updater.h"

namespace {

int RunDir(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: fretfile-cli dir ARCHIVE\n");
    return 2;
  }
  if (const std::string problem = platform::LoadSimulatedDrivesFromEnvironment(); !problem.empty()) {
    std::fprintf(stderr, "fretfile-cli: %s\n", problem.c_str());
    return 2;
  }
  const std::string& archive = args[0];
  std::error_code error;
  if (!std::filesystem::is_regular_file(archive, error) &&
      !std::filesystem::is_regular_file(fretfile::FirstVolumeOf(archive), error)) {
    // The component lists a missing archive as an empty one (it may be
    // about to be made); asked for its directory, it has none.
    std::fprintf(stderr, "fretfile-cli: %s: %s\n", archive.c_str(), platform::IoErrorText(ENOENT).c_str());
    return 1;
  }
  fretfile::TZipUpdater updater;
  updater.Unattended = true;
  updater.OnMessage = [](fretfile::TZipUpdater&, int32_t, const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
  };
  updater.SetZipFileName(archive);
  if (updater.ZipFileName().empty()) return 1;  // the read failed and said why
  for (size_t i = 0; i < updater.Count(); ++i) {
    const fretfile::ZipDirEntry& entry = updater.DirEntry(i);
    std::printf("%s\t%u\t%u\t%u\t%08x\t%u\t%u\n", archive::DisplayName(entry.FileName).c_str(), unsigned{entry.CompressionMethod},
                unsigned{entry.CompressedSize}, unsigned{entry.UncompressedSize}, unsigned{entry.CRC32},
                unsigned{entry.RelOffLocalHdr}, unsigned{entry.StartOnDisk});
  }
  std::printf("StubOffset\t%" PRId64 "\n", updater.StubOffset());
  std::printf("OffsetMismatch\t%d\n", updater.OffsetMismatch() ? 1 : 0);
  std::printf("DirOnlySkipped\t%d\n", updater.DirOnlySkipped());
  std::printf("ArchiveComment\t%s\n", updater.ArchiveComment().c_str());
  return 0;
}

const cli::CliCommandRegistration kRegistration({"dir", "ARCHIVE", RunDir});

}  // namespace
