// Unreduce: the decompressor of methods 2 to 5 (reduced entries, one method
// per compression factor). See unreduce.cpp.
#pragma once

#include "archive/extraction_state.h"

namespace archive {

// Starts at the entry's compressed data with an empty input buffer and a
// zeroed window; method is the entry's (2 to 5). Returns a kDecode* result.
int Unreduce(ExtractionState& state, int method);

}  // namespace archive
