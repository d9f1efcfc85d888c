// Arbitrary bytes as an archive for the index: walk its local headers,
// including the central-directory lookups and descriptor searches of
// entries whose headers do not give their sizes.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!fuzz_support::RunWalk(fuzz_support::ScratchFolder(), data, size)) __builtin_trap();
  return 0;
}
