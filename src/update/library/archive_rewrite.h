// The one rewrite of an archive that every operation of the library shares:
// an Add, a delete and a rename differ only in what becomes of each existing
// entry (its fate: kept, replaced, dropped, renamed) and in what an Add
// writes of its own (RewriteContent). The steps zippack.cpp and
// edit_run.cpp cite are these:
//
//   Open     the archive's name resolved through a link, the archive opened
//            and locked for the whole run (refusals reported: read-only, in
//            use, not a regular file), the stale temporary files of killed
//            runs removed, the temporary folder chosen.
//   Read     the directory read as hostile input (existing_archive); every
//            failed check refuses the archive, which is then left alone.
//   Write    the new archive in a temporary file: the bytes in front of the
//            first entry, the entries in file order (kept ones copied byte
//            for byte in runs as long as possible, a renamed one's local
//            header rewritten and the rest of its bytes copied, a dropped
//            one left out, a replaced one given way to its new entry), the
//            caller's new entries, the directory (read a second time and
//            checked against the first reading), the end records.
//   Publish  permissions, owner and time, a flush, the check that the name
//            still names the locked file, the rename over the archive, and
//            the old file's blocks freed off the caller's path, by a
//            detached holder of it (retired_archive).
//
// Until Publish renames, the archive is untouched; the temporary file goes
// when this object does.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "update/library/archive_lock.h"
#include "update/library/existing_archive.h"
#include "update/library/reporter.h"
#include "update/library/temp_archive.h"

namespace zippack {

// What an operation writes besides the existing entries' bytes. The
// defaults write nothing: an operation that only drops or renames needs
// none of it.
class RewriteContent {
 public:
  virtual ~RewriteContent() = default;
  // A Replaced entry: writes its new entry at out's position. False stops
  // the rewrite (the callee has reported why); `written` false with true
  // returned keeps the old entry as it was.
  virtual bool WriteReplacement(TempArchive& out, uint32_t replacement, bool& written);
  // The central record of a replacement that was written.
  virtual std::string ReplacementCentral(uint32_t replacement);
  // Entries behind the existing ones; false stops the rewrite.
  virtual bool WriteNewEntries(TempArchive& out);
  // Their central records, counted into `count`; false when out failed.
  virtual bool WriteNewCentrals(TempArchive& out, uint64_t& count);
  // Whether the new archive differs from the old once the entries are
  // written (an Add whose every file failed has nothing to store).
  virtual bool Changed() const { return true; }
};

class ArchiveRewrite {
 public:
  // archive: as the caller named it (for messages); tempDir: where the new
  // archive may be written when that is on the archive's file system.
  ArchiveRewrite(std::string archive, std::string tempDir, Reporter& reporter);
  ArchiveRewrite(const ArchiveRewrite&) = delete;
  ArchiveRewrite& operator=(const ArchiveRewrite&) = delete;

  // Open; false when the archive is refused (reported). A missing archive
  // is a new one when `mayCreate`, else it is reported as not found.
  bool Open(bool mayCreate);
  bool exists() const { return exists_; }
  const struct stat& status() const { return lock_.status(); }

  // Read; `visit` sees every central record with its index, in directory
  // order. False when the archive is refused (reported).
  bool Read(const std::function<void(size_t, const CentralRecord&)>& visit);
  std::vector<ExistingEntry>& entries() { return archive_.entries(); }

  void Replace(uint32_t entry, uint32_t replacement);
  void Drop(uint32_t entry);
  // newName: the bytes of an acceptable entry name (IsAcceptableEntryName).
  void Rename(uint32_t entry, std::string newName);

  enum class Outcome { Written, NothingChanged, Failed };
  // Write; `comment` replaces the archive's own when given. Failed: the
  // reason was reported (nothing when the caller asked to stop).
  Outcome Write(RewriteContent& content, const std::optional<std::string>& comment);
  // Publish, with `mode` for a new archive; `modified` sets the new
  // archive's time. False when it failed (reported).
  bool Publish(mode_t newArchiveMode, std::optional<std::time_t> modified);

 private:
  bool LockArchive(bool mayCreate);
  void CleanUpAndChooseTempFolder();
  bool WriteFailed();
  bool WriteEntries(RewriteContent& content);
  bool WriteRenamedHeader(const ExistingEntry& entry, uint32_t index, uint64_t regionEnd, uint64_t& dataStart);
  bool WriteDirectory(RewriteContent& content, const std::optional<std::string>& comment);
  bool ReadsAsBefore(DirectoryReader& reader, CentralRecord& record, const ExistingEntry& entry) const;
  bool WriteEndRecords(uint64_t directoryStart, uint64_t directorySize, uint64_t count, const std::string& comment);

  const std::string archiveName_;
  const std::string tempDir_;
  Reporter& reporter_;
  std::string path_;
  std::string folder_;
  std::string tempFolder_;
  ArchiveLock lock_;
  bool exists_ = false;
  ExistingArchive archive_;
  std::unordered_map<uint32_t, std::string> newNames_;
  TempArchive out_;
};

}  // namespace zippack
