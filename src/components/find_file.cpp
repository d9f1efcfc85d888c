#include "components/find_file.h"

#include "platform/posix/file_attributes.h"
#include "platform/posix/find_files.h"
#include "platform/posix/paths.h"
#include "platform/ui_contracts/message_pump.h"

namespace fretfile {
namespace {

constexpr uint32_t kEveryAttribute = 63;

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

}  // namespace

void TFindFile::Execute() {
  attributeMask_ = Attributes_.Mask();
  Files_.clear();
  totalSize_ = 0;
  directoryCount_ = 0;
  fileCount_ = 0;
  if (BeforeExecute) BeforeExecute(*this);
  if (!Directory_.empty()) {
    if (Recurse_) {
      ScanTree(Directory_);
    } else {
      ScanDirectory(Directory_);
    }
  }
  if (AfterExecute) AfterExecute(*this);
}

void TFindFile::ScanDirectory(std::string dir) {
  dir = platform::WithTrailingSeparator(std::move(dir));
  if (OnNewPath) OnNewPath(*this, dir, abort_);
  if (abort_) return;
  platform::DirectoryFinder finder;
  if (!finder.First(dir, Filter_, attributeMask_)) return;
  platform::FoundEntry entry;
  while (finder.Next(entry)) {
    if (IsDotEntry(entry.name)) continue;
    platform::ProcessMessages();
    Files_.push_back(dir + entry.name);
    if (entry.attributes == platform::kAttrDirectory) {
      ++directoryCount_;
    } else {
      ++fileCount_;
    }
    totalSize_ += static_cast<uint32_t>(entry.size);
  }
}

void TFindFile::ScanTree(std::string root) {
  pending_.clear();
  queued_.clear();
  root = platform::WithTrailingSeparator(std::move(root));
  platform::ProcessMessages();
  pending_.push_back(root);
  queued_.insert(platform::DirectoryIdentity(root));
  while (!pending_.empty()) {
    CollectSubdirectories(pending_.front());
    ScanDirectory(pending_.front());
    pending_.pop_front();
    if (abort_) break;
  }
  pending_.clear();
  queued_.clear();
}

void TFindFile::CollectSubdirectories(std::string dir) {
  dir = platform::WithTrailingSeparator(std::move(dir));
  platform::DirectoryFinder finder;
  if (!finder.First(dir, "*.*", kEveryAttribute)) return;
  platform::FoundEntry entry;
  while (finder.Next(entry)) {
    if ((entry.attributes & platform::kAttrDirectory) == 0 || IsDotEntry(entry.name)) continue;
    const std::string subdirectory = dir + entry.name;
    // A symbolic link that leads back to a directory already queued would
    // make the walk endless (or exponential); each directory is listed once.
    if (!queued_.insert(platform::DirectoryIdentity(subdirectory)).second) continue;
    platform::ProcessMessages();
    pending_.push_back(subdirectory);
  }
}

}  // namespace fretfile
