// Deleting and renaming entries: ZipPackEdit.
//
// How a delete or a rename proceeds
//
//   1. The block is checked and read into owned values (edit_request).
//   2. The archive is opened and locked for the whole run, as for an Add
//      (archive_rewrite's Open); a missing archive is refused like an
//      unreadable one, as are a read-only one and one in use.
//   3. Temporary files of killed runs are removed.
//   4. A rename's new name must be acceptable (IsAcceptableEntryName: not
//      empty, relative, no "..", no NUL, at most 65,535 bytes); "\" is
//      written "/". A folder's new name ends with "/" (it is added), a
//      file's does not.
//   5. The directory is read as hostile input (Read), and the names are
//      looked up as an Add looks them up: case-sensitively, "/" and "\"
//      the same; of a name the archive holds twice, the first in the
//      directory is the one deleted or renamed. A name the archive does not
//      hold is reported, and the others still go. A rename whose new name
//      another entry has is refused.
//   6. Nothing found, or a rename refused: the archive is not touched.
//   7. The new archive is written (Write): the entries to delete are left
//      out of the file and the directory; the renamed entry's local header
//      and central record get the new name (renamed_entry: the Unicode path
//      blocks go, bit 11 says whether the name is UTF-8) and new offsets;
//      every other byte is copied as it is, the bytes in front of the first
//      entry, the archive comment and the renamed entry's data and data
//      descriptor included.
//   8. It is flushed and renamed over the archive (Publish), and the old
//      file's blocks are freed in the background.
//
// What it guarantees
//
//   - What an Add guarantees (zippack.cpp): the archive changes in one
//     rename or not at all, whatever stops the run; every entry not deleted
//     or renamed keeps every byte.
//   - Deleting every entry leaves a valid empty archive (its end record,
//     and the comment and the bytes in front of the entries).
#include "update/library/edit_run.h"

#include <string>
#include <unordered_map>
#include <vector>

#include "archive/folder_separators.h"
#include "update/library/archive_rewrite.h"
#include "update/library/source_files.h"

namespace zippack {
namespace {

constexpr uint32_t kNotFound = 0xFFFFFFFF;
constexpr uint32_t kGivenTwice = 0xFFFFFFFE;

class EditRun {
 public:
  EditRun(const EditRequest& request, Reporter& reporter)
      : request_(request), reporter_(reporter), rewrite_(request.archive, request.tempDir, reporter) {}

  int32_t Run() {
    const int32_t count = Prepare() ? Store() : 0;
    if (totalsReported_) reporter_.EndOfBatch();
    return count;
  }

 private:
  bool renaming() const { return request_.operation == kEditRename; }

  // Steps 2 to 6: false when nothing is to change.
  bool Prepare() {
    if (!rewrite_.Open(false)) return false;
    if (renaming()) {
      newName_ = archive::WithSlashes(request_.newNames.front());
      // A folder's entry stays a folder's (its name ends with "/"), and a
      // file's a file's.
      const std::string& oldName = request_.names.front();
      const bool folder = !oldName.empty() && (oldName.back() == '/' || oldName.back() == '\\');
      if (folder && !newName_.empty() && newName_.back() != '/') newName_ += '/';
      if (!IsAcceptableEntryName(newName_) || (!folder && newName_.back() == '/')) {
        reporter_.Message(kInvalidNewName, request_.newNames.front());
        return false;
      }
    }
    for (size_t i = 0; i < request_.names.size(); ++i) {
      // A name given twice: its first stands for both.
      found_.push_back(byName_.emplace(archive::WithSlashes(request_.names[i]), i).second ? kNotFound : kGivenTwice);
    }
    const std::string newKey = newName_;
    const auto visit = [&](size_t index, const CentralRecord& record) {
      const std::string key = archive::WithSlashes(std::string(record.name));
      if (renaming() && key == newKey) holdersOfNewName_.push_back(static_cast<uint32_t>(index));
      const auto at = byName_.find(key);
      if (at == byName_.end() || found_[at->second] != kNotFound) return;
      found_[at->second] = static_cast<uint32_t>(index);
    };
    if (!rewrite_.Read(visit)) return false;
    for (size_t i = 0; i < found_.size(); ++i) {
      if (found_[i] == kNotFound) reporter_.Message(kEntryNotFound, request_.names[i]);
      if (reporter_.Cancelled()) return false;
    }
    // The renamed entry itself may hold the new name already (written with
    // "\", say); any other entry of that name refuses the rename.
    if (renaming() && found_.front() != kNotFound) {
      for (const uint32_t holder : holdersOfNewName_) {
        if (holder == found_.front()) continue;
        reporter_.Message(kEntryNameTaken, newName_, request_.names.front());
        return false;
      }
    }
    for (size_t i = 0; i < found_.size(); ++i) {
      if (found_[i] == kNotFound || found_[i] == kGivenTwice) continue;
      if (renaming()) {
        rewrite_.Rename(found_[i], newName_);
      } else {
        rewrite_.Drop(found_[i]);
      }
      changing_.push_back(i);
    }
    if (changing_.empty()) {
      if (!reporter_.ErrorReported()) reporter_.Message(kInformation, "nothing changed in " + request_.archive);
      return false;
    }
    return true;
  }

  // Steps 7 and 8: the number of entries changed.
  int32_t Store() {
    totalsReported_ = true;
    if (!reporter_.TotalFiles(changing_.size()) || !reporter_.TotalSize(0)) return 0;
    for (const size_t i : changing_) {
      const std::string& name = request_.names[i];
      if (!reporter_.NewFile(name, 0)) return 0;
      if (!reporter_.Verbose(renaming() ? "renaming: " + name + " to " + newName_ : "deleting: " + name)) return 0;
    }
    RewriteContent nothingNew;
    if (rewrite_.Write(nothingNew, std::nullopt) != ArchiveRewrite::Outcome::Written) return 0;
    if (!rewrite_.Publish(0, std::nullopt)) return 0;
    return static_cast<int32_t>(changing_.size());
  }

  const EditRequest& request_;
  Reporter& reporter_;
  ArchiveRewrite rewrite_;
  std::string newName_;
  // The request's names by name, "\" read as "/", and the entry each found.
  std::unordered_map<std::string, size_t> byName_;
  std::vector<uint32_t> found_;
  std::vector<uint32_t> holdersOfNewName_;  // a rename's: the entries that have the new name
  std::vector<size_t> changing_;            // the request's names that change an entry
  bool totalsReported_ = false;
};

}  // namespace

int32_t RunEdit(const EditRequest& request, Reporter& reporter) { return EditRun(request, reporter).Run(); }

}  // namespace zippack
