#include "jobs/song_jobs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QScopeGuard>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>

#include "archive/folder_separators.h"
#include "archive/zip_find.h"
#include "index/collection.h"
#include "index/hit_lookup.h"
#include "index/index_follow.h"
#include "index/replace_all.h"
#include "index/saved_song.h"
#include "index/song_record.h"
#include "update/component/zip_updater.h"

namespace fretfile {
namespace {

using archive::WithSlashes;

// Where the songs of an add wait for the component, below temp/.
constexpr const char* kAddingFolder = ".fretfile-adding";

// The component's last word, for a message that says something failed.
std::string WithLastMessage(std::string text, const TZipUpdater& updater) {
  if (!updater.LastMessage().empty()) text += "\n" + updater.LastMessage();
  return text;
}

// The archive's lines of the index and its songs in the lyrics index follow
// the change; a failure is told, and the next rebuild mends it.
void FollowIndex(const JobContext& context, const std::string& archivePath, JobResult& result) {
  if (!context.followIndex || result.done == 0) return;
  try {
    UpdateIndexOfArchive(context.appDir, archivePath);
  } catch (const std::exception& error) {
    if (!result.problem.empty()) result.problem += "\n";
    result.problem += std::string("The index could not follow the change: ") + error.what() +
                      "\nRebuild Index brings it up to date.";
  }
}

// A deleted or renamed song's copy in temp/ and its record go, when they
// are this archive's: nothing offers them as an edit later.
void ForgetTempCopy(const std::string& appDir, const std::string& archivePath, const std::string& entryName) {
  const auto record = ReadSongRecord(appDir, entryName);
  if (!record || record->archivePath != archivePath) return;
  if (const auto path = TempPathOf(appDir, entryName)) ::unlink(path->c_str());
  RemoveSongRecord(appDir, entryName);
}

// Copies a file whole, with its modification time (the entry's time); 0 or
// an errno value.
int CopyWithTime(const std::string& from, const std::string& to, std::string& bytes) {
  struct stat st{};
  if (::stat(from.c_str(), &st) != 0) return errno;
  const auto content = ReadSongFile(from);
  if (!content) return EIO;
  bytes = *content;
  if (const int error = WriteSongFile(to, bytes); error != 0) return error;
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  return ::utimensat(AT_FDCWD, to.c_str(), times, 0) == 0 ? 0 : errno;
}

}  // namespace

ArchiveEntryNames::ArchiveEntryNames(const std::string& archivePath) {
  archive::ZipSearchRec rec;
  for (int result = archive::ZipFindFirst(archivePath, rec); result == 0; result = archive::ZipFindNext(rec)) {
    Name name{rec.FileName, WithSlashes(rec.FileName), {}};
    name.shown = ReplaceAll(name.slashed, "_", " ");
    names_.push_back(std::move(name));
  }
  archive::ZipFindClose(rec);
}

bool ArchiveEntryNames::Holds(const std::string& entryName) const {
  const std::string sought = WithSlashes(entryName);
  return std::any_of(names_.begin(), names_.end(), [&](const Name& name) { return name.slashed == sought; });
}

std::optional<std::string> ArchiveEntryNames::ShownAs(const std::string& entryName, const std::string& except) const {
  const std::string sought = WithSlashes(entryName);
  const std::string shown = ReplaceAll(sought, "_", " ");
  const std::string skipped = WithSlashes(except);
  const Name* found = nullptr;
  for (const Name& name : names_) {
    if (!except.empty() && name.slashed == skipped) continue;
    if (name.slashed == sought) return name.stored;
    if (found == nullptr && name.shown == shown) found = &name;
  }
  return found != nullptr ? std::optional<std::string>(found->stored) : std::nullopt;
}

AddSongsJob::AddSongsJob(JobContext context, std::string archivePath, std::vector<SongFile> songs)
    : context_(std::move(context)), archivePath_(std::move(archivePath)), songs_(std::move(songs)) {}

JobResult AddSongsJob::Run() {
  JobResult result;
  const std::string staging = TempFolderOf(context_.appDir) + "/" + kAddingFolder;
  std::error_code ignored;
  // A folder a killed add left behind goes first; ours goes at the end.
  std::filesystem::remove_all(staging, ignored);
  const auto removeStaging = qScopeGuard([&] { std::filesystem::remove_all(staging, ignored); });
  std::filesystem::create_directories(staging, ignored);

  std::vector<std::string> staged;
  std::vector<std::string> contents;
  for (const SongFile& song : songs_) {
    std::string bytes;
    const std::string target = staging + "/" + song.entryName;
    if (const int error = CopyWithTime(song.path, target, bytes); error != 0) {
      result.problem += "Cannot read " + song.path + ": " + std::strerror(error) + "\n";
      continue;
    }
    staged.push_back(target);
    contents.push_back(std::move(bytes));
  }
  if (staged.empty()) return result;

  TZipUpdater& updater = context_.updater;
  // Exactly these files, under exactly their names, each replacing its
  // entry whatever the times say; the window's settings come back after.
  const std::string keptRoot = updater.RootDir();
  const AddOpts keptOptions = updater.AddOptions;
  const auto restore = qScopeGuard([&] {
    updater.SetRootDir(keptRoot);
    updater.AddOptions = keptOptions;
  });
  updater.SetZipFileName(archivePath_);
  updater.FSpecArgs = staged;
  updater.SetRootDir(staging + "/");
  updater.AddOptions = AddOpts{};
  try {
    updater.Add();
  } catch (const std::exception& error) {
    result.problem += std::string("The songs were not added: ") + error.what() + "\n";
    return result;
  }
  int32_t missing = 0;
  for (size_t i = 0; i < staged.size(); ++i) {
    const std::string& entryName = staged[i].substr(staging.size() + 1);
    if (ArchiveEntryHolds(archivePath_, entryName, contents[i])) {
      ++result.done;
      ForgetTempCopy(context_.appDir, archivePath_, entryName);
    } else {
      ++missing;
    }
  }
  if (missing > 0) {
    result.problem += WithLastMessage(std::to_string(missing) + " of " + std::to_string(staged.size()) +
                                          " songs were not stored in " + archivePath_ + ".",
                                      updater);
  }
  FollowIndex(context_, archivePath_, result);
  return result;
}

RenameSongJob::RenameSongJob(JobContext context, std::string archivePath, std::string entryName,
                             std::string newEntryName)
    : context_(std::move(context)),
      archivePath_(std::move(archivePath)),
      entryName_(std::move(entryName)),
      newEntryName_(std::move(newEntryName)) {}

JobResult RenameSongJob::Run() {
  JobResult result;
  // Asked again now: another job may have run since the user typed it.
  if (ArchiveShowsEntry(archivePath_, newEntryName_, entryName_)) {
    result.problem = ArtistOfArchive(archivePath_) + " already has a song named " + ShownName(newEntryName_) + ".";
    return result;
  }
  TZipUpdater& updater = context_.updater;
  updater.SetZipFileName(archivePath_);
  try {
    updater.Rename(entryName_, newEntryName_);
  } catch (const std::exception& error) {
    result.problem = std::string("The song was not renamed: ") + error.what();
    return result;
  }
  const ArchiveEntryNames now(archivePath_);
  if (now.Holds(newEntryName_) && !now.Holds(entryName_)) {
    result.done = 1;
    ForgetTempCopy(context_.appDir, archivePath_, entryName_);
  } else {
    result.problem = WithLastMessage(ShownName(entryName_) + " was not renamed in " + archivePath_ + ".", updater);
  }
  FollowIndex(context_, archivePath_, result);
  return result;
}

DeleteSongsJob::DeleteSongsJob(JobContext context, std::string archivePath, std::vector<std::string> entryNames)
    : context_(std::move(context)), archivePath_(std::move(archivePath)), entryNames_(std::move(entryNames)) {}

JobResult DeleteSongsJob::Run() {
  JobResult result;
  TZipUpdater& updater = context_.updater;
  updater.SetZipFileName(archivePath_);
  try {
    updater.Delete(entryNames_);
  } catch (const std::exception& error) {
    result.problem = std::string("The songs were not deleted: ") + error.what();
    return result;
  }
  int32_t kept = 0;
  const ArchiveEntryNames now(archivePath_);
  for (const std::string& entryName : entryNames_) {
    if (now.Holds(entryName)) {
      ++kept;
    } else {
      ++result.done;
      ForgetTempCopy(context_.appDir, archivePath_, entryName);
    }
  }
  if (kept > 0) {
    result.problem = WithLastMessage(std::to_string(kept) + " of " + std::to_string(entryNames_.size()) +
                                         " songs were not deleted from " + archivePath_ + ".",
                                     updater);
  }
  FollowIndex(context_, archivePath_, result);
  return result;
}

}  // namespace fretfile
