// One delete or rename as the caller's ZipPackEdit block describes it, read
// into owned values once, so that the rest of the library never touches
// the block.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "update/zippack_abi.h"

namespace zippack {

struct EditRequest {
  EditOperation operation = kEditDelete;
  std::string archive;
  std::string tempDir;                // empty: the archive's folder
  std::vector<std::string> names;     // the entries, their bytes as stored
  std::vector<std::string> newNames;  // a rename's, one per name
  bool verbose = false;
};

// Checks that the block is one this library can read and reads it; nothing,
// with the reason in `problem`, when it is not.
std::optional<EditRequest> ReadEditBlock(const ZipEditParams* block, std::string& problem);

}  // namespace zippack
