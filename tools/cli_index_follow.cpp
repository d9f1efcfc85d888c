#include "cli_index_follow.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>

#include "index/index_follow.h"
#include "platform/posix/paths.h"

namespace cli {

IndexFollowing::IndexFollowing(std::vector<std::string>& args) {
  for (auto it = args.begin(); it != args.end() && *it != "--";) {
    if (*it == kNoIndexOption) {
      enabled_ = false;
      it = args.erase(it);
    } else {
      ++it;
    }
  }
}

bool IndexFollowing::AfterChange(const char* command, const std::string& archivePath) const {
  if (!enabled_) return true;
  try {
    // The collection is the archive's folder, named as the indexes name
    // their archives: absolute, without "." or "..".
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(archivePath, error);
    if (error) throw std::filesystem::filesystem_error("Cannot find the archive's folder", archivePath, error);
    const std::string archive = absolute.lexically_normal().string();
    fretfile::UpdateIndexOfArchive(platform::WithTrailingSeparator(platform::FolderOf(archive)), archive);
    return true;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "fretfile-cli %s: the index was not updated: %s\n", command, error.what());
    return false;
  }
}

}  // namespace cli
