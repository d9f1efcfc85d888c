// Builds zip archives in memory for tests: stored or deflated entries (zlib,
// raw deflate), with the knobs the tests need to make odd archives (folders,
// data descriptors, wrong CRCs, comments, other hosts, extra fields).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct ZipEntrySpec {
  std::string name;
  std::string data;
  uint16_t method = 0;               // 0 stored, 8 deflated (needs zlib); others: raw payload as given
  std::optional<std::string> raw;    // compressed bytes to store as they are (for methods we cannot make)
  uint16_t flags = 0;
  bool dataDescriptor = false;       // sets flag bit 3, zero sizes/CRC locally, descriptor after the data
  bool descriptorSignature = true;   // whether the descriptor starts with PK 7 8
  std::optional<uint32_t> crcOverride;
  uint16_t dosTime = 0x6000;         // 12:00:00
  uint16_t dosDate = 0x5A21;         // 2025-01-01
  uint8_t hostSystem = 0;            // upper byte of version made by: 0 MS-DOS, 3 Unix
  uint8_t externalAttributes = 0x20;
  std::string extra;
  std::string comment;
  int deflateLevel = 6;
  bool zip64Local = false;           // local sizes 0xFFFFFFFF, the real ones in a zip64 extra field
  // The central header's compressed size marked, with this value in its
  // zip64 extra field (it may differ from the data's real size).
  std::optional<uint64_t> zip64CentralCompressedSize;
};

uint32_t Crc32Of(const std::string& data);

// Raw deflate of data at the given level (zlib); empty when built without zlib.
std::string RawDeflate(const std::string& data, int level = 6);
bool HaveZlib();

class ZipBuilder {
 public:
  ZipBuilder& Add(ZipEntrySpec entry);
  ZipBuilder& Add(const std::string& name, const std::string& data, uint16_t method = 0);
  ZipBuilder& ArchiveComment(std::string comment);
  // Bytes placed before the first local header (a self-extractor stub, say).
  // Offsets count from the start of the file unless adjustOffsets is false
  // (an archive simply concatenated behind the bytes).
  ZipBuilder& Prefix(std::string bytes, bool adjustOffsets = true);

  std::string Build() const;
  // Offsets of each entry's local header in the last Build().
  const std::vector<uint32_t>& HeaderOffsets() const { return offsets_; }
  void WriteTo(const std::string& path) const;

 private:
  std::vector<ZipEntrySpec> entries_;
  std::string comment_;
  std::string prefix_;
  bool adjustOffsets_ = true;
  mutable std::vector<uint32_t> offsets_;
};

}  // namespace testing_support
