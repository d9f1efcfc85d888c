// Arbitrary bytes as the archive (or the two volumes of a set) whose
// directory the archive-update component lists.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!fuzz_support::RunDirList(fuzz_support::ScratchFolder(), data, size)) __builtin_trap();
  return 0;
}
