// Arbitrary bytes as an archive: walk its whole central directory.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!fuzz_support::RunZipFind(fuzz_support::ScratchFolder(), data, size)) __builtin_trap();
  return 0;
}
