#include "update/library/archive_rewrite.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "archive/zip_format.h"
#include "platform/posix/positional_io.h"
#include "update/library/renamed_entry.h"
#include "update/library/retired_archive.h"

namespace zippack {
namespace zip = archive::zip;

bool RewriteContent::WriteReplacement(TempArchive&, uint32_t, bool& written) {
  written = false;
  return true;
}

std::string RewriteContent::ReplacementCentral(uint32_t) { return {}; }

bool RewriteContent::WriteNewEntries(TempArchive&) { return true; }

bool RewriteContent::WriteNewCentrals(TempArchive&, uint64_t&) { return true; }

ArchiveRewrite::ArchiveRewrite(std::string archive, std::string tempDir, Reporter& reporter)
    : archiveName_(std::move(archive)), tempDir_(std::move(tempDir)), reporter_(reporter) {}

bool ArchiveRewrite::Open(bool mayCreate) {
  path_ = archiveName_;
  struct stat st{};
  // A link to the archive: the archive is what it points to.
  if (::lstat(path_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(path_.c_str(), nullptr)) {
      path_ = real;
      std::free(real);
    }
  }
  if (!LockArchive(mayCreate)) return false;
  CleanUpAndChooseTempFolder();
  return true;
}

bool ArchiveRewrite::LockArchive(bool mayCreate) {
  switch (lock_.Open(path_)) {
    case LockOutcome::Locked:
      exists_ = true;
      return true;
    case LockOutcome::Missing:
      exists_ = false;
      if (!mayCreate) reporter_.Message(kArchiveUnreadable, archiveName_, std::strerror(ENOENT));
      return mayCreate;
    case LockOutcome::ReadOnly:
      reporter_.Message(kArchiveReadOnly, archiveName_);
      return false;
    case LockOutcome::InUse:
      reporter_.Message(kArchiveInUse, archiveName_);
      return false;
    case LockOutcome::NotAFile:
      reporter_.Message(kArchiveUnreadable, archiveName_, "not a regular file");
      return false;
    case LockOutcome::Failed:
      reporter_.Message(kArchiveUnreadable, archiveName_, std::strerror(lock_.error()));
      return false;
  }
  return false;
}

void ArchiveRewrite::CleanUpAndChooseTempFolder() {
  folder_ = FolderOf(path_);
  tempFolder_ = folder_;
  // TempDir serves only on the archive's own file system, where the
  // finished file can be renamed into place; elsewhere the archive's
  // folder is used, which the rename needs anyway.
  struct stat temp{}, home{};
  if (!tempDir_.empty() && ::stat(tempDir_.c_str(), &temp) == 0 && S_ISDIR(temp.st_mode) &&
      ::stat(folder_.c_str(), &home) == 0 && temp.st_dev == home.st_dev) {
    tempFolder_ = tempDir_;
    while (tempFolder_.size() > 1 && tempFolder_.back() == '/') tempFolder_.pop_back();
  }
  TempArchive::RemoveStale(folder_, NameOf(path_));
  if (tempFolder_ != folder_) TempArchive::RemoveStale(tempFolder_, NameOf(path_));
}

bool ArchiveRewrite::Read(const std::function<void(size_t, const CentralRecord&)>& visit) {
  if (!exists_) return true;
  switch (archive_.Read(lock_.fd(), static_cast<uint64_t>(lock_.status().st_size), visit)) {
    case ExistingArchive::Outcome::Read:
      return true;
    case ExistingArchive::Outcome::Damaged:
      reporter_.Message(kArchiveDamaged, archiveName_, archive_.why());
      return false;
    case ExistingArchive::Outcome::Spanned:
      reporter_.Message(kArchiveSpanned, archiveName_);
      return false;
    case ExistingArchive::Outcome::Unreadable:
      reporter_.Message(kArchiveUnreadable, archiveName_, archive_.why());
      return false;
  }
  return false;
}

void ArchiveRewrite::Replace(uint32_t entry, uint32_t replacement) {
  ExistingEntry& existing = archive_.entries()[entry];
  existing.fate = EntryFate::Replaced;
  existing.replacement = replacement;
}

void ArchiveRewrite::Drop(uint32_t entry) { archive_.entries()[entry].fate = EntryFate::Dropped; }

void ArchiveRewrite::Rename(uint32_t entry, std::string newName) {
  archive_.entries()[entry].fate = EntryFate::Renamed;
  newNames_[entry] = std::move(newName);
}

// Reports why the new archive could not be written (nothing when the
// caller asked to stop); always false.
bool ArchiveRewrite::WriteFailed() {
  if (out_.error() != ECANCELED && !reporter_.Cancelled()) {
    reporter_.Message(kWriteFailed, archiveName_, std::strerror(out_.error() != 0 ? out_.error() : EIO));
  }
  return false;
}

ArchiveRewrite::Outcome ArchiveRewrite::Write(RewriteContent& content, const std::optional<std::string>& comment) {
  if (const int error = out_.Create(tempFolder_, NameOf(path_)); error != 0) {
    reporter_.Message(kTempFileFailed, tempFolder_, std::strerror(error));
    return Outcome::Failed;
  }
  if (!WriteEntries(content)) return Outcome::Failed;
  if (!content.Changed()) return Outcome::NothingChanged;
  return WriteDirectory(content, comment) ? Outcome::Written : Outcome::Failed;
}

bool ArchiveRewrite::WriteEntries(RewriteContent& content) {
  const auto keepAlive = [&] { return reporter_.KeepAlive(); };
  const int fd = lock_.fd();
  if (exists_) {
    if (archive_.prefixEnd() > 0 && out_.CopyFrom(fd, 0, archive_.prefixEnd(), keepAlive) != 0) return WriteFailed();
    // Kept bytes gather into runs of adjacent bytes, each copied at once.
    std::vector<ExistingEntry>& entries = archive_.entries();
    const std::vector<uint32_t>& order = archive_.fileOrder();
    uint64_t runStart = 0;
    uint64_t runEnd = 0;
    const auto copyRun = [&] {
      const bool copied = runEnd == runStart || out_.CopyFrom(fd, runStart, runEnd - runStart, keepAlive) == 0;
      runStart = runEnd = 0;
      return copied;
    };
    for (size_t position = 0; position < order.size(); ++position) {
      ExistingEntry& entry = entries[order[position]];
      switch (entry.fate) {
        case EntryFate::Dropped:
          if (!copyRun()) return WriteFailed();
          continue;
        case EntryFate::Renamed: {
          if (!copyRun()) return WriteFailed();
          entry.newOffset = out_.Position();
          uint64_t dataStart = 0;
          if (!WriteRenamedHeader(entry, order[position], archive_.RegionEnd(position), dataStart)) return false;
          // The rest of its bytes (data, descriptor) start the next run.
          runStart = dataStart;
          runEnd = archive_.RegionEnd(position);
          continue;
        }
        case EntryFate::Replaced: {
          if (!copyRun()) return WriteFailed();
          entry.newOffset = out_.Position();
          bool written = false;
          if (!content.WriteReplacement(out_, entry.replacement, written)) return false;
          if (written) continue;
          entry.fate = EntryFate::Kept;  // its file failed: the entry stays
          break;
        }
        case EntryFate::Kept:
          break;
      }
      if (runEnd != entry.localOffset) {
        if (!copyRun()) return WriteFailed();
        runStart = runEnd = entry.localOffset;
      }
      entry.newOffset = out_.Position() + (entry.localOffset - runStart);
      runEnd = archive_.RegionEnd(position);
    }
    if (!copyRun()) return WriteFailed();
  }
  return content.WriteNewEntries(out_);
}

// The renamed entry's local header, read again from the file (its fixed
// part was checked by the first reading; it must still be a local header
// that ends inside the entry's bytes, which end at regionEnd).
bool ArchiveRewrite::WriteRenamedHeader(const ExistingEntry& entry, uint32_t index, uint64_t regionEnd,
                                        uint64_t& dataStart) {
  uint8_t fixed[zip::kLocalHeaderLength];
  zip::LocalHeader local;
  if (!platform::ReadFullyAt(lock_.fd(), entry.localOffset, fixed, sizeof fixed) ||
      !zip::ParseLocalHeader(fixed, local)) {
    reporter_.Message(kArchiveChanged, archiveName_);
    return false;
  }
  std::string header(reinterpret_cast<const char*>(fixed), sizeof fixed);
  header.resize(sizeof fixed + local.nameLength + local.extraLength);
  if (header.size() > regionEnd - entry.localOffset ||
      !platform::ReadFullyAt(lock_.fd(), entry.localOffset + sizeof fixed,
                             reinterpret_cast<uint8_t*>(header.data()) + sizeof fixed, header.size() - sizeof fixed)) {
    reporter_.Message(kArchiveChanged, archiveName_);
    return false;
  }
  const auto renamed = RenamedLocalHeader(header, newNames_.at(index));
  if (!renamed) {
    reporter_.Message(kArchiveChanged, archiveName_);
    return false;
  }
  if (out_.Write(*renamed) != 0) return WriteFailed();
  dataStart = entry.localOffset + header.size();
  return true;
}

bool ArchiveRewrite::WriteDirectory(RewriteContent& content, const std::optional<std::string>& comment) {
  const uint64_t directoryStart = out_.Position();
  uint64_t count = 0;
  if (exists_) {
    DirectoryReader reader = archive_.Reread();
    CentralRecord record;
    std::string bytes;
    const std::vector<ExistingEntry>& entries = archive_.entries();
    for (size_t index = 0; index < entries.size(); ++index) {
      const ExistingEntry& entry = entries[index];
      if (!ReadsAsBefore(reader, record, entry)) {
        reporter_.Message(kArchiveChanged, archiveName_);
        return false;
      }
      if (entry.fate == EntryFate::Dropped) continue;
      if (entry.fate == EntryFate::Replaced) {
        bytes = content.ReplacementCentral(entry.replacement);
      } else {
        bytes.assign(reinterpret_cast<const char*>(record.bytes), record.length);
        if (entry.fate == EntryFate::Renamed) {
          auto renamed = RenamedCentralRecord(bytes, newNames_.at(static_cast<uint32_t>(index)));
          if (!renamed) {
            reporter_.Message(kArchiveDamaged, archiveName_, "a central header cannot be renamed");
            return false;
          }
          bytes = std::move(*renamed);
        }
        if (!zip::RelocateCentralRecord(bytes, entry.newOffset)) {
          reporter_.Message(kArchiveDamaged, archiveName_, "an entry's extra field has no room for zip64");
          return false;
        }
      }
      if (out_.Write(bytes) != 0) return WriteFailed();
      ++count;
    }
  }
  if (!content.WriteNewCentrals(out_, count)) return WriteFailed();
  const uint64_t directorySize = out_.Position() - directoryStart;
  const std::string& kept = comment ? *comment : archive_.comment();
  if (!WriteEndRecords(directoryStart, directorySize, count, kept.substr(0, 0xFFFF))) return WriteFailed();
  return true;
}

// The named check that the directory reads the same the second time (a
// writer that ignores our lock may have changed it meanwhile).
bool ArchiveRewrite::ReadsAsBefore(DirectoryReader& reader, CentralRecord& record, const ExistingEntry& entry) const {
  return reader.Next(record) == archive::CentralRead::kRecord && record.zip64 != zip::Zip64Outcome::Missing &&
         static_cast<int64_t>(record.header.localHeaderOffset) + archive_.offsetShift() ==
             static_cast<int64_t>(entry.localOffset);
}

bool ArchiveRewrite::WriteEndRecords(uint64_t directoryStart, uint64_t directorySize, uint64_t count,
                                     const std::string& comment) {
  const bool zip64 = count >= zip::kZip64Marker16 || directorySize >= zip::kZip64Marker32 ||
                     directoryStart >= zip::kZip64Marker32;
  if (zip64) {
    const uint64_t zip64At = out_.Position();
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
    if (out_.Write(bytes, sizeof bytes) != 0 || out_.Write(locatorBytes, sizeof locatorBytes) != 0) return false;
  }
  zip::EndRecord end;
  end.entriesOnDisk = end.totalEntries = static_cast<uint16_t>(std::min<uint64_t>(count, zip::kZip64Marker16));
  end.directorySize = static_cast<uint32_t>(std::min<uint64_t>(directorySize, zip::kZip64Marker32));
  end.directoryOffset = static_cast<uint32_t>(std::min<uint64_t>(directoryStart, zip::kZip64Marker32));
  end.commentLength = static_cast<uint16_t>(comment.size());
  uint8_t bytes[zip::kEndRecordLength];
  zip::WriteEndRecord(end, bytes);
  return out_.Write(bytes, sizeof bytes) == 0 && out_.Write(comment) == 0;
}

bool ArchiveRewrite::Publish(mode_t newArchiveMode, std::optional<std::time_t> modified) {
  std::optional<std::pair<uid_t, gid_t>> owner;
  mode_t mode = newArchiveMode;
  if (exists_) {
    mode = lock_.status().st_mode;
    owner = std::pair{lock_.status().st_uid, lock_.status().st_gid};
  }
  if (out_.Finish(mode, owner, modified) != 0) return WriteFailed();
  if (exists_ && !lock_.StillAt(path_)) {
    reporter_.Message(kArchiveChanged, archiveName_);
    return false;
  }
  if (const int error = out_.Publish(path_, exists_); error != 0) {
    reporter_.Message(error == EEXIST ? kArchiveChanged : kReplaceFailed, archiveName_,
                      error == EEXIST ? std::string() : std::strerror(error));
    return false;
  }
  // The old file is freed by a holder of its own, not at our close. The
  // holder must not take the new archive's lock along.
  out_.Close();
  RetiredArchive retired;
  if (exists_) retired.HandOver(lock_.fd());
  lock_.Close();
  retired.Release();
  return true;
}

}  // namespace zippack
