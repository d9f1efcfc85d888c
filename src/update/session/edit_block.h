// The parameter block of one ZipPackEdit call (a delete or a rename of
// entries), built from the component's settings and the names. The names'
// bytes are pointed at, not copied: the block lives only for the call, and
// the names outlive it.
#pragma once

#include <string>
#include <vector>

#include "update/zippack_abi.h"

namespace fretfile {

class TZipUpdater;

class EditBlock {
 public:
  // newNames: empty for a delete, one per name for a rename.
  EditBlock(const TZipUpdater& updater, zippack::EditOperation operation, const std::vector<std::string>& names,
            const std::vector<std::string>& newNames, void* caller, zippack::ZipCallback callback);
  EditBlock(const EditBlock&) = delete;
  EditBlock& operator=(const EditBlock&) = delete;

  void* Address() { return &block_; }

 private:
  std::string archive_;
  std::string tempDir_;
  std::vector<zippack::ZipEntryName> names_;
  zippack::ZipEditParams block_{};
};

}  // namespace fretfile
