// Arbitrary archive bytes: walk the central directory and extract the first
// few entries it names.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!fuzz_support::RunArchive(fuzz_support::ScratchFolder(), data, size)) __builtin_trap();
  return 0;
}
