// Unshrink: the decompressor of method 1 (shrunk entries). See unshrink.cpp.
#pragma once

#include "archive/extraction_state.h"

namespace archive {

// Starts at the entry's compressed data with an empty input buffer and a
// zeroed window; returns a kDecode* result.
int Unshrink(ExtractionState& state);

}  // namespace archive
