// What survives a killed program: beside every song extracted into temp/
// for viewing, a record of where it came from and what its archive holds,
// and, while a viewer holds changes not yet saved, a draft of its text.
//
// Both live below temp/.fretfile-records/, under the song's own entry path:
// "temp/live/My_Song.txt" has "temp/.fretfile-records/live/My_Song.txt.record"
// and, at times, "….draft". Each is written new beside the old one, flushed
// and renamed over it, so a kill leaves the old one or the new one whole.
//
// A record reads:
//   fretfile song record 1\n
//   archive <length>\n<bytes>\n
//   entry <length>\n<bytes>\n
//   artist <length>\n<bytes>\n
//   crc <8 hexadecimal digits>\n
//   size <decimal>\n
// crc and size are those of the song as its archive holds it (extracted,
// or last stored). A draft is the viewer's text as it would be saved.
//
// At start, a song whose draft, or else whose file in temp/, differs from
// its record holds an edit that never reached its archive.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fretfile {

struct SongRecord {
  std::string archivePath;
  std::string entryName;
  std::string artist;  // as the grid shows it
  uint32_t crc = 0;
  uint64_t size = 0;

  bool Holds(const std::string& bytes) const;
  // Takes bytes as what the archive now holds.
  void Set(const std::string& bytes);
};

// Writes the record of its entry; false when it cannot be written.
bool WriteSongRecord(const std::string& appDir, const SongRecord& record);
std::optional<SongRecord> ReadSongRecord(const std::string& appDir, const std::string& entryName);
// The draft of an entry's viewer; an empty optional removes it.
bool WriteSongDraft(const std::string& appDir, const std::string& entryName, const std::optional<std::string>& text);
// Record and draft go (the song was discarded).
void RemoveSongRecord(const std::string& appDir, const std::string& entryName);

struct UnstoredEdit {
  SongRecord record;
  std::string text;  // the edit: the draft's text, else the file's in temp/
  bool fromDraft = false;
};
// A song's file read whole (at most 256 MiB); nothing when it cannot be read.
std::optional<std::string> ReadSongFile(const std::string& path);
// Writes a song's file in temp/ whole, shared with nobody while it is
// written; 0, or the errno value of the failure.
int WriteSongFile(const std::string& path, const std::string& bytes);

// Every song of temp/ whose draft or file differs from its record, in the
// order of their entry names.
std::vector<UnstoredEdit> FindUnstoredEdits(const std::string& appDir);

}  // namespace fretfile
