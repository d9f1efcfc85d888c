// What passes between the archive-update component and the compression
// library libzippack.so: the parameter block of one ZipPackExec call (an
// Add), the record of one source line (a file, a folder or a pattern to
// add), the parameter block of one ZipPackEdit call (deleting or renaming
// entries) with its record of one entry name, and the record of one
// call-back, which both calls share.
//
// The layouts were drawn for 32-bit addresses and are kept field for field,
// in their order and with their values, so that any library written against
// them can serve. A 64-bit build widens every address field to 64 bits (the
// compiler then aligns it naturally); everything else keeps its width. The
// static_asserts at the end prove the 32-bit offsets on the 32-bit form of
// each layout, which is the same template with 32-bit address fields.
//
// Both sides include this header: the component (src/update, Qt Core) and
// the library (plain C++, no Qt). It needs nothing but <cstdint>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace zippack {

// The version of our library and of the component. Libraries of 151 or
// later take the newer block; 150 or less the older one; the archive
// comment, the archive-bit flags and the exclusions need 160; deleting and
// renaming entries (ZipPackEdit) need 170. The Add block has not changed
// since 160, so the component announces kAddBlockVersion in it, which a
// library of 160 takes as well.
inline constexpr int32_t kComponentVersion = 170;
inline constexpr int32_t kNewerLayoutVersion = 151;
inline constexpr int32_t kCommentVersion = 160;
inline constexpr int32_t kAddBlockVersion = 160;
inline constexpr int32_t kEditVersion = 170;
// The value of the end marker, the block's last field.
inline constexpr int32_t kEndMarker = 7;
// The older block names at most this many files.
inline constexpr size_t kOlderLayoutMaxNames = 4097;

// Flag values of the source line record.
inline constexpr uint32_t kSpecEncryptOwnPassword = 0xFFFF;  // the record carries its own password
inline constexpr uint16_t kSpecRecurseAlways = 0xFFFF;       // recurse whatever the block says
inline constexpr uint16_t kSpecLiteral = 1;                  // the line names one file, as it is

// The call-back's action codes.
enum Action : int32_t {
  kActionNone = 0,
  kActionNewFile = 1,        // text: the file; size: its size
  kActionProgress = 2,       // size: bytes done since the last report
  kActionEndOfBatch = 3,
  kActionMessage = 4,        // text: the message; error code: its number, 0 for information
  kActionTotalFiles = 5,     // size: number of files to process
  kActionTotalSize = 6,      // size: bytes to process (capped at INT32_MAX)
  kActionNewName = 7,        // text: the entry name; answer 1 with a new name in text, else 0
  kActionPassword = 8,       // error code bit 0: ask twice; size: repeat count; answer 1 with text
  kActionCrcError = 9,       // error code: found CRC; size: expected CRC; answer: extract 0/1 (2 no handler)
  kActionOverwrite = 10,     // error code bit 0: older; size: default answer; answer in size
  kActionSkipped = 11,       // text: the file; error code: the error; size: the skip type
  kActionFileComment = 12,   // text: the file, and the initial comment at kInitialCommentInText;
                             // answer 1 with the comment in text, else 0
};

// The progress kinds the component reports through OnProgress.
enum ProgressType : int32_t {
  kProgressNewFile = 0,          // a file begins: its name and size
  kProgressUpdate = 1,           // bytes done
  kProgressEndOfBatch = 2,       // the batch has ended
  kProgressTotalFiles = 3,       // number of files in the batch
  kProgressTotalSize = 4,        // bytes in the batch
};

template <bool kAddress32>
struct BasicZipCallbackRec;

template <bool kAddress32>
using BasicZipCallback = int32_t (*)(BasicZipCallbackRec<kAddress32>*);

// An address field: the pointer itself in the native layout, 32 bits in the
// layout the offsets were drawn for.
template <bool kAddress32, typename Pointer>
using Address = std::conditional_t<kAddress32, uint32_t, Pointer>;

inline constexpr size_t kCallbackTextSize = 512;

template <bool kAddress32>
struct BasicZipCallbackRec {
  Address<kAddress32, void*> OwnerWindow;   // 0x00 the block's owner window
  Address<kAddress32, void*> Caller;        // 0x04 the component, from the block
  int32_t Version;                          // 0x08 the library's version
  int32_t Reserved;                         // 0x0C
  int32_t ActionCode;                       // 0x10
  int32_t ErrorCode;                        // 0x14 in: error code or flag; out: answer
  int32_t Size;                             // 0x18 in: size or count; out: answer
  char Text[kCallbackTextSize];             // 0x1C in: name or message; out: answer text
};

// Action 12 carries the entry's initial comment inside the text field, at
// 0x11C of the record, behind the file name (which must end before it).
inline constexpr size_t kInitialCommentInText = 0x100;

template <bool kAddress32>
struct BasicZipFileSpec {
  Address<kAddress32, char*> Source;      // 0x00 what to add
  uint32_t Reserved04;                      // 0x04
  uint32_t Reserved08;                      // 0x08
  Address<kAddress32, char*> Password;      // 0x0C this line's password, or none
  uint32_t Encrypt;                         // 0x10 0, 1, or kSpecEncryptOwnPassword
  uint16_t Recurse;                         // 0x14 0, 1, or kSpecRecurseAlways
  uint16_t Literal;                         // 0x16 kSpecLiteral: no wildcards, no markers; else 0
  uint32_t Reserved18[3];                   // 0x18
  Address<kAddress32, char*> RootDir;       // 0x24 names are taken relative to it, or none
  uint32_t Reserved28[16];                  // 0x28 .. 0x67
};

template <bool kAddress32>
struct BasicZipExecParams {
  Address<kAddress32, void*> OwnerWindow;                   // 0x00 none when unattended
  Address<kAddress32, void*> Caller;                        // 0x04 handed back in every call-back
  int32_t Version;                                          // 0x08 kComponentVersion
  Address<kAddress32, BasicZipCallback<kAddress32>> Callback;  // 0x0C
  int32_t Trace;                                            // 0x10
  Address<kAddress32, char*> Password;                      // 0x14 at most 81 characters, or none
  Address<kAddress32, char*> StoreSuffixes;                 // 0x18 ".gif:.png:...", or none
  int32_t Encrypt;                                          // 0x1C
  int32_t HiddenFiles;                                      // 0x20
  int32_t Volume;                                           // 0x24
  int32_t Reserved28;                                       // 0x28
  int32_t NoDirEntries;                                     // 0x2C 1 unless separate directory entries
  int32_t Reserved30;                                       // 0x30
  int32_t Verbose;                                          // 0x34
  int32_t Quiet;                                            // 0x38 always 1
  int32_t Level;                                            // 0x3C compression level, 0 stores
  int32_t Reserved40;                                       // 0x40
  int32_t Reserved44;                                       // 0x44
  int32_t JunkDirNames;                                     // 0x48 1 unless directory names are kept
  uint16_t Recurse;                                         // 0x4C
  uint16_t Reserved4E;                                      // 0x4E
  int32_t Grow;                                             // 0x50 always 1: add to an existing archive
  int32_t ForceDos;                                         // 0x54
  int32_t Move;                                             // 0x58
  int32_t Reserved5C;                                       // 0x5C
  int32_t Update;                                           // 0x60
  int32_t Freshen;                                          // 0x64
  int32_t Reserved68;                                       // 0x68
  int32_t LatestTime;                                       // 0x6C the archive takes its newest entry's time
  int32_t Reserved70;                                       // 0x70
  int32_t Reserved74;                                       // 0x74
  int32_t SpecCount;                                        // 0x78
  Address<kAddress32, char*> ArchiveName;                   // 0x7C the target archive
  Address<kAddress32, char*> TempDir;                       // 0x80 or none
  Address<kAddress32, char*> ArchiveComment;                // 0x84 or none
  uint16_t ArchiveFilesOnly;                                // 0x88
  uint16_t ResetArchiveBit;                                 // 0x8A
  Address<kAddress32, BasicZipFileSpec<kAddress32>*> Specs; // 0x8C SpecCount records
  int32_t Reserved90;                                       // 0x90
  int32_t ExcludeCount;                                     // 0x94
  Address<kAddress32, char**> Excludes;                     // 0x98 ExcludeCount texts, or none
  int32_t Reserved9C[14];                                   // 0x9C .. 0xD3
  int32_t EndMarker;                                        // 0xD4 kEndMarker
};

// The block a library of version 150 or less takes: the same head, the end
// marker right behind it, then the names to add.
template <bool kAddress32>
struct BasicZipExecParamsOlder {
  Address<kAddress32, void*> OwnerWindow;                   // 0x00
  Address<kAddress32, void*> Caller;                        // 0x04
  int32_t Version;                                          // 0x08
  Address<kAddress32, BasicZipCallback<kAddress32>> Callback;  // 0x0C
  int32_t Trace;                                            // 0x10
  Address<kAddress32, char*> Password;                      // 0x14
  Address<kAddress32, char*> StoreSuffixes;                 // 0x18
  int32_t Encrypt;                                          // 0x1C
  int32_t HiddenFiles;                                      // 0x20
  int32_t Volume;                                           // 0x24
  int32_t Reserved28;                                       // 0x28
  int32_t NoDirEntries;                                     // 0x2C
  int32_t Reserved30;                                       // 0x30
  int32_t Verbose;                                          // 0x34
  int32_t Quiet;                                            // 0x38
  int32_t Level;                                            // 0x3C
  int32_t Reserved40;                                       // 0x40
  int32_t Reserved44;                                       // 0x44
  int32_t JunkDirNames;                                     // 0x48
  uint16_t Recurse;                                         // 0x4C
  uint16_t Reserved4E;                                      // 0x4E
  int32_t Grow;                                             // 0x50
  int32_t ForceDos;                                         // 0x54
  int32_t Move;                                             // 0x58
  int32_t Reserved5C;                                       // 0x5C
  int32_t Update;                                           // 0x60
  int32_t Freshen;                                          // 0x64
  int32_t Reserved68;                                       // 0x68
  int32_t LatestTime;                                       // 0x6C
  int32_t Reserved70;                                       // 0x70
  int32_t Reserved74;                                       // 0x74
  int32_t SpecCount;                                        // 0x78
  Address<kAddress32, char*> ArchiveName;                   // 0x7C
  int32_t EndMarker;                                        // 0x80 kEndMarker
  Address<kAddress32, char*> Names[kOlderLayoutMaxNames];   // 0x84 one per line
};

// The operations of ZipPackEdit.
enum EditOperation : int32_t {
  kEditDelete = 1,  // the named entries go
  kEditRename = 2,  // each named entry takes its new name
};

// One entry of a ZipPackEdit call: its name as the archive stores it (raw
// bytes, compared as an Add compares names: case-sensitively, with "/" and
// "\" the same) and, for a rename, the new name. Lengths are given, so a
// name is taken byte for byte.
template <bool kAddress32>
struct BasicZipEntryName {
  Address<kAddress32, const char*> Name;     // 0x00 NameLength bytes
  uint32_t NameLength;                       // 0x04
  Address<kAddress32, const char*> NewName;  // 0x08 rename: NewNameLength bytes; else none
  uint32_t NewNameLength;                    // 0x0C
};

template <bool kAddress32>
struct BasicZipEditParams {
  Address<kAddress32, void*> OwnerWindow;                      // 0x00 none when unattended
  Address<kAddress32, void*> Caller;                           // 0x04 handed back in every call-back
  int32_t Version;                                             // 0x08 kEditVersion or later
  Address<kAddress32, BasicZipCallback<kAddress32>> Callback;  // 0x0C
  int32_t Trace;                                               // 0x10
  int32_t Verbose;                                             // 0x14
  int32_t Operation;                                           // 0x18 an EditOperation
  Address<kAddress32, char*> ArchiveName;                      // 0x1C the archive to change
  Address<kAddress32, char*> TempDir;                          // 0x20 or none
  int32_t NameCount;                                           // 0x24 rename: exactly 1
  Address<kAddress32, BasicZipEntryName<kAddress32>*> Names;   // 0x28 NameCount records
  int32_t Reserved2C[8];                                       // 0x2C .. 0x4B
  int32_t EndMarker;                                           // 0x4C kEndMarker
};

using ZipCallbackRec = BasicZipCallbackRec<false>;
using ZipCallback = BasicZipCallback<false>;
using ZipFileSpec = BasicZipFileSpec<false>;
using ZipExecParams = BasicZipExecParams<false>;
using ZipExecParamsOlder = BasicZipExecParamsOlder<false>;
using ZipEntryName = BasicZipEntryName<false>;
using ZipEditParams = BasicZipEditParams<false>;

// The entry points, looked up by name. ZipPackEdit returns the number of
// entries deleted or renamed: 0 when nothing changed (the archive is
// exactly as it was), -1 for a block it cannot use. Libraries before 170
// lack it.
using ZipPackExecFunction = int32_t (*)(void* params);
using ZipPackEditFunction = int32_t (*)(void* params);
using GetZipPackVersionFunction = int32_t (*)();
inline constexpr const char* kExecEntryPoint = "ZipPackExec";
inline constexpr const char* kEditEntryPoint = "ZipPackEdit";
inline constexpr const char* kVersionEntryPoint = "GetZipPackVersion";

// --- the layout the offsets were drawn for ----------------------------------------
namespace layout32 {
using Params = BasicZipExecParams<true>;
using Older = BasicZipExecParamsOlder<true>;
using Spec = BasicZipFileSpec<true>;
using Callback = BasicZipCallbackRec<true>;
using Edit = BasicZipEditParams<true>;
using EntryName = BasicZipEntryName<true>;
static_assert(sizeof(Params) == 216);
static_assert(offsetof(Params, Caller) == 0x04 && offsetof(Params, Version) == 0x08);
static_assert(offsetof(Params, Callback) == 0x0C && offsetof(Params, Trace) == 0x10);
static_assert(offsetof(Params, Password) == 0x14 && offsetof(Params, StoreSuffixes) == 0x18);
static_assert(offsetof(Params, Encrypt) == 0x1C && offsetof(Params, HiddenFiles) == 0x20);
static_assert(offsetof(Params, Volume) == 0x24 && offsetof(Params, NoDirEntries) == 0x2C);
static_assert(offsetof(Params, Verbose) == 0x34 && offsetof(Params, Quiet) == 0x38);
static_assert(offsetof(Params, Level) == 0x3C && offsetof(Params, JunkDirNames) == 0x48);
static_assert(offsetof(Params, Recurse) == 0x4C && offsetof(Params, Grow) == 0x50);
static_assert(offsetof(Params, ForceDos) == 0x54 && offsetof(Params, Move) == 0x58);
static_assert(offsetof(Params, Update) == 0x60 && offsetof(Params, Freshen) == 0x64);
static_assert(offsetof(Params, LatestTime) == 0x6C && offsetof(Params, SpecCount) == 0x78);
static_assert(offsetof(Params, ArchiveName) == 0x7C && offsetof(Params, TempDir) == 0x80);
static_assert(offsetof(Params, ArchiveComment) == 0x84 && offsetof(Params, ArchiveFilesOnly) == 0x88);
static_assert(offsetof(Params, ResetArchiveBit) == 0x8A && offsetof(Params, Specs) == 0x8C);
static_assert(offsetof(Params, ExcludeCount) == 0x94 && offsetof(Params, Excludes) == 0x98);
static_assert(offsetof(Params, Reserved9C) == 0x9C && offsetof(Params, EndMarker) == 0xD4);
static_assert(sizeof(Older) == 16520);
static_assert(offsetof(Older, ArchiveName) == 0x7C && offsetof(Older, EndMarker) == 0x80);
static_assert(offsetof(Older, Names) == 0x84);
static_assert(sizeof(Spec) == 104);
static_assert(offsetof(Spec, Password) == 0x0C && offsetof(Spec, Encrypt) == 0x10);
static_assert(offsetof(Spec, Recurse) == 0x14 && offsetof(Spec, RootDir) == 0x24);
static_assert(offsetof(Callback, Caller) == 0x04 && offsetof(Callback, ActionCode) == 0x10);
static_assert(offsetof(Callback, ErrorCode) == 0x14 && offsetof(Callback, Size) == 0x18);
static_assert(offsetof(Callback, Text) == 0x1C && offsetof(Callback, Text) + kInitialCommentInText == 0x11C);
static_assert(sizeof(Edit) == 80);
static_assert(offsetof(Edit, Version) == 0x08 && offsetof(Edit, Callback) == 0x0C);
static_assert(offsetof(Edit, Trace) == 0x10 && offsetof(Edit, Verbose) == 0x14);
static_assert(offsetof(Edit, Operation) == 0x18 && offsetof(Edit, ArchiveName) == 0x1C);
static_assert(offsetof(Edit, TempDir) == 0x20 && offsetof(Edit, NameCount) == 0x24);
static_assert(offsetof(Edit, Names) == 0x28 && offsetof(Edit, EndMarker) == 0x4C);
static_assert(sizeof(EntryName) == 16);
static_assert(offsetof(EntryName, NameLength) == 0x04 && offsetof(EntryName, NewName) == 0x08);
static_assert(offsetof(EntryName, NewNameLength) == 0x0C);
}  // namespace layout32

}  // namespace zippack
