// The enumerations, option sets and directory record of the archive-update
// component TZipUpdater. Each enumeration value is its bit number in a set.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <vector>

namespace fretfile {

enum AddOptsEnum : uint8_t {
  AddDirNames, AddRecurseDirs, AddMove, AddFreshen, AddUpdate, AddZipTime, AddForceDOS, AddHiddenFiles,
  AddArchiveOnly, AddResetArchive, AddEncrypt, AddSeparateDirs, AddVolume, AddDiskSpan, AddDiskSpanErase
};
enum ExtrOptsEnum : uint8_t { ExtrDirNames, ExtrOverWrite, ExtrFreshen, ExtrUpdate, ExtrTest };
enum SFXOptsEnum : uint8_t {
  SFXAskCmdLine, SFXAskFiles, SFXAutoRun, SFXHideOverWriteBox, SFXCheckSize, SFXNoSuccessMsg
};
enum OvrOpts : uint8_t { OvrConfirm, OvrAlways, OvrNever };
enum CodePageOpts : uint8_t { cpAuto, cpNone, cpOEM };
enum DeleteOpts : uint8_t { htdFinal, htdAllowUndo };
enum AddStoreSuffixEnum : uint8_t {
  assGIF, assPNG, assZ, assZIP, assZOO, assARC, assLZH, assARJ, assTAZ, assTGZ, assLHA, assEXE
};
// The extension stored for each AddStoreSuffixEnum value, in value order.
inline constexpr const char* kStoreSuffixTexts[] = {"gif", "png", "z",   "zip", "zoo", "arc",
                                                    "lzh", "arj", "taz", "tgz", "lha", "exe"};

// A set of enumeration values kept in Bits, value v being bit v: the
// in-memory form is the set's stored form (AddOptions keeps bits 0 to 7 in
// its first byte and 8 to 14 in its second, little-endian).
template <typename Enum, typename Bits>
class EnumSet {
  static_assert(std::is_unsigned_v<Bits>);

 public:
  constexpr EnumSet() = default;
  constexpr EnumSet(std::initializer_list<Enum> values) {
    for (Enum value : values) Include(value);
  }
  static constexpr EnumSet FromBits(Bits bits) {
    EnumSet set;
    set.bits_ = bits;
    return set;
  }
  constexpr bool Contains(Enum value) const { return (bits_ & Bit(value)) != 0; }
  constexpr void Include(Enum value) { bits_ = static_cast<Bits>(bits_ | Bit(value)); }
  constexpr void Exclude(Enum value) { bits_ = static_cast<Bits>(bits_ & ~Bit(value)); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr Bits ToBits() const { return bits_; }
  constexpr bool operator==(const EnumSet&) const = default;

 private:
  static constexpr Bits Bit(Enum value) { return static_cast<Bits>(Bits{1} << static_cast<unsigned>(value)); }
  Bits bits_ = 0;
};

using AddOpts = EnumSet<AddOptsEnum, uint16_t>;
using ExtrOpts = EnumSet<ExtrOptsEnum, uint8_t>;
using SFXOpts = EnumSet<SFXOptsEnum, uint8_t>;
using AddStoreExts = EnumSet<AddStoreSuffixEnum, uint16_t>;
static_assert(sizeof(AddOpts) == 2 && sizeof(ExtrOpts) == 1 && sizeof(SFXOpts) == 1 && sizeof(AddStoreExts) == 2);

// The progress kinds the component reports through OnProgress: a file
// begins (its name and size), bytes done, the batch has ended, the number
// of files in the batch, the bytes in the batch. The library's own numbers
// (the session checks that they agree).
enum ProgressType : int32_t {
  kProgressNewFile, kProgressUpdate, kProgressEndOfBatch, kProgressTotalFiles, kProgressTotalSize
};

// The library's reason for skipping a file (action 11), passed on as it came.
using UnZipSkipTypes = uint8_t;

// The disk checks of spanning: the status bits of a disk and the answers.
using TZipDiskStatus = uint8_t;
inline constexpr TZipDiskStatus zdsEmpty = 1;             // the disk holds no data
inline constexpr TZipDiskStatus zdsHasFiles = 2;          // the disk holds data
inline constexpr TZipDiskStatus zdsPreviousDisk = 4;      // an earlier volume of this set
inline constexpr TZipDiskStatus zdsSameFileName = 8;      // another file of the volume's name
inline constexpr TZipDiskStatus zdsNotEnoughSpace = 16;
enum TZipDiskAction : uint8_t { zdaOk, zdaErase, zdaReject, zdaCancel };

// The fixed part of one central header, after its signature: these 42 bytes
// are the record's head in this order and width (packed, as the format lays
// them out); the values are in host order. Packed fields may sit at odd
// addresses: read them by value, never bind a reference or pointer to one
// (EXPECT_EQ takes references: copy first, uint32_t{entry.CRC32}).
#pragma pack(push, 1)
struct ZipDirEntryHead {
  uint16_t MadeByVersion = 0;     // the host system in the high byte
  uint16_t ExtractVersion = 0;
  uint16_t Flag = 0;
  uint16_t CompressionMethod = 0;
  uint16_t FileTime = 0;          // MS-DOS time
  uint16_t FileDate = 0;          // MS-DOS date
  uint32_t CRC32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t FileNameLength = 0;
  uint16_t ExtraFieldLength = 0;
  uint16_t FileCommentLen = 0;
  uint16_t StartOnDisk = 0;
  uint16_t IntFileAttrib = 0;
  uint32_t ExtFileAttrib = 0;
  uint32_t RelOffLocalHdr = 0;    // offset of the local header
};
#pragma pack(pop)
static_assert(sizeof(ZipDirEntryHead) == 42);

// One entry of the component's directory list.
struct ZipDirEntry : ZipDirEntryHead {
  std::string FileName;          // converted from OEM where the archive asks for it
  std::string FileComment;       // converted likewise; empty when none
  uint8_t Encrypted = 0;         // bit 0 of Flag
  std::vector<uint8_t> ExtraData;  // the raw extra field; empty when none
};

}  // namespace fretfile
