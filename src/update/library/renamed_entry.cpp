#include "update/library/renamed_entry.h"

#include <cstring>

#include "archive/zip_format.h"

namespace zippack {
namespace zip = archive::zip;
namespace {

uint16_t Get16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }

void Put16(char* at, uint16_t value) {
  at[0] = static_cast<char>(value & 0xFF);
  at[1] = static_cast<char>(value >> 8);
}

// The fixed part of a record with the new name's flags, name length and
// extra length, followed by the name and the extra field.
std::string Rebuilt(const uint8_t* fixed, size_t fixedLength, size_t flagsAt, size_t nameLengthAt, size_t extraLengthAt,
                    const std::string& newName, const std::string& extra) {
  std::string out(reinterpret_cast<const char*>(fixed), fixedLength);
  Put16(out.data() + flagsAt, FlagsForName(Get16(fixed + flagsAt), newName));
  Put16(out.data() + nameLengthAt, static_cast<uint16_t>(newName.size()));
  Put16(out.data() + extraLengthAt, static_cast<uint16_t>(extra.size()));
  return out + newName + extra;
}

}  // namespace

bool IsNonAsciiUtf8(const std::string& name) {
  bool beyondAscii = false;
  const auto* b = reinterpret_cast<const uint8_t*>(name.data());
  const size_t n = name.size();
  for (size_t i = 0; i < n;) {
    const uint8_t lead = b[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    beyondAscii = true;
    size_t length = 0;
    uint32_t point = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      point = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      point = lead & 0x07;
    } else {
      return false;
    }
    if (n - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((b[i + k] & 0xC0) != 0x80) return false;
      point = point << 6 | (b[i + k] & 0x3F);
    }
    const uint32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (point < smallest || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return false;
    i += length;
  }
  return beyondAscii;
}

uint16_t FlagsForName(uint16_t flags, const std::string& name) {
  return IsNonAsciiUtf8(name) ? static_cast<uint16_t>(flags | zip::kFlagUtf8)
                              : static_cast<uint16_t>(flags & ~zip::kFlagUtf8);
}

std::string WithoutUnicodePath(const uint8_t* extra, size_t length) {
  std::string kept;
  size_t at = 0;
  while (length - at >= 4) {
    const uint16_t id = Get16(extra + at);
    const size_t blockLength = 4 + size_t{Get16(extra + at + 2)};
    if (blockLength > length - at) break;  // not a whole block: kept below as it is
    if (id != kUnicodePathExtraId) kept.append(reinterpret_cast<const char*>(extra + at), blockLength);
    at += blockLength;
  }
  kept.append(reinterpret_cast<const char*>(extra + at), length - at);
  return kept;
}

std::optional<std::string> RenamedLocalHeader(const std::string& header, const std::string& newName) {
  const auto* b = reinterpret_cast<const uint8_t*>(header.data());
  zip::LocalHeader local;
  if (header.size() < zip::kLocalHeaderLength || !zip::ParseLocalHeader(b, local) || newName.size() > 0xFFFF) {
    return std::nullopt;
  }
  const size_t extraAt = zip::kLocalHeaderLength + local.nameLength;
  if (header.size() != extraAt + local.extraLength) return std::nullopt;
  namespace f = zip::local_field;
  return Rebuilt(b, zip::kLocalHeaderLength, f::kFlags, f::kNameLength, f::kExtraLength, newName,
                 WithoutUnicodePath(b + extraAt, local.extraLength));
}

std::optional<std::string> RenamedCentralRecord(const std::string& record, const std::string& newName) {
  const auto* b = reinterpret_cast<const uint8_t*>(record.data());
  zip::CentralHeader central;
  if (record.size() < zip::kCentralHeaderLength || !zip::ParseCentralHeader(b, central) || newName.size() > 0xFFFF) {
    return std::nullopt;
  }
  const size_t extraAt = zip::kCentralHeaderLength + central.nameLength;
  const size_t commentAt = extraAt + central.extraLength;
  if (record.size() != commentAt + central.commentLength) return std::nullopt;
  namespace f = zip::central_field;
  return Rebuilt(b, zip::kCentralHeaderLength, f::kFlags, f::kNameLength, f::kExtraLength, newName,
                 WithoutUnicodePath(b + extraAt, central.extraLength)) +
         record.substr(commentAt);
}

}  // namespace zippack
