// From a grid row (artist and song title as displayed, "_" shown as a space)
// to the archive and the entry to extract.
//
// The stored names normally have "_" where the row shows a space, so the
// archive is AppDir + artist-with-"_" + ".zip" and the entry is the song
// title with "_". Names that hold a real space are shown unchanged, so when
// that form is not found we fall back to the first archive (in the folder's
// own order) and then the first entry whose name, "_" read as a space,
// equals the row's text. The "_" form always wins when it exists.
//
// Folder separators: the index keeps an entry's name as the archive stores
// it, while the central directory may report another separator; names are
// compared with "\" and "/" taken as the same character.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "archive/unzip_member.h"

namespace fretfile {

struct HitLocation {
  std::string archivePath;
  std::string fileName;  // the entry's name as the central directory gives it
  uint16_t attributes = 0;
  uint32_t headerOffset = 0;
  archive::RecordedValues recorded;  // the directory's CRC and sizes, for UnzipMember
};

// The archive path and the sought entry name of a row, in their "_" forms.
std::string ArchivePathOfRow(const std::string& appDir, const std::string& artistCell);
std::string SoughtEntryName(const std::string& songCell);

// Finds the row's entry. Throws platform::IoError when no archive of the
// artist can be opened (the error of the "_" form's path); returns nothing
// when the archives open but hold no such entry.
std::optional<HitLocation> LocateHit(const std::string& appDir, const std::string& artistCell,
                                     const std::string& songCell);

// Where an entry is extracted to: appDir + "temp/" + its name, with "\" read
// as a folder separator too, so its folders are made below temp/. Nothing
// when the name would lead out of temp/.
std::optional<std::string> TempPathOf(const std::string& appDir, const std::string& fileName);

// The first entry of one archive named soughtName (separators aside), or else
// the first whose name with "_" read as a space equals shownName.
std::optional<HitLocation> FindEntryInArchive(const std::string& archivePath, const std::string& soughtName,
                                              const std::string& shownName);

}  // namespace fretfile
