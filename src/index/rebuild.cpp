#include "index/rebuild.h"

#include <cerrno>

#include "index/collection.h"
#include "index/lyrics_index.h"
#include "index/replace_all.h"
#include "platform/posix/file_attributes.h"
#include "platform/posix/io_error.h"
#include "platform/posix/paths.h"

namespace fretfile {
namespace {

// Errors of the index file say which file they are about.
[[noreturn]] void ThrowIndexError(const std::string& indexPath, int code, const std::string& reason) {
  throw platform::IoError(code, "Cannot write index file " + indexPath + ": " + reason);
}

// Thrown from the walker's handler to end the walk when a stop is requested.
struct RebuildStopped {};

class BusyScope {
 public:
  explicit BusyScope(RebuildEffects& effects) : effects_(effects) { effects_.SetBusy(true); }
  ~BusyScope() {
    try {
      effects_.SetBusy(false);
    } catch (...) {
      // Leaving by an error already; that error is the one to report.
    }
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  RebuildEffects& effects_;
};

}  // namespace

IndexRebuild::IndexRebuild(TFindFile& finder, TZipFile& zip) : finder_(finder), zip_(zip) {
  if (!zip_.OnReadFile) zip_.OnReadFile = [this](ZipFile entry) { ZipReadFile(entry); };
}

std::string IndexRebuild::ArchiveBase(const std::string& fileName) {
  return fileName.size() <= 3 ? fileName : fileName.substr(0, fileName.size() - 4);
}

RebuildResult IndexRebuild::Run(const std::string& appDir, RebuildEffects& effects, bool ask) {
  if (running_.exchange(true)) return RebuildResult::AlreadyRunning;
  struct ClearRunning {
    std::atomic<bool>& flag;
    ~ClearRunning() { flag = false; }
  } clearRunning{running_};

  if (ask && !effects.Confirm(kRebuildQuestion)) return RebuildResult::Declined;
  if (effects.StopRequested()) return RebuildResult::Stopped;

  finder_.SetDirectory(appDir);
  finder_.SetFilter("*.zip");
  finder_.Execute();
  if (effects.StopRequested()) return RebuildResult::Stopped;
  if (finder_.Files().empty()) {
    effects.ShowMessage(kNoArchivesMessage);
    return RebuildResult::NoArchives;
  }

  BusyScope busy(effects);
  return WriteArchives(IndexPathOf(appDir), effects) ? RebuildResult::Created : RebuildResult::Stopped;
}

bool IndexRebuild::WriteArchives(const std::string& indexPath, RebuildEffects& effects) {
  // A read-only index is kept as the user protected it, as when it was
  // rewritten in place (the new index replaces it by renaming, which the
  // file's own permissions would not stop).
  const int64_t attributes = platform::GetFileAttributes(indexPath);
  if (attributes >= 0 && (attributes & platform::kAttrReadOnly) != 0) {
    ThrowIndexError(indexPath, EACCES, platform::IoErrorText(EACCES));
  }
  indexPath_ = indexPath;
  try {
    writer_.Open(indexPath);
  } catch (const platform::IoError& error) {
    ThrowIndexError(indexPath, error.code(), error.what());
  }
  writingEffects_ = &effects;
  struct ClearEffects {
    RebuildEffects*& effects;
    ~ClearEffects() { effects = nullptr; }
  } clearEffects{writingEffects_};
  try {
    const std::vector<std::string> archives = finder_.Files();
    for (const std::string& archive : archives) {
      if (effects.StopRequested()) throw RebuildStopped{};
      const std::string name = platform::NameOf(archive);
      effects.ShowStatus(kProcessingStatus + name);
      currentBase_ = ReplaceAll(ArchiveBase(name), "_", " ");
      zip_.ReadEntries(archive);
    }
    try {
      writer_.Close();
    } catch (const platform::IoError& error) {
      ThrowIndexError(indexPath, error.code(), error.what());
    }
  } catch (const RebuildStopped&) {
    writer_.Abandon();
    return false;
  } catch (...) {
    writer_.Abandon();
    throw;
  }
  // Then the lyrics index, which reads the archives that changed since its
  // last build; its own transaction keeps the previous one on a failure or
  // a stop.
  const LyricsProgress progress{
      [&effects](const std::string& name) { effects.ShowStatus(kProcessingStatus + name); },
      [&effects] { return effects.StopRequested(); }};
  if (!UpdateLyricsIndex(platform::WithTrailingSeparator(platform::FolderOf(indexPath)), finder_.Files(), progress)) {
    return false;
  }
  // Shown once the new indexes are in place, not before a close that can fail.
  effects.ShowStatus(kIndexCreatedStatus);
  return true;
}

void IndexRebuild::ZipReadFile(const ZipFile& entry) {
  if (!writer_.IsOpen()) return;
  if (writingEffects_ != nullptr && writingEffects_->StopRequested()) throw RebuildStopped{};
  try {
    writer_.WriteLine(currentBase_, ReplaceAll(entry.FileName, "_", " "));
  } catch (const platform::IoError& error) {
    ThrowIndexError(indexPath_, error.code(), error.what());
  }
}

}  // namespace fretfile
