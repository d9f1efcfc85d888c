// TZipUpdater's Delete and Rename: one call of the library's ZipPackEdit,
// with the checks, the state and the events of an Add.
#include <QScopeGuard>
#include <new>

#include "update/component/updater_messages.h"
#include "update/component/zip_updater.h"
#include "update/session/zippack_session.h"
#include "update/zippack_abi.h"

namespace fretfile {

int32_t TZipUpdater::Delete(const std::vector<std::string>& entryNames) {
  return Edit(zippack::kEditDelete, entryNames, {});
}

int32_t TZipUpdater::Rename(const std::string& oldName, const std::string& newName) {
  return Edit(zippack::kEditRename, {oldName}, {newName});
}

int32_t TZipUpdater::Edit(int32_t operation, const std::vector<std::string>& names,
                          const std::vector<std::string>& newNames) {
  // One operation at a time, as for Add: refused before it touches
  // anything the running one uses.
  if (Status_.InOperation) {
    ReportMessage(msg::kComponentBusy, "");
    return 0;
  }
  Status_.ProcessedCount = 0;
  Status_.LastMessage.clear();
  Status_.LastErrCode = 0;
  Status_.LastFullErrCode = 0;
  const auto refuse = [this](int32_t number, const std::string& detail = "") {
    ReportMessage(number, detail);
    return 0;
  };
  if (names.empty()) return refuse(msg::kNothingToEdit);
  if (ZipFileName_.empty()) return refuse(msg::kNoZipFileName);
  if (ArchiveHeldElsewhere(ZipFileName_)) {
    ReportException(EZipUpdater(msg::kArchiveBusy, ZipFileName_));
    return 0;
  }
  bool loadedHere = false;
  if (!ZipPackLoaded()) {
    LoadZipPack();
    if (!ZipPackLoaded()) return 0;  // LoadZipPack has said why
    loadedHere = true;
  }
  Status_.InOperation = true;
  Status_.CancelRequested = false;
  const auto endOfOperation = qScopeGuard([this, loadedHere] {
    if (loadedHere) UnloadZipPack();
    Status_.CancelRequested = false;
    Status_.InOperation = false;
  });
  // An older library lacks the entry point: nothing is done, and the
  // message says why.
  if (!ZipPackSession::CanEdit()) return refuse(msg::kNoEditEntry);
  CallLibrary(msg::kEditFailed, [&] { ZipPackSession(*this, Status_).RunEdit(operation, names, newNames); });
  if (Status_.ProcessedCount > 0) List();
  return Status_.ProcessedCount;
}

}  // namespace fretfile
