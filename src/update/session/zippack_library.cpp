// The compression library: loaded at run time, process-wide, shared by
// every component. A library is usable only with both entry points; one
// lacking either is released again at once, so nothing ever calls through
// a missing entry point.
#include <filesystem>
#include <system_error>

#include "platform/app_paths.h"
#include "platform/library_loader.h"
#include "update/component/updater_messages.h"
#include "update/component/zip_updater.h"

namespace fretfile {
namespace {

struct ZipPackLibrary {
  platform::LibraryHandle handle = nullptr;
  zippack::ZipPackExecFunction exec = nullptr;
  zippack::GetZipPackVersionFunction version = nullptr;
};

ZipPackLibrary& Library() {
  static ZipPackLibrary library;
  return library;
}

bool IsFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

}  // namespace

void TZipUpdater::LoadZipPack() {
  ZipPackLibrary& library = Library();
  if (library.handle != nullptr) return;
  // The library beside the program first (the one it was built with), then
  // the folder the settings name, then the system's own search.
  const std::string file = platform::LibraryFileName("ZipPack");
  std::string path = file;
  if (IsFile(platform::ApplicationDir() + file)) {
    path = platform::ApplicationDir() + file;
  } else if (!DLLDirectory_.empty() && IsFile(DLLDirectory_ + "/" + file)) {
    path = DLLDirectory_ + "/" + file;
  }
  std::string reason;
  // Released again on every way out unless it turns out usable (a message
  // handler may throw).
  struct Loaded {
    platform::LibraryHandle handle;
    ~Loaded() { platform::CloseLibrary(handle); }
  } loaded{platform::OpenLibrary(path, &reason)};
  if (loaded.handle == nullptr) return ReportMessage(msg::kLibraryNotLoaded, reason);
  if (Trace) ReportMessage(msg::kLibraryLoaded, path);
  const auto exec = reinterpret_cast<zippack::ZipPackExecFunction>(
      platform::LibrarySymbol(loaded.handle, zippack::kExecEntryPoint));
  const auto version = reinterpret_cast<zippack::GetZipPackVersionFunction>(
      platform::LibrarySymbol(loaded.handle, zippack::kVersionEntryPoint));
  if (exec == nullptr) ReportMessage(msg::kNoExecEntry, "");
  if (version == nullptr) ReportMessage(msg::kNoVersionEntry, "");
  if (exec == nullptr || version == nullptr) return;
  library = {loaded.handle, exec, version};
  loaded.handle = nullptr;
}

void TZipUpdater::UnloadZipPack() {
  ZipPackLibrary& library = Library();
  platform::CloseLibrary(library.handle);
  library = {};
}

bool TZipUpdater::ZipPackLoaded() { return Library().handle != nullptr; }

int32_t TZipUpdater::LibraryVersion() {
  const bool loadHere = !ZipPackLoaded();
  if (loadHere) LoadZipPack();
  if (!ZipPackLoaded()) return 0;
  const int32_t version = Library().version();
  if (loadHere) UnloadZipPack();
  return version;
}

int32_t TZipUpdater::ExecZipPackWith(void* block) { return Library().exec(block); }

}  // namespace fretfile
