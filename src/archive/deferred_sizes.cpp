#include "archive/deferred_sizes.h"

#include <algorithm>
#include <vector>

#include "archive/buffered_reader.h"
#include "archive/central_records.h"
#include "archive/little_endian.h"
#include "archive/locate_directory.h"
#include "archive/zip_format.h"

namespace archive {
namespace {

bool StartsRecord(const uint8_t* bytes) {
  return zip::HasSignature(bytes, zip::kLocalHeaderSignature) ||
         zip::HasSignature(bytes, zip::kCentralHeaderSignature) ||
         zip::HasSignature(bytes, zip::kEndRecordSignature);
}

}  // namespace

std::optional<uint64_t> DeferredSizes::FromDirectory(uint64_t headerOffset) {
  if (!read_) ReadDirectory();
  const auto it = std::lower_bound(known_.begin(), known_.end(), headerOffset,
                                   [](const Known& k, uint64_t offset) { return k.headerOffset < offset; });
  if (it == known_.end() || it->headerOffset != headerOffset) return std::nullopt;
  return it->compressedSize;
}

std::optional<uint64_t> DeferredSizes::FirstHeaderOffset() {
  if (!read_) ReadDirectory();
  if (known_.empty()) return std::nullopt;
  return known_.front().headerOffset;
}

void DeferredSizes::ReadDirectory() {
  read_ = true;
  const int64_t fileSize = file_.Size();
  zip::EndRecord endRecord;
  const int64_t endOffset = FindEndRecordIn(file_, fileSize, endRecord);
  if (endOffset < 0) return;
  const auto location = LocateDirectoryIn(file_, endOffset, endRecord);
  if (!location) return;

  // The records are counted, up to the end of the file.
  CentralRecords records(file_, static_cast<uint64_t>(location->start), static_cast<uint64_t>(fileSize));
  CentralRecord record;
  const uint64_t entries = std::min<uint64_t>(location->totalEntries, kMaxRemembered);
  for (uint64_t i = 0; i < entries && records.Next(record) == CentralRead::kRecord; ++i) {
    const zip::CentralHeader& header = record.header;
    const int64_t offset = static_cast<int64_t>(header.localHeaderOffset) + location->offsetShift;
    if (offset >= 0) known_.push_back({static_cast<uint64_t>(offset), header.compressedSize});
  }
  std::sort(known_.begin(), known_.end(), [](const Known& a, const Known& b) { return a.headerOffset < b.headerOffset; });
}

std::optional<uint64_t> DeferredSizes::FromDescriptorSearch(uint64_t dataStart, bool zip64) {
  // Signature, CRC, two sizes, and the next record's signature behind it.
  const size_t descriptorLength = zip::kSignedDataDescriptorLength + (zip64 ? zip::kZip64DescriptorExtra : 0);
  const size_t window = descriptorLength + 4;
  BufferedReader reader(file_);
  reader.Skip(dataStart);
  std::vector<uint8_t> bytes(BufferedReader::kBufferSize);
  uint64_t at = dataStart;  // file offset of bytes[0]
  // Each pass looks at every start position of one buffer-full but the last
  // window-1, which the next pass sees again, so the search always advances.
  for (;;) {
    const size_t got = reader.Peek(bytes.data(), bytes.size());
    if (got < descriptorLength) return std::nullopt;
    const size_t last = got - descriptorLength;
    for (size_t i = 0; i <= last; ++i) {
      if (!zip::HasSignature(bytes.data() + i, zip::kDataDescriptorSignature)) continue;
      const uint64_t distance = at + i - dataStart;
      const uint8_t* sizeField = bytes.data() + i + 4 + zip::descriptor_field::kCompressedSize;
      const uint64_t recorded = zip64 ? Get64(sizeField) : Get32(sizeField);
      if (recorded != distance) continue;
      const bool atEnd = got < bytes.size() && i + descriptorLength == got;  // the file's last bytes
      if (atEnd || (i + window <= got && StartsRecord(bytes.data() + i + descriptorLength))) return distance;
    }
    if (got < window) return std::nullopt;
    const size_t advance = got - window + 1;
    reader.Skip(advance);
    at += advance;
  }
}

}  // namespace archive
