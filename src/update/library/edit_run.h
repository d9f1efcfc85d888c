// One delete or rename of entries (edit_run.cpp tells how, step by step).
#pragma once

#include <cstdint>

#include "update/library/edit_request.h"
#include "update/library/reporter.h"

namespace zippack {

// The number of entries deleted or renamed; 0 when nothing changed and the
// archive is exactly as it was.
int32_t RunEdit(const EditRequest& request, Reporter& reporter);

}  // namespace zippack
