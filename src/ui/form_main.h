// FormMain: the program's one permanent window. It holds the search boxes,
// the grid of hits, the viewer choice, the buttons and the status bar, and
// it owns the program's components (finder, walker, worker thread) and, at
// run time, the viewer windows.
//
// The handlers keep the names of the original Windows program; their bodies
// live in one file per concern: form_main.cpp (creation, painting, exit),
// form_main_search.cpp, form_main_rebuild.cpp, form_main_open.cpp,
// form_main_save.cpp, form_main_collection.cpp (choosing the collection
// folder).
#pragma once

#include <QCheckBox>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "index/lyrics_query.h"
#include "index/song_document.h"
#include "jobs/song_jobs.h"
#include "ui/archive_work.h"
#include "ui/string_grid.h"

class QGroupBox;

namespace fretfile {
class ExternalEdits;
class TForm2;
class TMenuItem;
class TViewerWindow;
class TZipUpdater;
class TWinThread;
struct TWinThreadParam;
struct ZipFile;
}  // namespace fretfile

namespace fretfile {

class TFormMain : public QMainWindow {
  Q_OBJECT
 public:
  // appDir: the collection folder, ending in '/' (the program's own folder
  // or the one the user chose; a test's temporary folder in tests). Empty
  // when none is chosen yet: the window then creates and reads nothing, and
  // searching, rebuilding and choosing a viewer tell how to choose one.
  explicit TFormMain(std::string appDir, QWidget* parent = nullptr);
  ~TFormMain() override;

  const std::string& AppDir() const { return AppDir_; }
  const std::string& ViewerCommand() const { return ViewerCommand_; }

  // Handlers.
  void FormCreate();
  void SearchButtonClick();
  void ArtistnameKeyDown(int key);
  void SongnameKeyDown(int key);
  void EnableButtons(bool enabled);
  void IndexButtonClick();
  // The rebuild on the worker thread, and the walker's handler there
  // (form_main_rebuild.cpp).
  int32_t WinThreadThreadProc(TWinThread& Sender, const TWinThreadParam& ThreadInfo);
  void ZipReadFile(const ZipFile& zipFile);
  void DBGrid1DblClick();
  void StringGridKeyUp(int key);
  void StringGridDrawCell(QPainter& painter, int column, int row, const QRect& rect, bool selected);
  void Image1DblClick();
  void ExitButtonClick();
  void InternalViewer1Click();
  // File > Choose Collection Folder...: the user picks a folder, the window
  // switches to it and the choice is remembered for the next start.
  void ChooseCollectionFolder1Click();
  // Switches the window to another collection folder (ending in '/'): its
  // temp/ is created, its kest.ini read, the grid emptied.
  void SetCollection(std::string appDir);
  // File > Find in Lyrics... (form_main_lyrics.cpp): asks for words and
  // fills the grid with the songs of the lyrics index that hold them.
  void FindInLyrics1Click();
  // Shown while no collection folder is chosen.
  static constexpr const char* kNoCollectionText =
      "Choose the folder of your song archives: File > Choose Collection Folder...";
  // Keeping the collection (form_main_songs.cpp): File > "Add Songs..." and
  // files or folders dropped on the window add songs to an artist's archive
  // (a new artist makes a new archive); "Rename Song..." (F2) and "Delete
  // Song" (Delete) change the selected rows' songs in their archives. The
  // index follows each change.
  void AddSongs1Click();
  void AddSongFiles(const std::vector<std::string>& paths);
  void RenameSong1Click();
  void DeleteSong1Click();
  // The status bar tells of archives added, removed or changed on disk
  // since the index was built (at start, and when the window is activated).
  void NoticeChangedArchives();
  // The "Save" and "Close" commands of a viewer window (viewer_window.cpp).
  void SaveClick(TMenuItem* sender);
  void CloseClick(TMenuItem* sender);

  // No edit is lost (form_main_changes.cpp): edits found in temp/ that never
  // reached their archive are offered once (at start, and for a new
  // collection folder); songs changed in another program are offered for
  // storing, when the program is active; every viewer's unsaved text is
  // kept as a draft in temp/, so that a killed program loses none.
  void OfferUnstoredEdits();
  void AskAboutExternalChanges();
  void WriteDrafts();
  // A viewer's text changed: its draft is written shortly.
  void DraftsChanged() { draftTimer_.start(); }
  ExternalEdits* ExternalEditsWatch() const { return externalEdits_; }

  // The external viewer chooser, created hidden with the window.
  TForm2* Form2 = nullptr;
  // The archive-update component that stores saved songs (form_main_save.cpp).
  TZipUpdater* ZipUpdater = nullptr;

  // True while a save stores a song or an opening extracts one, or a save
  // waits for its turn (the window's events run meanwhile; see
  // ui/archive_work.h).
  bool ArchiveBusy() const { return archiveWork_.Busy(); }
  static constexpr const char* kArchiveBusyText =
      "A song is being stored in its archive. Try again when the save has ended.";

  // True while a search runs (a second one is refused).
  bool SearchRunning() const { return searchRunning_; }
  // True while a rebuild asks or writes (searches and rebuilds are refused).
  bool RebuildRunning() const;
  // The program is ending: a running rebuild stops at its next entry, the
  // old index kept, so that nothing waits for the whole collection.
  void StopRebuild();

  // Controls, by their names on the window.
  StringGridView* StringGrid = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLineEdit* Artistname = nullptr;
  QLineEdit* Songname = nullptr;
  QCheckBox* ExactArt = nullptr;
  QCheckBox* ExactSong = nullptr;
  QPushButton* Searchbutton = nullptr;
  QLabel* Image1 = nullptr;
  QCheckBox* InternalViewer = nullptr;
  QPushButton* indexbutton = nullptr;
  QPushButton* Exitbutton = nullptr;
  QLabel* Label3 = nullptr;
  QStatusBar* StatusBar = nullptr;
  QMenu* File1 = nullptr;
  QAction* ChooseCollectionFolder1 = nullptr;
  QAction* FindInLyrics1 = nullptr;
  QAction* AddSongs1 = nullptr;
  QAction* RenameSong1 = nullptr;
  QAction* DeleteSong1 = nullptr;
  QAction* Exit1 = nullptr;
  QMenu* Options1 = nullptr;
  QAction* InternalViewer1 = nullptr;

  // The status bar's single text.
  QString StatusText() const;
  void SetStatusText(const QString& text);

  // Components the window owns, in creation order; found by object name.
  const std::vector<QObject*>& Components() const { return components_; }
  QObject* FindComponent(const QString& name) const;
  void AddComponent(QObject* component);
  void RemoveComponent(QObject* component);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Closing the window ends the program.
  void closeEvent(QCloseEvent* event) override;
  // Files dropped on the window are added as songs.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  // Activation looks for archives changed on disk.
  void changeEvent(QEvent* event) override;

 private:
  // The controls and the menus.
  void CreateControls();
  void SetTabOrder();
  // Rebuild components (finder, walker, worker thread): form_main_rebuild.cpp.
  void CreateRebuildComponents();
  void DestroyRebuildComponents();
  // The archive-update component with its stored settings, and the archive
  // part of SaveClick: form_main_save.cpp.
  void CreateZipUpdater();
  void DestroyZipUpdater();
  // One save, in its turn: the text as it was when the user said Yes.
  struct SaveRequest {
    SongDocument song;
    std::string bytes;
  };
  void SubmitSave(const SongDocument& song, std::string bytes);
  // A viewer's text, in its turn: it counts as saved from now on.
  void SubmitViewerSave(TViewerWindow& viewer, std::string bytes);
  // False, after naming them (behind `song`, when given), when the text
  // holds characters its song's code page cannot store.
  static bool Storable(const EncodedSong& text, const std::string& song = {});
  void RunSave(const SaveRequest& request);
  // True when the song reached its archive; else the user has been told.
  bool StoreInArchive(const std::string& archivePath, const std::string& entryName, const std::string& filePath,
                      const std::string& content);
  // The songs whose changes have not reached their archive.
  struct UnsavedChange {
    SongDocument song;
    EncodedSong text;
    TViewerWindow* viewer = nullptr;  // the viewer that holds them, if one does
  };
  std::vector<UnsavedChange> UnsavedChanges() const;
  // Before the program ends: one question for every unsaved change. Stay:
  // the user cancelled. Saving: the saves run, and `then` runs after them.
  enum class EndAnswer { GoOn, Saving, Stay };
  EndAnswer AnswerForUnsavedChanges(const std::function<void()>& then);
  // True while a save runs or waits: the program's end (`end`) is put off
  // until none does.
  bool PutOffEndWhileSaving(const std::function<void()>& end);
  // Takes a viewer off the window's components and disposes of it once no
  // save runs.
  void DisposeOfViewer(TViewerWindow* window);
  // False, after saying why, while an archive operation runs or waits.
  bool ArchiveFree();
  // False, after telling the user how to choose one, while no collection
  // folder is chosen.
  bool CollectionChosen();
  // Closes every viewer window, after asking when there is one; false when
  // the user says No.
  bool CloseViewerWindows();

  // The selected rows' songs, in row order; none, after telling why, when a
  // row's song cannot be found.
  struct SelectedSong {
    int row = 0;
    std::string artistCell;
    std::string songCell;
    std::string archivePath;
    std::string entryName;
  };
  std::vector<SelectedSong> SelectedSongs();
  // Whether a viewer shows the song or another program has it open.
  bool SongInUse(const std::string& archivePath, const std::string& entryName) const;
  // True, after telling the user, when the song is in use.
  bool TellWhenInUse(const std::string& archivePath, const std::string& entryName);
  JobContext JobContextNow();
  void ShowRenamedInGrid(const SelectedSong& song, const std::string& newCell);
  void RemoveDeletedFromGrid(const std::vector<SelectedSong>& deleted);

  // A lyrics hit opened in a viewer: its first matching line selected.
  void ShowLyricsLine(TViewerWindow& viewer, int row, const std::string& artist, const std::string& song);

  std::string AppDir_;
  std::string ViewerCommand_;
  // The grid's rows of the last Find in Lyrics (row n is lyricsHits_[n-1]),
  // and its query, offered again.
  std::vector<LyricsHit> lyricsHits_;
  std::string lastLyricsQuery_;
  bool searchRunning_ = false;
  // True while an opening runs (its extraction lets other events run).
  bool opening_ = false;
  ArchiveWork archiveWork_;
  ExternalEdits* externalEdits_ = nullptr;
  QTimer draftTimer_;
  bool askingAboutExternal_ = false;
  // Exit or closing the window came while a save ran; it happens after.
  bool endPending_ = false;
  std::vector<QObject*> components_;

  struct RebuildState;
  RebuildState* rebuild_ = nullptr;
};

}  // namespace fretfile
