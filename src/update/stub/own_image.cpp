#include "update/stub/own_image.h"

#include <elf.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/posix/positional_io.h"

namespace sfxstub {
namespace {

// The two classes of ELF file, read through one template.
template <typename Ehdr, typename Phdr, typename Shdr>
std::optional<uint64_t> ImageEnd(int fd, uint64_t fileSize) {
  Ehdr header;
  if (!platform::ReadFullyAt(fd, 0, &header, sizeof header)) return std::nullopt;
  uint64_t end = sizeof header;
  const auto reach = [&](uint64_t offset, uint64_t size) {
    if (offset > fileSize || size > fileSize - offset) return false;
    end = std::max(end, offset + size);
    return true;
  };
  if (header.e_phnum > 0 && header.e_phentsize != sizeof(Phdr)) return std::nullopt;
  if (header.e_shnum > 0 && header.e_shentsize != sizeof(Shdr)) return std::nullopt;
  if (!reach(header.e_phoff, uint64_t{header.e_phnum} * sizeof(Phdr)) ||
      !reach(header.e_shoff, uint64_t{header.e_shnum} * sizeof(Shdr))) {
    return std::nullopt;
  }
  for (uint16_t i = 0; i < header.e_phnum; ++i) {
    Phdr segment;
    if (!platform::ReadFullyAt(fd, header.e_phoff + uint64_t{i} * sizeof segment, &segment, sizeof segment) ||
        !reach(segment.p_offset, segment.p_filesz)) {
      return std::nullopt;
    }
  }
  for (uint16_t i = 0; i < header.e_shnum; ++i) {
    Shdr section;
    if (!platform::ReadFullyAt(fd, header.e_shoff + uint64_t{i} * sizeof section, &section, sizeof section) ||
        (section.sh_type != SHT_NOBITS && !reach(section.sh_offset, section.sh_size))) {
      return std::nullopt;
    }
  }
  return end;
}

}  // namespace

std::string OwnProgramPath() {
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  return n > 0 ? std::string(buffer.data(), static_cast<size_t>(n)) : std::string();
}

std::optional<uint64_t> ElfImageEnd(int fd, uint64_t fileSize) {
  unsigned char ident[EI_NIDENT];
  if (!platform::ReadFullyAt(fd, 0, ident, sizeof ident) || std::memcmp(ident, ELFMAG, SELFMAG) != 0) return std::nullopt;
  // The fields are read as they lie, so only a file of this machine's byte
  // order can be read; the stub is one.
  const unsigned char ownOrder = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;
  if (ident[EI_DATA] != ownOrder) return std::nullopt;
  if (ident[EI_CLASS] == ELFCLASS64) return ImageEnd<Elf64_Ehdr, Elf64_Phdr, Elf64_Shdr>(fd, fileSize);
  if (ident[EI_CLASS] == ELFCLASS32) return ImageEnd<Elf32_Ehdr, Elf32_Phdr, Elf32_Shdr>(fd, fileSize);
  return std::nullopt;
}

std::optional<fretfile::sfx::SfxHeader> HeaderBehindImage(int fd, uint64_t fileSize) {
  const auto end = ElfImageEnd(fd, fileSize);
  if (!end) return std::nullopt;
  // The header's size is a 16-bit field.
  std::vector<uint8_t> bytes(static_cast<size_t>(std::min<uint64_t>(0xFFFF, fileSize - *end)));
  if (!platform::ReadFullyAt(fd, *end, bytes.data(), bytes.size())) return std::nullopt;
  return fretfile::sfx::ParseHeader(bytes.data(), bytes.size());
}

}  // namespace sfxstub
