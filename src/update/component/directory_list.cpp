// The component's directory list: the central-directory entries of the
// archive ZipFileName, the archive comment, the foreign bytes in front of
// the archive (StubOffset) and whether the archive spans disks. The archive
// is hostile input: every read is checked, every loop ends at the end of
// the file, nothing is allocated beyond what a record's own 16-bit lengths
// allow.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <optional>
#include <system_error>
#include <vector>

#include "archive/buffered_reader.h"
#include "archive/directory_location.h"
#include "archive/zip_format.h"
#include "platform/drives.h"
#include "platform/prompts.h"
#include "update/component/name_conversion.h"
#include "update/component/updater_messages.h"
#include "update/component/zip_updater.h"
#include "update/span/volume_names.h"

namespace fretfile {
namespace zip = archive::zip;
namespace {

using Display = EZipUpdater::Display;

constexpr int64_t kEndLength = static_cast<int64_t>(zip::kEndRecordLength);
// Trailing bytes a disk's sectors may add: zeros up to a multiple of this.
constexpr int64_t kSectorSize = 512;

bool ReadFully(platform::SharedFile& file, uint8_t* out, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t got = file.Read(out + done, count - done);
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

bool IsFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

// A 64-bit value in a 32-bit field of the list: the zip64 marker when it
// does not fit, never its low bits.
uint32_t Field32(uint64_t value, bool& beyond) {
  if (value < zip::kZip64Marker32) return static_cast<uint32_t>(value);
  beyond = beyond || value > zip::kZip64Marker32;
  return zip::kZip64Marker32;
}

}  // namespace

std::string TZipUpdater::ConvertName(const std::string& text, bool toOem) const {
  if (!NameConversionApplies(CodePage, HostSystem_, MadeByVersion_)) return text;
  return ConvertCodePage(text, toOem ? NameDirection::ToOem : NameDirection::FromOem);
}

void TZipUpdater::ClearList() {
  while (!ZipContents_.empty()) ZipContents_.pop_back();
}

bool TZipUpdater::FindEndRecord(uint8_t (&record)[22], bool raise) {
  ArchiveComment_.clear();
  EndRecordOffset_ = 0;
  Archive_.Close();
  if (const int error = Archive_.Open(WorkingName_, platform::FileAccess::Read, platform::FileShare::Shared);
      error != 0) {
    // Another program is writing it: it is busy, not unreadable.
    if (error == EWOULDBLOCK && raise) throw EZipUpdater(msg::kArchiveBusy, WorkingName_);
    if (raise) throw EZipUpdater(msg::kCannotOpen, Display::Yes);
    ReportMessage(msg::kCannotOpenReported, "");
    return false;
  }
  try {
    const int labelDisk = LabelNumber(VolumeLabel_, 0);
    uint8_t head[8];
    const bool spannedStart = ReadFully(Archive_, head, sizeof head) &&
                              zip::HasSignature(head, zip::kSpannedSetSignature) &&
                              zip::HasSignature(head + 4, zip::kLocalHeaderSignature);
    if (spannedStart) IsMultiDisk_ = true;

    const int64_t size = Archive_.Size();
    ArchiveEnd_ = ArchiveFileSize_ = size;
    if (size >= kEndLength && Archive_.Seek(size - kEndLength) && ReadFully(Archive_, record, kEndLength) &&
        zip::HasSignature(record, zip::kEndRecordSignature)) {
      EndRecordOffset_ = size - kEndLength;
      return true;
    }

    // The record is followed by a comment, or by something else: search the
    // last bytes that can hold the record and the longest comment.
    const int64_t n = std::min<int64_t>(static_cast<int64_t>(zip::kLongestEndRecord), ArchiveEnd_);
    std::vector<uint8_t> tail(static_cast<size_t>(n));
    if (!Archive_.Seek(ArchiveEnd_ - n)) throw EZipUpdater(msg::kSeekFailed, Display::Yes);
    if (!ReadFully(Archive_, tail.data(), tail.size())) throw EZipUpdater(msg::kReadFailed, Display::Yes);
    for (int64_t i = n - kEndLength - 1; i >= 0; --i) {
      const uint8_t* found = tail.data() + i;
      if (!zip::HasSignature(found, zip::kEndRecordSignature)) continue;
      EndRecordOffset_ = ArchiveEnd_ - n + i;
      std::memcpy(record, found, zip::kEndRecordLength);
      zip::EndRecord end;
      zip::ParseEndRecord(record, end);
      const int64_t commentEnd = i + kEndLength + end.commentLength;  // within tail, or past it
      const int64_t d = commentEnd - n;
      if (d != 0) {
        ArchiveEnd_ += d;
        const bool zeros = std::all_of(tail.begin() + std::min(commentEnd, n), tail.end(),
                                       [](uint8_t byte) { return byte == 0; });
        const bool padding = size - ArchiveEnd_ < kSectorSize && size % kSectorSize == 0 && zeros;
        if (!padding) ReportMessage(msg::kBytesAfterEnd, "");
      }
      if (end.commentLength > 0) {
        const auto* comment = found + kEndLength;
        const auto available = static_cast<size_t>(std::min(commentEnd, n) - (i + kEndLength));
        ArchiveComment_.assign(reinterpret_cast<const char*>(comment),
                               std::find(comment, comment + available, uint8_t{0}) - comment);
      }
      return true;
    }

    if (!raise) return false;
    if (!spannedStart && labelDisk != 0) throw EZipUpdater(msg::kDiskOfSet, labelDisk);
    if (spannedStart) {
      throw EZipUpdater(labelDisk == 1 ? msg::kFirstDiskOfSet : msg::kNotLastDisk, Display::Yes);
    }
    throw EZipUpdater(msg::kNoEndRecord, Display::Yes);
  } catch (...) {
    if (raise) throw;
    return false;
  }
}

void TZipUpdater::List() {
  ClearList();
  ArchiveFileSize_ = 0;
  CentralDirOffset_ = 0;
  StubOffset_ = 0;
  ArchiveComment_.clear();
  IsMultiDisk_ = false;
  OffsetMismatch_ = false;
  DirOnlySkipped_ = 0;
  // A set on a fixed drive is also found by the name it was written to,
  // through its first volume.
  if (!IsFile(ZipFileName_) && !IsFile(FirstVolumeOf(ZipFileName_))) {
    if (OnDirUpdate) OnDirUpdate(*this);
    return;
  }
  {
    platform::BusyCursor hourglass;
    bool failed = false;
    bool busy = false;
    int64_t shift = 0;
    // Runs however the read ends, a message handler that throws included.
    // An archive that another program is writing keeps its name: an Add
    // says it is busy, and works once it is free.
    struct Finish {
      TZipUpdater& self;
      const bool& failed;
      const bool& busy;
      const int64_t& shift;
      ~Finish() {
        self.Archive_.Close();
        if (failed) {
          self.ClearList();
          if (!busy) self.ZipFileName_.clear();
          self.StubOffset_ = 0;
        } else {
          self.StubOffset_ += shift;
        }
      }
    } finish{*this, failed, busy, shift};
    try {
      WorkingName_ = ZipFileName_;
      DriveRoot_ = platform::DriveRootOf(ZipFileName_);
      if (!CheckDrive()) throw EZipUpdater(msg::kDriveAbsent, DriveRoot_);
      uint8_t record[zip::kEndRecordLength];
      FindSetEnd(record);
      shift = ReadDirectory(record);
    } catch (const EZipUpdater& e) {
      failed = true;
      busy = e.MessageNumber == msg::kArchiveBusy;
      ReportException(e);
    } catch (const std::bad_alloc&) {
      failed = true;
      ReportMessage(msg::kOutOfMemory, "");
    } catch (const std::exception& e) {
      failed = true;
      ReportMessage(msg::kDirectoryError, e.what());
    }
  }
  if (OnDirUpdate) OnDirUpdate(*this);
}

int64_t TZipUpdater::ReadDirectory(const uint8_t (&endBytes)[22]) {
  zip::EndRecord end;
  zip::ParseEndRecord(endBytes, end);
  DiskNumber_ = end.diskNumber;
  if (DiskNumber_ > 0) IsMultiDisk_ = true;
  // The file open is the disk of the end record.
  CurrentDisk_ = end.diskNumber;

  int64_t start = 0;
  auto recorded = static_cast<int64_t>(end.directoryOffset);
  uint64_t total = end.totalEntries;
  if (end.directoryDisk != end.diskNumber) {
    SwitchDisk(end.directoryDisk);
    ArchiveEnd_ = Archive_.Size();
    start = recorded;
  } else if (end.NeedsZip64()) {
    // Over the classic limits the zip64 end record holds the directory's
    // place, size and number of entries.
    const auto location = archive::LocateDirectory(Archive_, EndRecordOffset_, end);
    if (!location) throw EZipUpdater(msg::kDirectoryUnreadable, Display::Yes);
    start = location->start;
    recorded = location->start - location->offsetShift;
    total = location->totalEntries;
  } else {
    start = ArchiveEnd_ - static_cast<int64_t>(end.directorySize) - kEndLength - end.commentLength;
  }
  CentralDirOffset_ = start;
  OffsetMismatch_ = start != recorded;
  if (OffsetMismatch_) ReportMessage(msg::kDirectoryMoved, "");
  if (start < 0) throw EZipUpdater(msg::kDirectoryUnreadable, Display::Yes);

  // The lowest local-header offset is where the archive's first entry is;
  // with no entries, where its directory is.
  auto lowest = static_cast<uint64_t>(std::max<int64_t>(recorded, 0));
  bool beyondReported = false;
  std::optional<archive::BufferedReader> reader;
  reader.emplace(Archive_);
  reader->Skip(static_cast<uint64_t>(start));
  for (uint64_t seq = 1; seq <= total; ++seq) {
    uint8_t head[zip::kCentralHeaderLength];
    if (reader->Read(head, sizeof head) < sizeof head) {
      // The directory goes on at the start of the next volume.
      if (CurrentDisk_ >= DiskNumber_) throw EZipUpdater(msg::kDirectoryEndsEarly, Display::Yes);
      SwitchDisk(CurrentDisk_ + 1);
      reader.emplace(Archive_);
      if (reader->Read(head, sizeof head) < sizeof head) {
        throw EZipUpdater(msg::kDirectoryEndsEarly, Display::Yes);
      }
    }
    zip::CentralHeader h;
    if (!zip::ParseCentralHeader(head, h)) throw EZipUpdater(msg::kCentralHeaderSignature, Display::Yes);
    std::string name(h.nameLength, '\0');
    if (reader->Read(name.data(), name.size()) < name.size()) {
      throw EZipUpdater(msg::kCentralNameShort, Display::Yes);
    }
    MadeByVersion_ = static_cast<uint8_t>(h.versionMadeBy & 0xFF);
    HostSystem_ = h.HostSystem();
    // Names flagged as UTF-8 are in no code page.
    const bool utf8 = (h.flags & zip::kFlagUtf8) != 0;

    auto entry = std::make_unique<ZipDirEntry>();
    entry->ExtraData.resize(h.extraLength);
    if (reader->Read(entry->ExtraData.data(), h.extraLength) < h.extraLength) {
      throw EZipUpdater(msg::kDirectoryUnreadable, Display::Yes);
    }
    if (h.commentLength > 0) {
      entry->FileComment.resize(h.commentLength);
      if (reader->Read(entry->FileComment.data(), h.commentLength) < h.commentLength) {
        throw EZipUpdater(msg::kCommentShort, Display::Yes);
      }
      if (!utf8) entry->FileComment = ConvertName(entry->FileComment, false);
    }
    zip::ApplyZip64Extra(entry->ExtraData.data(), entry->ExtraData.size(), h);

    bool beyond = false;
    entry->MadeByVersion = h.versionMadeBy;
    entry->ExtractVersion = h.versionNeeded;
    entry->Flag = h.flags;
    entry->CompressionMethod = h.method;
    entry->FileTime = h.time;
    entry->FileDate = h.date;
    entry->CRC32 = h.crc;
    entry->CompressedSize = Field32(h.compressedSize, beyond);
    entry->UncompressedSize = Field32(h.uncompressedSize, beyond);
    entry->FileNameLength = h.nameLength;
    entry->ExtraFieldLength = h.extraLength;
    entry->FileCommentLen = h.commentLength;
    beyond = beyond || h.diskStart > zip::kZip64Marker16;
    entry->StartOnDisk = static_cast<uint16_t>(std::min<uint32_t>(h.diskStart, zip::kZip64Marker16));
    entry->IntFileAttrib = h.internalAttributes;
    entry->ExtFileAttrib = h.externalAttributes;
    entry->RelOffLocalHdr = Field32(h.localHeaderOffset, beyond);
    entry->FileName = utf8 ? name : ConvertName(name, false);
    entry->Encrypted = static_cast<uint8_t>(h.flags & zip::kFlagEncrypted);
    if (beyond && !beyondReported) {
      // The list's fields are 32 bits wide: such an entry is listed with the
      // marker value, and the user is told (once per read).
      beyondReported = true;
      ReportMessage(msg::kValueBeyond32Bits, entry->FileName);
    }

    // Folders (a name with nothing after its last separator) are left out
    // unless they are wanted.
    const size_t slash = entry->FileName.find_last_of('/');
    const bool hasFilePart = slash == std::string::npos ? !entry->FileName.empty()
                                                        : slash + 1 < entry->FileName.size();
    if (UseDirOnlyEntries || hasFilePart) {
      ZipContents_.push_back(std::move(entry));
      if (OnNewName) OnNewName(*this, static_cast<int32_t>(seq), *ZipContents_.back());
    } else {
      ++DirOnlySkipped_;
    }
    lowest = std::min(lowest, h.localHeaderOffset);
  }
  DiskNumber_ = end.diskNumber;
  StubOffset_ = static_cast<int64_t>(lowest);
  return start - recorded;
}

}  // namespace fretfile
