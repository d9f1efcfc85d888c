// Method 0: the entry's bytes are stored as they are.
#pragma once

#include "archive/extraction_state.h"

namespace archive {

// Copies compressedSize bytes from the archive straight into the window and
// out to the file, 32768 at a time (the input buffer is not used). Returns
// kDecodeOk, kDecodeWriteFailed, kDecodeInputEnded (the archive ended early or
// could not be read) or kDecodeAborted.
int CopyStored(ExtractionState& state);

}  // namespace archive
