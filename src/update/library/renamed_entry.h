// The bytes of an entry that a rename changes: its local header and its
// central record take the new name, and lose every Info-ZIP Unicode path
// block (0x7075), which would still name the old one. Everything else (the
// other extra blocks, zip64's included, the sizes, the CRC, the comment, the
// flags but bit 11) stays as it is; the entry's data and data descriptor
// are copied by the rewrite untouched.
//
// The records come from the archive, hostile input: each function checks
// that the record is whole before it reads a field, and walks the extra
// field only within its length.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zippack {

inline constexpr uint16_t kUnicodePathExtraId = 0x7075;

// Whether the bytes are UTF-8 (no overlong forms, no surrogates, nothing
// beyond U+10FFFF) with at least one byte beyond ASCII.
bool IsNonAsciiUtf8(const std::string& name);
// The general-purpose flags for an entry of this name: bit 11 (UTF-8) set
// for a non-ASCII UTF-8 name, cleared for plain ASCII and for a name that
// is not UTF-8; every other bit kept.
uint16_t FlagsForName(uint16_t flags, const std::string& name);
// The extra field without its Unicode path blocks. A tail that does not
// form a whole block stays as it is.
std::string WithoutUnicodePath(const uint8_t* extra, size_t length);

// A local header (fixed bytes, name, extra field) with the new name;
// nothing when `header` is not a whole local header.
std::optional<std::string> RenamedLocalHeader(const std::string& header, const std::string& newName);
// A whole central record (fixed bytes, name, extra field, comment) with the
// new name; nothing when `record` is not one. Its local-header offset is
// left for the rewrite to set.
std::optional<std::string> RenamedCentralRecord(const std::string& record, const std::string& newName);

}  // namespace zippack
