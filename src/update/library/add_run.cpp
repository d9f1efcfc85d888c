// One Add, as zippack.cpp's essay tells it: the steps are cited there by
// number. The rewrite of the archive itself is archive_rewrite's; what is
// an Add's own is here: the files and their entry names, which entries they
// replace, update and freshen, passwords and comments, the new entries'
// writing (entry_writer) and Move.
#include "update/library/add_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/dos_time.h"
#include "archive/folder_separators.h"
#include "update/library/archive_rewrite.h"
#include "update/library/entry_writer.h"
#include "update/library/source_files.h"

namespace zippack {
namespace {

constexpr uint32_t kNoEntry = 0xFFFFFFFF;

struct Addition {
  SourceFile file;
  std::string name;
  uint32_t replaces = kNoEntry;  // the existing entry whose place it takes
  uint32_t oldDosDateTime = 0;
  uint32_t oldCrc = 0;
  uint64_t oldSize = 0;
  std::string oldComment;
  std::optional<std::string> password;
  std::string comment;
  bool skipped = false;
  bool written = false;
  std::string central;
  uint32_t dosDateTime = 0;
};

bool EndsWithIgnoringCase(const std::string& text, const std::string& suffix) {
  if (suffix.size() > text.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[text.size() - suffix.size() + i])) !=
        std::tolower(static_cast<unsigned char>(suffix[i]))) {
      return false;
    }
  }
  return true;
}

// The permissions a new file gets from this process's umask, read without
// changing it (umask() would, for every thread).
mode_t NewFileMode() {
  mode_t mask = 022;
  if (FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned value = 0;
    while (std::fgets(line, sizeof line, status) != nullptr) {
      if (std::sscanf(line, "Umask: %o", &value) == 1) {
        mask = static_cast<mode_t>(value);
        break;
      }
    }
    std::fclose(status);
  }
  return 0666 & ~mask;
}

class AddRun : public RewriteContent {
 public:
  AddRun(const AddRequest& request, Reporter& reporter)
      : request_(request), reporter_(reporter), rewrite_(request.archive, request.tempDir, reporter) {}

  int32_t Run() {
    const int32_t count = Prepare() ? Store() : 0;
    if (totalsReported_) reporter_.EndOfBatch();
    return count;
  }

 private:
  // Steps 2 to 7: false when there is nothing to store.
  bool Prepare() {
    if (!rewrite_.Open(true)) return false;
    FileIdentity identity;
    if (rewrite_.exists()) identity = {rewrite_.status().st_dev, rewrite_.status().st_ino, true};
    std::vector<SourceFile> files = ExpandSources(request_, reporter_, identity);
    if (reporter_.Cancelled()) return false;
    NameAdditions(std::move(files));
    if (reporter_.Cancelled()) return false;
    if (!ReadArchive()) return false;
    Decide();
    if (reporter_.Cancelled()) return false;
    AskPasswordsAndComments();
    if (reporter_.Cancelled()) return false;
    if (toWrite_ == 0) {
      // After an error (a file not found, say) that error is what the
      // caller keeps as the last word, not this notice.
      if (!reporter_.ErrorReported()) reporter_.Message(kInformation, "nothing to add to " + request_.archive);
      return false;
    }
    return true;
  }

  void NameAdditions(std::vector<SourceFile> files) {
    for (SourceFile& file : files) {
      Addition addition;
      addition.name = file.entryName;
      if (const auto answer = reporter_.AskEntryName(file.entryName)) {
        std::string name = archive::WithSlashes(*answer);
        if (file.isFolder && !name.empty() && name.back() != '/') name += '/';
        if (!IsAcceptableEntryName(name)) {
          reporter_.Message(kInvalidEntryName, *answer);
          continue;
        }
        addition.name = name;
      }
      if (reporter_.Cancelled()) return;
      const auto [at, fresh] = byName_.emplace(archive::WithSlashes(addition.name), additions_.size());
      if (!fresh) {
        reporter_.Message(kDuplicateEntryName, addition.name, file.path);
        continue;
      }
      addition.file = std::move(file);
      additions_.push_back(std::move(addition));
    }
  }

  bool ReadArchive() {
    const auto visit = [&](size_t index, const CentralRecord& record) {
      const auto found = byName_.find(archive::WithSlashes(record.name));
      if (found == byName_.end()) return;
      Addition& addition = additions_[found->second];
      // A name the archive holds twice: the first in its directory is the
      // one replaced; the other stays as it is.
      if (addition.replaces != kNoEntry) return;
      addition.replaces = static_cast<uint32_t>(index);
      addition.oldDosDateTime = uint32_t{record.header.date} << 16 | record.header.time;
      addition.oldCrc = record.header.crc;
      addition.oldSize = record.header.uncompressedSize;
      addition.oldComment = std::string(record.comment);
    };
    return rewrite_.Read(visit);
  }

  // Whether the file is newer than the entry it would replace.
  bool IsNewer(const Addition& addition) const {
    if (addition.file.isFolder) return false;
    const uint32_t fileTime = archive::UnixToDosDateTime(addition.file.modified);
    if (fileTime != addition.oldDosDateTime) return fileTime > addition.oldDosDateTime;
    uint32_t crc = 0;
    uint64_t size = 0;
    // Unreadable now: taken as changed, and its writing reports why.
    return !CrcOfFile(addition.file.path, crc, size) || crc != addition.oldCrc || size != addition.oldSize;
  }

  void Decide() {
    for (Addition& addition : additions_) {
      const bool inArchive = addition.replaces != kNoEntry;
      if (request_.freshen && !inArchive) {
        addition.skipped = true;
      } else if ((request_.update || request_.freshen) && inArchive && !IsNewer(addition)) {
        addition.skipped = true;
        reporter_.Verbose("not newer, skipped: " + addition.name);
      }
      if (reporter_.Cancelled()) return;
    }
  }

  void AskPasswordsAndComments() {
    std::optional<std::string> blockAnswer;
    std::unordered_map<size_t, std::string> lineAnswers;
    for (Addition& addition : additions_) {
      if (addition.skipped) continue;
      const SourceLine& line = request_.sources[addition.file.source];
      if (line.encryption != Encryption::None && !addition.file.isFolder) {
        addition.password = line.password;
        if (!addition.password) {
          // Asked once for the block's password, once for each line's own.
          if (line.encryption == Encryption::BlockPassword) {
            if (!blockAnswer) blockAnswer = reporter_.AskPassword(addition.name);
            addition.password = *blockAnswer;
          } else {
            const auto [at, fresh] = lineAnswers.emplace(addition.file.source, std::string());
            if (fresh) at->second = reporter_.AskPassword(addition.name);
            addition.password = at->second;
          }
          if (reporter_.Cancelled()) return;
        }
        if (addition.password->empty()) {
          addition.skipped = true;
          reporter_.Message(kNoPassword, addition.name);
          continue;
        }
      }
      addition.comment = reporter_.AskComment(addition.name, addition.oldComment).value_or(addition.oldComment);
      if (reporter_.Cancelled()) return;
      ++toWrite_;
    }
  }

  // Steps 8 to 10: the number of files stored.
  int32_t Store() {
    uint64_t totalSize = 0;
    for (size_t i = 0; i < additions_.size(); ++i) {
      if (additions_[i].skipped) continue;
      totalSize += additions_[i].file.size;
      if (additions_[i].replaces != kNoEntry) rewrite_.Replace(additions_[i].replaces, static_cast<uint32_t>(i));
    }
    totalsReported_ = true;
    if (!reporter_.TotalFiles(toWrite_) || !reporter_.TotalSize(totalSize)) return 0;
    // Nothing written (each file has said why it was not stored): the
    // archive is not touched.
    if (rewrite_.Write(*this, request_.comment) != ArchiveRewrite::Outcome::Written) return 0;
    const auto modified = request_.latestTime ? NewestEntryTime() : std::nullopt;
    if (!rewrite_.Publish(NewFileMode(), modified)) return 0;
    if (request_.move) DeleteMovedFiles();
    return written_;
  }

  // What the rewrite asks of an Add (archive_rewrite.h).
  bool WriteReplacement(TempArchive& out, uint32_t replacement, bool& written) override {
    Addition& addition = additions_[replacement];
    if (!WriteAddition(out, addition)) return false;
    written = addition.written;
    return true;
  }

  std::string ReplacementCentral(uint32_t replacement) override { return additions_[replacement].central; }

  bool WriteNewEntries(TempArchive& out) override {
    for (Addition& addition : additions_) {
      if (addition.skipped || addition.replaces != kNoEntry) continue;
      if (!WriteAddition(out, addition)) return false;
    }
    return true;
  }

  bool WriteNewCentrals(TempArchive& out, uint64_t& count) override {
    for (const Addition& addition : additions_) {
      if (!addition.written || addition.replaces != kNoEntry) continue;
      if (out.Write(addition.central) != 0) return false;
      ++count;
    }
    return true;
  }

  bool Changed() const override { return written_ > 0; }

  // Reports why the new archive could not be written (nothing when the
  // caller asked to stop); always false.
  bool WriteFailed(const TempArchive& out) {
    if (out.error() != ECANCELED && !reporter_.Cancelled()) {
      reporter_.Message(kWriteFailed, request_.archive, std::strerror(out.error() != 0 ? out.error() : EIO));
    }
    return false;
  }

  // Writes one addition at the archive's position; false stops the run
  // (cancelled, or the archive cannot be written). A file that cannot be
  // read is reported and left out, which is not a stop.
  bool WriteAddition(TempArchive& out, Addition& addition) {
    if (!reporter_.NewFile(addition.name, addition.file.size) ||
        !reporter_.Verbose((addition.replaces == kNoEntry ? "adding: " : "updating: ") + addition.name)) {
      return false;
    }
    EntryPlan plan;
    plan.file = &addition.file;
    plan.name = addition.name;
    plan.comment = addition.comment;
    plan.password = addition.password;
    plan.forceDos = request_.forceDos;
    plan.store = request_.level == 0 || addition.file.isFolder;
    for (const std::string& suffix : request_.storeSuffixes) plan.store = plan.store || EndsWithIgnoringCase(addition.name, suffix);
    std::string problem;
    // The writer works on the rewrite's temporary file, which exists from
    // the rewrite's first call on.
    if (!writer_) writer_.emplace(out, reporter_, request_.level);
    switch (writer_->Write(plan, addition.central, addition.dosDateTime, problem)) {
      case EntryOutcome::Written:
        addition.written = true;
        ++written_;
        return true;
      case EntryOutcome::SourceFailed:
        return reporter_.Message(kFileUnreadable, addition.file.path, problem);
      case EntryOutcome::OutputFailed:
        if (out.error() != 0) return WriteFailed(out);
        reporter_.Message(kInternalError, request_.archive, problem);
        return false;
      case EntryOutcome::Cancelled:
        return false;
    }
    return false;
  }

  // The newest entry time of the new archive, for LatestTime.
  std::optional<std::time_t> NewestEntryTime() {
    uint32_t newest = 0;
    for (const ExistingEntry& entry : rewrite_.entries()) {
      if (entry.fate == EntryFate::Kept) newest = std::max(newest, entry.dosDateTime);
    }
    for (const Addition& addition : additions_) {
      if (addition.written) newest = std::max(newest, addition.dosDateTime);
    }
    return archive::DosDateTimeToUnix(newest);
  }

  void DeleteMovedFiles() {
    // Files first, then folders from the deepest, each only if empty now.
    for (const Addition& addition : additions_) {
      if (addition.written && !addition.file.isFolder && ::unlink(addition.file.path.c_str()) != 0) {
        reporter_.Message(kMoveDeleteFailed, addition.file.path, std::strerror(errno));
      }
    }
    for (auto it = additions_.rbegin(); it != additions_.rend(); ++it) {
      if (it->written && it->file.isFolder) ::rmdir(it->file.path.c_str());
    }
  }

  const AddRequest& request_;
  Reporter& reporter_;
  ArchiveRewrite rewrite_;
  std::optional<EntryWriter> writer_;
  std::vector<Addition> additions_;
  // The additions by name, "\" read as "/".
  std::unordered_map<std::string, size_t> byName_;
  uint32_t toWrite_ = 0;
  int32_t written_ = 0;
  bool totalsReported_ = false;
};

}  // namespace

int32_t RunAdd(const AddRequest& request, Reporter& reporter) { return AddRun(request, reporter).Run(); }

}  // namespace zippack

