// kest.stamps: what kest.idx was built from. For every archive whose lines
// kest.idx holds: its file name, its size and modification time when those
// lines were made, and where its lines lie in kest.idx (a byte range; the
// ranges, in the file's order, cover kest.idx exactly). With them a rebuild
// reads only the archives that changed and copies the other lines, and an
// update after one archive changed replaces that archive's lines alone,
// each archive's lines told apart by its file name rather than by the
// archive part the lines show ("A_B.zip" and "A B.zip" both show "A B").
//
// The stamps also hold the identity of the kest.idx they describe (device,
// inode, size, modification time): kest.idx is renamed into place first
// and the stamps follow, so stamps left behind by a kill in between, or by
// a kest.idx that another program replaced, name another file and are
// void: then every archive counts as changed.
//
// The file, text written new beside and renamed over the old one:
//   fretfile index stamps 1
//   index <device> <inode> <size> <mtime>
//   archives <count>
//   <size> <mtime> <offset> <length> <name length> <name>      (count lines)
//   end
// Times are nanoseconds since the epoch; the name is the file name's bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace fretfile {

// What tells an archive changed: its size and modification time.
struct ArchiveStamp {
  int64_t size = 0;
  int64_t mtime = 0;  // nanoseconds
  bool operator==(const ArchiveStamp&) const = default;
};

// The stamp of a regular file; nullopt when there is none at path.
std::optional<ArchiveStamp> StampOf(const std::string& path);

// Which file a path leads to, and as it is now.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t mtime = 0;  // nanoseconds
  bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> IdentityOf(const std::string& path);
std::optional<FileIdentity> IdentityOfOpenFile(int fd);

// One archive's lines in kest.idx.
struct ArchiveLines {
  std::string name;    // the archive's file name
  ArchiveStamp stamp;  // the archive when its lines were made
  uint64_t offset = 0;
  uint64_t length = 0;
};

struct IndexStamps {
  FileIdentity index;
  std::vector<ArchiveLines> archives;  // in kest.idx's order

  // Each archive's place in `archives`, by file name.
  std::unordered_map<std::string_view, size_t> ByName() const;
};

// appDir's stamps when they describe the kest.idx of identity `index`;
// nullopt when they are missing, damaged or describe another file.
std::optional<IndexStamps> LoadIndexStamps(const std::string& appDir, const FileIdentity& index);

// Writes appDir's stamps new beside the old file and renames them over it.
// Throws platform::IoError naming the file when it cannot; the old file
// then stays as it was.
void SaveIndexStamps(const std::string& appDir, const IndexStamps& stamps);

}  // namespace fretfile
