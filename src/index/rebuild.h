// The index rebuild: lists the collection's "*.zip" archives, walks each
// one's local headers and writes one index line per entry into a new
// kest.idx (an archive unchanged since its lines were made, by the stamps
// of index/index_stamps.h, has its lines copied from the old kest.idx
// instead of being walked again), then brings the lyrics index kest.lyrics
// up to date (index/lyrics_index.h), reading the archives that changed
// since its last build with the same status texts. The procedure knows no
// widgets: what the user sees (the question, a message, the status text,
// the busy state) goes through RebuildEffects, which the main window
// carries out on the user-interface thread and the command-line tool
// prints.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "archive/tzip.h"
#include "components/find_file.h"
#include "index/index_file.h"
#include "index/index_stamps.h"

namespace fretfile {

inline constexpr const char* kRebuildQuestion = "Are you sure that you want to rebuild the index now?";
inline constexpr const char* kNoArchivesMessage = "No archive files exist.";
inline constexpr const char* kProcessingStatus = "Processing ";
inline constexpr const char* kIndexCreatedStatus = "Index Created";

class RebuildEffects {
 public:
  virtual ~RebuildEffects() = default;
  // Asks the question; false (No) stops the rebuild before anything changes.
  virtual bool Confirm(const std::string& question) = 0;
  // A plain message box.
  virtual void ShowMessage(const std::string& text) = 0;
  // The status bar's text.
  virtual void ShowStatus(const std::string& text) = 0;
  // true: wait cursor and the buttons disabled; false: both restored.
  virtual void SetBusy(bool busy) = 0;
  // Asked before each step and for each entry, on the rebuild's thread:
  // true ends the rebuild there, the old index kept (the program is ending
  // and must not wait for the whole collection).
  virtual bool StopRequested() { return false; }
};

enum class RebuildResult { Created, Declined, NoArchives, AlreadyRunning, Stopped };

// Which archives a rebuild walks: those added or changed since kest.idx was
// built (every one when the stamps are void or the old index unreadable),
// or every one.
enum class RebuildScope { ChangedArchives, EveryArchive };

class OldIndex;

class IndexRebuild {
 public:
  // The finder and the walker belong to the caller. A walker without an
  // OnReadFile handler gets ZipReadFile of this rebuild as its handler.
  IndexRebuild(TFindFile& finder, TZipFile& zip);
  IndexRebuild(const IndexRebuild&) = delete;
  IndexRebuild& operator=(const IndexRebuild&) = delete;

  // Rebuilds appDir + "kest.idx" from the archives in appDir (ending in
  // '/'), then updates appDir + "kest.lyrics". With ask, the question comes first. The new index replaces the
  // old one only when it is complete: on any error the old index stays byte
  // for byte, the busy state is switched off and the error is rethrown
  // (naming the archive or the index file). A rebuild started while another
  // one runs returns AlreadyRunning and does nothing. When the effects ask
  // for a stop, the rebuild ends with Stopped and the old index stays (a
  // stop while the lyrics are read keeps the new kest.idx and the previous
  // kest.lyrics). A failure of the lyrics index (LyricsError) comes after
  // the new kest.idx is in place. "Processing <archive>" is shown for each
  // archive walked; with ChangedArchives the others' lines are copied. The
  // new kest.idx is byte for byte the one walking every archive gives.
  RebuildResult Run(const std::string& appDir, RebuildEffects& effects, bool ask = true,
                    RebuildScope scope = RebuildScope::ChangedArchives);

  // After the program changed, created or removed the archive archivePath
  // of appDir: writes kest.idx again with that archive's lines made anew
  // (none when it is gone) in the place a rebuild gives them, the other
  // archives' lines copied as they were, and the stamps with them. An
  // archive that came into the folder some other way stays out until a
  // rebuild. With void stamps every archive is walked. Does nothing when
  // appDir has no kest.idx or the archive is not one of its "*.zip", or
  // while this rebuild runs. Throws platform::IoError (the old kest.idx
  // kept) when the index cannot be written. Leaves kest.lyrics alone.
  // archiveRead, when given, is called once this has read every archive it
  // reads (before the other lines are copied and the index is flushed,
  // which take most of the time), so that the caller can read the archive
  // for something else meanwhile; it is not called when this returns
  // early or fails before.
  void FollowArchive(const std::string& appDir, const std::string& archivePath,
                     const std::function<void()>& archiveRead = {});

  // The walker's OnReadFile handler: one index line for one entry of the
  // archive being walked. Does nothing outside a rebuild's writing phase.
  void ZipReadFile(const ZipFile& entry);

  // True from the question to the end of the writing: a second rebuild, or
  // a search of the index, should be refused meanwhile.
  bool RebuildRunning() const { return running_; }

  // The archive part of the index lines: the file name without its last 4
  // characters (the ".zip"); a name of 3 characters or fewer stays whole.
  static std::string ArchiveBase(const std::string& fileName);

 private:
  // The archive an update follows, its lines made before the index is
  // written when there is an old index to copy the others' lines from.
  struct FollowedArchive {
    std::string name;
    bool read = false;
    std::string lines;
    ArchiveStamp stamp;
  };

  // Writes the new kest.idx and its stamps from the listed archives. A
  // rebuild (followed null) walks those that are not in `old` as they are
  // now and copies the others. An update walks every archive without an
  // old index; with one, it writes the followed archive's lines, copies
  // the lines of the others `old` knows and leaves the rest out. False
  // when a stop request ended it (the old index stays).
  bool WriteIndex(const std::string& appDir, const std::vector<std::string>& archives, RebuildEffects& effects,
                  OldIndex* old, const FollowedArchive* followed);
  // Writes the lines copied from the old index so far.
  void FlushCopies(OldIndex& old);
  // Refuses a read-only kest.idx before anything is written.
  static void CheckIndexWritable(const std::string& indexPath);

  TFindFile& finder_;
  TZipFile& zip_;
  std::atomic<bool> running_{false};
  // Shared with ZipReadFile while the index is written.
  IndexWriter writer_;
  std::string indexPath_;
  // The effects of the rebuild that is writing, for its stop requests.
  RebuildEffects* writingEffects_ = nullptr;
  // The archive part of the current archive's lines, "_" already shown as
  // spaces.
  std::string currentBase_;
  // Where ZipReadFile puts the lines while an update reads its archive
  // ahead of the index.
  std::string* capturedLines_ = nullptr;
};

}  // namespace fretfile
