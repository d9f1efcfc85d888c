// A song opened from the collection: where it came from and what it was.
// It is made where a hit is opened, and its viewer window carries it to
// every save, so that nothing has to be worked out again from window
// texts or object names.
#pragma once

#include <cstdint>
#include <string>

#include "archive/display_name.h"
#include "index/song_record.h"
#include "index/song_text.h"

namespace fretfile {

struct SongDocument {
  std::string archivePath;  // the artist's archive
  std::string entryName;    // the entry's name as the archive's directory gives it
  std::string artist;       // the artist as the grid shows it
  std::string tempPath;     // where the entry was extracted: temp/ + its name
  std::string extracted;    // the bytes as extracted
  SongEncoding encoding = SongEncoding::Utf8;
  // What was last opened or saved (its CRC-32 and size), to tell a text
  // that holds changes from one that does not.
  SongRecord saved;

  // "<entry> by <artist>" as the user reads it (in UTF-8, each name by the
  // display rule of names): the viewer window's title, and the song's name
  // in messages.
  std::string Title() const { return archive::DisplayName(entryName) + " by " + archive::DisplayName(artist); }
  // The record of the song in temp/, holding what its archive holds.
  SongRecord Record(const std::string& archiveBytes) const {
    SongRecord record{archivePath, entryName, artist};
    record.Set(archiveBytes);
    return record;
  }
};

}  // namespace fretfile
