// The sizes of entries whose local headers do not give them.
//
// An archive written to a pipe cannot go back to fill in a local header, so
// the header carries flag bit 3 and zero sizes, and a data descriptor behind
// the data gives them; an archive written with zip64 forced may carry
// 0xFFFFFFFF sizes and no usable zip64 extra field. The local-header walker
// cannot step over such an entry's data by its header alone. The central
// directory records every entry's real size, so the walker asks here: the
// directory is read once, on the first question, through the walker's own
// open file. When the directory cannot be read (a download cut short), the
// data is searched for the descriptor whose size field equals the distance
// covered, as streaming readers do. The directory also tells the walker
// where the first entry starts when other data lies in front of the archive.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/shared_file.h"

namespace archive {

class DeferredSizes {
 public:
  // At most this many entries are remembered, so a hostile directory cannot
  // make the walk allocate without bound; entries beyond it fall back to the
  // descriptor search.
  static constexpr size_t kMaxRemembered = size_t{1} << 20;

  explicit DeferredSizes(platform::SharedFile& file) : file_(file) {}

  // The compressed size of the entry whose local header starts at
  // headerOffset, as the central directory records it.
  std::optional<uint64_t> FromDirectory(uint64_t headerOffset);

  // Where the first entry's local header is, as the central directory
  // records it (shifted to the file for an archive behind a stub whose
  // offsets count from its own start): the smallest header offset it names.
  std::optional<uint64_t> FirstHeaderOffset();

  // Searches from dataStart for a signed data descriptor whose compressed
  // size equals its distance from dataStart and that is followed by another
  // record (or the end of the file). Returns that distance.
  std::optional<uint64_t> FromDescriptorSearch(uint64_t dataStart, bool zip64);

 private:
  struct Known {
    uint64_t headerOffset;
    uint64_t compressedSize;
  };
  void ReadDirectory();

  platform::SharedFile& file_;
  bool read_ = false;
  std::vector<Known> known_;  // sorted by headerOffset
};

}  // namespace archive
