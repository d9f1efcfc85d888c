// Helpers shared by the fuzz targets: a scratch folder in memory-backed
// storage, and wrapping a compressed payload into a one-entry archive.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

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

inline void Put16(std::string& out, uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
inline void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

struct Wrapped {
  std::string bytes;
  uint32_t headerOffset = 0;
};

// A local header with the given fields, the payload, an optional data
// descriptor, a central header and an end record.
inline Wrapped WrapPayload(uint16_t method, uint16_t flags, uint32_t crc, uint32_t uncompressedSize,
                           const uint8_t* payload, size_t payloadSize, bool descriptor) {
  Wrapped w;
  std::string& out = w.bytes;
  const std::string name = "entry.bin";
  const uint16_t allFlags = static_cast<uint16_t>(flags | (descriptor ? 0x08 : 0));
  Put32(out, 0x04034B50);
  Put16(out, 20);
  Put16(out, allFlags);
  Put16(out, method);
  Put32(out, 0x5A216000);
  Put32(out, descriptor ? 0 : crc);
  Put32(out, descriptor ? 0 : static_cast<uint32_t>(payloadSize));
  Put32(out, descriptor ? 0 : uncompressedSize);
  Put16(out, static_cast<uint32_t>(name.size()));
  Put16(out, 0);
  out += name;
  out.append(reinterpret_cast<const char*>(payload), payloadSize);
  if (descriptor) {
    Put32(out, 0x08074B50);
    Put32(out, crc);
    Put32(out, static_cast<uint32_t>(payloadSize));
    Put32(out, uncompressedSize);
  }
  const uint32_t central = static_cast<uint32_t>(out.size());
  Put32(out, 0x02014B50);
  Put16(out, 20);
  Put16(out, 20);
  Put16(out, allFlags);
  Put16(out, method);
  Put32(out, 0x5A216000);
  Put32(out, crc);
  Put32(out, static_cast<uint32_t>(payloadSize));
  Put32(out, uncompressedSize);
  Put16(out, static_cast<uint32_t>(name.size()));
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0x20);
  Put32(out, 0);
  out += name;
  const uint32_t centralSize = static_cast<uint32_t>(out.size()) - central;
  Put32(out, 0x06054B50);
  Put32(out, 0);
  Put16(out, 1);
  Put16(out, 1);
  Put32(out, centralSize);
  Put32(out, central);
  Put16(out, 0);
  return w;
}

}  // namespace fuzz_support
