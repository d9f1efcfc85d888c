#include "archive/target_prep.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/posix/file_attributes.h"
#include "platform/posix/paths.h"

namespace archive {
namespace {

// Makes every folder on the way to `folder`, as far as possible. A folder
// that can be neither found nor made ends the walk; what comes of it shows
// when the file is created.
void MakeFolders(const std::string& folder) {
  if (folder.empty()) return;
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
}

int CreateOutput(const std::string& path, platform::SharedFile& output) {
  return output.Open(path, platform::FileAccess::Write, platform::FileShare::DenyAll,
                     platform::FileCreation::CreateOrTruncate);
}

}  // namespace

TargetOutcome PrepareTarget(const std::string& targetName, uint16_t attributes, platform::SharedFile& output,
                            std::string& path) {
  path = targetName;
  if ((attributes & platform::kAttrDirectory) != 0) path = platform::WithTrailingSeparator(path);
  // A path that does not fit the 260-character buffer is refused before
  // anything is made, rather than cut short into some other name.
  if (path.empty() || path.size() > kMaxTargetPath) return TargetOutcome::Failed;

  if (path.back() == '/') {
    MakeFolders(platform::FolderOf(path));
    return TargetOutcome::Directory;
  }
  int error = CreateOutput(path, output);
  if (error == ENOENT) {
    MakeFolders(platform::FolderOf(path));
    error = CreateOutput(path, output);
  }
  return error == 0 ? TargetOutcome::File : TargetOutcome::Failed;
}

}  // namespace archive
