// UnzipMember over one compressed payload, wrapped into a one-entry archive
// of the method family this target is built for (FUZZ_FAMILY, see
// fuzz_support::RunPayload for the input layout).
#include "fuzz_support.h"

#ifndef FUZZ_FAMILY
#error "FUZZ_FAMILY must name the method family"
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto family = static_cast<fuzz_support::Family>(FUZZ_FAMILY);
  if (!fuzz_support::RunPayload(fuzz_support::ScratchFolder(), family, data, size)) __builtin_trap();
  return 0;
}
