// One Add: the files of the request stored into its archive (zippack.cpp
// tells how, step by step).
#pragma once

#include <cstdint>

#include "update/library/add_request.h"
#include "update/library/reporter.h"

namespace zippack {

// The number of files added or replaced; 0 when nothing was stored and the
// archive is exactly as it was.
int32_t RunAdd(const AddRequest& request, Reporter& reporter);

}  // namespace zippack
