#include "index/hit_lookup.h"

#include <cerrno>
#include <vector>

#include "archive/folder_separators.h"
#include "archive/safe_path.h"
#include "archive/zip_find.h"
#include "index/collection.h"
#include "index/replace_all.h"
#include "platform/posix/find_files.h"
#include "platform/posix/io_error.h"
#include "platform/posix/shared_file.h"

namespace fretfile {
namespace {

using archive::WithSlashes;

std::string Shown(const std::string& storedName) { return WithSlashes(ReplaceAll(storedName, "_", " ")); }

// 0 when the archive can be opened for reading, else the errno value.
int CheckArchiveOpens(const std::string& path) {
  platform::SharedFile file;
  return file.Open(path, platform::FileAccess::Read, platform::FileShare::Shared);
}

// The archives of appDir whose base name, "_" read as a space, is shown as
// artistCell, in the folder's own order.
std::vector<std::string> ArchivesShownAs(const std::string& appDir, const std::string& artistCell) {
  std::vector<std::string> paths;
  platform::DirectoryFinder finder;
  if (!finder.First(appDir, "*.zip", 0)) return paths;
  const std::string wanted = WithSlashes(artistCell);
  platform::FoundEntry entry;
  while (finder.Next(entry)) {
    if (entry.name.size() < 4) continue;
    const std::string base = entry.name.substr(0, entry.name.size() - 4);
    if (Shown(base) == wanted) paths.push_back(appDir + entry.name);
  }
  finder.Close();
  return paths;
}

}  // namespace

std::string ArchivePathOfRow(const std::string& appDir, const std::string& artistCell) {
  return appDir + ReplaceAll(artistCell, " ", "_") + ".zip";
}

std::optional<std::string> TempPathOf(const std::string& appDir, const std::string& fileName) {
  return archive::SafeJoin(TempFolderOf(appDir), WithSlashes(fileName));
}

std::string SoughtEntryName(const std::string& songCell) { return ReplaceAll(songCell, " ", "_"); }

std::optional<HitLocation> FindEntryInArchive(const std::string& archivePath, const std::string& soughtName,
                                              const std::string& shownName) {
  const std::string sought = WithSlashes(soughtName);
  const std::string shown = WithSlashes(shownName);
  std::optional<HitLocation> fallback;
  std::optional<HitLocation> exact;
  archive::ZipSearchRec rec;
  for (int result = archive::ZipFindFirst(archivePath, rec); result == 0; result = archive::ZipFindNext(rec)) {
    const std::string name(rec.FileName);
    const bool isExact = WithSlashes(name) == sought;
    if (!isExact && (fallback || Shown(name) != shown)) continue;
    HitLocation hit{archivePath, name, rec.Attributes, rec.HeaderOffset, {rec.Crc, rec.CompressedSize, rec.Size}};
    if (isExact) {
      exact = std::move(hit);
      break;
    }
    fallback = std::move(hit);
  }
  archive::ZipFindClose(rec);
  return exact ? exact : fallback;
}

std::optional<HitLocation> LocateHit(const std::string& appDir, const std::string& artistCell,
                                     const std::string& songCell) {
  const std::string sought = SoughtEntryName(songCell);
  const std::string primary = ArchivePathOfRow(appDir, artistCell);
  const int primaryError = CheckArchiveOpens(primary);
  if (primaryError == 0) {
    if (auto hit = FindEntryInArchive(primary, sought, songCell)) return hit;
  } else if (primaryError != ENOENT) {
    throw platform::IoError(primaryError);
  }

  bool anyArchive = primaryError == 0;
  for (const std::string& path : ArchivesShownAs(appDir, artistCell)) {
    if (path == primary) continue;
    const int error = CheckArchiveOpens(path);
    if (error != 0) continue;
    anyArchive = true;
    if (auto hit = FindEntryInArchive(path, sought, songCell)) return hit;
  }
  if (!anyArchive) throw platform::IoError(primaryError);
  return std::nullopt;
}

}  // namespace fretfile
