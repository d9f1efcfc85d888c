// The records of the zip format, in one place.
//
// A zip archive is a run of entries, each a local header, the entry's name
// and extra field, its (compressed) data and, when flag bit 3 is set, a data
// descriptor; then the central directory, one central header per entry
// (name, extra field and comment behind each); then the end record (with the
// archive comment behind it). Archives over the classic limits add a zip64
// end record and its locator in front of the end record, and carry sizes and
// offsets that do not fit 32 bits in a zip64 extra field (ID 0x0001), with
// 0xFFFFFFFF in the classic field. Every number is little-endian.
//
//   local header      30 bytes   "PK\3\4"  then name, extra field, data
//   data descriptor   12/16 (20/24 in zip64)  optional "PK\7\8", CRC, sizes
//   central header    46 bytes   "PK\1\2"  then name, extra field, comment
//   zip64 end record  56 bytes   "PK\6\6"  (its own size field counts on)
//   zip64 locator     20 bytes   "PK\6\7"  points at the zip64 end record
//   end record        22 bytes   "PK\5\6"  then the archive comment
//
// Everything that reads or writes these records (the local-header walker,
// the central-directory iteration, the extraction, the update component and
// the compression library) takes the signatures, lengths and field offsets
// from here, and turns bytes into records and back with the functions below.
// The parsers take exactly the record's fixed bytes; the caller reads them
// and checks that they are all there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace archive::zip {

// --- signatures ------------------------------------------------------------
inline constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
inline constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
inline constexpr uint32_t kEndRecordSignature = 0x06054B50;
inline constexpr uint32_t kZip64EndRecordSignature = 0x06064B50;
inline constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
inline constexpr uint32_t kDataDescriptorSignature = 0x08074B50;
// The first four bytes of the first volume of a spanned set.
inline constexpr uint32_t kSpannedSetSignature = 0x08074B50;

// --- fixed lengths -----------------------------------------------------------
inline constexpr size_t kLocalHeaderLength = 30;
inline constexpr size_t kCentralHeaderLength = 46;
inline constexpr size_t kEndRecordLength = 22;
inline constexpr size_t kZip64EndRecordLength = 56;
inline constexpr size_t kZip64LocatorLength = 20;
// A data descriptor without and with its signature; zip64 sizes add 8.
inline constexpr size_t kDataDescriptorLength = 12;
inline constexpr size_t kSignedDataDescriptorLength = 16;
inline constexpr size_t kZip64DescriptorExtra = 8;
// The end record and the longest comment it can announce.
inline constexpr size_t kLongestEndRecord = kEndRecordLength + 0xFFFF;

// --- field values ------------------------------------------------------------
inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr uint16_t kFlagUtf8 = 0x0800;
inline constexpr uint16_t kZip64ExtraId = 0x0001;
// A classic field holding this value has its real value in the zip64 extra
// field (or, for the end record, in the zip64 end record).
inline constexpr uint32_t kZip64Marker32 = 0xFFFFFFFF;
inline constexpr uint16_t kZip64Marker16 = 0xFFFF;
inline constexpr uint8_t kHostMsDos = 0;
inline constexpr uint8_t kHostUnix = 3;
inline constexpr uint16_t kMethodStored = 0;
inline constexpr uint16_t kMethodDeflated = 8;

// --- field offsets from the first byte of each record ------------------------
namespace local_field {
inline constexpr size_t kSignature = 0, kVersionNeeded = 4, kFlags = 6, kMethod = 8, kTime = 10, kDate = 12,
                        kCrc = 14, kCompressedSize = 18, kUncompressedSize = 22, kNameLength = 26,
                        kExtraLength = 28;
}
namespace central_field {
inline constexpr size_t kSignature = 0, kVersionMadeBy = 4, kHostSystem = 5, kVersionNeeded = 6, kFlags = 8,
                        kMethod = 10, kTime = 12, kDate = 14, kCrc = 16, kCompressedSize = 20,
                        kUncompressedSize = 24, kNameLength = 28, kExtraLength = 30, kCommentLength = 32,
                        kDiskStart = 34, kInternalAttributes = 36, kExternalAttributes = 38,
                        kLocalHeaderOffset = 42;
}
namespace end_field {
inline constexpr size_t kSignature = 0, kDiskNumber = 4, kDirectoryDisk = 6, kEntriesOnDisk = 8,
                        kTotalEntries = 10, kDirectorySize = 12, kDirectoryOffset = 16, kCommentLength = 20;
}
namespace zip64_end_field {
inline constexpr size_t kSignature = 0, kRecordSize = 4, kVersionMadeBy = 12, kVersionNeeded = 14,
                        kDiskNumber = 16, kDirectoryDisk = 20, kEntriesOnDisk = 24, kTotalEntries = 32,
                        kDirectorySize = 40, kDirectoryOffset = 48;
}
namespace zip64_locator_field {
inline constexpr size_t kSignature = 0, kEndRecordDisk = 4, kEndRecordOffset = 8, kTotalDisks = 16;
}
namespace descriptor_field {
// Offsets behind the optional signature.
inline constexpr size_t kCrc = 0, kCompressedSize = 4, kUncompressedSize = 8;
}

// --- records -------------------------------------------------------------------
// Sizes and offsets are 64-bit so that a zip64 value can replace the classic
// one; as parsed they hold the classic field (0xFFFFFFFF for "see zip64").
struct LocalHeader {
  uint16_t versionNeeded = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t time = 0;
  uint16_t date = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint16_t nameLength = 0;
  uint16_t extraLength = 0;

  uint64_t DataOffset(uint64_t headerOffset) const {
    return headerOffset + kLocalHeaderLength + nameLength + extraLength;
  }
};

struct CentralHeader {
  uint16_t versionMadeBy = 0;  // the host system in the high byte
  uint16_t versionNeeded = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t time = 0;
  uint16_t date = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint16_t nameLength = 0;
  uint16_t extraLength = 0;
  uint16_t commentLength = 0;
  uint32_t diskStart = 0;
  uint16_t internalAttributes = 0;
  uint32_t externalAttributes = 0;
  uint64_t localHeaderOffset = 0;

  uint8_t HostSystem() const { return static_cast<uint8_t>(versionMadeBy >> 8); }
  // The whole record with its name, extra field and comment.
  size_t Length() const { return kCentralHeaderLength + nameLength + extraLength + commentLength; }
};

struct EndRecord {
  uint16_t diskNumber = 0;
  uint16_t directoryDisk = 0;
  uint16_t entriesOnDisk = 0;
  uint16_t totalEntries = 0;
  uint32_t directorySize = 0;
  uint32_t directoryOffset = 0;
  uint16_t commentLength = 0;

  // Whether any field defers to a zip64 end record.
  bool NeedsZip64() const;
};

struct Zip64EndRecord {
  uint64_t recordSize = 0;  // bytes after the size field itself
  uint16_t versionMadeBy = 0;
  uint16_t versionNeeded = 0;
  uint32_t diskNumber = 0;
  uint32_t directoryDisk = 0;
  uint64_t entriesOnDisk = 0;
  uint64_t totalEntries = 0;
  uint64_t directorySize = 0;
  uint64_t directoryOffset = 0;
};

struct Zip64Locator {
  uint32_t endRecordDisk = 0;
  uint64_t endRecordOffset = 0;
  uint32_t totalDisks = 0;
};

// The central header of an entry whose local header is given: the fields
// both records share, copied; the rest (host, comment, attributes, offset)
// left for the caller.
CentralHeader CentralHeaderFor(const LocalHeader& local);

// --- parsing -------------------------------------------------------------------
// Each reads the record's fixed bytes (the lengths above) and returns false,
// leaving the record unspecified, when the signature is not the record's.
bool ParseLocalHeader(const uint8_t* bytes, LocalHeader& header);
bool ParseCentralHeader(const uint8_t* bytes, CentralHeader& header);
bool ParseEndRecord(const uint8_t* bytes, EndRecord& record);
bool ParseZip64EndRecord(const uint8_t* bytes, Zip64EndRecord& record);
bool ParseZip64Locator(const uint8_t* bytes, Zip64Locator& locator);
bool HasSignature(const uint8_t* bytes, uint32_t signature);
// The length of the data descriptor whose first four bytes these are: 16
// with its signature, 12 without, 8 more with zip64 sizes.
size_t DataDescriptorLengthAt(const uint8_t* first4, bool zip64);

// --- the zip64 extra field ---------------------------------------------------
// The fields of a header that held the marker are replaced by the values of
// the zip64 extra field, which lists them in a fixed order (uncompressed
// size, compressed size, header offset, disk) and only those marked.
enum class Zip64Outcome {
  NotNeeded,  // no field held the marker
  Applied,    // every marked field was replaced
  Missing,    // a field held the marker but the extra field has no (long enough) zip64 block
};
// In a local header both sizes are in the block once either is marked.
Zip64Outcome ApplyZip64Extra(const uint8_t* extra, size_t extraLength, LocalHeader& header);
Zip64Outcome ApplyZip64Extra(const uint8_t* extra, size_t extraLength, CentralHeader& header);

// The data of the first extra block with the given ID, bounds-checked
// against the extra field; nullptr when there is none.
const uint8_t* FindExtraBlock(const uint8_t* extra, size_t extraLength, uint16_t id, size_t& blockLength);

// --- writing ---------------------------------------------------------------------
// Each writes the record's fixed bytes. A size or offset that does not fit 32
// bits is written as the marker; the caller then puts the block of
// Zip64ExtraFor into the record's extra field. A local header written before
// its sizes are known may force the zip64 form (both sizes marked, the block
// present), so that the header keeps its length whatever the sizes become.
void WriteLocalHeader(const LocalHeader& header, uint8_t* bytes, bool forceZip64 = false);
void WriteCentralHeader(const CentralHeader& header, uint8_t* bytes);
void WriteEndRecord(const EndRecord& record, uint8_t* bytes);
void WriteZip64EndRecord(const Zip64EndRecord& record, uint8_t* bytes);
void WriteZip64Locator(const Zip64Locator& locator, uint8_t* bytes);
// The zip64 extra block a header needs (empty when every value fits).
std::string Zip64ExtraFor(const LocalHeader& header, bool forceZip64 = false);
std::string Zip64ExtraFor(const CentralHeader& header);
// The length of the zip64 block of a local header in the forced form.
inline constexpr size_t kLocalZip64ExtraLength = 4 + 16;

// Gives a whole central record (fixed bytes, name, extra field, comment; its
// fields already checked to lie within `record`) a new local-header offset,
// touching nothing else: the classic field when it holds the offset and the
// new one fits, the zip64 block's field when the offset is kept there, and
// otherwise a zip64 block that gains the offset. False when the extra field
// would outgrow its 16-bit length, or a marked field has no zip64 value.
bool RelocateCentralRecord(std::string& record, uint64_t localHeaderOffset);
// The data descriptor with its signature: 16 bytes, or 24 with zip64 sizes.
std::string DataDescriptor(uint32_t crc, uint64_t compressedSize, uint64_t uncompressedSize, bool zip64);

}  // namespace archive::zip
