#include "support/zip_builder.h"

#include <array>
#include <initializer_list>
#include <stdexcept>

#include "support/temp_dir.h"

#ifdef FRETFILE_HAVE_ZLIB
#include <zlib.h>
#endif

namespace testing_support {
namespace {

void Put16(std::string& out, uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

void Put64(std::string& out, uint64_t v) {
  Put32(out, static_cast<uint32_t>(v));
  Put32(out, static_cast<uint32_t>(v >> 32));
}

// A zip64 extended-information block (ID 1) with the given 8-byte values.
std::string Zip64Block(std::initializer_list<uint64_t> values) {
  std::string block;
  Put16(block, 1);
  Put16(block, static_cast<uint32_t>(values.size() * 8));
  for (const uint64_t v : values) Put64(block, v);
  return block;
}

}  // namespace

uint32_t Crc32Of(const std::string& data) {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : data) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

bool HaveZlib() {
#ifdef FRETFILE_HAVE_ZLIB
  return true;
#else
  return false;
#endif
}

std::string RawDeflate(const std::string& data, int level) {
#ifdef FRETFILE_HAVE_ZLIB
  z_stream stream{};
  if (deflateInit2(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&stream, static_cast<uLong>(data.size())) + 16, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&stream, Z_FINISH);
  deflateEnd(&stream);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(stream.total_out);
  return out;
#else
  (void)data;
  (void)level;
  return {};
#endif
}

ZipBuilder& ZipBuilder::Add(ZipEntrySpec entry) {
  entries_.push_back(std::move(entry));
  return *this;
}

ZipBuilder& ZipBuilder::Add(const std::string& name, const std::string& data, uint16_t method) {
  ZipEntrySpec entry;
  entry.name = name;
  entry.data = data;
  entry.method = method;
  return Add(std::move(entry));
}

ZipBuilder& ZipBuilder::ArchiveComment(std::string comment) {
  comment_ = std::move(comment);
  return *this;
}

ZipBuilder& ZipBuilder::Prefix(std::string bytes, bool adjustOffsets) {
  prefix_ = std::move(bytes);
  adjustOffsets_ = adjustOffsets;
  return *this;
}

std::string ZipBuilder::Build() const {
  std::string out = prefix_;
  std::string central;
  offsets_.clear();
  for (const auto& e : entries_) {
    std::string payload;
    if (e.raw) {
      payload = *e.raw;
    } else if (e.method == 8) {
      if (!HaveZlib()) throw std::runtime_error("deflated test entry needs zlib");
      payload = RawDeflate(e.data, e.deflateLevel);
    } else {
      payload = e.data;
    }
    const uint32_t crc = e.crcOverride.value_or(Crc32Of(e.data));
    const uint16_t flags = static_cast<uint16_t>(e.flags | (e.dataDescriptor ? 0x08 : 0));
    const uint32_t offset = static_cast<uint32_t>(out.size());
    offsets_.push_back(offset);
    const uint32_t recordedOffset = adjustOffsets_ ? offset : offset - static_cast<uint32_t>(prefix_.size());
    const std::string localExtra =
        e.extra + (e.zip64Local ? Zip64Block({e.data.size(), payload.size()}) : std::string());
    const std::string centralExtra =
        e.extra + (e.zip64CentralCompressedSize ? Zip64Block({*e.zip64CentralCompressedSize}) : std::string());

    Put32(out, 0x04034B50);
    Put16(out, 20);
    Put16(out, flags);
    Put16(out, e.method);
    Put16(out, e.dosTime);
    Put16(out, e.dosDate);
    Put32(out, e.dataDescriptor ? 0 : crc);
    Put32(out, e.zip64Local ? 0xFFFFFFFF : e.dataDescriptor ? 0 : static_cast<uint32_t>(payload.size()));
    Put32(out, e.zip64Local ? 0xFFFFFFFF : e.dataDescriptor ? 0 : static_cast<uint32_t>(e.data.size()));
    Put16(out, static_cast<uint32_t>(e.name.size()));
    Put16(out, static_cast<uint32_t>(localExtra.size()));
    out += e.name;
    out += localExtra;
    out += payload;
    if (e.dataDescriptor) {
      if (e.descriptorSignature) Put32(out, 0x08074B50);
      Put32(out, crc);
      if (e.zip64Local) {
        Put64(out, payload.size());
        Put64(out, e.data.size());
      } else {
        Put32(out, static_cast<uint32_t>(payload.size()));
        Put32(out, static_cast<uint32_t>(e.data.size()));
      }
    }

    Put32(central, 0x02014B50);
    Put16(central, static_cast<uint32_t>(e.hostSystem) << 8 | 20);
    Put16(central, 20);
    Put16(central, flags);
    Put16(central, e.method);
    Put16(central, e.dosTime);
    Put16(central, e.dosDate);
    Put32(central, crc);
    Put32(central, e.zip64CentralCompressedSize ? 0xFFFFFFFF : static_cast<uint32_t>(payload.size()));
    Put32(central, static_cast<uint32_t>(e.data.size()));
    Put16(central, static_cast<uint32_t>(e.name.size()));
    Put16(central, static_cast<uint32_t>(centralExtra.size()));
    Put16(central, static_cast<uint32_t>(e.comment.size()));
    Put16(central, 0);
    Put16(central, 0);
    Put32(central, e.externalAttributes);
    Put32(central, recordedOffset);
    central += e.name;
    central += centralExtra;
    central += e.comment;
  }
  const uint32_t centralStart = static_cast<uint32_t>(out.size());
  out += central;
  Put32(out, 0x06054B50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<uint32_t>(entries_.size()));
  Put16(out, static_cast<uint32_t>(entries_.size()));
  Put32(out, static_cast<uint32_t>(central.size()));
  Put32(out, adjustOffsets_ ? centralStart : centralStart - static_cast<uint32_t>(prefix_.size()));
  Put16(out, static_cast<uint32_t>(comment_.size()));
  out += comment_;
  return out;
}

void ZipBuilder::WriteTo(const std::string& path) const { WriteFile(path, Build()); }

}  // namespace testing_support
