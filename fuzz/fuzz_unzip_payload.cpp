// UnzipMember over one compressed payload, wrapped into a one-entry archive
// of the method family this target is built for (FUZZ_FAMILY).
//
// Input: byte 0 selects variants (bit 0 data descriptor; bits 1-2 the
// implode flags 0x02/0x04; bits 3-4 the reduce factor), bytes 1-3 the
// uncompressed size (18 bits, so one run stays short), bytes 4-7 the CRC,
// the rest is the payload.
#include <filesystem>
#include <system_error>

#include "archive/unzip.h"
#include "fuzz_support.h"

#ifndef FUZZ_FAMILY
#error "FUZZ_FAMILY must name the method family"
#endif

namespace {

enum Family { kStored, kShrink, kReduce, kImplode, kDeflate };

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  const uint8_t control = data[0];
  const uint32_t uncompressedSize = (data[1] | data[2] << 8 | data[3] << 16) & 0x3FFFF;
  const uint32_t crc = Le32(data + 4);
  uint16_t method = 0;
  uint16_t flags = 0;
  switch (FUZZ_FAMILY) {
    case kStored: method = 0; break;
    case kShrink: method = 1; break;
    case kReduce: method = static_cast<uint16_t>(2 + ((control >> 3) & 3)); break;
    case kImplode:
      method = 6;
      flags = control & 0x06;
      break;
    case kDeflate: method = 8; break;
  }
  const auto wrapped =
      fuzz_support::WrapPayload(method, flags, crc, uncompressedSize, data + 8, size - 8, (control & 1) != 0);
  const std::string& scratch = fuzz_support::ScratchFolder();
  const std::string archivePath = scratch + "payload.zip";
  fuzz_support::WriteBytes(archivePath, reinterpret_cast<const uint8_t*>(wrapped.bytes.data()), wrapped.bytes.size());
  const int result = archive::UnzipMember(archivePath, scratch + "out/entry.bin", 0x20, wrapped.headerOffset,
                                          nullptr, 0);
  if (result < -1 || result > 7) __builtin_trap();
  return 0;
}
