// Helpers shared by the fuzz targets: a scratch folder in memory-backed
// storage, and wrapping a compressed payload into a one-entry archive.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "archive/safe_path.h"
#include "archive/tzip.h"
#include "archive/unzip.h"
#include "archive/zip_find.h"
#include "archive/zip_format.h"

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

}  // namespace fuzz_support
