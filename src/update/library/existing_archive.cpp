#include "update/library/existing_archive.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include "archive/locate_directory.h"
#include "platform/posix/positional_io.h"

namespace zippack {
namespace zip = archive::zip;
namespace {

// Why a directory read as damaged, in the words of the library's messages.
const char* WhyDamaged(archive::CentralRead result) {
  switch (result) {
    case archive::CentralRead::kHeaderShort: return "the central directory ends inside a header";
    case archive::CentralRead::kNoSignature: return "a central header is missing";
    case archive::CentralRead::kNameShort:
    case archive::CentralRead::kExtraShort:
    case archive::CentralRead::kCommentShort: return "a central header runs past the directory";
    default: return "the central directory cannot be read";
  }
}

// The named check that the archive lives on one disk: the end record (and
// its zip64 form, which it then defers to) names disk 0 for itself and for
// the directory.
bool OnOneDisk(const zip::EndRecord& record) {
  const auto firstDisk = [](uint16_t disk) { return disk == 0 || disk == zip::kZip64Marker16; };
  return firstDisk(record.diskNumber) && firstDisk(record.directoryDisk);
}

// The named check that the directory lies inside the file, in front of the
// record that describes it.
bool DirectoryInsideFile(const archive::DirectoryLocation& location) {
  const int64_t end = location.zip64EndRecordOffset >= 0 ? location.zip64EndRecordOffset : location.endRecordOffset;
  return location.start >= 0 && location.start <= end && location.size <= static_cast<uint64_t>(end - location.start);
}

// The named check on the entry count: the classic field keeps only the low
// 16 bits, which some writers let wrap instead of writing zip64.
bool EntryCountMatches(uint64_t listed, const archive::DirectoryLocation& location) {
  return location.zip64EndRecordOffset >= 0 ? listed == location.totalEntries
                                            : (listed & 0xFFFF) == location.totalEntries;
}

// The named check on where an entry starts: inside the file, in front of
// the directory, with room for its local header. The offset in the file, or
// nothing.
std::optional<uint64_t> LocalHeaderPlace(uint64_t recorded, int64_t shift, uint64_t directoryStart) {
  if (recorded > static_cast<uint64_t>(INT64_MAX / 2)) return std::nullopt;
  const int64_t offset = static_cast<int64_t>(recorded) + shift;
  if (offset < 0 || static_cast<uint64_t>(offset) + zip::kLocalHeaderLength > directoryStart) return std::nullopt;
  return static_cast<uint64_t>(offset);
}

// The named check that an entry fits before the next one begins: its local
// header, name, extra field and data (the directory's size, which also holds
// for entries with a data descriptor).
bool EntryFitsItsRegion(const zip::LocalHeader& local, uint64_t compressedSize, uint64_t region) {
  const uint64_t header = zip::kLocalHeaderLength + uint64_t{local.nameLength} + local.extraLength;
  return header <= region && compressedSize <= region - header;
}

}  // namespace

bool FdSource::ReadAt(int64_t offset, uint8_t* out, size_t count) {
  if (offset < 0) return false;
  errno = 0;
  if (platform::ReadFullyAt(fd, static_cast<uint64_t>(offset), out, count)) return true;
  if (errno != 0 && error == 0) error = errno;
  return false;
}

ExistingArchive::Outcome ExistingArchive::Fail(Outcome outcome, std::string why) {
  why_ = std::move(why);
  return outcome;
}

ExistingArchive::Outcome ExistingArchive::Read(int fd, uint64_t fileSize,
                                               const std::function<void(size_t, const CentralRecord&)>& visit) {
  source_ = FdSource{fd};
  if (fileSize == 0) return Outcome::Read;  // nothing in it yet: nothing to keep
  FdSource& source = source_;
  zip::EndRecord end;
  const int64_t endOffset = archive::FindEndRecordIn(source, static_cast<int64_t>(fileSize), end);
  if (endOffset < 0) {
    return source.error != 0 ? Fail(Outcome::Unreadable, std::strerror(source.error))
                             : Fail(Outcome::Damaged, "no end of central directory record");
  }
  if (!OnOneDisk(end)) return Fail(Outcome::Spanned, {});
  const auto location = archive::LocateDirectoryIn(source, endOffset, end);
  if (source.error != 0) return Fail(Outcome::Unreadable, std::strerror(source.error));
  if (!location) return Fail(Outcome::Damaged, "the central directory lies outside the file");
  if (end.NeedsZip64() && location->zip64EndRecordOffset < 0) return Fail(Outcome::Damaged, "zip64 end record missing");
  if (!DirectoryInsideFile(*location)) return Fail(Outcome::Damaged, "the central directory runs past its end record");
  directoryStart_ = static_cast<uint64_t>(location->start);
  directorySize_ = location->size;
  offsetShift_ = location->offsetShift;

  // The comment is what follows the end record, as long as it says (a file
  // cut short keeps what is there).
  const uint64_t commentAt = static_cast<uint64_t>(endOffset) + zip::kEndRecordLength;
  comment_.resize(static_cast<size_t>(std::min<uint64_t>(end.commentLength, fileSize - commentAt)));
  if (!platform::ReadFullyAt(fd, commentAt, reinterpret_cast<uint8_t*>(comment_.data()), comment_.size())) {
    return Fail(Outcome::Unreadable, "the archive comment cannot be read");
  }

  DirectoryReader reader = Reread();
  CentralRecord record;
  archive::CentralRead result;
  entries_.clear();
  while ((result = reader.Next(record)) == archive::CentralRead::kRecord) {
    if (record.zip64 == zip::Zip64Outcome::Missing) return Fail(Outcome::Damaged, "an entry lacks its zip64 sizes");
    if (record.header.diskStart != 0) return Fail(Outcome::Spanned, {});
    const auto offset = LocalHeaderPlace(record.header.localHeaderOffset, offsetShift_, directoryStart_);
    if (!offset) return Fail(Outcome::Damaged, "an entry's local header lies outside the archive");
    ExistingEntry entry;
    entry.localOffset = *offset;
    entry.dosDateTime = uint32_t{record.header.date} << 16 | record.header.time;
    entry.compressedSize = record.header.compressedSize;
    visit(entries_.size(), record);
    entries_.push_back(entry);
  }
  if (result != archive::CentralRead::kEnd) return Fail(Outcome::Damaged, WhyDamaged(result));
  if (!EntryCountMatches(entries_.size(), *location)) {
    return Fail(Outcome::Damaged, "the central directory lists another number of entries");
  }
  return LayOut();
}

uint64_t ExistingArchive::RegionEnd(size_t position) const {
  return position + 1 < fileOrder_.size() ? entries_[fileOrder_[position + 1]].localOffset : directoryStart_;
}

ExistingArchive::Outcome ExistingArchive::LayOut() {
  fileOrder_.resize(entries_.size());
  for (size_t i = 0; i < entries_.size(); ++i) fileOrder_[i] = static_cast<uint32_t>(i);
  std::sort(fileOrder_.begin(), fileOrder_.end(),
            [&](uint32_t a, uint32_t b) { return entries_[a].localOffset < entries_[b].localOffset; });
  prefixEnd_ = fileOrder_.empty() ? directoryStart_ : entries_[fileOrder_.front()].localOffset;

  for (size_t position = 0; position < fileOrder_.size(); ++position) {
    const uint32_t index = fileOrder_[position];
    const uint64_t start = entries_[index].localOffset;
    const uint64_t region = RegionEnd(position) - start;
    uint8_t fixed[zip::kLocalHeaderLength];
    zip::LocalHeader local;
    if (!platform::ReadFullyAt(source_.fd, start, fixed, sizeof fixed)) {
      return Fail(Outcome::Unreadable, "a local header cannot be read");
    }
    if (!zip::ParseLocalHeader(fixed, local)) return Fail(Outcome::Damaged, "a local header is missing");
    if (!EntryFitsItsRegion(local, entries_[index].compressedSize, region)) return Fail(Outcome::Damaged, "entries overlap");
  }
  return Outcome::Read;
}

}  // namespace zippack
