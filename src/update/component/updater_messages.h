// The archive-update component's numbered messages: their numbers, the
// table of their texts, and the formatting of texts that take an argument.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <variant>

namespace fretfile::msg {

// Adding.
inline constexpr int32_t kAddFailed = 10101;          // any exception while the library runs
inline constexpr int32_t kNoZipFileName = 10102;
inline constexpr int32_t kOutOfMemory = 10103;
inline constexpr int32_t kPasswordMismatch = 10104;
inline constexpr int32_t kCopying = 10105;
inline constexpr int32_t kPasswordUnattendedAdd = 10150;
inline constexpr int32_t kPasswordUnattendedOnce = 10151;
inline constexpr int32_t kPasswordOk = 10152;           // button caption
inline constexpr int32_t kPasswordCancel = 10153;       // button caption
inline constexpr int32_t kPasswordTitle = 10154;
inline constexpr int32_t kPasswordPrompt = 10155;
inline constexpr int32_t kPasswordConfirmPrompt = 10156;
// Reading the directory.
inline constexpr int32_t kDirectoryUnreadable = 10201;
inline constexpr int32_t kDirectoryError = 10202;
inline constexpr int32_t kDirectoryMoved = 10203;
inline constexpr int32_t kBytesAfterEnd = 10204;
inline constexpr int32_t kNothingToAdd = 10301;
inline constexpr int32_t kNoPassword = 10302;
inline constexpr int32_t kSpanWithUpdate = 10303;
inline constexpr int32_t kSfxCreateFailed = 10304;
// Deleting and renaming entries.
inline constexpr int32_t kEditFailed = 10401;         // any exception while the library runs
inline constexpr int32_t kNothingToEdit = 10402;
// The library.
inline constexpr int32_t kLibraryLoaded = 10601;
inline constexpr int32_t kNoExecEntry = 10602;
inline constexpr int32_t kNoVersionEntry = 10603;
inline constexpr int32_t kLibraryNotLoaded = 10604;
inline constexpr int32_t kNoEditEntry = 10605;
// The self-extractor.
inline constexpr int32_t kSfxTextTooLong = 10801;
inline constexpr int32_t kSfxStubMissing = 10802;
// Archive files and volumes.
inline constexpr int32_t kCannotOpen = 11001;
inline constexpr int32_t kCannotOpenReported = 11002;
inline constexpr int32_t kInvalidDrive = 11003;
inline constexpr int32_t kDriveAbsent = 11004;
inline constexpr int32_t kLabelNotWritten = 11005;
inline constexpr int32_t kNoAnswer = 11006;
inline constexpr int32_t kCancelled = 11007;
inline constexpr int32_t kSeekFailed = 11008;
inline constexpr int32_t kVolumeNotCreated = 11009;
inline constexpr int32_t kWriteFailed = 11010;
inline constexpr int32_t kReadFailed = 11011;
inline constexpr int32_t kLocalHeaderShort = 11012;
inline constexpr int32_t kDirectoryEndsEarly = 11013;
inline constexpr int32_t kLocalHeaderSignature = 11014;
inline constexpr int32_t kCentralHeaderSignature = 11015;
inline constexpr int32_t kLocalNameShort = 11016;
inline constexpr int32_t kCentralNameShort = 11017;
inline constexpr int32_t kLocalExtraShort = 11018;
inline constexpr int32_t kCentralExtraShort = 11019;
inline constexpr int32_t kDescriptorShort = 11020;
inline constexpr int32_t kDataShort = 11021;
inline constexpr int32_t kCommentShort = 11022;
inline constexpr int32_t kArchiveCommentShort = 11023;
inline constexpr int32_t kSpanFailed = 11024;
inline constexpr int32_t kDiskWhileUnattended = 11025;
inline constexpr int32_t kNoLocalHeader = 11026;
inline constexpr int32_t kValueBeyond32Bits = 11027;
inline constexpr int32_t kNotEnoughSpace = 11032;
inline constexpr int32_t kInsertLastDisk = 11033;
inline constexpr int32_t kInsertVolumeOf = 11034;
inline constexpr int32_t kInDrive = 11035;
inline constexpr int32_t kNoEndRecord = 11036;
inline constexpr int32_t kFirstDiskOfSet = 11037;
inline constexpr int32_t kDiskOfSet = 11038;
inline constexpr int32_t kOverwriteFile = 11039;
inline constexpr int32_t kOverwriteDisk = 11040;
inline constexpr int32_t kSpanIntoExe = 11041;
inline constexpr int32_t kNotLastDisk = 11045;
inline constexpr int32_t kInsertVolume = 11046;
inline constexpr int32_t kCentralDirectory = 11047;
// Beyond the original program's numbers: one operation at a time, and an
// archive that another program is writing.
inline constexpr int32_t kComponentBusy = 11048;
inline constexpr int32_t kArchiveBusy = 11049;
inline constexpr int32_t kLibraryRefusedBlock = 11050;

// What a message reads when the program has no text for its number: this,
// then the number in decimal.
inline constexpr const char* kFallbackText =
    "The message table is probably not linked into the program\nMissing message number: ";

// The program's text for a number, if it has one.
std::optional<std::string> TableText(int32_t number);

// Fills the printf-style conversions of a text (%d, %.1d, %s, %%, ...) with
// the arguments in order. Each argument goes in as the kind the conversion
// asks for; a conversion without an argument is dropped. Never reads past
// the arguments, whatever the text holds.
using FormatArgument = std::variant<int64_t, std::string>;
std::string FormatText(const std::string& pattern, std::initializer_list<FormatArgument> arguments);

}  // namespace fretfile::msg
