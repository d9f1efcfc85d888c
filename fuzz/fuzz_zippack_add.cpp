// Arbitrary bytes as the archive the compression library adds a small file
// to, or deletes or renames an entry of; the library is linked in and called
// through its entry points.
#include "fuzz_support.h"

extern "C" int32_t ZipPackExec(void* params);
extern "C" int32_t ZipPackEdit(void* params);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!fuzz_support::RunZippackAdd(fuzz_support::ScratchFolder(), &ZipPackExec, &ZipPackEdit, data, size)) __builtin_trap();
  return 0;
}
