// Helpers shared by the fuzz targets: a scratch folder in memory-backed
// storage, and wrapping a compressed payload into a one-entry archive.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "archive/locate_directory.h"
#include "archive/safe_path.h"
#include "archive/tzip.h"
#include "archive/unzip_member.h"
#include "archive/zip_find.h"
#include "archive/zip_format.h"
#include "update/component/zip_updater.h"
#include "update/stub/own_image.h"
#include "update/zippack_abi.h"

namespace fuzz_support {

inline const std::string& ScratchFolder() {
  static const std::string folder = [] {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string path = std::string(base) + "/fretfile-fuzz-" + std::to_string(getpid());
    mkdir(path.c_str(), 0700);
    return path + "/";
  }();
  return folder;
}

inline void WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// An empty folder of that name, whatever was there before.
inline void FreshFolder(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
  std::filesystem::create_directories(path, ignored);
}

// The names in a folder, sorted.
inline std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(folder, error)) {
    names.push_back(item.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

struct Wrapped {
  std::string bytes;
  uint32_t headerOffset = 0;
};

template <size_t N>
void Append(std::string& out, const uint8_t (&bytes)[N]) {
  out.append(reinterpret_cast<const char*>(bytes), N);
}

// A local header with the given fields, the payload, an optional data
// descriptor, a central header and an end record.
inline Wrapped WrapPayload(uint16_t method, uint16_t flags, uint32_t crc, uint32_t uncompressedSize,
                           const uint8_t* payload, size_t payloadSize, bool descriptor) {
  namespace zip = archive::zip;
  Wrapped w;
  std::string& out = w.bytes;
  const std::string name = "entry.bin";
  zip::LocalHeader local;
  local.versionNeeded = 20;
  local.flags = static_cast<uint16_t>(flags | (descriptor ? zip::kFlagDataDescriptor : 0));
  local.method = method;
  local.time = 0x6000;
  local.date = 0x5A21;
  local.crc = descriptor ? 0 : crc;
  local.compressedSize = descriptor ? 0 : payloadSize;
  local.uncompressedSize = descriptor ? 0 : uncompressedSize;
  local.nameLength = static_cast<uint16_t>(name.size());
  uint8_t localBytes[zip::kLocalHeaderLength];
  zip::WriteLocalHeader(local, localBytes);
  Append(out, localBytes);
  out += name;
  out.append(reinterpret_cast<const char*>(payload), payloadSize);
  if (descriptor) out += zip::DataDescriptor(crc, payloadSize, uncompressedSize, false);

  zip::CentralHeader central;
  central.versionMadeBy = 20;
  central.versionNeeded = 20;
  central.flags = local.flags;
  central.method = method;
  central.time = local.time;
  central.date = local.date;
  central.crc = crc;
  central.compressedSize = payloadSize;
  central.uncompressedSize = uncompressedSize;
  central.nameLength = local.nameLength;
  central.externalAttributes = 0x20;
  uint8_t centralBytes[zip::kCentralHeaderLength];
  zip::WriteCentralHeader(central, centralBytes);
  const uint32_t directoryStart = static_cast<uint32_t>(out.size());
  Append(out, centralBytes);
  out += name;

  zip::EndRecord end;
  end.entriesOnDisk = end.totalEntries = 1;
  end.directorySize = static_cast<uint32_t>(out.size()) - directoryStart;
  end.directoryOffset = directoryStart;
  uint8_t endBytes[zip::kEndRecordLength];
  zip::WriteEndRecord(end, endBytes);
  Append(out, endBytes);
  return w;
}

// The bodies of the fuzz targets, shared with the regression test that
// replays kept inputs. Each returns false when an invariant is broken.

// Arbitrary bytes as an archive: walk its whole central directory.
inline bool RunZipFind(const std::string& scratch, const uint8_t* data, size_t size) {
  const std::string path = scratch + "find.zip";
  WriteBytes(path, data, size);
  archive::ZipSearchRec rec;
  size_t entries = 0;
  bool ok = true;
  for (int r = archive::ZipFindFirst(path, rec); r == 0 && ok; r = archive::ZipFindNext(rec)) {
    ok = std::strlen(rec.FileName) < archive::kZipNameBufferSize && rec.Position <= rec.BufferLength &&
         // Every entry takes a 46-byte header of a finite file: the walk ends.
         ++entries <= size / 46 + 1;
  }
  archive::ZipFindClose(rec);
  return ok;
}

// Arbitrary bytes as an archive for the index: walk its local headers.
inline bool RunWalk(const std::string& scratch, const uint8_t* data, size_t size) {
  const std::string path = scratch + "walk.zip";
  WriteBytes(path, data, size);
  fretfile::TZipFile walker;
  size_t entries = 0;
  bool ok = true;
  walker.OnReadFile = [&](fretfile::ZipFile entry) {
    // Every entry takes a 30-byte header of a finite file: the walk ends.
    ok = ok && entry.FileName.size() <= fretfile::TZipFile::kNameBufferSize && ++entries <= size / 30 + 1;
  };
  walker.ReadEntries(path);
  return ok;
}

// Arbitrary archive bytes: walk the directory and extract the first few
// entries it names (through the safe join), wherever their headers are.
inline bool RunArchive(const std::string& scratch, const uint8_t* data, size_t size) {
  const std::string archivePath = scratch + "archive.zip";
  const std::string folder = scratch + "extract";
  WriteBytes(archivePath, data, size);
  archive::ZipSearchRec rec;
  int found = 0;
  bool ok = true;
  for (int r = archive::ZipFindFirst(archivePath, rec); r == 0 && found < 4; r = archive::ZipFindNext(rec), ++found) {
    const auto target = archive::SafeJoin(folder, rec.FileName);
    if (!target) continue;
    const int result = archive::UnzipMember(archivePath, *target, rec.Attributes, rec.HeaderOffset, nullptr, 0);
    ok = ok && result >= -1 && result <= 7 && result != -1;
  }
  archive::ZipFindClose(rec);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return ok;
}

enum Family { kStored, kShrink, kReduce, kImplode, kDeflate };

// One compressed payload wrapped into a one-entry archive of the family's
// method. Input: byte 0 selects variants (bit 0 data descriptor; bits 1-2
// the implode flags 0x02/0x04; bits 3-4 the reduce factor), bytes 1-3 the
// uncompressed size (18 bits, so one run stays short), bytes 4-7 the CRC,
// the rest is the payload.
inline bool RunPayload(const std::string& scratch, Family family, const uint8_t* data, size_t size) {
  if (size < 8) return true;
  const uint8_t control = data[0];
  const uint32_t uncompressedSize = (data[1] | data[2] << 8 | data[3] << 16) & 0x3FFFF;
  const uint32_t crc = data[4] | data[5] << 8 | data[6] << 16 | static_cast<uint32_t>(data[7]) << 24;
  uint16_t method = 0;
  uint16_t flags = 0;
  switch (family) {
    case kStored: method = 0; break;
    case kShrink: method = 1; break;
    case kReduce: method = static_cast<uint16_t>(2 + ((control >> 3) & 3)); break;
    case kImplode:
      method = 6;
      flags = control & 0x06;
      break;
    case kDeflate: method = 8; break;
  }
  const auto wrapped = WrapPayload(method, flags, crc, uncompressedSize, data + 8, size - 8, (control & 1) != 0);
  const std::string archivePath = scratch + "payload.zip";
  WriteBytes(archivePath, reinterpret_cast<const uint8_t*>(wrapped.bytes.data()), wrapped.bytes.size());
  const int result = archive::UnzipMember(archivePath, scratch + "out/entry.bin", 0x20, wrapped.headerOffset,
                                          nullptr, 0);
  return result >= 0 && result <= 5;
}

// Arbitrary bytes as the archive the update component lists (its
// directory list, the end-record search, name conversion, zip64 fields and
// spanned sets). Input: byte 0 selects variants (bit 0 the rest is a set of
// two volumes on a fixed drive, split where bytes 1-2 say; bit 1 folders
// listed; bits 2-3 the code-page option), the rest is the archive.
inline bool RunDirList(const std::string& scratch, const uint8_t* data, size_t size) {
  if (size < 1) return true;
  const uint8_t control = data[0];
  const uint8_t* bytes = data + 1;
  size_t length = size - 1;
  const std::string folder = scratch + "list";
  FreshFolder(folder);
  std::string name = folder + "/plain.zip";
  if ((control & 1) != 0 && length >= 2) {
    // Named by the name the set was written to: its first volume stands
    // for it, and the end record is on the second.
    const size_t split = std::min<size_t>(bytes[0] | bytes[1] << 8, length - 2);
    WriteBytes(folder + "/set001.zip", bytes + 2, split);
    WriteBytes(folder + "/set002.zip", bytes + 2 + split, length - 2 - split);
    name = folder + "/set.zip";
    length -= 2;
  } else {
    WriteBytes(name, bytes, length);
  }
  fretfile::TZipUpdater updater;
  updater.Unattended = true;
  updater.UseDirOnlyEntries = (control & 2) != 0;
  updater.CodePage = static_cast<fretfile::CodePageOpts>(((control >> 2) & 3) % 3);
  size_t announced = 0;
  updater.OnNewName = [&](fretfile::TZipUpdater&, int32_t, const fretfile::ZipDirEntry&) { ++announced; };
  updater.SetZipFileName(name);
  // Every listed entry takes a 46-byte header of the files; a read that
  // failed lists nothing (what it announced before it failed included), one
  // that succeeded announced each entry it lists.
  const bool read = !updater.ZipFileName().empty();
  bool ok = updater.Count() <= length / 46 + 1 && (read ? announced == updater.Count() : updater.Count() == 0);
  for (size_t i = 0; i < updater.Count() && ok; ++i) {
    const fretfile::ZipDirEntry& entry = updater.DirEntry(i);
    ok = entry.ExtraData.size() == entry.ExtraFieldLength && entry.FileNameLength <= length;
  }
  return ok;
}

// The small file the compression-library target adds.
inline const std::string& SmallSong() {
  static const std::string song = [] {
    std::string text;
    for (int verse = 1; verse <= 8; ++verse) text += "[G]Verse " + std::to_string(verse) + " [C]of the [D]song\n";
    return text;
  }();
  return song;
}

// The answers of the fuzzed Add: the entry name asked for (action 7) when
// one is given; nothing else is answered.
struct PackAnswers {
  std::string entryName;
};

inline int32_t AnswerPack(zippack::ZipCallbackRec* record) {
  const auto* answers = static_cast<const PackAnswers*>(record->Caller);
  record->ErrorCode = 0;
  if (record->ActionCode == zippack::kActionNewName && !answers->entryName.empty()) {
    std::snprintf(record->Text, sizeof record->Text, "%s", answers->entryName.c_str());
    record->ErrorCode = 1;
  }
  return 0;
}

// An in-memory source for archive::FindEndRecordIn.
struct MemorySource {
  const std::string& bytes;
  bool ReadAt(int64_t offset, uint8_t* out, size_t count) {
    if (offset < 0 || static_cast<uint64_t>(offset) > bytes.size() || count > bytes.size() - offset) return false;
    std::memcpy(out, bytes.data() + offset, count);
    return true;
  }
};

// Walks an archive with the program's own reader: whether the walk reached
// every entry its end record counts (or stopped at an entry beyond 32 bits),
// whether an entry of the name (as the reader sees names: up to a zero
// byte) extracts to the expected bytes, and how many bytes lie in front of
// the archive (before its first local header, or before an empty
// directory).
struct ReaderVerdict {
  bool whole = false;
  bool extracted = false;
  uint64_t inFront = 0;
};

inline ReaderVerdict ReadBack(const std::string& path, const std::string& name, const std::string& expected,
                              const std::string& target) {
  ReaderVerdict verdict;
  const std::string bytes = ReadBytes(path);
  MemorySource source{bytes};
  archive::zip::EndRecord end;
  const int64_t endOffset = archive::FindEndRecordIn(source, static_cast<int64_t>(bytes.size()), end);
  const bool hasEnd = endOffset >= 0;
  if (hasEnd) {
    if (const auto location = archive::LocateDirectoryIn(source, endOffset, end)) {
      verdict.inFront = static_cast<uint64_t>(location->start);
    }
  }
  archive::ZipSearchRec rec;
  uint64_t walked = 0;
  int r = archive::ZipFindFirst(path, rec);
  for (; r == archive::kZipFindFound; r = archive::ZipFindNext(rec)) {
    ++walked;
    verdict.inFront = std::min<uint64_t>(verdict.inFront, rec.HeaderOffset);
    if (verdict.extracted || name != rec.FileName) continue;
    std::error_code ignored;
    std::filesystem::remove(target, ignored);
    verdict.extracted = archive::UnzipMember(path, target, rec.Attributes, rec.HeaderOffset, nullptr, 0) ==
                            archive::kUnzipOk &&
                        ReadBytes(target) == expected;
  }
  archive::ZipFindClose(rec);
  verdict.whole = r == archive::kZipFindTooLarge ||
                  (r == archive::kZipFindNoMore && hasEnd && walked == end.totalEntries);
  return verdict;
}

// Arbitrary bytes as the archive the compression library adds a small file
// to, through its entry point exec (linked in, or loaded), or whose entry it
// deletes or renames through edit. Input: byte 0 selects variants (bit 0
// stored, bit 1 update, bit 2 freshen, bit 3 a new archive comment, bit 4
// the archive takes its newest entry's time, bit 5 entries as made on
// MS-DOS; bit 6 an edit instead of the Add, bit 7 then a delete instead of a
// rename), byte 1 the length (7 bits) of the entry name the call-back gives
// for the file (none: its own name), which is also the entry an edit names,
// then that name, then the archive.
//
// The Add returns; it leaves nothing but the archive in the archive's
// folder and the file as it was; storing nothing leaves the archive byte
// for byte; storing the file leaves an archive the program's reader walks
// whole (if it walked the original whole) and from which the file extracts.
// An edit that changes nothing leaves the archive byte for byte; one that
// changes the entry leaves an archive the reader walks whole (if it walked
// the original whole), with the bytes in front of the entries kept, and
// after a rename an entry of the new name.
// Whether the program's reader finds an entry of that name.
inline bool HasEntryNamed(const std::string& path, const std::string& name) {
  archive::ZipSearchRec rec;
  bool found = false;
  for (int r = archive::ZipFindFirst(path, rec); r == archive::kZipFindFound && !found; r = archive::ZipFindNext(rec)) {
    found = rec.FileName == name;
  }
  archive::ZipFindClose(rec);
  return found;
}

inline bool RunZippackEdit(const std::string& folder, const std::string& outFolder, zippack::ZipPackEditFunction edit,
                           bool remove, std::string entryName, const std::string& original) {
  std::string archivePath = folder + "/archive.zip";
  if (entryName.empty()) entryName = "song.txt";
  const std::string newName = "renamed.txt";
  zippack::ZipEntryName name{entryName.data(), static_cast<uint32_t>(entryName.size()), nullptr, 0};
  if (!remove) {
    name.NewName = newName.data();
    name.NewNameLength = static_cast<uint32_t>(newName.size());
  }
  zippack::ZipEditParams block{};
  block.Version = zippack::kEditVersion;
  block.Operation = remove ? zippack::kEditDelete : zippack::kEditRename;
  block.ArchiveName = archivePath.data();
  block.NameCount = 1;
  block.Names = &name;
  block.EndMarker = zippack::kEndMarker;
  const int32_t changed = edit(&block);

  const bool ok = NamesIn(folder) == std::vector<std::string>{"archive.zip"};
  if (changed == 0) return ok && ReadBytes(archivePath) == original;
  if (changed != 1) return false;
  const std::string copy = outFolder + "/original.zip";
  WriteBytes(copy, reinterpret_cast<const uint8_t*>(original.data()), original.size());
  const std::string target = outFolder + "/entry";
  const ReaderVerdict before = ReadBack(copy, {}, {}, target);
  if (!before.whole) return ok;
  const ReaderVerdict after = ReadBack(archivePath, {}, {}, target);
  const std::string now = ReadBytes(archivePath);
  const bool frontKept = now.size() >= before.inFront && now.compare(0, before.inFront, original, 0, before.inFront) == 0;
  // The reader walks no archive shorter than one central header; one that
  // the delete left empty is judged by its end record.
  MemorySource source{now};
  archive::zip::EndRecord end;
  const bool leftEmpty =
      remove && archive::FindEndRecordIn(source, static_cast<int64_t>(now.size()), end) >= 0 && end.totalEntries == 0;
  return ok && (after.whole || leftEmpty) && frontKept && (remove || HasEntryNamed(archivePath, newName));
}

inline bool RunZippackAdd(const std::string& scratch, zippack::ZipPackExecFunction exec,
                          zippack::ZipPackEditFunction edit, const uint8_t* data, size_t size) {
  if (size < 2) return true;
  const uint8_t control = data[0];
  const size_t nameLength = std::min<size_t>(data[1] & 0x7F, size - 2);
  PackAnswers answers{std::string(reinterpret_cast<const char*>(data + 2), nameLength)};
  answers.entryName.resize(std::strlen(answers.entryName.c_str()));
  const std::string original(reinterpret_cast<const char*>(data + 2 + nameLength), size - 2 - nameLength);

  const std::string folder = scratch + "pack";
  const std::string sourceFolder = scratch + "pack-source";
  const std::string outFolder = scratch + "pack-out";
  FreshFolder(folder);
  FreshFolder(sourceFolder);
  FreshFolder(outFolder);
  std::string archivePath = folder + "/archive.zip";
  std::string sourcePath = sourceFolder + "/song.txt";
  WriteBytes(archivePath, reinterpret_cast<const uint8_t*>(original.data()), original.size());
  WriteBytes(sourcePath, reinterpret_cast<const uint8_t*>(SmallSong().data()), SmallSong().size());
  if ((control & 64) != 0 && edit != nullptr) {
    return RunZippackEdit(folder, outFolder, edit, (control & 128) != 0, answers.entryName, original);
  }

  std::string comment = "fuzzed comment";
  zippack::ZipFileSpec spec{};
  spec.Source = sourcePath.data();
  zippack::ZipExecParams block{};
  block.Caller = &answers;
  block.Version = zippack::kComponentVersion;
  block.Callback = &AnswerPack;
  block.NoDirEntries = 1;
  block.Quiet = 1;
  block.Level = (control & 1) != 0 ? 0 : 6;
  block.JunkDirNames = 1;
  block.Grow = 1;
  block.Update = (control & 2) != 0;
  block.Freshen = (control & 4) != 0;
  block.ArchiveComment = (control & 8) != 0 ? comment.data() : nullptr;
  block.LatestTime = (control & 16) != 0;
  block.ForceDos = (control & 32) != 0;
  block.SpecCount = 1;
  block.ArchiveName = archivePath.data();
  block.Specs = &spec;
  block.EndMarker = zippack::kEndMarker;
  const int32_t processed = exec(&block);

  bool ok = NamesIn(folder) == std::vector<std::string>{"archive.zip"} &&
            NamesIn(sourceFolder) == std::vector<std::string>{"song.txt"} && ReadBytes(sourcePath) == SmallSong();
  if (processed == 0) return ok && ReadBytes(archivePath) == original;
  if (processed != 1) return false;
  // The library takes "\" in a name as "/".
  std::string entryName = answers.entryName.empty() ? "song.txt" : answers.entryName;
  std::replace(entryName.begin(), entryName.end(), '\\', '/');
  const std::string target = outFolder + "/added";
  const ReaderVerdict after = ReadBack(archivePath, entryName, SmallSong(), target);
  const std::string copy = outFolder + "/original.zip";
  WriteBytes(copy, reinterpret_cast<const uint8_t*>(original.data()), original.size());
  const ReaderVerdict before = ReadBack(copy, {}, {}, target);
  // The program's reader has limits of its own: what it could not walk
  // whole before, it need not walk whole after.
  if (!before.whole) return ok && (!after.whole || after.extracted);
  // Whatever lay in front of the archive is still there, byte for byte.
  const std::string now = ReadBytes(archivePath);
  const bool frontKept = now.size() >= before.inFront && now.compare(0, before.inFront, original, 0, before.inFront) == 0;
  return ok && after.whole && after.extracted && frontKept;
}

// Arbitrary bytes as the self-extractor's stub program: the header behind
// its ELF image.
inline bool RunSfxHeader(const std::string& scratch, const uint8_t* data, size_t size) {
  const std::string path = scratch + "stub.bin";
  WriteBytes(path, data, size);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;
  const auto end = sfxstub::ElfImageEnd(fd, size);
  const auto header = sfxstub::HeaderBehindImage(fd, size);
  ::close(fd);
  if (header && !end) return false;
  if (!end) return true;
  if (*end > size) return false;
  if (!header) return true;
  const auto& t = header->texts;
  // Four texts of one-byte lengths and the fixed part, inside what is left.
  return t.caption.size() + t.defaultDir.size() + t.commandLine.size() + t.message.size() + 12 <= size - *end;
}

}  // namespace fuzz_support
