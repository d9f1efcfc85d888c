// The directory list. The archive is hostile input: every read is checked,
// every loop ends at the end of the file, nothing is allocated beyond what a
// record's own 16-bit lengths allow.
#include "update/component/directory_list.h"

#include <QScopeGuard>
#include <algorithm>
#include <cerrno>
#include <new>
#include <vector>

#include "archive/locate_directory.h"
#include "archive/zip_format.h"
#include "platform/drives/drives.h"
#include "platform/posix/file_attributes.h"
#include "platform/ui_contracts/prompts.h"
#include "update/component/name_conversion.h"
#include "update/component/updater_messages.h"
#include "update/component/zip_updater.h"
#include "update/span/disk_volumes.h"
#include "update/span/volume_names.h"

namespace fretfile {
namespace zip = archive::zip;
namespace {

using Display = EZipUpdater::Display;

constexpr int64_t kEndLength = static_cast<int64_t>(zip::kEndRecordLength);
// Trailing bytes a disk's sectors may add: zeros up to a multiple of this.
constexpr int64_t kSectorSize = 512;

// A 64-bit value in a 32-bit field of the list: the zip64 marker when it
// does not fit, never its low bits.
uint32_t Field32(uint64_t value, bool& beyond) {
  if (value < zip::kZip64Marker32) return static_cast<uint32_t>(value);
  beyond = beyond || value > zip::kZip64Marker32;
  return zip::kZip64Marker32;
}

// The header's fixed fields, in the entry's order; beyond is set when a
// value does not fit its field.
ZipDirEntryHead HeadOf(const zip::CentralHeader& h, bool& beyond) {
  beyond = beyond || h.diskStart > zip::kZip64Marker16;
  const auto diskStart = static_cast<uint16_t>(std::min<uint32_t>(h.diskStart, zip::kZip64Marker16));
  return {h.versionMadeBy, h.versionNeeded, h.flags, h.method, h.time, h.date, h.crc,
          Field32(h.compressedSize, beyond), Field32(h.uncompressedSize, beyond), h.nameLength, h.extraLength,
          h.commentLength, diskStart, h.internalAttributes, h.externalAttributes,
          Field32(h.localHeaderOffset, beyond)};
}

}  // namespace

std::string DirectoryList::ConvertName(const std::string& text, bool toOem) const {
  if (!NameConversionApplies(component_.CodePage, HostSystem_, MadeByVersion_)) return text;
  return ConvertCodePage(text, toOem ? NameDirection::ToOem : NameDirection::FromOem);
}

void DirectoryList::Reset() {
  while (!Entries.empty()) Entries.pop_back();
  ArchiveFileSize = 0;
  CentralDirOffset = 0;
  StubOffset = 0;
  ArchiveComment.clear();
  IsMultiDisk = false;
  OffsetMismatch = false;
  DirOnlySkipped = 0;
}

bool DirectoryList::FindEndRecord(uint8_t (&record)[22], bool raise) {
  ArchiveComment.clear();
  EndRecordOffset = 0;
  platform::SharedFile& archive = volumes_.Archive;
  archive.Close();
  if (const int error = archive.Open(volumes_.WorkingName, platform::FileAccess::Read, platform::FileShare::Shared);
      error != 0) {
    // Another program is writing it: it is busy, not unreadable.
    if (error == EWOULDBLOCK && raise) throw EZipUpdater(msg::kArchiveBusy, volumes_.WorkingName);
    if (raise) throw EZipUpdater(msg::kCannotOpen, Display::Yes);
    component_.ReportMessage(msg::kCannotOpenReported, "");
    return false;
  }
  try {
    const int labelDisk = LabelNumber(volumes_.VolumeLabel, 0);
    uint8_t head[8];
    const bool spannedStart = archive.ReadAt(0, head, sizeof head) &&
                              zip::HasSignature(head, zip::kSpannedSetSignature) &&
                              zip::HasSignature(head + 4, zip::kLocalHeaderSignature);
    if (spannedStart) IsMultiDisk = true;

    const int64_t size = archive.Size();
    ArchiveEnd = ArchiveFileSize = size;
    if (SearchEnd(record, size)) return true;
    if (!raise) return false;
    RaiseNoEndRecord(spannedStart, labelDisk);
  } catch (...) {
    if (raise) throw;
    return false;
  }
}

bool DirectoryList::SearchEnd(uint8_t (&record)[22], int64_t size) {
  // The file as a source of bytes that remembers a failed read, so that a
  // file that cannot be read is not taken for one without a record.
  struct Source {
    platform::SharedFile& file;
    bool failed = false;
    bool ReadAt(int64_t offset, uint8_t* out, size_t count) {
      if (file.ReadAt(offset, out, count)) return true;
      failed = true;
      return false;
    }
  } source{volumes_.Archive};
  zip::EndRecord end;
  const int64_t offset = archive::FindEndRecordIn(source, size, end);
  if (source.failed) throw EZipUpdater(msg::kReadFailed, Display::Yes);
  if (offset < 0) return false;
  EndRecordOffset = offset;
  zip::WriteEndRecord(end, record);
  // A record in the file's last 22 bytes ends the archive: there is nothing
  // behind it to judge, whatever its comment length says.
  if (offset + kEndLength == size) return true;
  JudgeTail(end, size);
  return true;
}

// What follows the record: its comment, as long as the record says, as far
// as the file holds it; behind that, bytes that are no part of the archive,
// which are warned about unless they are a disk's sector padding.
void DirectoryList::JudgeTail(const zip::EndRecord& end, int64_t size) {
  platform::SharedFile& archive = volumes_.Archive;
  const int64_t commentAt = EndRecordOffset + kEndLength;
  const int64_t commentEnd = commentAt + end.commentLength;  // past the end of a file cut short
  const int64_t held = std::min(commentEnd, size);
  std::vector<uint8_t> comment(static_cast<size_t>(held - commentAt));  // at most 65,535 bytes
  if (!archive.ReadAt(commentAt, comment.data(), comment.size())) throw EZipUpdater(msg::kReadFailed, Display::Yes);
  if (commentEnd != size) {
    ArchiveEnd = commentEnd;
    if (!IsSectorPadding(held, size)) component_.ReportMessage(msg::kBytesAfterEnd, "");
  }
  ArchiveComment.assign(reinterpret_cast<const char*>(comment.data()),
                        std::find(comment.begin(), comment.end(), uint8_t{0}) - comment.begin());
}

// Zeros from `from` to the end of a file whose size is a whole number of
// sectors, less than a sector behind the archive's end.
bool DirectoryList::IsSectorPadding(int64_t from, int64_t size) {
  if (size - ArchiveEnd >= kSectorSize || size % kSectorSize != 0) return false;
  std::vector<uint8_t> bytes(static_cast<size_t>(size - from));  // under one sector
  if (!volumes_.Archive.ReadAt(from, bytes.data(), bytes.size())) throw EZipUpdater(msg::kReadFailed, Display::Yes);
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t byte) { return byte == 0; });
}

void DirectoryList::RaiseNoEndRecord(bool spannedStart, int labelDisk) {
  if (!spannedStart && labelDisk != 0) throw EZipUpdater(msg::kDiskOfSet, labelDisk);
  if (spannedStart) throw EZipUpdater(labelDisk == 1 ? msg::kFirstDiskOfSet : msg::kNotLastDisk, Display::Yes);
  throw EZipUpdater(msg::kNoEndRecord, Display::Yes);
}

bool DirectoryList::Read(const std::string& zipFileName) {
  Reset();
  // A set on a fixed drive is also found by the name it was written to,
  // through its first volume.
  if (!platform::IsFile(zipFileName) && !platform::IsFile(FirstVolumeOf(zipFileName))) return true;
  platform::BusyCursor hourglass;
  bool failed = false;
  bool busy = false;
  int64_t shift = 0;
  // Runs however the read ends, a message handler that throws included.
  const auto finish = qScopeGuard([&] {
    volumes_.Archive.Close();
    if (failed) {
      while (!Entries.empty()) Entries.pop_back();
      StubOffset = 0;
    } else {
      StubOffset += shift;
    }
  });
  try {
    volumes_.WorkingName = zipFileName;
    volumes_.DriveRoot = platform::DriveRootOf(zipFileName);
    if (!volumes_.CheckDrive()) throw EZipUpdater(msg::kDriveAbsent, volumes_.DriveRoot);
    uint8_t record[zip::kEndRecordLength];
    FindSetEnd(record);
    shift = ReadDirectory(record);
  } catch (const EZipUpdater& e) {
    failed = true;
    busy = e.MessageNumber == msg::kArchiveBusy;
    component_.ReportException(e);
  } catch (const std::bad_alloc&) {
    failed = true;
    component_.ReportMessage(msg::kOutOfMemory, "");
  } catch (const std::exception& e) {
    failed = true;
    component_.ReportMessage(msg::kDirectoryError, e.what());
  }
  // An archive that another program is writing keeps its name: an Add says
  // it is busy, and works once it is free.
  return !failed || busy;
}

// On a fixed or network drive a set may be named by any of its volumes (or
// by the name it was written to, whose first volume then stands for it):
// the end record is on the last one, the first that has one.
void DirectoryList::FindSetEnd(uint8_t (&record)[22]) {
  std::string& workingName = volumes_.WorkingName;
  const bool numbered = NumberedDrive(platform::DriveType(volumes_.DriveRoot));
  if (numbered && !platform::IsFile(workingName)) workingName = NumberedVolumeName(workingName, 0);
  try {
    FindEndRecord(record, true);
  } catch (const EZipUpdater& error) {
    const bool noEnd = error.MessageNumber == msg::kNoEndRecord || error.MessageNumber == msg::kFirstDiskOfSet ||
                       error.MessageNumber == msg::kDiskOfSet || error.MessageNumber == msg::kNotLastDisk;
    const int32_t given = VolumeOfName(workingName);
    if (!numbered || !noEnd || given < 0) throw;
    for (int32_t volume = given + 1; volume < kMostVolumes; ++volume) {
      const std::string next = RenumberedVolumeName(workingName, volume);
      if (!platform::IsFile(next)) break;
      workingName = next;
      if (FindEndRecord(record, false)) return;
    }
    throw;
  }
}

DirectoryList::Place DirectoryList::Locate(const zip::EndRecord& end) {
  Place place;
  place.recorded = static_cast<int64_t>(end.directoryOffset);
  place.total = end.totalEntries;
  if (end.directoryDisk != end.diskNumber) {
    volumes_.SwitchDisk(end.directoryDisk);
    ArchiveEnd = volumes_.Archive.Size();
    place.start = place.recorded;
  } else if (end.NeedsZip64()) {
    // Over the classic limits the zip64 end record holds the directory's
    // place, size and number of entries.
    const auto location = archive::LocateDirectoryIn(volumes_.Archive, EndRecordOffset, end);
    if (!location) throw EZipUpdater(msg::kDirectoryUnreadable, Display::Yes);
    place.start = location->start;
    place.recorded = location->start - location->offsetShift;
    place.total = location->totalEntries;
  } else {
    place.start = ArchiveEnd - static_cast<int64_t>(end.directorySize) - kEndLength - end.commentLength;
  }
  CentralDirOffset = place.start;
  OffsetMismatch = place.start != place.recorded;
  if (OffsetMismatch) component_.ReportMessage(msg::kDirectoryMoved, "");
  if (place.start < 0) throw EZipUpdater(msg::kDirectoryUnreadable, Display::Yes);
  return place;
}

int64_t DirectoryList::ReadDirectory(const uint8_t (&endBytes)[22]) {
  zip::EndRecord end;
  zip::ParseEndRecord(endBytes, end);
  volumes_.DiskNumber = end.diskNumber;
  if (volumes_.DiskNumber > 0) IsMultiDisk = true;
  // The file open is the disk of the end record.
  volumes_.CurrentDisk = end.diskNumber;
  const Place place = Locate(end);

  // The lowest local-header offset is where the archive's first entry is;
  // with no entries, where its directory is.
  auto lowest = static_cast<uint64_t>(std::max<int64_t>(place.recorded, 0));
  bool beyondReported = false;
  // The records are counted, not measured: each volume is read to its end.
  std::optional<Records> records;
  records.emplace(volumes_.Archive, static_cast<uint64_t>(place.start), VolumeEnd());
  for (uint64_t seq = 1; seq <= place.total; ++seq) {
    archive::CentralRecord record;
    NextRecord(records, record);
    Keep(EntryOf(record, beyondReported), seq);
    lowest = std::min(lowest, record.header.localHeaderOffset);
  }
  volumes_.DiskNumber = end.diskNumber;
  StubOffset = static_cast<int64_t>(lowest);
  return place.start - place.recorded;
}

uint64_t DirectoryList::VolumeEnd() const {
  return static_cast<uint64_t>(std::max<int64_t>(volumes_.Archive.Size(), 0));
}

void DirectoryList::NextRecord(std::optional<Records>& records, archive::CentralRecord& record) {
  archive::CentralRead result = records->Next(record);
  if (result == archive::CentralRead::kEnd || result == archive::CentralRead::kHeaderShort) {
    // The directory goes on at the start of the next volume.
    if (volumes_.CurrentDisk >= volumes_.DiskNumber) throw EZipUpdater(msg::kDirectoryEndsEarly, Display::Yes);
    volumes_.SwitchDisk(volumes_.CurrentDisk + 1);
    records.emplace(volumes_.Archive, 0, VolumeEnd());
    result = records->Next(record);
    if (result == archive::CentralRead::kEnd) result = archive::CentralRead::kHeaderShort;
  }
  switch (result) {
    case archive::CentralRead::kRecord: return;
    case archive::CentralRead::kEnd:
    case archive::CentralRead::kHeaderShort: throw EZipUpdater(msg::kDirectoryEndsEarly, Display::Yes);
    case archive::CentralRead::kNoSignature: throw EZipUpdater(msg::kCentralHeaderSignature, Display::Yes);
    case archive::CentralRead::kNameShort: throw EZipUpdater(msg::kCentralNameShort, Display::Yes);
    case archive::CentralRead::kCommentShort: throw EZipUpdater(msg::kCommentShort, Display::Yes);
    case archive::CentralRead::kExtraShort:
    case archive::CentralRead::kUnreadable: throw EZipUpdater(msg::kDirectoryUnreadable, Display::Yes);
  }
}

std::unique_ptr<ZipDirEntry> DirectoryList::EntryOf(const archive::CentralRecord& record, bool& beyondReported) {
  const zip::CentralHeader& h = record.header;
  MadeByVersion_ = static_cast<uint8_t>(h.versionMadeBy & 0xFF);
  HostSystem_ = h.HostSystem();
  // Names flagged as UTF-8 are in no code page.
  const bool utf8 = (h.flags & zip::kFlagUtf8) != 0;

  auto entry = std::make_unique<ZipDirEntry>();
  entry->ExtraData.assign(record.extra, record.extra + h.extraLength);
  if (h.commentLength > 0) {
    entry->FileComment = std::string(record.comment);
    if (!utf8) entry->FileComment = ConvertName(entry->FileComment, false);
  }
  const std::string name(record.name);
  bool beyond = false;
  static_cast<ZipDirEntryHead&>(*entry) = HeadOf(h, beyond);
  entry->Encrypted = static_cast<uint8_t>(h.flags & zip::kFlagEncrypted);
  entry->FileName = utf8 ? name : ConvertName(name, false);
  if (beyond && !beyondReported) {
    // The list's fields are 32 bits wide: such an entry is listed with the
    // marker value, and the user is told (once per read).
    beyondReported = true;
    component_.ReportMessage(msg::kValueBeyond32Bits, entry->FileName);
  }
  return entry;
}

// Folders (a name with nothing after its last separator) are left out
// unless they are wanted.
void DirectoryList::Keep(std::unique_ptr<ZipDirEntry> entry, uint64_t seq) {
  const size_t slash = entry->FileName.find_last_of('/');
  const bool hasFilePart =
      slash == std::string::npos ? !entry->FileName.empty() : slash + 1 < entry->FileName.size();
  if (!component_.UseDirOnlyEntries && !hasFilePart) {
    ++DirOnlySkipped;
    return;
  }
  Entries.push_back(std::move(entry));
  if (component_.OnNewName) component_.OnNewName(component_, static_cast<int32_t>(seq), *Entries.back());
}

}  // namespace fretfile
