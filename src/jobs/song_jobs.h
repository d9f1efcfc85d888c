// The jobs that keep the collection: adding songs to an artist's archive,
// renaming a song, deleting songs. Each is one object with one job, run on
// the user-interface thread through the archive-update component the
// window owns (its call-backs let the window's events run, so the window
// runs one job at a time: ui/archive_work.h).
//
// A job checks what it did against the archive itself: the component runs
// unattended and reports a failure only by its last message. After a change
// the archive's lines of kest.idx and its songs in kest.lyrics follow
// (index/index_follow.h), and the copies of deleted or renamed songs in
// temp/ go with their records, so that nothing later offers them as edits.
// The jobs ask nothing: the window asks its questions before it makes one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jobs/song_names.h"

namespace fretfile {

class TZipUpdater;

struct JobResult {
  int32_t done = 0;     // songs added, renamed or deleted
  std::string problem;  // what the user is told, empty when all went well
};

// What every job needs: the component, the collection folder (ending in
// '/'), and whether the index follows (not while a rebuild writes it; the
// rebuild then reads the archive's new stamp itself).
struct JobContext {
  TZipUpdater& updater;
  std::string appDir;
  bool followIndex = true;
};

// Adds or replaces songs in one archive (a new one when it does not exist).
// The files are copied into temp/ under their entry names first, so the
// component stores exactly those names and bytes, whatever the files do
// meanwhile.
class AddSongsJob {
 public:
  AddSongsJob(JobContext context, std::string archivePath, std::vector<SongFile> songs);
  JobResult Run();

 private:
  JobContext context_;
  std::string archivePath_;
  std::vector<SongFile> songs_;
};

// Renames one entry. A new name the archive already holds, or one the grid
// would show as an existing song's title, is refused.
class RenameSongJob {
 public:
  RenameSongJob(JobContext context, std::string archivePath, std::string entryName, std::string newEntryName);
  JobResult Run();

 private:
  JobContext context_;
  std::string archivePath_;
  std::string entryName_;
  std::string newEntryName_;
};

// Deletes entries of one archive in one rewrite.
class DeleteSongsJob {
 public:
  DeleteSongsJob(JobContext context, std::string archivePath, std::vector<std::string> entryNames);
  JobResult Run();

 private:
  JobContext context_;
  std::string archivePath_;
  std::vector<std::string> entryNames_;
};

// The entry names of one archive, read once from its directory, for asking
// which entry the grid would show as a name ("/" and "\" the same, "_"
// shown as a space). ShownAs gives the first such entry other than
// `except`, its name as stored; the exact name wins over one only shown the
// same.
class ArchiveEntryNames {
 public:
  explicit ArchiveEntryNames(const std::string& archivePath);
  std::optional<std::string> ShownAs(const std::string& entryName, const std::string& except = {}) const;
  // Whether an entry has exactly this name ("/" and "\" the same).
  bool Holds(const std::string& entryName) const;

 private:
  struct Name {
    std::string stored;
    std::string slashed;  // "\" read as "/"
    std::string shown;    // and "_" as a space
  };
  std::vector<Name> names_;  // in directory order
};

// One question of ArchiveEntryNames, for an archive asked once.
inline std::optional<std::string> EntryShownAs(const std::string& archivePath, const std::string& entryName,
                                               const std::string& except = {}) {
  return ArchiveEntryNames(archivePath).ShownAs(entryName, except);
}
inline bool ArchiveShowsEntry(const std::string& archivePath, const std::string& entryName,
                              const std::string& except = {}) {
  return EntryShownAs(archivePath, entryName, except).has_value();
}

}  // namespace fretfile
