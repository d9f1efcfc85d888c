// Building kest.lyrics (lyrics_database.h): every song of every archive of
// the collection, read into memory and decoded by the viewer's rule
// (index/song_text.h).
//
// What counts as a song: an entry that is not a folder, not encrypted, of a
// method the program extracts, of at most kLongestLyrics bytes, that
// extracts with its CRC right and has no zero byte in its first
// kTextProbeLength bytes (a zero byte marks a file that is not text). The
// first four are read off the central directory; for the last two the
// entry is extracted, and an entry that fails them is remembered as left
// out, so that while its directory record stays the same it is not
// extracted again (an entry's bytes are taken to be what its record, CRC
// included, says they are, as they are once read).
//
// An archive whose size and modification time are those of the last build
// is not read again, and of one that changed only the entries whose
// directory records are new are read; an archive gone from the folder
// loses its songs. A
// build reads the songs on a thread of its own, a bounded queue (a few MiB
// of text) ahead of the full-text engine, so memory stays the same
// whatever the collection's size.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace fretfile {

inline constexpr size_t kLongestLyrics = 1 << 20;
inline constexpr size_t kTextProbeLength = 8192;

struct LyricsProgress {
  // Told the file name of each archive before it is read.
  std::function<void(const std::string& archiveName)> reading;
  // Asked before each archive and each song: true ends the build there, the
  // previous index kept.
  std::function<bool()> stopRequested;
};

// Brings appDir's kest.lyrics (created when missing) up to date with
// `archives` (their paths, the collection's "*.zip"), in one transaction.
// False when a stop request ended it; throws LyricsError when the index
// cannot be written, in which case the previous index stays as it was.
bool UpdateLyricsIndex(const std::string& appDir, const std::vector<std::string>& archives,
                       const LyricsProgress& progress = {});

enum class ArchiveReading {
  // Only the entries whose central-directory records (name, CRC, sizes,
  // method, flags) are not those they were read from, songs or left out;
  // the rows of entries gone go.
  ChangedEntries,
  // Every entry, as a build does.
  Whole,
};

// Brings one archive of the collection's songs up to date, after a change
// the program made to it (a save, an add, a rename, a delete), in one
// transaction; the index then holds what a build would read from it. Does
// nothing when there is no kest.lyrics yet (the rebuild makes it), when it
// is of another layout (left as it is for the rebuild to start anew) or
// when the archive is not one of the collection's ("*.zip" in appDir). An
// archive the index does not know yet is read whole. Throws LyricsError
// when the index cannot be written.
void UpdateLyricsOfArchive(const std::string& appDir, const std::string& archivePath,
                           ArchiveReading reading = ArchiveReading::ChangedEntries);

}  // namespace fretfile
