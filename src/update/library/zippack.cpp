// libzippack: adds files to a zip archive for the archive-update component.
//
// The component fills one parameter block (update/zippack_abi.h) and calls
// ZipPackExec; everything after that goes through the block's call-back:
// progress, messages, and the questions for entry names, passwords and
// comments. The result is the number of files added or replaced; 0 means
// nothing was stored and the archive is exactly as it was (-1: the block
// itself was unusable, and nobody was called back).
//
// How an Add proceeds
//
//   1. The block is checked and read into owned values (add_request).
//   2. The archive is opened and locked with an exclusive flock for the
//      whole run, the way the program emulates Windows sharing; a read-only
//      archive, one in use, or anything but a regular file is refused. No
//      file of that name: the Add makes a new archive.
//   3. Temporary files that earlier, killed runs left beside the archive are
//      removed (only those nobody holds locked).
//   4. The file specifications become a list of files with entry names
//      (source_files), and the caller may rename each entry (action 7). Names
//      are compared case-sensitively with "/" and "\" taken as the same; a
//      name given twice keeps its first file.
//   5. The archive's directory is read as hostile input (existing_archive):
//      every check that fails refuses the archive, which is then left alone.
//      Each new file whose name an entry has takes that entry's place.
//   6. Update and freshen drop the files that are not newer than their
//      entries. Times are compared at the format's 2-second resolution; a
//      file whose time equals its entry's but whose content differs (its
//      CRC-32 or size) counts as newer, so a second save within two seconds
//      is not lost.
//   7. Files to encrypt without a password get one from the caller
//      (action 8, once per specification, or once for the block's); no
//      answer skips them. Each file's comment is asked for (action 12).
//      Nothing left to do: the archive is not touched.
//   8. The new archive is written into a temporary file (temp_archive) in
//      the archive's folder, or in TempDir when that is on the same file
//      system: the bytes in front of the first entry, then the entries in
//      the order of the file, where kept entries are copied byte for byte in
//      runs as long as possible (copy_file_range), and each replaced entry's
//      bytes give way to its new entry (entry_writer); then the new entries,
//      the central directory (the old records in their order, with new
//      offsets, the replaced ones rewritten, the new ones behind), zip64 end
//      records when counts, sizes or offsets need them, the end record and
//      the comment. Offsets count from the start of the file, also behind
//      a stub whose archive counted them from its own start.
//   9. The temporary file gets the archive's permissions and owner (and,
//      with LatestTime, its newest entry's time), is flushed to disk, and is
//      renamed over the archive, after a last check that the archive's name
//      still names the file we locked; the folder is flushed too. A new
//      archive is renamed into place only if no file took its name meanwhile.
//  10. With Move, the added files are deleted, only now.
//
// What it guarantees
//
//   - The archive changes in one rename or not at all. A failure, a cancel
//     from a call-back, a full disk or an unreadable source leaves it byte for
//     byte as it was, and removes the temporary file; a killed process leaves
//     a temporary file that the next Add into the archive removes.
//   - An entry not replaced keeps every byte of its local header, name,
//     extra field, data and data descriptor, whatever its method; so do the
//     bytes in front of the first entry.
//   - A file that cannot be read is reported and skipped; the entry it would
//     have replaced stays.
//   - Memory does not grow with the archive's bytes: a fixed set of buffers
//     (a few MiB, zlib's included) and 36 bytes per existing entry.
//
// Flags of the block with no meaning here, accepted and ignored: Volume (a
// disk label), ArchiveFilesOnly and ResetArchiveBit (the MS-DOS archive bit),
// Quiet, Grow. ForceDos writes entries as made on MS-DOS (host 0, attribute
// byte only); the names stay as they are.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/dos_time.h"
#include "archive/folder_separators.h"
#include "archive/zip_format.h"
#include "update/library/add_request.h"
#include "update/library/archive_lock.h"
#include "update/library/entry_writer.h"
#include "update/library/existing_archive.h"
#include "update/library/reporter.h"
#include "update/library/source_files.h"
#include "update/library/temp_archive.h"
#include "update/zippack_abi.h"

#define ZIPPACK_EXPORT extern "C" __attribute__((visibility("default")))

namespace zippack {
namespace zip = archive::zip;
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

// The named check on an entry name the caller gave: a relative path that
// stays inside its folder, that fits the format.
bool IsAcceptableEntryName(const std::string& name) {
  if (name.empty() || name.size() > 0xFFFF || name.front() == '/' || name.find('\0') != std::string::npos) return false;
  std::string inner = name;
  if (inner.back() == '/') inner.pop_back();
  return !inner.empty() && NormalisedEntryPath(inner) == inner;
}

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

class AddRun {
 public:
  AddRun(const AddRequest& request, Reporter& reporter) : request_(request), reporter_(reporter) {}

  int32_t Run() {
    const int32_t count = Prepare() ? Store() : 0;
    if (totalsReported_) reporter_.EndOfBatch();
    return count;
  }

 private:
  // Steps 2 to 7: false when there is nothing to store.
  bool Prepare() {
    path_ = request_.archive;
    struct stat st{};
    // A link to the archive: the archive is what it points to.
    if (::lstat(path_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      if (char* real = ::realpath(path_.c_str(), nullptr)) {
        path_ = real;
        std::free(real);
      }
    }
    if (!LockArchive()) return false;
    CleanUpAndChooseTempFolder();

    FileIdentity identity;
    if (exists_) identity = {lock_.status().st_dev, lock_.status().st_ino, true};
    std::vector<SourceFile> files = ExpandSpecs(request_, reporter_, identity);
    if (reporter_.Cancelled()) return false;
    NameAdditions(std::move(files));
    if (reporter_.Cancelled()) return false;
    if (exists_ && !ReadArchive()) return false;
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

  bool LockArchive() {
    switch (lock_.Open(path_)) {
      case LockOutcome::Locked:
        exists_ = true;
        return true;
      case LockOutcome::Missing:
        exists_ = false;
        return true;
      case LockOutcome::ReadOnly:
        reporter_.Message(kArchiveReadOnly, request_.archive);
        return false;
      case LockOutcome::InUse:
        reporter_.Message(kArchiveInUse, request_.archive);
        return false;
      case LockOutcome::NotAFile:
        reporter_.Message(kArchiveUnreadable, request_.archive, "not a regular file");
        return false;
      case LockOutcome::Failed:
        reporter_.Message(kArchiveUnreadable, request_.archive, std::strerror(lock_.error()));
        return false;
    }
    return false;
  }

  void CleanUpAndChooseTempFolder() {
    folder_ = FolderOf(path_);
    tempFolder_ = folder_;
    // TempDir serves only on the archive's own file system, where the
    // finished file can be renamed into place; elsewhere the archive's
    // folder is used, which the rename needs anyway.
    struct stat temp{}, home{};
    if (!request_.tempDir.empty() && ::stat(request_.tempDir.c_str(), &temp) == 0 && S_ISDIR(temp.st_mode) &&
        ::stat(folder_.c_str(), &home) == 0 && temp.st_dev == home.st_dev) {
      tempFolder_ = request_.tempDir;
      while (tempFolder_.size() > 1 && tempFolder_.back() == '/') tempFolder_.pop_back();
    }
    TempArchive::RemoveStale(folder_, NameOf(path_));
    if (tempFolder_ != folder_) TempArchive::RemoveStale(tempFolder_, NameOf(path_));
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
    switch (archive_.Read(lock_.fd(), static_cast<uint64_t>(lock_.status().st_size), visit)) {
      case ExistingArchive::Outcome::Read:
        return true;
      case ExistingArchive::Outcome::Damaged:
        reporter_.Message(kArchiveDamaged, request_.archive, archive_.why());
        return false;
      case ExistingArchive::Outcome::Spanned:
        reporter_.Message(kArchiveSpanned, request_.archive);
        return false;
      case ExistingArchive::Outcome::Unreadable:
        reporter_.Message(kArchiveUnreadable, request_.archive, archive_.why());
        return false;
    }
    return false;
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
    std::unordered_map<size_t, std::string> specAnswers;
    for (Addition& addition : additions_) {
      if (addition.skipped) continue;
      const FileSpecRequest& spec = request_.specs[addition.file.spec];
      if (spec.encryption != Encryption::None && !addition.file.isFolder) {
        addition.password = spec.password;
        if (!addition.password) {
          // Asked once for the block's password, once for each specification's.
          if (spec.encryption == Encryption::BlockPassword) {
            if (!blockAnswer) blockAnswer = reporter_.AskPassword(addition.name);
            addition.password = *blockAnswer;
          } else {
            const auto [at, fresh] = specAnswers.emplace(addition.file.spec, std::string());
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
      if (additions_[i].replaces != kNoEntry) archive_.entries()[additions_[i].replaces].fate = static_cast<uint32_t>(i);
    }
    totalsReported_ = true;
    if (!reporter_.TotalFiles(toWrite_) || !reporter_.TotalSize(totalSize)) return 0;

    TempArchive out;
    if (const int error = out.Create(tempFolder_, NameOf(path_)); error != 0) {
      reporter_.Message(kTempFileFailed, tempFolder_, std::strerror(error));
      return 0;
    }
    if (!WriteArchive(out)) return 0;
    if (written_ == 0) return 0;  // each file has said why it was not stored
    if (!Publish(out)) return 0;
    if (request_.move) DeleteMovedFiles();
    return written_;
  }

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
  bool WriteAddition(TempArchive& out, EntryWriter& writer, Addition& addition) {
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
    switch (writer.Write(plan, addition.central, addition.dosDateTime, problem)) {
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

  bool WriteArchive(TempArchive& out) {
    EntryWriter writer(out, reporter_, request_.level);
    const auto keepAlive = [&] { return reporter_.KeepAlive(); };
    const int fd = lock_.fd();

    if (exists_) {
      if (archive_.prefixEnd() > 0 && out.CopyFrom(fd, 0, archive_.prefixEnd(), keepAlive) != 0) {
        return WriteFailed(out);
      }
      // Kept entries gather into runs of adjacent bytes, each copied at once.
      std::vector<ExistingEntry>& entries = archive_.entries();
      const std::vector<uint32_t>& order = archive_.fileOrder();
      uint64_t runStart = 0;
      uint64_t runEnd = 0;
      const auto copyRun = [&] {
        const bool copied = runEnd == runStart || out.CopyFrom(fd, runStart, runEnd - runStart, keepAlive) == 0;
        runStart = runEnd = 0;
        return copied;
      };
      for (size_t position = 0; position < order.size(); ++position) {
        ExistingEntry& entry = entries[order[position]];
        if (entry.fate != kEntryKept) {
          if (!copyRun()) return WriteFailed(out);
          Addition& addition = additions_[entry.fate];
          entry.newOffset = out.Position();
          if (!WriteAddition(out, writer, addition)) return false;
          if (addition.written) continue;
          entry.fate = kEntryKept;  // its file failed: the entry stays
        }
        if (runEnd != entry.localOffset) {
          if (!copyRun()) return WriteFailed(out);
          runStart = runEnd = entry.localOffset;
        }
        entry.newOffset = out.Position() + (entry.localOffset - runStart);
        runEnd = archive_.RegionEnd(position);
      }
      if (!copyRun()) return WriteFailed(out);
    }
    for (Addition& addition : additions_) {
      if (addition.skipped || addition.replaces != kNoEntry) continue;
      if (!WriteAddition(out, writer, addition)) return false;
    }
    if (written_ == 0) return true;
    return WriteDirectory(out);
  }

  bool WriteDirectory(TempArchive& out) {
    const uint64_t directoryStart = out.Position();
    uint64_t count = 0;
    if (exists_) {
      DirectoryReader reader = archive_.Reread();
      CentralRecord record;
      std::string bytes;
      for (const ExistingEntry& entry : archive_.entries()) {
        if (!ReadsAsBefore(reader, record, entry)) {
          reporter_.Message(kArchiveChanged, request_.archive);
          return false;
        }
        if (entry.fate != kEntryKept) {
          bytes = additions_[entry.fate].central;
        } else {
          bytes.assign(reinterpret_cast<const char*>(record.bytes), record.length);
          if (!zip::RelocateCentralRecord(bytes, entry.newOffset)) {
            reporter_.Message(kArchiveDamaged, request_.archive, "an entry's extra field has no room for zip64");
            return false;
          }
        }
        if (out.Write(bytes) != 0) return WriteFailed(out);
        ++count;
      }
    }
    for (const Addition& addition : additions_) {
      if (!addition.written || addition.replaces != kNoEntry) continue;
      if (out.Write(addition.central) != 0) return WriteFailed(out);
      ++count;
    }
    const uint64_t directorySize = out.Position() - directoryStart;
    if (!WriteEndRecords(out, directoryStart, directorySize, count)) return WriteFailed(out);
    return true;
  }

  // The named check that the directory reads the same the second time (a
  // writer that ignores our lock may have changed it meanwhile).
  bool ReadsAsBefore(DirectoryReader& reader, CentralRecord& record, const ExistingEntry& entry) const {
    return reader.Next(record) == archive::CentralRead::kRecord && record.zip64 != zip::Zip64Outcome::Missing &&
           static_cast<int64_t>(record.header.localHeaderOffset) + archive_.offsetShift() ==
               static_cast<int64_t>(entry.localOffset);
  }

  bool WriteEndRecords(TempArchive& out, uint64_t directoryStart, uint64_t directorySize, uint64_t count) {
    const bool zip64 = count >= zip::kZip64Marker16 || directorySize >= zip::kZip64Marker32 ||
                       directoryStart >= zip::kZip64Marker32;
    if (zip64) {
      const uint64_t zip64At = out.Position();
      zip::Zip64EndRecord record;
      record.recordSize = zip::kZip64EndRecordLength - 12;  // what follows the size field
      record.versionMadeBy = static_cast<uint16_t>(zip::kHostUnix << 8 | 45);
      record.versionNeeded = 45;
      record.entriesOnDisk = record.totalEntries = count;
      record.directorySize = directorySize;
      record.directoryOffset = directoryStart;
      uint8_t bytes[zip::kZip64EndRecordLength];
      zip::WriteZip64EndRecord(record, bytes);
      zip::Zip64Locator locator;
      locator.endRecordOffset = zip64At;
      locator.totalDisks = 1;
      uint8_t locatorBytes[zip::kZip64LocatorLength];
      zip::WriteZip64Locator(locator, locatorBytes);
      if (out.Write(bytes, sizeof bytes) != 0 || out.Write(locatorBytes, sizeof locatorBytes) != 0) return false;
    }
    const std::string comment = (request_.comment ? *request_.comment : archive_.comment()).substr(0, 0xFFFF);
    zip::EndRecord end;
    end.entriesOnDisk = end.totalEntries = static_cast<uint16_t>(std::min<uint64_t>(count, zip::kZip64Marker16));
    end.directorySize = static_cast<uint32_t>(std::min<uint64_t>(directorySize, zip::kZip64Marker32));
    end.directoryOffset = static_cast<uint32_t>(std::min<uint64_t>(directoryStart, zip::kZip64Marker32));
    end.commentLength = static_cast<uint16_t>(comment.size());
    uint8_t bytes[zip::kEndRecordLength];
    zip::WriteEndRecord(end, bytes);
    return out.Write(bytes, sizeof bytes) == 0 && out.Write(comment) == 0;
  }

  // The newest entry time of the new archive, for LatestTime.
  std::optional<std::time_t> NewestEntryTime() {
    uint32_t newest = 0;
    for (const ExistingEntry& entry : archive_.entries()) {
      if (entry.fate == kEntryKept) newest = std::max(newest, entry.dosDateTime);
    }
    for (const Addition& addition : additions_) {
      if (addition.written) newest = std::max(newest, addition.dosDateTime);
    }
    return archive::DosDateTimeToUnix(newest);
  }

  bool Publish(TempArchive& out) {
    std::optional<std::pair<uid_t, gid_t>> owner;
    mode_t mode = NewFileMode();
    if (exists_) {
      mode = lock_.status().st_mode;
      owner = std::pair{lock_.status().st_uid, lock_.status().st_gid};
    }
    const auto modified = request_.latestTime ? NewestEntryTime() : std::nullopt;
    if (out.Finish(mode, owner, modified) != 0) return WriteFailed(out);
    if (exists_ && !lock_.StillAt(path_)) {
      reporter_.Message(kArchiveChanged, request_.archive);
      return false;
    }
    if (const int error = out.Publish(path_, exists_); error != 0) {
      reporter_.Message(error == EEXIST ? kArchiveChanged : kReplaceFailed, request_.archive,
                        error == EEXIST ? std::string() : std::strerror(error));
      return false;
    }
    return true;
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
  std::string path_;
  std::string folder_;
  std::string tempFolder_;
  ArchiveLock lock_;
  bool exists_ = false;
  ExistingArchive archive_;
  std::vector<Addition> additions_;
  // The additions by name, "\" read as "/".
  std::unordered_map<std::string, size_t> byName_;
  uint32_t toWrite_ = 0;
  int32_t written_ = 0;
  bool totalsReported_ = false;
};

}  // namespace
}  // namespace zippack

ZIPPACK_EXPORT int32_t GetZipPackVersion() { return zippack::kComponentVersion; }

ZIPPACK_EXPORT int32_t ZipPackExec(void* params) {
  using namespace zippack;
  const auto* block = static_cast<const ZipExecParams*>(params);
  std::string problem;
  std::optional<AddRequest> request;
  try {
    request = ReadBlock(block, problem);
  } catch (...) {
    return -1;
  }
  if (!request) return -1;
  Reporter reporter(block->Callback, block->OwnerWindow, block->Caller, request->verbose);
  // Nothing may escape into the caller, which knows nothing of C++.
  try {
    return AddRun(*request, reporter).Run();
  } catch (const std::exception& error) {
    try {
      reporter.Message(kInternalError, request->archive, error.what());
    } catch (...) {
    }
  } catch (...) {
  }
  return 0;
}
