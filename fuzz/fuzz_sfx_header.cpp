// Arbitrary bytes as the self-extractor's stub program: its ELF image and
// the header behind it.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!fuzz_support::RunSfxHeader(fuzz_support::ScratchFolder(), data, size)) __builtin_trap();
  return 0;
}
