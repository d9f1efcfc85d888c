#include "archive/tzip.h"

#include <sys/stat.h>

#include <climits>
#include <cstring>
#include <optional>
#include <vector>

#include "archive/buffered_reader.h"
#include "archive/deferred_sizes.h"
#include "archive/little_endian.h"
#include "archive/zip_format.h"
#include "platform/io_error.h"
#include "platform/shared_file.h"

namespace fretfile {
namespace {

using archive::zip::LocalHeader;
namespace zip = archive::zip;

// A central header's fixed part after its signature. Its name, extra field
// and comment are not skipped by their lengths: the walk looks on through
// them for the next record like through any other data it does not know.
constexpr uint64_t kCentralHeaderRest = zip::kCentralHeaderLength - 4;

bool StartsRecord(const uint8_t* bytes) {
  return zip::HasSignature(bytes, zip::kLocalHeaderSignature) ||
         zip::HasSignature(bytes, zip::kCentralHeaderSignature) ||
         zip::HasSignature(bytes, zip::kEndRecordSignature);
}

// Moves past the data descriptor behind an entry's data: 16 bytes with its
// signature, 12 without (8 more with zip64 sizes), none when a record starts
// right there (a writer that set the flag and wrote no descriptor).
void SkipDescriptor(archive::BufferedReader& reader, bool zip64) {
  uint8_t next[4] = {};
  if (reader.Peek(next, sizeof next) < sizeof next || StartsRecord(next)) return;
  reader.Skip(zip::DataDescriptorLengthAt(next, zip64));
}

ZipFile EntryOf(const LocalHeader& header) {
  ZipFile entry;
  entry.Version = header.versionNeeded;
  entry.Flags = header.flags;
  entry.PackMethod = header.method;
  entry.FileTime = header.time;
  entry.FileDate = header.date;
  entry.Crc = header.crc;
  entry.CompressedSize = static_cast<int32_t>(static_cast<uint32_t>(header.compressedSize));
  entry.Size = static_cast<uint32_t>(header.uncompressedSize);
  entry.FileNameLength = header.nameLength;
  entry.ExtraLength = header.extraLength;
  return entry;
}

// Moves past the extra field and the data of an entry whose header does not
// give its compressed size: from its zip64 extra field, else from the
// central directory, else by searching for its data descriptor. When none
// knows, the walk moves as the header says (and finds the next header by
// stepping through the data, or ends on a 4 GB skip).
void SkipDeferredData(archive::BufferedReader& reader, archive::DeferredSizes& sizes, LocalHeader header,
                      uint64_t headerOffset) {
  std::vector<uint8_t> extra(header.extraLength);
  extra.resize(reader.Read(extra.data(), extra.size()));
  size_t blockLength = 0;
  const bool zip64 = zip::FindExtraBlock(extra.data(), extra.size(), zip::kZip64ExtraId, blockLength) != nullptr;
  const uint64_t classicSize = header.compressedSize;

  std::optional<uint64_t> size;
  if (zip::ApplyZip64Extra(extra.data(), extra.size(), header) == zip::Zip64Outcome::Applied) {
    size = header.compressedSize;
  }
  if (!size) size = sizes.FromDirectory(headerOffset);
  const bool hasDescriptor = (header.flags & zip::kFlagDataDescriptor) != 0;
  if (!size && hasDescriptor) size = sizes.FromDescriptorSearch(reader.Position(), zip64);
  if (!size) {
    reader.Skip(classicSize);
    return;
  }
  reader.Skip(*size);
  if (hasDescriptor) SkipDescriptor(reader, zip64);
}

// Reads the rest of a local header (after its signature, which started at
// headerOffset) and moves past its name, extra field and data.
ZipFile ReadLocalHeader(archive::BufferedReader& reader, archive::DeferredSizes& sizes, uint64_t headerOffset) {
  // A header cut short by the end of the file keeps zeros in what is missing.
  uint8_t fixed[zip::kLocalHeaderLength] = {};
  archive::Put32(fixed, zip::kLocalHeaderSignature);
  reader.Read(fixed + 4, sizeof fixed - 4);
  LocalHeader header;
  zip::ParseLocalHeader(fixed, header);
  ZipFile entry = EntryOf(header);

  char name[TZipFile::kNameBufferSize];
  const size_t stored = std::min<size_t>(header.nameLength, sizeof name);
  const size_t got = reader.Read(name, stored);
  const void* zero = std::memchr(name, 0, got);
  entry.FileName.assign(name, zero ? static_cast<const char*>(zero) - name : got);
  reader.Skip(header.nameLength - stored);

  const bool sizesInZip64 =
      header.compressedSize == zip::kZip64Marker32 || header.uncompressedSize == zip::kZip64Marker32;
  const bool sizesInDescriptor = (header.flags & zip::kFlagDataDescriptor) != 0 && header.compressedSize == 0;
  if (sizesInZip64 || sizesInDescriptor) {
    SkipDeferredData(reader, sizes, header, headerOffset);
  } else {
    reader.Skip(header.extraLength);
    // The size is unsigned: a value with the top bit set is a large entry
    // (or garbage), never a step backwards, so the walk always moves forward.
    reader.Skip(header.compressedSize);
  }
  return entry;
}

// Moves to the next place where one of the three records the walk knows
// starts (only a local header with localOnly), at any alignment: the
// position itself if one starts there. False (and at the end of the file)
// when none follows.
bool SkipToNextRecord(archive::BufferedReader& reader, bool localOnly = false) {
  // A small window: what lies between records is mostly a central header's
  // name, and a peek copies the whole window.
  uint8_t bytes[512];
  for (;;) {
    const size_t got = reader.Peek(bytes, sizeof bytes);
    if (got < 4) {
      reader.Skip(got);
      return false;
    }
    // Every start but the last three is looked at; they come again next time.
    const size_t starts = got - 3;
    for (size_t i = 0; i < starts; ++i) {
      const void* p = std::memchr(bytes + i, 'P', starts - i);
      if (p == nullptr) break;
      i = static_cast<size_t>(static_cast<const uint8_t*>(p) - bytes);
      if (localOnly ? zip::HasSignature(bytes + i, zip::kLocalHeaderSignature) : StartsRecord(bytes + i)) {
        reader.Skip(i);
        return true;
      }
    }
    reader.Skip(starts);
  }
}

// Moves to the first local header of an archive that does not start with a
// record: data in front of it (a self-extractor's program, padding, a
// download's prefix). The central directory says where the first entry
// begins; when it cannot tell (or no local header is there), the first
// local header met at any alignment is taken.
void SkipLeadingData(platform::SharedFile& file, archive::BufferedReader& reader, archive::DeferredSizes& sizes) {
  if (const auto first = sizes.FirstHeaderOffset(); first && *first > 0) {
    // The reader seeks before every fill, so reading the file here directly
    // does not disturb it.
    uint8_t bytes[4] = {};
    if (*first <= static_cast<uint64_t>(INT64_MAX) && file.Seek(static_cast<int64_t>(*first)) &&
        file.Read(bytes, sizeof bytes) == static_cast<ssize_t>(sizeof bytes) &&
        zip::HasSignature(bytes, zip::kLocalHeaderSignature)) {
      reader.Skip(*first - reader.Position());
      return;
    }
  }
  SkipToNextRecord(reader, true);
}

}  // namespace

void TZipFile::ReadEntries(const std::string& path) {
  entries_.clear();
  platform::SharedFile file;
  if (const int error = file.Open(path, platform::FileAccess::Read, platform::FileShare::DenyAll); error != 0) {
    throw platform::IoError(error, "Cannot open file " + path);
  }
  archive::BufferedReader reader(file);
  archive::DeferredSizes sizes(file);
  // Every pass moves forward (past a record, or to the next one), and
  // reading stops at the end of the file, so the loop ends on any input.
  uint8_t signature[4];
  if (reader.Peek(signature, sizeof signature) == sizeof signature && !StartsRecord(signature)) {
    SkipLeadingData(file, reader, sizes);
  }
  while (reader.Peek(signature, sizeof signature) == sizeof signature) {
    if (zip::HasSignature(signature, zip::kLocalHeaderSignature)) {
      const uint64_t headerOffset = reader.Position();
      reader.Skip(sizeof signature);
      entries_.push_back(ReadLocalHeader(reader, sizes, headerOffset));
      if (OnReadFile) OnReadFile(entries_.back());
    } else if (zip::HasSignature(signature, zip::kCentralHeaderSignature)) {
      reader.Skip(sizeof signature + kCentralHeaderRest);
    } else if (zip::HasSignature(signature, zip::kEndRecordSignature)) {
      break;
    } else {
      reader.Skip(1);  // not a record here: look on from the next byte
      if (!SkipToNextRecord(reader)) break;
    }
  }
}

void TZipFile::SetFileName(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) == 0) FileName_ = path;
  ReadEntries(path);
}

}  // namespace fretfile
