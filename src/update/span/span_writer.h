// Writing a spanned archive: the temporary archive the library built is
// copied onto a numbered set of volumes. The first volume starts with the
// spanned-set signature; each entry's local header, name, extra field, data
// and data descriptor follow unchanged; then the central directory, each
// header pointing at the volume and the offset on that volume where its
// local header went; then the end record naming the volume it is on and the
// volume and offset where the directory begins. A local header (with its
// name and extra field), a central header (with its name, extra field and
// comment) and the end record (with the comment) each stay whole on one
// volume; data is split wherever a volume is full.
//
// A SpanWriter lives for one write: what it knows of the volume being
// written, of the disk's answers and of where each entry went dies with it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/shared_file.h"
#include "update/component/updater_types.h"

namespace archive {
class BufferedReader;
namespace zip {
struct EndRecord;
}  // namespace zip
}  // namespace archive

namespace fretfile {

class DirectoryList;
class DiskVolumes;
class TZipUpdater;

class SpanWriter {
 public:
  // One entry of the archive being spread: where its local header went.
  struct EntryRecord {
    std::string name;         // the first 255 characters
    uint64_t sourceOffset;    // of its local header in the temporary archive
    int32_t volume = 0;
    int64_t offset = 0;       // of its local header on that volume
  };

  SpanWriter(TZipUpdater& component, DirectoryList& directory, DiskVolumes& volumes)
      : component_(component), directory_(directory), volumes_(volumes) {}
  SpanWriter(const SpanWriter&) = delete;
  SpanWriter& operator=(const SpanWriter&) = delete;

  // Copies source onto the volumes of target (TZipUpdater::WriteSpan); 0,
  // or -7, -8, -9 once reported. A failed write removes what it wrote.
  int32_t Write(const std::string& source, const std::string& target);

 private:
  // Where the central directory begins and how many of its headers the
  // volume in work holds.
  struct DirectoryPlace {
    int32_t volume = -1;
    int64_t offset = 0;
    int32_t countedVolume = -1;
    uint16_t entriesOnVolume = 0;
  };

  // The copy itself; throws what ends it.
  void CopySpan();
  // The source's end record, with the source open at its start.
  archive::zip::EndRecord OpenSource();
  void CopyLocalEntry(archive::BufferedReader& source, std::vector<uint8_t>& buffer);
  DirectoryPlace CopyCentralDirectory(archive::BufferedReader& source, const archive::zip::EndRecord& end);
  void CopyEndRecord(archive::BufferedReader& source, const archive::zip::EndRecord& end, DirectoryPlace place);
  // Writes count bytes to the volumes; with keep above 0 a new volume is
  // begun first when the current one has less than keep bytes free.
  void DiskWrite(const uint8_t* bytes, int64_t count, int64_t keep);
  // Closes the full volume; the next write begins the next one.
  void NextVolume();
  // One attempt at opening the volume CurrentDisk (a prompt answered No or
  // Retry leaves it closed).
  void OpenVolume(int64_t keep);
  void FormatDisk();
  // Whether the new volume has room for at least keep bytes; false after
  // it was removed again and the user asked to retry.
  bool VolumeHasRoom(const std::string& name, bool numbered, int64_t keep);
  // Stamps the volume with the source's date and closes it.
  void CloseVolume();
  void CopyToVolumes(archive::BufferedReader& source, std::vector<uint8_t>& buffer, uint64_t count,
                     int32_t shortRead);
  // Whatever a failed write made: the volume it was writing, and on a fixed
  // drive every volume file of its own run.
  void RemoveWhatWasWritten();
  // Whether an existing volume file may be overwritten (false: another
  // disk is wanted); throws on Cancel.
  bool AskToOverwrite(const std::string& name);
  // Returns for a retry; throws on Cancel.
  void AskForSpace(const std::string& name);
  // Raises OnProgress when assigned.
  void Progress(ProgressType type, const std::string& name, int64_t size);

  TZipUpdater& component_;
  DirectoryList& directory_;
  DiskVolumes& volumes_;

  int64_t BytesOnVolume_ = 0;
  bool NewDiskNeeded_ = true;
  platform::SharedFile OutputHandle_;  // the volume being written; none between volumes
  std::string OutputName_;
  std::string SpanTarget_;
  std::filesystem::file_time_type SourceDate_{};
  TZipDiskStatus DiskStatus_ = 0;
  TZipDiskAction DiskAction_ = zdaOk;
  std::vector<EntryRecord> EntryTable_;
  // The volume files this write made on a fixed or network drive, to be
  // removed when it fails.
  std::vector<std::string> WrittenVolumes_;
};

}  // namespace fretfile
