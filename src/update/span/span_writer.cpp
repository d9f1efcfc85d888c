// The source is read as hostile input: every read is checked, the table of
// entries holds at most 65535 names of at most 255 characters.
#include "update/span/span_writer.h"

#include <QScopeGuard>
#include <algorithm>
#include <new>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <unordered_map>

#include "archive/buffered_reader.h"
#include "archive/little_endian.h"
#include "archive/zip_format.h"
#include "platform/drives/drives.h"
#include "platform/drives/format_dialog.h"
#include "platform/posix/file_attributes.h"
#include "platform/ui_contracts/message_pump.h"
#include "platform/ui_contracts/prompts.h"
#include "update/component/directory_list.h"
#include "update/component/updater_messages.h"
#include "update/component/zip_updater.h"
#include "update/span/disk_volumes.h"
#include "update/span/volume_names.h"

namespace fretfile {
namespace zip = archive::zip;
namespace {

using Display = EZipUpdater::Display;
using EntryRecord = SpanWriter::EntryRecord;

constexpr size_t kComparedNameLength = 255;
constexpr size_t kCopyBlock = 64 * 1024;

void ReadExact(archive::BufferedReader& source, void* out, size_t count, int32_t shortRead) {
  if (source.Read(out, count) < count) throw EZipUpdater(shortRead, Display::Yes);
}

// The numbers of what can be wrong with a record read from the source.
struct RecordErrors {
  int32_t headShort;
  int32_t wrongSignature;
  int32_t nameShort;
};

// A record's fixed part into head, parsed into header, and the name behind
// it.
template <typename Header, size_t kLength>
std::string ReadNamedRecord(archive::BufferedReader& source, uint8_t (&head)[kLength], Header& header,
                            bool (*parse)(const uint8_t*, Header&), RecordErrors errors) {
  ReadExact(source, head, kLength, errors.headShort);
  if (!parse(head, header)) throw EZipUpdater(errors.wrongSignature, Display::Yes);
  std::string name(header.nameLength, '\0');
  ReadExact(source, name.data(), name.size(), errors.nameShort);
  return name;
}

// Names are compared on their first 255 characters, ignoring the case of
// ASCII letters.
std::string NameKey(const std::string& name) {
  std::string key = name.substr(0, kComparedNameLength);
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

// Finds the entry each central header belongs to: the one of its name whose
// local header it names, failing that the first of its name not yet taken
// (so that names differing only in case each find their own). Linear in
// the number of entries, however alike their names.
class EntryIndex {
 public:
  explicit EntryIndex(const std::vector<EntryRecord>& table) : table_(table), taken_(table.size()) {
    for (size_t i = 0; i < table.size(); ++i) {
      byOffset_.emplace(table[i].sourceOffset, i);
      byName_[NameKey(table[i].name)].indices.push_back(i);
    }
  }

  // The entry's index, or nothing.
  std::optional<size_t> Take(const std::string& name, uint64_t localHeaderOffset) {
    const std::string key = NameKey(name);
    const auto exact = byOffset_.find(localHeaderOffset);
    if (exact != byOffset_.end() && !taken_[exact->second] && NameKey(table_[exact->second].name) == key) {
      taken_[exact->second] = true;
      return exact->second;
    }
    const auto named = byName_.find(key);
    if (named == byName_.end()) return std::nullopt;
    Candidates& candidates = named->second;
    while (candidates.next < candidates.indices.size() && taken_[candidates.indices[candidates.next]]) {
      ++candidates.next;
    }
    if (candidates.next == candidates.indices.size()) return std::nullopt;
    taken_[candidates.indices[candidates.next]] = true;
    return candidates.indices[candidates.next];
  }

 private:
  struct Candidates {
    std::vector<size_t> indices;
    size_t next = 0;
  };
  const std::vector<EntryRecord>& table_;
  std::vector<bool> taken_;
  std::unordered_map<uint64_t, size_t> byOffset_;
  std::unordered_map<std::string, Candidates> byName_;
};

}  // namespace

void SpanWriter::Progress(ProgressType type, const std::string& name, int64_t size) {
  if (component_.OnProgress) {
    const auto clamped = static_cast<int32_t>(std::clamp<int64_t>(size, INT32_MIN, INT32_MAX));
    component_.OnProgress(component_, type, name, clamped);
  }
}

int32_t SpanWriter::Write(const std::string& source, const std::string& target) {
  volumes_.DriveRoot = platform::DriveRootOf(target);
  volumes_.CurrentDisk = 0;
  volumes_.VolumeFree = 0;
  volumes_.WorkingName = source;
  component_.ProgressOn = false;
  SpanTarget_ = target;
  int32_t result = -9;
  platform::BusyCursor busy;
  // However the copy ends: a failed one leaves no volume of its own run
  // behind on a fixed drive (a half set there would look whole to a reader
  // of its last file), nor the volume it was writing on a disk.
  const auto finish = qScopeGuard([&] {
    component_.ProgressOn = false;
    EntryTable_.clear();
    if (result != 0) RemoveWhatWasWritten();
    OutputName_.clear();
    volumes_.Archive.Close();
  });
  try {
    CopySpan();
    result = 0;
  } catch (const EZipUpdater& error) {
    result = -7;
    component_.ReportException(error);
  } catch (const std::bad_alloc&) {
    result = -8;
    component_.ReportMessage(msg::kOutOfMemory, "");
  } catch (const std::exception& error) {
    result = -9;
    component_.ReportMessage(msg::kSpanFailed, error.what());
  }
  return result;
}

void SpanWriter::RemoveWhatWasWritten() {
  OutputHandle_.Close();
  std::error_code error;
  if (!OutputName_.empty()) std::filesystem::remove(OutputName_, error);
  for (const std::string& volume : WrittenVolumes_) std::filesystem::remove(volume, error);
  WrittenVolumes_.clear();
}

zip::EndRecord SpanWriter::OpenSource() {
  if (!platform::IsFile(volumes_.WorkingName)) throw EZipUpdater(msg::kCannotOpen, Display::Yes);
  uint8_t endBytes[zip::kEndRecordLength];
  directory_.FindEndRecord(endBytes, true);
  zip::EndRecord end;
  zip::ParseEndRecord(endBytes, end);
  // The volumes' records have 16 and 32 bits for disks, counts and offsets:
  // an archive that needs more (or is a set itself) cannot be spread.
  if (end.NeedsZip64() || end.diskNumber != 0 || end.directoryDisk != 0) {
    throw std::runtime_error("the archive is not a single archive within the classic zip limits");
  }
  std::error_code error;
  SourceDate_ = std::filesystem::last_write_time(volumes_.WorkingName, error);
  if (error) throw EZipUpdater(msg::kCannotOpen, Display::Yes);
  if (!volumes_.Archive.Seek(0)) throw EZipUpdater(msg::kSeekFailed, Display::Yes);
  return end;
}

void SpanWriter::CopySpan() {
  const zip::EndRecord end = OpenSource();
  const int64_t sourceSize = volumes_.Archive.Size();
  archive::BufferedReader source(volumes_.Archive);
  std::vector<uint8_t> buffer(kCopyBlock);

  EntryTable_.clear();
  EntryTable_.reserve(end.totalEntries);
  uint8_t signature[4];
  archive::Put32(signature, zip::kSpannedSetSignature);
  DiskWrite(signature, sizeof signature, 0);
  component_.ProgressOn = true;
  Progress(kProgressTotalFiles, "", end.totalEntries);
  Progress(kProgressTotalSize, "", sourceSize);
  for (uint32_t i = 0; i < end.totalEntries; ++i) CopyLocalEntry(source, buffer);
  const DirectoryPlace place = CopyCentralDirectory(source, end);
  CopyEndRecord(source, end, place);
  component_.ProgressOn = false;
  CloseVolume();
  WrittenVolumes_.clear();
}

void SpanWriter::CopyLocalEntry(archive::BufferedReader& source, std::vector<uint8_t>& buffer) {
  const uint64_t sourceOffset = source.Position();
  uint8_t head[zip::kLocalHeaderLength];
  zip::LocalHeader local;
  const std::string name = ReadNamedRecord(
      source, head, local, &zip::ParseLocalHeader,
      {msg::kLocalHeaderShort, msg::kLocalHeaderSignature, msg::kLocalNameShort});
  std::vector<uint8_t> extra(local.extraLength);
  ReadExact(source, extra.data(), extra.size(), msg::kLocalExtraShort);
  if (zip::ApplyZip64Extra(extra.data(), extra.size(), local) != zip::Zip64Outcome::NotNeeded) {
    throw std::runtime_error("an entry is over the classic zip limits: " + name);
  }
  const bool descriptor = (local.flags & zip::kFlagDataDescriptor) != 0;
  EntryTable_.push_back({name.substr(0, kComparedNameLength), sourceOffset, 0, 0});
  if (component_.OnMessage) {
    component_.OnMessage(component_, 0, TZipUpdater::MessageText(msg::kCopying, "Copying: ") + name);
  }
  const int64_t recordLength = static_cast<int64_t>(zip::kLocalHeaderLength) + local.nameLength + local.extraLength;
  Progress(kProgressNewFile, name,
           recordLength + static_cast<int64_t>(local.compressedSize) +
               (descriptor ? static_cast<int64_t>(zip::kSignedDataDescriptorLength) : 0));
  DiskWrite(head, sizeof head, recordLength);
  // Taken after the write, which may have begun a new volume.
  EntryTable_.back().volume = volumes_.CurrentDisk;
  EntryTable_.back().offset = BytesOnVolume_ - static_cast<int64_t>(zip::kLocalHeaderLength);
  DiskWrite(reinterpret_cast<const uint8_t*>(name.data()), static_cast<int64_t>(name.size()), 0);
  DiskWrite(extra.data(), static_cast<int64_t>(extra.size()), 0);
  CopyToVolumes(source, buffer, local.compressedSize, msg::kDataShort);
  if (descriptor) {
    // A short peek leaves no signature there (the zeros), so 12 bytes are
    // asked for and the copy reports them missing.
    uint8_t peek[4] = {};
    source.Peek(peek, sizeof peek);
    CopyToVolumes(source, buffer, zip::DataDescriptorLengthAt(peek, false), msg::kDescriptorShort);
  }
}

SpanWriter::DirectoryPlace SpanWriter::CopyCentralDirectory(archive::BufferedReader& source,
                                                            const zip::EndRecord& end) {
  const std::string directoryText = TZipUpdater::MessageText(msg::kCentralDirectory, "Central directory");
  if (component_.OnMessage) {
    component_.OnMessage(component_, 0, TZipUpdater::MessageText(msg::kCopying, "Copying: ") + directoryText);
  }
  Progress(kProgressNewFile, directoryText,
           int64_t{end.directorySize} + end.commentLength + static_cast<int64_t>(zip::kEndRecordLength));
  DirectoryPlace place;
  EntryIndex index(EntryTable_);
  for (uint32_t i = 0; i < end.totalEntries; ++i) {
    uint8_t head[zip::kCentralHeaderLength];
    zip::CentralHeader central;
    const std::string name = ReadNamedRecord(
        source, head, central, &zip::ParseCentralHeader,
        {msg::kDirectoryEndsEarly, msg::kCentralHeaderSignature, msg::kCentralNameShort});
    std::vector<uint8_t> rest(size_t{central.extraLength} + central.commentLength);
    ReadExact(source, rest.data(), central.extraLength, msg::kCentralExtraShort);
    ReadExact(source, rest.data() + central.extraLength, central.commentLength, msg::kCommentShort);

    const auto found = index.Take(name, central.localHeaderOffset);
    if (!found) throw EZipUpdater(msg::kNoLocalHeader, Display::Yes);
    central.diskStart = static_cast<uint32_t>(EntryTable_[*found].volume);
    central.localHeaderOffset = static_cast<uint64_t>(EntryTable_[*found].offset);
    zip::WriteCentralHeader(central, head);
    DiskWrite(head, sizeof head, static_cast<int64_t>(central.Length()));
    if (place.volume < 0) {
      place.volume = volumes_.CurrentDisk;
      place.offset = BytesOnVolume_ - static_cast<int64_t>(zip::kCentralHeaderLength);
    }
    if (place.countedVolume != volumes_.CurrentDisk) {
      place.countedVolume = volumes_.CurrentDisk;
      place.entriesOnVolume = 0;
    }
    ++place.entriesOnVolume;
    DiskWrite(reinterpret_cast<const uint8_t*>(name.data()), static_cast<int64_t>(name.size()), 0);
    DiskWrite(rest.data(), static_cast<int64_t>(rest.size()), 0);
  }
  return place;
}

void SpanWriter::CopyEndRecord(archive::BufferedReader& source, const zip::EndRecord& end, DirectoryPlace place) {
  // The comment to copy is the one behind the record found.
  if (static_cast<int64_t>(source.Position()) != directory_.EndRecordOffset) {
    throw std::runtime_error("the central directory is not followed by the end record");
  }
  source.Skip(zip::kEndRecordLength);
  std::vector<uint8_t> comment(end.commentLength);
  ReadExact(source, comment.data(), comment.size(), msg::kArchiveCommentShort);
  // Room for the record and the comment first, so that the record names the
  // volume it is written to.
  const int64_t endLength = static_cast<int64_t>(zip::kEndRecordLength) + end.commentLength;
  DiskWrite(nullptr, 0, endLength);
  if (place.volume < 0) {
    place.volume = volumes_.CurrentDisk;
    place.offset = BytesOnVolume_;
  }
  zip::EndRecord spanned = end;
  spanned.diskNumber = static_cast<uint16_t>(volumes_.CurrentDisk);
  spanned.directoryDisk = static_cast<uint16_t>(place.volume);
  spanned.directoryOffset = static_cast<uint32_t>(place.offset);
  spanned.entriesOnDisk = place.countedVolume == volumes_.CurrentDisk ? place.entriesOnVolume : 0;
  uint8_t record[zip::kEndRecordLength];
  zip::WriteEndRecord(spanned, record);
  DiskWrite(record, sizeof record, endLength);
  DiskWrite(comment.data(), static_cast<int64_t>(comment.size()), 0);
}

void SpanWriter::CopyToVolumes(archive::BufferedReader& source, std::vector<uint8_t>& buffer, uint64_t count,
                               int32_t shortRead) {
  while (count > 0) {
    const size_t block = static_cast<size_t>(std::min<uint64_t>(count, buffer.size()));
    ReadExact(source, buffer.data(), block, shortRead);
    DiskWrite(buffer.data(), static_cast<int64_t>(block), 0);
    count -= block;
  }
}

void SpanWriter::NextVolume() {
  CloseVolume();
  BytesOnVolume_ = 0;
  NewDiskNeeded_ = true;
  ++volumes_.CurrentDisk;
}

void SpanWriter::DiskWrite(const uint8_t* bytes, int64_t count, int64_t keep) {
  platform::ProcessMessages();
  if (component_.CancelRequested()) throw EZipUpdater(msg::kCancelled, Display::No);
  for (;;) {
    while (!OutputHandle_.IsOpen()) OpenVolume(keep);
    if (keep > 0 && volumes_.VolumeFree < keep) {
      // The record does not fit here: it begins the next volume.
      NextVolume();
      continue;
    }
    const int64_t n = std::min(volumes_.VolumeFree, count);
    if (n > 0) {
      if (OutputHandle_.Write(bytes, static_cast<size_t>(n)) != 0) throw EZipUpdater(msg::kWriteFailed, Display::Yes);
      if (component_.ProgressOn) Progress(kProgressUpdate, "", n);
    }
    BytesOnVolume_ += n;
    volumes_.VolumeFree -= n;
    if (n == count) return;
    NextVolume();
    volumes_.VolumeFree = 0;
    bytes += n;
    count -= n;
  }
}

void SpanWriter::FormatDisk() {
  volumes_.DriveIndex = platform::DriveIndex(volumes_.DriveRoot);
  volumes_.VolumeLabel = VolumeLabelOf(volumes_.CurrentDisk);
  const int32_t formatted = component_.RunFormat();
  if (formatted == platform::kFormatCancelled) throw EZipUpdater(msg::kCancelled, Display::No);
  if (formatted == platform::kFormatError) throw EZipUpdater(msg::kCancelled, Display::Yes);
}

void SpanWriter::OpenVolume(int64_t keep) {
  if (volumes_.CurrentDisk >= kMostVolumes) {
    throw std::runtime_error("a set holds at most " + std::to_string(kMostVolumes) + " volumes");
  }
  const bool numbered = NumberedDrive(volumes_.AskForDisk(NewDiskNeeded_));
  const std::string name = numbered ? NumberedVolumeName(SpanTarget_, volumes_.CurrentDisk) : SpanTarget_;
  if (!numbered && component_.AddOptions.Contains(AddDiskSpanErase) &&
      (!component_.OnGetNextDisk || DiskAction_ == zdaErase)) {
    FormatDisk();
  }
  std::error_code error;
  if (std::filesystem::exists(name, error) && !AskToOverwrite(name)) {
    BytesOnVolume_ = 0;
    NewDiskNeeded_ = true;
    return;
  }
  if (OutputHandle_.Open(name, platform::FileAccess::Write, platform::FileShare::DenyAll,
                         platform::FileCreation::CreateOrTruncate) != 0) {
    throw EZipUpdater(msg::kVolumeNotCreated, Display::Yes);
  }
  OutputName_ = name;
  if (numbered) WrittenVolumes_.push_back(name);
  if (!VolumeHasRoom(name, numbered, keep)) return;
  if (!numbered) {
    volumes_.VolumeLabel = VolumeLabelOf(volumes_.CurrentDisk);
    if (!platform::SetVolumeLabel(volumes_.DriveRoot, volumes_.VolumeLabel)) {
      throw EZipUpdater(msg::kLabelNotWritten, Display::Yes);
    }
  }
}

bool SpanWriter::VolumeHasRoom(const std::string& name, bool numbered, int64_t keep) {
  volumes_.DiskFreeSpace(1);
  int64_t& free = volumes_.VolumeFree;
  if (component_.MaxVolumeSize > 0) free = std::min<int64_t>(free, component_.MaxVolumeSize);
  if (volumes_.CurrentDisk == 0) free -= component_.KeepFreeOnDisk1;
  // A volume must hold at least the record that waits for it (else every
  // new volume would be closed again at once).
  if (free >= std::max<int64_t>({component_.MinFreeVolumeSize, keep, 1})) return true;
  OutputHandle_.Close();
  std::error_code error;
  std::filesystem::remove(name, error);
  OutputName_.clear();
  if (numbered) WrittenVolumes_.pop_back();
  if (component_.Unattended) throw EZipUpdater(msg::kDiskWhileUnattended, Display::Yes);
  AskForSpace(name);
  BytesOnVolume_ = 0;
  NewDiskNeeded_ = true;
  return false;
}

void SpanWriter::CloseVolume() {
  if (!OutputHandle_.IsOpen()) return;
  const int closed = OutputHandle_.Close();
  std::error_code error;
  std::filesystem::last_write_time(OutputName_, SourceDate_, error);
  OutputName_.clear();
  if (closed != 0) throw EZipUpdater(msg::kWriteFailed, Display::Yes);
}

bool SpanWriter::AskToOverwrite(const std::string& name) {
  const int32_t labelNumber = LabelNumber(volumes_.VolumeLabel, 1);
  if (component_.Unattended) throw EZipUpdater(msg::kDiskWhileUnattended, Display::Yes);
  std::error_code error;
  const bool earlierVolume = std::filesystem::last_write_time(name, error) == SourceDate_ && !error &&
                             labelNumber - 1 < volumes_.CurrentDisk;
  std::string text;
  if (earlierVolume) {
    DiskStatus_ = zdsPreviousDisk;
    text = msg::FormatText(TZipUpdater::MessageText(msg::kOverwriteDisk, "Overwrite previous disk no %d"),
                           {int64_t{labelNumber}});
  } else {
    DiskStatus_ = zdsSameFileName;
    text = msg::FormatText(TZipUpdater::MessageText(msg::kOverwriteFile, "Overwrite previous file %s"), {name});
  }
  DiskStatus_ |= volumes_.VolumeTotal - volumes_.VolumeFree != 0 ? zdsHasFiles : zdsEmpty;
  platform::PromptAnswer answer = platform::PromptAnswer::None;
  if (component_.OnStatusDisk) {
    DiskAction_ = zdaOk;
    component_.OnStatusDisk(component_, labelNumber, name, DiskStatus_, DiskAction_);
    if (DiskAction_ == zdaOk || DiskAction_ == zdaErase) answer = platform::PromptAnswer::Yes;
    if (DiskAction_ == zdaReject) answer = platform::PromptAnswer::No;
  } else {
    answer = platform::PromptQuestion(
        {"Confirm", text, platform::PromptButtons::YesNoCancel, platform::PromptIcon::Warning, 1});
  }
  if (answer == platform::PromptAnswer::Yes) return true;
  if (answer == platform::PromptAnswer::No) return false;
  throw EZipUpdater(msg::kCancelled, Display::No);
}

void SpanWriter::AskForSpace(const std::string& name) {
  if (component_.OnStatusDisk) {
    DiskAction_ = zdaOk;
    component_.OnStatusDisk(component_, LabelNumber(volumes_.VolumeLabel, 1), name, zdsNotEnoughSpace, DiskAction_);
    if (DiskAction_ == zdaCancel) throw EZipUpdater(msg::kCancelled, Display::No);
    return;
  }
  const auto answer = platform::PromptQuestion(
      {"", TZipUpdater::MessageText(msg::kNotEnoughSpace, "This disk has not enough free space available"),
       platform::PromptButtons::RetryCancel, platform::PromptIcon::Stop, 0});
  if (answer == platform::PromptAnswer::Retry) return;
  if (answer == platform::PromptAnswer::None) throw EZipUpdater(msg::kNoAnswer, Display::Yes);
  throw EZipUpdater(msg::kCancelled, Display::No);
}

}  // namespace fretfile
