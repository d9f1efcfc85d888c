// The self-extractor's header: the bytes the archive-update component writes
// between the stub program and the archive, and that the stub reads back to
// know how to behave. The one description of its layout, shared by the
// writer (sfx_stub_writer.h) and the stub (stub/).
//
//   0  "MPV"
//   3  flags (below)
//   4  0
//   5  1
//   6  the header's size, 16 bits little-endian
//   8  the caption: its length in one byte, then its characters;
//      then the default folder, the command line and the message alike
//      zero bytes up to the header's size, a multiple of 4
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace fretfile::sfx {

inline constexpr uint8_t kAskCmdLine = 1;
inline constexpr uint8_t kAskFiles = 2;
inline constexpr uint8_t kHideOverwriteBox = 4;
inline constexpr uint8_t kOverwriteAlways = 8;
inline constexpr uint8_t kOverwriteNever = 16;
inline constexpr uint8_t kNoCheckSize = 32;  // set when the size is NOT to be checked
inline constexpr uint8_t kAutoRun = 64;
inline constexpr uint8_t kNoSuccessMessage = 128;

// Each text is shorter than this, its length being one byte.
inline constexpr size_t kTextLimit = 256;
// The fixed part: the signature, the flags, two bytes, the size, and the
// four length bytes.
inline constexpr size_t kFixedLength = 12;

struct SfxTexts {
  std::string caption;
  std::string defaultDir;
  std::string commandLine;
  std::string message;

  bool Fit() const;
};

struct SfxHeader {
  uint8_t flags = 0;
  SfxTexts texts;
};

// The size of the header holding these texts: the fixed part and the four
// lengths, rounded up to a multiple of 4.
size_t HeaderSize(const SfxTexts& texts);

// The header's bytes; every text must fit (SfxTexts::Fit).
std::string BuildHeader(uint8_t flags, const SfxTexts& texts);

// The header at the start of bytes, of which available can be read; nothing
// when they are not one (no signature, texts running past its size or past
// what is there).
std::optional<SfxHeader> ParseHeader(const uint8_t* bytes, size_t available);

}  // namespace fretfile::sfx
