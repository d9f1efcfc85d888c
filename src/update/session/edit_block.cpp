#include "update/session/edit_block.h"

#include <algorithm>
#include <cstdint>

#include "update/component/zip_updater.h"

namespace fretfile {

EditBlock::EditBlock(const TZipUpdater& u, zippack::EditOperation operation, const std::vector<std::string>& names,
                     const std::vector<std::string>& newNames, void* caller, zippack::ZipCallback callback)
    : archive_(u.ZipFileName()), tempDir_(u.TempDir) {
  names_.resize(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    names_[i].Name = names[i].data();
    names_[i].NameLength = static_cast<uint32_t>(std::min<size_t>(names[i].size(), UINT32_MAX));
    if (i < newNames.size()) {
      names_[i].NewName = newNames[i].data();
      names_[i].NewNameLength = static_cast<uint32_t>(std::min<size_t>(newNames[i].size(), UINT32_MAX));
    }
  }
  block_.OwnerWindow = u.Unattended ? nullptr : u.OwnerWindow();
  block_.Caller = caller;
  block_.Version = zippack::kEditVersion;
  block_.Callback = callback;
  block_.Trace = u.Trace ? 1 : 0;
  block_.Verbose = u.Verbose || u.Trace ? 1 : 0;
  block_.Operation = operation;
  block_.ArchiveName = archive_.data();
  block_.TempDir = tempDir_.empty() ? nullptr : tempDir_.data();
  block_.NameCount = static_cast<int32_t>(names_.size());
  block_.Names = names_.empty() ? nullptr : names_.data();
  block_.EndMarker = zippack::kEndMarker;
}

}  // namespace fretfile
