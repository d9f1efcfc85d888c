// The indexes after a fretfile-cli command changed an archive (add, delete,
// rename): an archive in a collection folder has its lines in kest.idx and
// its songs in kest.lyrics brought up to date (index/index_follow.h),
// unless the command was given --no-index. A command uses it in two steps:
//
//   const cli::IndexFollowing following(args);   // takes --no-index out
//   ... change the archive ...
//   if (changed) following.AfterChange("delete", archive);
//
// A failure of the indexes is printed on standard error and does not change
// the command's exit code: the archive's change stands, and the next
// "Rebuild Index" (or fretfile-cli rebuild) brings the indexes up to date.
#pragma once

#include <string>
#include <vector>

namespace cli {

inline constexpr const char* kNoIndexOption = "--no-index";

class IndexFollowing {
 public:
  // Removes every "--no-index" before a "--" from args.
  explicit IndexFollowing(std::vector<std::string>& args);

  bool Enabled() const { return enabled_; }

  // archivePath as the command line gave it; `command` names the command in
  // the error text. True when the indexes are up to date (or were not to
  // be touched).
  bool AfterChange(const char* command, const std::string& archivePath) const;

 private:
  bool enabled_ = true;
};

}  // namespace cli
