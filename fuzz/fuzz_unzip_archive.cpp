// Arbitrary archive bytes: walk the central directory and extract the first
// few entries it names, wherever their headers claim to be.
#include <filesystem>
#include <system_error>

#include "archive/safe_path.h"
#include "archive/unzip.h"
#include "archive/zip_find.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& scratch = fuzz_support::ScratchFolder();
  const std::string archivePath = scratch + "archive.zip";
  const std::string folder = scratch + "extract";
  fuzz_support::WriteBytes(archivePath, data, size);
  archive::ZipSearchRec rec;
  int found = 0;
  for (int r = archive::ZipFindFirst(archivePath, rec); r == 0 && found < 4; r = archive::ZipFindNext(rec), ++found) {
    const auto target = archive::SafeJoin(folder, rec.FileName);
    if (!target) continue;
    const int result = archive::UnzipMember(archivePath, *target, rec.Attributes, rec.HeaderOffset, nullptr, 0);
    if (result < -1 || result > 7) __builtin_trap();
  }
  archive::ZipFindClose(rec);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
