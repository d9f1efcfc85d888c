// Where the stub program's own image ends in its file: the self-extractor's
// header and the archive follow it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "update/sfx/sfx_header.h"

namespace sfxstub {

// The file of the running program.
std::string OwnProgramPath();

// The end of the ELF image in the open file fd of size fileSize: the
// furthest of its program segments, its sections and its section-header
// table. Nothing when the file is no ELF image this program can read.
std::optional<uint64_t> ElfImageEnd(int fd, uint64_t fileSize);

// The self-extractor's header right behind the ELF image in the open file
// fd of size fileSize; nothing when there is no image or no header there.
std::optional<fretfile::sfx::SfxHeader> HeaderBehindImage(int fd, uint64_t fileSize);

}  // namespace sfxstub
