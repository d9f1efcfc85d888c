#include "index/rebuild.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <unordered_map>

#include "index/collection.h"
#include "index/index_stamps.h"
#include "index/lyrics_index.h"
#include "index/replace_all.h"
#include "platform/posix/file_attributes.h"
#include "platform/posix/find_files.h"
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

// What a rebuild does without anyone watching: no status, no stop.
class NoEffects : public RebuildEffects {
 public:
  bool Confirm(const std::string&) override { return true; }
  void ShowMessage(const std::string&) override {}
  void ShowStatus(const std::string&) override {}
  void SetBusy(bool) override {}
};

}  // namespace

// The old kest.idx with the stamps that describe it: the lines of the
// archives that did not change are copied from it, ranges that follow one
// another in it joined into one block.
class OldIndex {
 public:
  OldIndex() = default;
  ~OldIndex() { Close(); }
  OldIndex(const OldIndex&) = delete;
  OldIndex& operator=(const OldIndex&) = delete;

  // False (nothing to copy from) when appDir's kest.idx cannot be read or
  // its stamps are missing, damaged or describe another file. The file is
  // read without a lock: nobody writes kest.idx in place (it is replaced
  // by renaming), and a search that loads it meanwhile is not refused.
  bool Open(const std::string& appDir) {
    fd_ = ::open(IndexPathOf(appDir).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return false;
    const std::optional<FileIdentity> identity = IdentityOfOpenFile(fd_);
    std::optional<IndexStamps> stamps = identity ? LoadIndexStamps(appDir, *identity) : std::nullopt;
    if (!stamps) {
      Close();
      return false;
    }
    stamps_ = std::move(*stamps);
    byName_ = stamps_.ByName();
    return true;
  }

  const ArchiveLines* Find(const std::string& name) const {
    const auto found = byName_.find(name);
    return found == byName_.end() ? nullptr : &stamps_.archives[found->second];
  }

  // The archive's lines go to the new index with the next Flush, joined to
  // the pending block when they follow it in the old index; when they do
  // not (Follows), the caller flushes that block first.
  void Copy(const ArchiveLines& lines) {
    if (lines.offset != to_) from_ = to_ = lines.offset;
    to_ += lines.length;
  }
  bool Follows(const ArchiveLines& lines) const { return lines.offset == to_; }
  uint64_t PendingBytes() const { return to_ - from_; }

  void Flush(IndexWriter& writer) {
    if (from_ == to_) return;
    writer.CopyFrom(fd_, from_, to_ - from_);
    from_ = to_;
  }

  // Once everything is copied: the old index is no longer read.
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
  IndexStamps stamps_;
  std::unordered_map<std::string_view, size_t> byName_;  // views into stamps_
  uint64_t from_ = 0;
  uint64_t to_ = 0;
};

IndexRebuild::IndexRebuild(TFindFile& finder, TZipFile& zip) : finder_(finder), zip_(zip) {
  if (!zip_.OnReadFile) zip_.OnReadFile = [this](ZipFile entry) { ZipReadFile(entry); };
}

std::string IndexRebuild::ArchiveBase(const std::string& fileName) {
  return fileName.size() <= 3 ? fileName : fileName.substr(0, fileName.size() - 4);
}

RebuildResult IndexRebuild::Run(const std::string& appDir, RebuildEffects& effects, bool ask, RebuildScope scope) {
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
  const std::string indexPath = IndexPathOf(appDir);
  CheckIndexWritable(indexPath);
  OldIndex old;
  const bool copying = scope == RebuildScope::ChangedArchives && old.Open(appDir);
  const std::vector<std::string> archives = finder_.Files();
  if (!WriteIndex(appDir, archives, effects, copying ? &old : nullptr, nullptr)) return RebuildResult::Stopped;
  // Then the lyrics index, which reads the archives that changed since its
  // last build; its own transaction keeps the previous one on a failure or
  // a stop.
  const LyricsProgress progress{[&effects](const std::string& name) { effects.ShowStatus(kProcessingStatus + name); },
                                [&effects] { return effects.StopRequested(); }};
  if (!UpdateLyricsIndex(platform::WithTrailingSeparator(platform::FolderOf(indexPath)), archives, progress)) {
    return RebuildResult::Stopped;
  }
  // Shown once the new indexes are in place, not before a close that can fail.
  effects.ShowStatus(kIndexCreatedStatus);
  return RebuildResult::Created;
}

void IndexRebuild::FollowArchive(const std::string& appDir, const std::string& archivePath,
                                 const std::function<void()>& archiveRead) {
  const std::string indexPath = IndexPathOf(appDir);
  if (!IdentityOf(indexPath)) return;  // the rebuild makes the first index
  const std::string name = platform::NameOf(archivePath);
  if (platform::WithTrailingSeparator(platform::FolderOf(archivePath)) != appDir ||
      !platform::WildcardMatch("*.zip", name)) {
    return;
  }
  if (running_.exchange(true)) return;
  struct ClearRunning {
    std::atomic<bool>& flag;
    ~ClearRunning() { flag = false; }
  } clearRunning{running_};

  CheckIndexWritable(indexPath);
  finder_.SetDirectory(appDir);
  finder_.SetFilter("*.zip");
  finder_.Execute();
  OldIndex old;
  // Without stamps that describe the old index, no line can be told to be
  // whose: every archive is walked.
  const bool copying = old.Open(appDir);
  FollowedArchive followed;
  followed.name = name;
  const std::vector<std::string>& archives = finder_.Files();
  followed.read = copying && std::any_of(archives.begin(), archives.end(),
                                         [&](const std::string& path) { return platform::NameOf(path) == name; });
  if (followed.read) {
    // The stamp before the walk, as in WriteIndex.
    followed.stamp = StampOf(archivePath).value_or(ArchiveStamp{});
    currentBase_ = ReplaceAll(ArchiveBase(name), "_", " ");
    capturedLines_ = &followed.lines;
    struct StopCapturing {
      std::string*& lines;
      ~StopCapturing() { lines = nullptr; }
    } stopCapturing{capturedLines_};
    zip_.ReadEntries(archivePath);
  }
  NoEffects effects;
  if (copying && archiveRead) archiveRead();
  WriteIndex(appDir, archives, effects, copying ? &old : nullptr, &followed);
  if (!copying && archiveRead) archiveRead();
}

void IndexRebuild::CheckIndexWritable(const std::string& indexPath) {
  // A read-only index is kept as the user protected it, as when it was
  // rewritten in place (the new index replaces it by renaming, which the
  // file's own permissions would not stop).
  const int64_t attributes = platform::GetFileAttributes(indexPath);
  if (attributes >= 0 && (attributes & platform::kAttrReadOnly) != 0) {
    ThrowIndexError(indexPath, EACCES, platform::IoErrorText(EACCES));
  }
}

bool IndexRebuild::WriteIndex(const std::string& appDir, const std::vector<std::string>& archives,
                              RebuildEffects& effects, OldIndex* old, const FollowedArchive* followed) {
  const std::string indexPath = IndexPathOf(appDir);
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
  IndexStamps stamps;
  stamps.archives.reserve(archives.size());
  try {
    for (const std::string& archive : archives) {
      if (effects.StopRequested()) throw RebuildStopped{};
      const std::string name = platform::NameOf(archive);
      const ArchiveLines* known = old != nullptr ? old->Find(name) : nullptr;
      const bool isFollowed = followed != nullptr && name == followed->name;
      if (isFollowed && followed->read) {
        // Read ahead by FollowArchive.
        ArchiveLines lines{name, followed->stamp, 0, followed->lines.size()};
        FlushCopies(*old);
        lines.offset = writer_.BytesWritten();
        try {
          writer_.WriteBytes(followed->lines);
        } catch (const platform::IoError& error) {
          ThrowIndexError(indexPath, error.code(), error.what());
        }
        stamps.archives.push_back(std::move(lines));
        continue;
      }
      // The stamp is taken before the walk: an archive changed meanwhile
      // looks changed to the next rebuild, never the other way round. An
      // update after one archive changed keeps the others' stamps.
      std::optional<ArchiveStamp> now;
      if (followed == nullptr || old == nullptr) now = StampOf(archive);
      const bool walk = followed != nullptr ? old == nullptr : (known == nullptr || !now || known->stamp != *now);
      if (!walk && known == nullptr) continue;  // came by another road: left for a rebuild
      ArchiveLines lines{name, walk ? now.value_or(ArchiveStamp{}) : known->stamp, 0, 0};
      lines.offset = writer_.BytesWritten() + (old != nullptr ? old->PendingBytes() : 0);
      if (walk) {
        if (old != nullptr) FlushCopies(*old);
        effects.ShowStatus(kProcessingStatus + name);
        currentBase_ = ReplaceAll(ArchiveBase(name), "_", " ");
        zip_.ReadEntries(archive);
        lines.length = writer_.BytesWritten() - lines.offset;
      } else {
        if (!old->Follows(*known)) FlushCopies(*old);
        old->Copy(*known);
        lines.length = known->length;
      }
      stamps.archives.push_back(std::move(lines));
    }
    if (old != nullptr) {
      FlushCopies(*old);
      old->Close();
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
  // The stamps follow the index they describe: a kill before they are in
  // place leaves stamps of the old index, which no longer match and are
  // void.
  const std::optional<FileIdentity> written = IdentityOf(indexPath);
  if (!written) ThrowIndexError(indexPath, ENOENT, platform::IoErrorText(ENOENT));
  stamps.index = *written;
  SaveIndexStamps(appDir, stamps);
  return true;
}

void IndexRebuild::FlushCopies(OldIndex& old) {
  try {
    old.Flush(writer_);
  } catch (const platform::IoError& error) {
    ThrowIndexError(indexPath_, error.code(), error.what());
  }
}

void IndexRebuild::ZipReadFile(const ZipFile& entry) {
  if (capturedLines_ != nullptr) {
    AppendIndexLine(*capturedLines_, currentBase_, ReplaceAll(entry.FileName, "_", " "));
    return;
  }
  if (!writer_.IsOpen()) return;
  if (writingEffects_ != nullptr && writingEffects_->StopRequested()) throw RebuildStopped{};
  try {
    writer_.WriteLine(currentBase_, ReplaceAll(entry.FileName, "_", " "));
  } catch (const platform::IoError& error) {
    ThrowIndexError(indexPath_, error.code(), error.what());
  }
}

}  // namespace fretfile
