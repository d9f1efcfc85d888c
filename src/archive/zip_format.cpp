#include "archive/zip_format.h"

#include <algorithm>
#include <utility>

#include "archive/little_endian.h"

namespace archive::zip {
namespace {

uint32_t Clamp32(uint64_t value) { return value >= kZip64Marker32 ? kZip64Marker32 : static_cast<uint32_t>(value); }

bool Marked(uint64_t value) { return value == kZip64Marker32; }

// Reads the next 8-byte value of a zip64 block into `field` when the field is
// marked; false when the block is too short for it.
bool TakeMarked(const uint8_t* block, size_t blockLength, size_t& used, uint64_t& field) {
  if (!Marked(field)) return true;
  if (blockLength - used < 8) return false;
  field = Get64(block + used);
  used += 8;
  return true;
}

void AppendBlock(std::string& out, const uint8_t* values, size_t length) {
  uint8_t head[4];
  Put16(head, kZip64ExtraId);
  Put16(head + 2, static_cast<uint16_t>(length));
  out.append(reinterpret_cast<const char*>(head), 4);
  out.append(reinterpret_cast<const char*>(values), length);
}

}  // namespace

CentralHeader CentralHeaderFor(const LocalHeader& local) {
  CentralHeader header;
  header.versionNeeded = local.versionNeeded;
  header.flags = local.flags;
  header.method = local.method;
  header.time = local.time;
  header.date = local.date;
  header.crc = local.crc;
  header.compressedSize = local.compressedSize;
  header.uncompressedSize = local.uncompressedSize;
  header.nameLength = local.nameLength;
  return header;
}

bool HasSignature(const uint8_t* bytes, uint32_t signature) { return Get32(bytes) == signature; }

size_t DataDescriptorLengthAt(const uint8_t* first4, bool zip64) {
  const size_t length = HasSignature(first4, kDataDescriptorSignature) ? kSignedDataDescriptorLength
                                                                        : kDataDescriptorLength;
  return length + (zip64 ? kZip64DescriptorExtra : 0);
}

bool EndRecord::NeedsZip64() const {
  return diskNumber == kZip64Marker16 || directoryDisk == kZip64Marker16 || entriesOnDisk == kZip64Marker16 ||
         totalEntries == kZip64Marker16 || directorySize == kZip64Marker32 || directoryOffset == kZip64Marker32;
}

bool ParseLocalHeader(const uint8_t* b, LocalHeader& h) {
  using namespace local_field;
  if (!HasSignature(b, kLocalHeaderSignature)) return false;
  h.versionNeeded = Get16(b + kVersionNeeded);
  h.flags = Get16(b + kFlags);
  h.method = Get16(b + kMethod);
  h.time = Get16(b + kTime);
  h.date = Get16(b + kDate);
  h.crc = Get32(b + kCrc);
  h.compressedSize = Get32(b + kCompressedSize);
  h.uncompressedSize = Get32(b + kUncompressedSize);
  h.nameLength = Get16(b + kNameLength);
  h.extraLength = Get16(b + kExtraLength);
  return true;
}

bool ParseCentralHeader(const uint8_t* b, CentralHeader& h) {
  using namespace central_field;
  if (!HasSignature(b, kCentralHeaderSignature)) return false;
  h.versionMadeBy = Get16(b + kVersionMadeBy);
  h.versionNeeded = Get16(b + kVersionNeeded);
  h.flags = Get16(b + kFlags);
  h.method = Get16(b + kMethod);
  h.time = Get16(b + kTime);
  h.date = Get16(b + kDate);
  h.crc = Get32(b + kCrc);
  h.compressedSize = Get32(b + kCompressedSize);
  h.uncompressedSize = Get32(b + kUncompressedSize);
  h.nameLength = Get16(b + kNameLength);
  h.extraLength = Get16(b + kExtraLength);
  h.commentLength = Get16(b + kCommentLength);
  h.diskStart = Get16(b + kDiskStart);
  h.internalAttributes = Get16(b + kInternalAttributes);
  h.externalAttributes = Get32(b + kExternalAttributes);
  h.localHeaderOffset = Get32(b + kLocalHeaderOffset);
  return true;
}

bool ParseEndRecord(const uint8_t* b, EndRecord& r) {
  using namespace end_field;
  if (!HasSignature(b, kEndRecordSignature)) return false;
  r.diskNumber = Get16(b + kDiskNumber);
  r.directoryDisk = Get16(b + kDirectoryDisk);
  r.entriesOnDisk = Get16(b + kEntriesOnDisk);
  r.totalEntries = Get16(b + kTotalEntries);
  r.directorySize = Get32(b + kDirectorySize);
  r.directoryOffset = Get32(b + kDirectoryOffset);
  r.commentLength = Get16(b + kCommentLength);
  return true;
}

bool ParseZip64EndRecord(const uint8_t* b, Zip64EndRecord& r) {
  using namespace zip64_end_field;
  if (!HasSignature(b, kZip64EndRecordSignature)) return false;
  r.recordSize = Get64(b + kRecordSize);
  r.versionMadeBy = Get16(b + kVersionMadeBy);
  r.versionNeeded = Get16(b + kVersionNeeded);
  r.diskNumber = Get32(b + kDiskNumber);
  r.directoryDisk = Get32(b + kDirectoryDisk);
  r.entriesOnDisk = Get64(b + kEntriesOnDisk);
  r.totalEntries = Get64(b + kTotalEntries);
  r.directorySize = Get64(b + kDirectorySize);
  r.directoryOffset = Get64(b + kDirectoryOffset);
  return true;
}

bool ParseZip64Locator(const uint8_t* b, Zip64Locator& l) {
  using namespace zip64_locator_field;
  if (!HasSignature(b, kZip64LocatorSignature)) return false;
  l.endRecordDisk = Get32(b + kEndRecordDisk);
  l.endRecordOffset = Get64(b + kEndRecordOffset);
  l.totalDisks = Get32(b + kTotalDisks);
  return true;
}

const uint8_t* FindExtraBlock(const uint8_t* extra, size_t extraLength, uint16_t id, size_t& blockLength) {
  // Each block is an ID and a length, then that many bytes. A block whose
  // length runs past the extra field ends the search: nothing behind it can
  // be trusted to start where it seems to.
  size_t at = 0;
  while (extraLength - at >= 4) {
    const uint16_t blockId = Get16(extra + at);
    const size_t length = Get16(extra + at + 2);
    if (length > extraLength - at - 4) return nullptr;
    if (blockId == id) {
      blockLength = length;
      return extra + at + 4;
    }
    at += 4 + length;
  }
  return nullptr;
}

Zip64Outcome ApplyZip64Extra(const uint8_t* extra, size_t extraLength, LocalHeader& h) {
  if (!Marked(h.uncompressedSize) && !Marked(h.compressedSize)) return Zip64Outcome::NotNeeded;
  size_t length = 0;
  const uint8_t* block = FindExtraBlock(extra, extraLength, kZip64ExtraId, length);
  if (block == nullptr) return Zip64Outcome::Missing;
  // A local header's block holds both sizes, whichever was marked; a short
  // block written like a central one holds only the marked ones.
  if (length >= 16) {
    if (Marked(h.uncompressedSize)) h.uncompressedSize = Get64(block);
    if (Marked(h.compressedSize)) h.compressedSize = Get64(block + 8);
    return Zip64Outcome::Applied;
  }
  size_t used = 0;
  if (!TakeMarked(block, length, used, h.uncompressedSize) || !TakeMarked(block, length, used, h.compressedSize)) {
    return Zip64Outcome::Missing;
  }
  return Zip64Outcome::Applied;
}

Zip64Outcome ApplyZip64Extra(const uint8_t* extra, size_t extraLength, CentralHeader& h) {
  const bool diskMarked = h.diskStart == kZip64Marker16;
  if (!Marked(h.uncompressedSize) && !Marked(h.compressedSize) && !Marked(h.localHeaderOffset) && !diskMarked) {
    return Zip64Outcome::NotNeeded;
  }
  size_t length = 0;
  const uint8_t* block = FindExtraBlock(extra, extraLength, kZip64ExtraId, length);
  if (block == nullptr) return Zip64Outcome::Missing;
  size_t used = 0;
  if (!TakeMarked(block, length, used, h.uncompressedSize) || !TakeMarked(block, length, used, h.compressedSize) ||
      !TakeMarked(block, length, used, h.localHeaderOffset)) {
    return Zip64Outcome::Missing;
  }
  if (diskMarked) {
    if (length - used < 4) return Zip64Outcome::Missing;
    h.diskStart = Get32(block + used);
  }
  return Zip64Outcome::Applied;
}

void WriteLocalHeader(const LocalHeader& h, uint8_t* b, bool forceZip64) {
  using namespace local_field;
  Put32(b + kSignature, kLocalHeaderSignature);
  Put16(b + kVersionNeeded, h.versionNeeded);
  Put16(b + kFlags, h.flags);
  Put16(b + kMethod, h.method);
  Put16(b + kTime, h.time);
  Put16(b + kDate, h.date);
  Put32(b + kCrc, h.crc);
  // Once either size needs zip64, both go into the extra block.
  const bool zip64 = forceZip64 || Marked(Clamp32(h.compressedSize)) || Marked(Clamp32(h.uncompressedSize));
  Put32(b + kCompressedSize, zip64 ? kZip64Marker32 : Clamp32(h.compressedSize));
  Put32(b + kUncompressedSize, zip64 ? kZip64Marker32 : Clamp32(h.uncompressedSize));
  Put16(b + kNameLength, h.nameLength);
  Put16(b + kExtraLength, h.extraLength);
}

void WriteCentralHeader(const CentralHeader& h, uint8_t* b) {
  using namespace central_field;
  Put32(b + kSignature, kCentralHeaderSignature);
  Put16(b + kVersionMadeBy, h.versionMadeBy);
  Put16(b + kVersionNeeded, h.versionNeeded);
  Put16(b + kFlags, h.flags);
  Put16(b + kMethod, h.method);
  Put16(b + kTime, h.time);
  Put16(b + kDate, h.date);
  Put32(b + kCrc, h.crc);
  Put32(b + kCompressedSize, Clamp32(h.compressedSize));
  Put32(b + kUncompressedSize, Clamp32(h.uncompressedSize));
  Put16(b + kNameLength, h.nameLength);
  Put16(b + kExtraLength, h.extraLength);
  Put16(b + kCommentLength, h.commentLength);
  Put16(b + kDiskStart, h.diskStart >= kZip64Marker16 ? kZip64Marker16 : static_cast<uint16_t>(h.diskStart));
  Put16(b + kInternalAttributes, h.internalAttributes);
  Put32(b + kExternalAttributes, h.externalAttributes);
  Put32(b + kLocalHeaderOffset, Clamp32(h.localHeaderOffset));
}

void WriteEndRecord(const EndRecord& r, uint8_t* b) {
  using namespace end_field;
  Put32(b + kSignature, kEndRecordSignature);
  Put16(b + kDiskNumber, r.diskNumber);
  Put16(b + kDirectoryDisk, r.directoryDisk);
  Put16(b + kEntriesOnDisk, r.entriesOnDisk);
  Put16(b + kTotalEntries, r.totalEntries);
  Put32(b + kDirectorySize, r.directorySize);
  Put32(b + kDirectoryOffset, r.directoryOffset);
  Put16(b + kCommentLength, r.commentLength);
}

void WriteZip64EndRecord(const Zip64EndRecord& r, uint8_t* b) {
  using namespace zip64_end_field;
  Put32(b + kSignature, kZip64EndRecordSignature);
  Put64(b + kRecordSize, r.recordSize);
  Put16(b + kVersionMadeBy, r.versionMadeBy);
  Put16(b + kVersionNeeded, r.versionNeeded);
  Put32(b + kDiskNumber, r.diskNumber);
  Put32(b + kDirectoryDisk, r.directoryDisk);
  Put64(b + kEntriesOnDisk, r.entriesOnDisk);
  Put64(b + kTotalEntries, r.totalEntries);
  Put64(b + kDirectorySize, r.directorySize);
  Put64(b + kDirectoryOffset, r.directoryOffset);
}

void WriteZip64Locator(const Zip64Locator& l, uint8_t* b) {
  using namespace zip64_locator_field;
  Put32(b + kSignature, kZip64LocatorSignature);
  Put32(b + kEndRecordDisk, l.endRecordDisk);
  Put64(b + kEndRecordOffset, l.endRecordOffset);
  Put32(b + kTotalDisks, l.totalDisks);
}

std::string Zip64ExtraFor(const LocalHeader& h, bool forceZip64) {
  if (!forceZip64 && !Marked(Clamp32(h.compressedSize)) && !Marked(Clamp32(h.uncompressedSize))) return {};
  uint8_t values[16];
  Put64(values, h.uncompressedSize);
  Put64(values + 8, h.compressedSize);
  std::string block;
  AppendBlock(block, values, sizeof values);
  return block;
}

std::string Zip64ExtraFor(const CentralHeader& h) {
  uint8_t values[28];
  size_t length = 0;
  for (const uint64_t value : {h.uncompressedSize, h.compressedSize, h.localHeaderOffset}) {
    if (Marked(Clamp32(value))) {
      Put64(values + length, value);
      length += 8;
    }
  }
  if (h.diskStart >= kZip64Marker16) {
    Put32(values + length, h.diskStart);
    length += 4;
  }
  std::string block;
  if (length > 0) AppendBlock(block, values, length);
  return block;
}

bool RelocateCentralRecord(std::string& record, uint64_t offset) {
  auto* b = reinterpret_cast<uint8_t*>(record.data());
  CentralHeader h;
  if (record.size() < kCentralHeaderLength || !ParseCentralHeader(b, h) || h.Length() > record.size()) return false;
  const size_t extraAt = kCentralHeaderLength + h.nameLength;
  const uint8_t* extra = b + extraAt;
  size_t blockLength = 0;
  const uint8_t* block = FindExtraBlock(extra, h.extraLength, kZip64ExtraId, blockLength);
  // The block lists the marked values in a fixed order; the offset follows
  // the sizes that are marked.
  const size_t offsetAt = (Marked(h.uncompressedSize) ? 8 : 0) + (Marked(h.compressedSize) ? 8 : 0);

  if (Marked(h.localHeaderOffset)) {
    if (block == nullptr || blockLength < offsetAt + 8) return false;
    Put64(b + (block - b) + offsetAt, offset);
    return true;
  }
  if (!Marked(Clamp32(offset))) {
    Put32(b + central_field::kLocalHeaderOffset, static_cast<uint32_t>(offset));
    return true;
  }
  // The offset now needs the zip64 block, which must keep the values it held.
  CentralHeader full = h;
  if (ApplyZip64Extra(extra, h.extraLength, full) == Zip64Outcome::Missing) return false;
  std::string values;
  uint8_t eight[8];
  for (const auto& [classic, value] : {std::pair{h.uncompressedSize, full.uncompressedSize},
                                       std::pair{h.compressedSize, full.compressedSize}}) {
    if (Marked(classic)) {
      Put64(eight, value);
      values.append(reinterpret_cast<const char*>(eight), 8);
    }
  }
  Put64(eight, offset);
  values.append(reinterpret_cast<const char*>(eight), 8);
  if (h.diskStart == kZip64Marker16) {
    Put32(eight, full.diskStart);
    values.append(reinterpret_cast<const char*>(eight), 4);
  }
  std::string newExtra;
  AppendBlock(newExtra, reinterpret_cast<const uint8_t*>(values.data()), values.size());
  // Every other block stays as it was, in its order.
  const auto* extraChars = reinterpret_cast<const char*>(extra);
  if (block == nullptr) {
    newExtra.append(extraChars, h.extraLength);
  } else {
    const size_t blockStart = static_cast<size_t>(block - extra) - 4;
    newExtra.append(extraChars, blockStart);
    newExtra.append(extraChars + blockStart + 4 + blockLength, h.extraLength - blockStart - 4 - blockLength);
  }
  if (newExtra.size() > 0xFFFF) return false;
  Put32(b + central_field::kLocalHeaderOffset, kZip64Marker32);
  Put16(b + central_field::kExtraLength, static_cast<uint16_t>(newExtra.size()));
  record.replace(extraAt, h.extraLength, newExtra);
  return true;
}

std::string DataDescriptor(uint32_t crc, uint64_t compressedSize, uint64_t uncompressedSize, bool zip64) {
  uint8_t bytes[kSignedDataDescriptorLength + kZip64DescriptorExtra];
  Put32(bytes, kDataDescriptorSignature);
  Put32(bytes + 4 + descriptor_field::kCrc, crc);
  size_t length = kSignedDataDescriptorLength;
  if (zip64) {
    Put64(bytes + 8, compressedSize);
    Put64(bytes + 16, uncompressedSize);
    length += kZip64DescriptorExtra;
  } else {
    Put32(bytes + 4 + descriptor_field::kCompressedSize, static_cast<uint32_t>(compressedSize));
    Put32(bytes + 4 + descriptor_field::kUncompressedSize, static_cast<uint32_t>(uncompressedSize));
  }
  return std::string(reinterpret_cast<const char*>(bytes), length);
}

}  // namespace archive::zip
