#include "update/sfx/sfx_header.h"

#include <array>

namespace fretfile::sfx {
namespace {

constexpr char kSignature[] = {'M', 'P', 'V'};
constexpr size_t kFlagsAt = 3;
constexpr size_t kSizeAt = 6;
constexpr uint8_t kFifthByte = 1;

std::array<const std::string*, 4> InOrder(const SfxTexts& texts) {
  return {&texts.caption, &texts.defaultDir, &texts.commandLine, &texts.message};
}

}  // namespace

bool SfxTexts::Fit() const {
  for (const std::string* text : InOrder(*this)) {
    if (text->size() >= kTextLimit) return false;
  }
  return true;
}

size_t HeaderSize(const SfxTexts& texts) {
  size_t size = kFixedLength;
  for (const std::string* text : InOrder(texts)) size += text->size();
  return (size + 3) / 4 * 4;
}

std::string BuildHeader(uint8_t flags, const SfxTexts& texts) {
  const size_t size = HeaderSize(texts);
  std::string header(kSignature, sizeof kSignature);
  header += static_cast<char>(flags);
  header += '\0';
  header += static_cast<char>(kFifthByte);
  header += static_cast<char>(size & 0xFF);
  header += static_cast<char>(size >> 8);
  for (const std::string* text : InOrder(texts)) {
    header += static_cast<char>(text->size());
    header += *text;
  }
  header.resize(size, '\0');
  return header;
}

std::optional<SfxHeader> ParseHeader(const uint8_t* bytes, size_t available) {
  if (available < kFixedLength || bytes[0] != 'M' || bytes[1] != 'P' || bytes[2] != 'V') return std::nullopt;
  const size_t size = bytes[kSizeAt] | size_t{bytes[kSizeAt + 1]} << 8;
  if (size < kFixedLength || size > available) return std::nullopt;
  SfxHeader header;
  header.flags = bytes[kFlagsAt];
  size_t at = kSizeAt + 2;
  for (std::string* text : {&header.texts.caption, &header.texts.defaultDir, &header.texts.commandLine,
                            &header.texts.message}) {
    if (at >= size) return std::nullopt;
    const size_t length = bytes[at++];
    if (length > size - at) return std::nullopt;
    text->assign(reinterpret_cast<const char*>(bytes + at), length);
    at += length;
  }
  return header;
}

}  // namespace fretfile::sfx
