// Keeping the collection from the window: File > "Add Songs..." and files
// dropped on the window, "Rename Song..." (F2) and "Delete Song" (Delete)
// of the grid's selected rows, and the notice of archives changed on disk
// since the index was built. The window asks; the jobs (jobs/song_jobs.h)
// change the archives and let the index follow.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

#include "archive/folder_separators.h"
#include "index/archive_changes.h"
#include "index/hit_lookup.h"
#include "index/replace_all.h"
#include "jobs/song_jobs.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/error_handler.h"
#include "ui/external_edits.h"
#include "ui/form_main.h"
#include "ui/viewer_window.h"

namespace fretfile {
namespace {

std::string Plural(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

bool TFormMain::SongInUse(const std::string& archivePath, const std::string& entryName) const {
  const std::string entry = archive::WithSlashes(entryName);
  for (QObject* component : Components()) {
    const auto* viewer = qobject_cast<TViewerWindow*>(component);
    if (viewer != nullptr && viewer->Song.archivePath == archivePath &&
        archive::WithSlashes(viewer->Song.entryName) == entry) {
      return true;
    }
  }
  const auto tempPath = TempPathOf(AppDir_, entryName);
  return tempPath && externalEdits_->Watches(*tempPath);
}

bool TFormMain::TellWhenInUse(const std::string& archivePath, const std::string& entryName) {
  if (!SongInUse(archivePath, entryName)) return false;
  platform::ShowMessage(ShownName(entryName) + " by " + ArtistOfArchive(archivePath) +
                        " is open. Close it first, then try again.");
  return true;
}

void TFormMain::AddSongs1Click() {
  if (!CollectionChosen() || !ArchiveFree()) return;
  // New songs come from elsewhere: the chooser starts in the home folder.
  const char* home = std::getenv("HOME");
  const std::vector<std::string> chosen =
      platform::ChooseOpenFiles("Add Songs", home != nullptr && *home != '\0' ? home : AppDir_);
  if (!chosen.empty()) AddSongFiles(chosen);
}

void TFormMain::AddSongFiles(const std::vector<std::string>& paths) {
  if (!CollectionChosen() || !ArchiveFree()) return;
  std::vector<SongFile> songs = SongFilesOf(paths);
  if (songs.empty()) {
    platform::ShowMessage("There is no file to add among those given.");
    return;
  }
  // The artist: the one of the selected row, else the one searched for.
  std::string proposed;
  if (const int row = StringGrid->Row(); row >= 1 && !StringGrid->Cells().Cell(0, row).empty()) {
    proposed = ShownName(std::string(StringGrid->Cells().Cell(0, row)));
  } else {
    proposed = Artistname->text().trimmed().toStdString();
  }
  platform::InputQuestion question{"Add Songs", "Add " + Plural(songs.size(), "song", "songs") + " to:", proposed};
  for (const CollectionArtist& artist : CollectionArtists(AppDir_)) question.choices.push_back(artist.shown);
  for (const SongFile& song : songs) question.details.push_back(song.title);
  const auto answer = platform::AskInput(question);
  if (!answer) return;
  const auto archivePath = ArchiveOfArtist(AppDir_, *answer);
  if (!archivePath) {
    platform::ShowMessage("\"" + *answer + "\" cannot name an artist's archive.");
    return;
  }
  const std::string artist = ArtistOfArchive(*archivePath);
  // A song already there is replaced only when the user says so.
  const ArchiveEntryNames present(*archivePath);
  std::vector<SongFile> kept;
  for (SongFile& song : songs) {
    if (const auto existing = present.ShownAs(song.entryName)) {
      // The song takes the place of the entry shown so, under its name.
      song.entryName = *existing;
      if (TellWhenInUse(*archivePath, song.entryName)) return;
      const auto replace = platform::AskYesNoCancel(song.title + " by " + artist +
                                                    " is already in its archive. Replace it?");
      if (replace == platform::Answer::Cancel || replace == platform::Answer::Closed) return;
      if (replace != platform::Answer::Yes) continue;
    }
    kept.push_back(std::move(song));
  }
  if (kept.empty()) return;
  archiveWork_.Submit([this, archivePath = *archivePath, artist, songs = std::move(kept)]() mutable {
    const JobResult result = AddSongsJob(JobContextNow(), archivePath, std::move(songs)).Run();
    if (result.done > 0) {
      SetStatusText(QString::fromStdString("Added " + Plural(static_cast<size_t>(result.done), "song", "songs") +
                                           " to " + artist + "."));
    }
    if (!result.problem.empty()) platform::ShowMessage(result.problem);
  });
}

std::vector<TFormMain::SelectedSong> TFormMain::SelectedSongs() {
  std::vector<int> rows;
  for (const QModelIndex& index : StringGrid->selectionModel()->selectedRows()) rows.push_back(index.row() + 1);
  if (rows.empty() && StringGrid->Row() >= 1) rows.push_back(StringGrid->Row());
  std::sort(rows.begin(), rows.end());
  std::vector<SelectedSong> songs;
  for (const int row : rows) {
    SelectedSong song;
    song.row = row;
    song.artistCell = std::string(StringGrid->Cells().Cell(0, row));
    song.songCell = std::string(StringGrid->Cells().Cell(1, row));
    if (song.artistCell.empty()) continue;
    const auto hit = LocateHit(AppDir_, song.artistCell, song.songCell);
    if (!hit) {
      platform::ShowMessage("Unable to process " + ShownName(SoughtEntryName(song.songCell)));
      return {};
    }
    song.archivePath = hit->archivePath;
    song.entryName = hit->fileName;
    songs.push_back(std::move(song));
  }
  return songs;
}

void TFormMain::RenameSong1Click() {
  if (!CollectionChosen() || !ArchiveFree()) return;
  const std::vector<SelectedSong> selected = SelectedSongs();
  if (selected.empty()) return;
  const SelectedSong song = selected.front();
  if (TellWhenInUse(song.archivePath, song.entryName)) return;
  const std::string title = ShownName(song.entryName);
  const std::string artist = ArtistOfArchive(song.archivePath);
  platform::InputQuestion question{"Rename Song", "New title of " + title + " by " + artist + ":", title};
  question.selectStem = true;
  const auto answer = platform::AskInput(question);
  if (!answer) return;
  const auto newEntryName = EntryNameForTitle(*answer, song.entryName);
  if (!newEntryName) {
    platform::ShowMessage("\"" + *answer + "\" cannot be a song's title.");
    return;
  }
  if (archive::WithSlashes(*newEntryName) == archive::WithSlashes(song.entryName)) return;
  if (ArchiveShowsEntry(song.archivePath, *newEntryName, song.entryName)) {
    platform::ShowMessage(artist + " already has a song named " + ShownName(*newEntryName) + ".");
    return;
  }
  archiveWork_.Submit([this, song, newEntryName = *newEntryName] {
    const JobResult result = RenameSongJob(JobContextNow(), song.archivePath, song.entryName, newEntryName).Run();
    if (result.done > 0) {
      ShowRenamedInGrid(song, ReplaceAll(newEntryName, "_", " "));
      SetStatusText(QString::fromStdString("Renamed " + ShownName(song.entryName) + " to " + ShownName(newEntryName) + "."));
    }
    if (!result.problem.empty()) platform::ShowMessage(result.problem);
  });
}

void TFormMain::DeleteSong1Click() {
  if (!CollectionChosen() || !ArchiveFree()) return;
  const std::vector<SelectedSong> selected = SelectedSongs();
  if (selected.empty()) return;
  for (const SelectedSong& song : selected) {
    if (TellWhenInUse(song.archivePath, song.entryName)) return;
  }
  const std::string question =
      selected.size() == 1 ? "Delete " + ShownName(selected.front().entryName) + " by " +
                                 ArtistOfArchive(selected.front().archivePath) + " from its archive?"
                           : "Delete these " + std::to_string(selected.size()) + " songs from their archives?";
  if (platform::AskQuestion(platform::BoxKind::YesNo, platform::kApplicationTitle, question,
                            platform::BoxIcon::Warning, 1) != platform::Answer::Yes) {
    return;
  }
  // One rewrite per archive, in the order the rows name them.
  std::vector<std::string> order;
  std::map<std::string, std::vector<std::string>> byArchive;
  for (const SelectedSong& song : selected) {
    auto& names = byArchive[song.archivePath];
    if (names.empty()) order.push_back(song.archivePath);
    if (std::find(names.begin(), names.end(), song.entryName) == names.end()) names.push_back(song.entryName);
  }
  archiveWork_.Submit([this, selected, order, byArchive] {
    int32_t deleted = 0;
    std::string problems;
    for (const std::string& archivePath : order) {
      const JobResult result = DeleteSongsJob(JobContextNow(), archivePath, byArchive.at(archivePath)).Run();
      deleted += result.done;
      if (!result.problem.empty()) problems += (problems.empty() ? "" : "\n") + result.problem;
    }
    RemoveDeletedFromGrid(selected);
    if (deleted > 0) {
      SetStatusText(QString::fromStdString("Deleted " + Plural(static_cast<size_t>(deleted), "song", "songs") + "."));
    }
    if (!problems.empty()) platform::ShowMessage(problems);
  });
}

JobContext TFormMain::JobContextNow() { return JobContext{*ZipUpdater, AppDir_, !RebuildRunning()}; }

void TFormMain::ShowRenamedInGrid(const SelectedSong& song, const std::string& newCell) {
  auto& cells = StringGrid->Cells();
  for (int row = 1; row < cells.RowCount(); ++row) {
    if (cells.Cell(0, row) == song.artistCell && cells.Cell(1, row) == song.songCell) cells.SetCell(1, row, newCell);
  }
  StringGrid->Model()->Refresh();
}

void TFormMain::RemoveDeletedFromGrid(const std::vector<SelectedSong>& deleted) {
  // A row goes when its song is no longer where it was: each archive's
  // names are read once.
  std::map<std::string, ArchiveEntryNames> archives;
  std::set<std::pair<std::string, std::string>> goneRows;
  for (const SelectedSong& song : deleted) {
    auto at = archives.find(song.archivePath);
    if (at == archives.end()) at = archives.emplace(song.archivePath, ArchiveEntryNames(song.archivePath)).first;
    if (!at->second.ShownAs(song.entryName)) goneRows.emplace(song.artistCell, song.songCell);
  }
  if (goneRows.empty()) return;
  auto& cells = StringGrid->Cells();
  std::vector<std::pair<std::string, std::string>> rows;
  std::vector<LyricsHit> hits;
  bool removed = false;
  int firstRemoved = 1;
  for (int row = 1; row < cells.RowCount(); ++row) {
    std::pair<std::string, std::string> cellsOfRow{std::string(cells.Cell(0, row)), std::string(cells.Cell(1, row))};
    if (goneRows.count(cellsOfRow) > 0) {
      if (!removed) firstRemoved = row;
      removed = true;
      continue;
    }
    rows.push_back(std::move(cellsOfRow));
    if (static_cast<size_t>(row) <= lyricsHits_.size()) hits.push_back(lyricsHits_[static_cast<size_t>(row) - 1]);
  }
  if (!removed) return;
  StringGrid->Model()->BeginReset();
  const std::string header0(cells.Cell(0, 0));
  const std::string header1(cells.Cell(1, 0));
  cells.ClearCells();
  cells.SetRowCount(std::max<int>(2, static_cast<int>(rows.size()) + 1));
  cells.SetCell(0, 0, header0);
  cells.SetCell(1, 0, header1);
  for (size_t i = 0; i < rows.size(); ++i) {
    cells.SetCell(0, static_cast<int>(i) + 1, rows[i].first);
    cells.SetCell(1, static_cast<int>(i) + 1, rows[i].second);
  }
  StringGrid->Model()->EndReset();
  if (!lyricsHits_.empty()) lyricsHits_ = std::move(hits);
  // The row that took the place of the first one deleted is the current one.
  StringGrid->SetRow(std::min(firstRemoved, std::max(1, static_cast<int>(rows.size()))));
}

void TFormMain::NoticeChangedArchives() {
  if (AppDir_.empty() || ArchiveBusy() || RebuildRunning()) return;
  // An index without stamps (one an older version built, or one another
  // program replaced) tells nothing: the status bar stays quiet until a
  // rebuild has made them.
  const ArchiveChanges changes = FindChangedArchives(AppDir_);
  if (!changes.indexKnown) return;
  const std::string text = ChangedArchivesStatus(changes);
  if (!text.empty()) SetStatusText(QString::fromStdString(text));
}

void TFormMain::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (!urls.isEmpty() && std::all_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); })) {
    event->acceptProposedAction();
  }
}

void TFormMain::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
  }
  if (paths.empty()) return;
  event->acceptProposedAction();
  // The drop ends before the questions come: the program that dragged
  // waits for it.
  QMetaObject::invokeMethod(
      this, [this, paths] { platform::RunReportingErrors([&] { AddSongFiles(paths); }); }, Qt::QueuedConnection);
}

}  // namespace fretfile
