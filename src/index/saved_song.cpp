#include "index/saved_song.h"

#include "archive/crc32.h"
#include "archive/folder_separators.h"
#include "archive/zip_find.h"

namespace fretfile {

using archive::WithSlashes;

bool ArchiveEntryHolds(const std::string& archivePath, const std::string& entryName, const std::string& content) {
  const std::string wanted = WithSlashes(entryName);
  const uint32_t crc = archive::Crc32(reinterpret_cast<const uint8_t*>(content.data()), content.size());
  bool holds = false;
  archive::ZipSearchRec rec;
  for (int r = archive::ZipFindFirst(archivePath, rec); r == archive::kZipFindFound; r = archive::ZipFindNext(rec)) {
    if (WithSlashes(rec.FileName) != wanted) continue;
    holds = rec.Size == content.size() && rec.Crc == crc;
    break;
  }
  archive::ZipFindClose(rec);
  return holds;
}

}  // namespace fretfile
