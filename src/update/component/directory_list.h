// The component's directory list: the central-directory entries of the
// archive ZipFileName, the archive comment, the foreign bytes in front of
// the archive (StubOffset) and whether the archive spans disks. Read again
// whenever ZipFileName is set and after every Add that processed a file.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/central_records.h"
#include "platform/posix/shared_file.h"
#include "update/component/updater_types.h"


namespace fretfile {

class DiskVolumes;
class TZipUpdater;

class DirectoryList {
 public:
  DirectoryList(TZipUpdater& component, DiskVolumes& volumes) : component_(component), volumes_(volumes) {}
  DirectoryList(const DirectoryList&) = delete;
  DirectoryList& operator=(const DirectoryList&) = delete;

  // Reads the directory of zipFileName. Never throws for a bad archive:
  // failures are reported and leave an empty list. False when the name is
  // to be dropped (a failure other than the archive being busy).
  bool Read(const std::string& zipFileName);
  // Finds the end record of the volumes' WorkingName and copies its 22
  // bytes into record; leaves the file open as the volumes' Archive. With
  // raise, a failure throws EZipUpdater; otherwise it is reported (when the
  // file cannot be opened) and the result is false.
  bool FindEndRecord(uint8_t (&record)[22], bool raise);
  // Converts a name from or to the OEM code page when the last central
  // header read asks for it (its host system and version, and CodePage).
  std::string ConvertName(const std::string& text, bool toOem) const;

  std::vector<std::unique_ptr<ZipDirEntry>> Entries;
  int32_t DirOnlySkipped = 0;   // folder entries left out
  std::string ArchiveComment;
  int64_t StubOffset = 0;       // bytes of foreign data ahead of the archive
  bool OffsetMismatch = false;  // the directory is not where the end record says
  int64_t CentralDirOffset = 0;
  int64_t EndRecordOffset = 0;
  int64_t ArchiveEnd = 0;       // just past the end record and its comment
  int64_t ArchiveFileSize = 0;
  bool IsMultiDisk = false;

 private:
  // Where the directory the end record describes starts, where the record
  // says it starts, and how many entries it has.
  struct Place {
    int64_t start = 0;
    int64_t recorded = 0;
    uint64_t total = 0;
  };
  void Reset();
  // FindEndRecord of WorkingName; on a fixed drive it goes on from an
  // earlier volume of a set to the last one.
  void FindSetEnd(uint8_t (&record)[22]);
  // The end record nearest the end of the file (locate_directory.h), with
  // its comment and the bytes behind it judged.
  bool SearchEnd(uint8_t (&record)[22], int64_t size);
  void JudgeTail(const archive::zip::EndRecord& end, int64_t size);
  bool IsSectorPadding(int64_t from, int64_t size);
  [[noreturn]] static void RaiseNoEndRecord(bool spannedStart, int labelDisk);
  // Reads the central directory the end record describes; returns how far
  // the directory really is from where the record says.
  int64_t ReadDirectory(const uint8_t (&endRecord)[22]);
  Place Locate(const archive::zip::EndRecord& end);
  using Records = archive::CentralRecords<platform::SharedFile>;
  // Where the open volume ends.
  uint64_t VolumeEnd() const;
  // The next central record, from the next volume when this one ends
  // between two records; a damaged one raises its message.
  void NextRecord(std::optional<Records>& records, archive::CentralRecord& record);
  // The entry of a record, its name and comment converted where they must be.
  std::unique_ptr<ZipDirEntry> EntryOf(const archive::CentralRecord& record, bool& beyondReported);
  void Keep(std::unique_ptr<ZipDirEntry> entry, uint64_t seq);

  TZipUpdater& component_;
  DiskVolumes& volumes_;
  uint8_t HostSystem_ = 0;
  uint8_t MadeByVersion_ = 0;
};

}  // namespace fretfile
