// Arbitrary bytes as an archive: walk its whole central directory.
#include <cstring>

#include "archive/zip_find.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz_support::ScratchFolder() + "find.zip";
  fuzz_support::WriteBytes(path, data, size);
  archive::ZipSearchRec rec;
  size_t entries = 0;
  for (int r = archive::ZipFindFirst(path, rec); r == 0; r = archive::ZipFindNext(rec)) {
    if (std::strlen(rec.FileName) >= archive::kZipNameBufferSize) __builtin_trap();
    if (rec.Position > rec.BufferLength) __builtin_trap();
    // Every entry consumes at least a 46-byte header of a file that is
    // finite, so the walk must end.
    if (++entries > size / 46 + 1) __builtin_trap();
  }
  archive::ZipFindClose(rec);
  return 0;
}
