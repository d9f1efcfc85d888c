#include "ui/external_edits.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <optional>

#include "index/song_record.h"

namespace fretfile {
namespace {

// How long a file must stay as it is before it is read: an editor's save
// (write, flush, rename) is over well within it.
constexpr int kSettleMilliseconds = 300;
QString FileName(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

}  // namespace

ExternalEdits::ExternalEdits(QObject* parent) : QObject(parent) {
  settle_.setSingleShot(true);
  settle_.setInterval(kSettleMilliseconds);
  connect(&settle_, &QTimer::timeout, this, &ExternalEdits::CheckNow);
  const auto changed = [this] { settle_.start(); };
  connect(&watcher_, &QFileSystemWatcher::fileChanged, this, changed);
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, changed);
}

void ExternalEdits::Watch(const SongDocument& song) {
  Unwatch(song.tempPath);
  songs_.push_back({song, false, {}});
  WatchPaths();
  // A change made before the watch was in place is found all the same.
  settle_.start();
}

void ExternalEdits::Unwatch(const std::string& tempPath) {
  std::erase_if(songs_, [&](const Watched& watched) { return watched.song.tempPath == tempPath; });
  WatchPaths();
}

bool ExternalEdits::Watches(const std::string& tempPath) const {
  return std::any_of(songs_.begin(), songs_.end(), [&](const Watched& watched) { return watched.song.tempPath == tempPath; });
}

void ExternalEdits::UnwatchAll() {
  songs_.clear();
  WatchPaths();
}

std::vector<ExternalEdits::Change> ExternalEdits::Unanswered() const {
  std::vector<Change> changes;
  for (const Watched& watched : songs_) {
    if (watched.unanswered) changes.push_back({watched.song, watched.bytes});
  }
  return changes;
}

void ExternalEdits::Stored(const std::string& tempPath, const std::string& bytes) {
  for (Watched& watched : songs_) {
    if (watched.song.tempPath != tempPath) continue;
    watched.song.saved.Set(bytes);
    watched.unanswered = false;
    watched.bytes.clear();
  }
}

void ExternalEdits::CheckNow() {
  bool waiting = false;
  for (Watched& watched : songs_) {
    const auto bytes = ReadSongFile(watched.song.tempPath);
    if (!bytes) continue;  // between an editor's delete and its rename, say
    if (watched.unanswered) {
      watched.bytes = *bytes;  // the question, when it comes, is about the latest text
    } else if (!watched.song.saved.Holds(*bytes)) {
      watched.unanswered = true;
      watched.bytes = *bytes;
      waiting = true;
    }
  }
  // A file renamed over its old self is a new file: every file gets a new
  // watch, so none is left on an old one.
  if (!watcher_.files().isEmpty()) watcher_.removePaths(watcher_.files());
  WatchPaths();
  if (waiting) emit ChangeWaiting();
}

void ExternalEdits::WatchPaths() {
  QStringList wanted;
  for (const Watched& watched : songs_) {
    const QString file = FileName(watched.song.tempPath);
    if (!wanted.contains(file) && QFileInfo::exists(file)) wanted << file;
    const QString folder = QFileInfo(file).absolutePath();
    if (!wanted.contains(folder)) wanted << folder;
  }
  QStringList stale;
  for (const QString& path : watcher_.files() + watcher_.directories()) {
    if (!wanted.contains(path)) stale << path;
  }
  if (!stale.isEmpty()) watcher_.removePaths(stale);
  QStringList added;
  for (const QString& path : wanted) {
    if (!watcher_.files().contains(path) && !watcher_.directories().contains(path)) added << path;
  }
  if (!added.isEmpty()) watcher_.addPaths(added);
}

}  // namespace fretfile
