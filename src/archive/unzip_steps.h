// The steps of one extraction that UnzipMember (into a file) and
// MemoryExtractor (into memory) share: reading the local header, running the
// entry's decompressor, and reading the CRC from a data descriptor.
#pragma once

#include <cstdint>

#include "archive/extraction_state.h"
#include "archive/zip_format.h"

namespace archive {

// Reads and checks the local header at `offset` of state.archive, with the
// sizes a zip64 extra field gives where the header's own fields hold the
// marker. Leaves the archive positioned anywhere.
bool ReadLocalHeader(ExtractionState& state, uint32_t offset, zip::LocalHeader& header);

// A size as the extraction counts it (damage beyond a 64-bit offset is cut).
int64_t ExtractionSize(uint64_t size);

// Runs the decompressor of `method` from the entry's compressed data.
int Decompress(ExtractionState& state, uint16_t method);

// The CRC-32 from the data descriptor behind the data just decompressed.
uint32_t ReadDescriptorCrc(ExtractionState& state, uint16_t method);

}  // namespace archive
