// Arbitrary bytes as the archive the compression library adds a small file
// to; the library is linked in and called through its entry point.
#include "fuzz_support.h"

extern "C" int32_t ZipPackExec(void* params);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!fuzz_support::RunZippackAdd(fuzz_support::ScratchFolder(), &ZipPackExec, data, size)) __builtin_trap();
  return 0;
}
