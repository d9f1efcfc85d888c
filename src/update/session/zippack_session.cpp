#include "update/session/zippack_session.h"

#include <QScopeGuard>
#include <algorithm>
#include <vector>

#include "platform/posix/app_paths.h"
#include "platform/posix/file_attributes.h"
#include "platform/posix/library_loader.h"
#include "update/component/updater_messages.h"
#include "update/component/zip_updater.h"
#include "update/session/edit_block.h"
#include "update/session/exec_block.h"
#include "update/zippack_abi.h"

namespace fretfile {
namespace {

static_assert(int32_t{kProgressNewFile} == zippack::kProgressNewFile &&
                  int32_t{kProgressUpdate} == zippack::kProgressUpdate &&
                  int32_t{kProgressEndOfBatch} == zippack::kProgressEndOfBatch &&
                  int32_t{kProgressTotalFiles} == zippack::kProgressTotalFiles &&
                  int32_t{kProgressTotalSize} == zippack::kProgressTotalSize,
              "OnProgress hands on the library's progress kinds as they are");

struct ZipPackLibrary {
  platform::LibraryHandle handle = nullptr;
  zippack::ZipPackExecFunction exec = nullptr;
  zippack::GetZipPackVersionFunction version = nullptr;
  zippack::ZipPackEditFunction edit = nullptr;  // none in libraries before 170
};

ZipPackLibrary& Library() {
  static ZipPackLibrary library;
  return library;
}

// The sessions whose library call runs now. A record naming any other
// caller is not ours to answer.
std::vector<ZipPackSession*>& Active() {
  static std::vector<ZipPackSession*> active;
  return active;
}

int32_t ZipPackCallback(zippack::ZipCallbackRec* record) {
  if (record == nullptr) return 1;
  auto* caller = static_cast<ZipPackSession*>(record->Caller);
  if (std::find(Active().begin(), Active().end(), caller) == Active().end()) return 1;
  return caller->Answer(*record);
}

}  // namespace

void ZipPackSession::Load(TZipUpdater& component) {
  ZipPackLibrary& library = Library();
  if (library.handle != nullptr) return;
  // The library beside the program first (the one it was built with), then
  // the folder the settings name, then the system's own search.
  const std::string file = platform::LibraryFileName("ZipPack");
  const std::string& folder = component.DLLDirectory();
  std::string path = file;
  if (platform::IsFile(platform::ApplicationDir() + file)) {
    path = platform::ApplicationDir() + file;
  } else if (!folder.empty() && platform::IsFile(folder + "/" + file)) {
    path = folder + "/" + file;
  }
  std::string reason;
  platform::LibraryHandle handle = platform::OpenLibrary(path, &reason);
  // Released again on every way out unless it turns out usable (a message
  // handler may throw).
  const auto release = qScopeGuard([&handle] { platform::CloseLibrary(handle); });
  if (handle == nullptr) return component.ReportMessage(msg::kLibraryNotLoaded, reason);
  if (component.Trace) component.ReportMessage(msg::kLibraryLoaded, path);
  const auto exec =
      reinterpret_cast<zippack::ZipPackExecFunction>(platform::LibrarySymbol(handle, zippack::kExecEntryPoint));
  const auto version = reinterpret_cast<zippack::GetZipPackVersionFunction>(
      platform::LibrarySymbol(handle, zippack::kVersionEntryPoint));
  if (exec == nullptr) component.ReportMessage(msg::kNoExecEntry, "");
  if (version == nullptr) component.ReportMessage(msg::kNoVersionEntry, "");
  if (exec == nullptr || version == nullptr) return;
  const auto edit =
      reinterpret_cast<zippack::ZipPackEditFunction>(platform::LibrarySymbol(handle, zippack::kEditEntryPoint));
  library = {handle, exec, version, edit};
  handle = nullptr;
}

void ZipPackSession::Unload() {
  ZipPackLibrary& library = Library();
  platform::CloseLibrary(library.handle);
  library = {};
}

bool ZipPackSession::Loaded() { return Library().handle != nullptr; }

int32_t ZipPackSession::Version(TZipUpdater& component) {
  const bool loadHere = !Loaded();
  if (loadHere) Load(component);
  if (!Loaded()) return 0;
  const int32_t version = Library().version();
  if (loadHere) Unload();
  return version;
}

bool ZipPackSession::CanEdit() { return Library().edit != nullptr; }

void ZipPackSession::Run(const std::string& target, int32_t version) {
  ExecBlock block(component_, target, version, this, &ZipPackCallback);
  Call(Library().exec, block.Address());
}

void ZipPackSession::RunEdit(int32_t operation, const std::vector<std::string>& names,
                             const std::vector<std::string>& newNames) {
  EditBlock block(component_, static_cast<zippack::EditOperation>(operation), names, newNames, this,
                  &ZipPackCallback);
  Call(Library().edit, block.Address());
}

void ZipPackSession::Call(int32_t (*entryPoint)(void*), void* block) {
  Active().push_back(this);
  const auto inactive = qScopeGuard([this] { std::erase(Active(), this); });
  CallbackError_ = nullptr;
  status_.ProcessedCount = entryPoint(block);
  if (CallbackError_) {
    std::exception_ptr error = CallbackError_;
    CallbackError_ = nullptr;
    std::rethrow_exception(error);
  }
}

}  // namespace fretfile
