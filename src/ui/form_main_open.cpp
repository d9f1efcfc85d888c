// Opening a hit: a double click or Enter in the grid extracts the selected
// row's entry into temp/ and shows it in the external viewer, the desktop's
// program for its type, or an internal viewer window; and the choice of the
// external viewer.
#include <QScopedValueRollback>
#include <optional>

#include "archive/display_name.h"
#include "archive/unzip_member.h"
#include "index/collection.h"
#include "index/hit_lookup.h"
#include "index/song_record.h"
#include "platform/gui/desktop_open.h"
#include "platform/gui/dialogs.h"
#include "platform/posix/shell.h"
#include "platform/ui_contracts/key_state.h"
#include "ui/external_edits.h"
#include "ui/form2.h"
#include "ui/form_main.h"
#include "ui/viewer_window.h"

namespace fretfile {
namespace {

void TellUnableToProcess(const std::string& name) {
  platform::ShowMessage("Unable to process " + archive::DisplayName(name));
}

}  // namespace

void TFormMain::DBGrid1DblClick() {
  // The row's texts are copied: the grid may change while the extraction
  // lets other events run.
  const int row = StringGrid->Row();
  if (row < 1) return;
  const std::string artist(StringGrid->Cells().Cell(0, row));
  const std::string song(StringGrid->Cells().Cell(1, row));
  if (artist.empty()) return;

  // A second opening while the first one's extraction runs is refused before
  // it touches anything, so the first one goes on undisturbed.
  if (opening_) {
    TellUnableToProcess(SoughtEntryName(song));
    return;
  }
  // While a save stores a song, temp/ and the archives are its own.
  if (!ArchiveFree()) return;

  std::optional<HitLocation> hit;
  std::optional<std::string> target;
  {
    // Marks the opening as running until the extraction is over; a save
    // asked for meanwhile waits for it.
    const ArchiveWork::Running running(archiveWork_);
    const QScopedValueRollback<bool> mark(opening_, true);
    hit = LocateHit(AppDir_, artist, song);
    if (hit) {
      // A name that would lead out of temp/ is refused; nothing is written.
      target = TempPathOf(AppDir_, hit->fileName);
      if (target && archive::UnzipMember(hit->archivePath, *target, hit->attributes, hit->headerOffset, {},
                                         platform::kKeyEscape, hit->recorded) != archive::kUnzipOk) {
        target.reset();
      }
    }
  }
  if (!hit) {
    TellUnableToProcess(SoughtEntryName(song));
    return;
  }
  if (!target) {
    TellUnableToProcess(hit->fileName);
    return;
  }

  // The song as extracted, and its record in temp/: what the archive holds,
  // against which a change made here or in another program is told. A new
  // opening of the entry replaces an earlier watch.
  SongDocument opened;
  opened.archivePath = hit->archivePath;
  opened.entryName = hit->fileName;
  opened.artist = artist;
  opened.tempPath = *target;
  externalEdits_->Unwatch(*target);

  if (!InternalViewer->isChecked()) {
    // Read before the other program starts: a change it makes is then told
    // from what was extracted.
    if (const auto extracted = ReadSongFile(*target)) opened.extracted = *extracted;
    opened.saved.Set(opened.extracted);
    WriteSongRecord(AppDir_, opened.Record(opened.extracted));
    int result = platform::ShellExecuteProgram(ViewerCommand_, *target);
    if (result <= 32) result = platform::ShellOpenDocument(*target);
    if (result > 32) {
      externalEdits_->Watch(opened);
      return;
    }
  }

  const int number = LowestFreeViewerNumber(*this);
  if (number == 0) {
    TellUnableToProcess(hit->fileName);
    return;
  }
  // The viewer reads the extracted file itself; its record follows.
  TViewerWindow* viewer = CreateViewerWindow(*this, number, std::move(opened));
  WriteSongRecord(AppDir_, viewer->Song.Record(viewer->Song.extracted));
  viewer->show();
  ShowLyricsLine(*viewer, row, artist, song);
  // The grid stays ready for the next opening.
  activateWindow();
  raise();
  StringGrid->setFocus();
}

void TFormMain::StringGridKeyUp(int key) {
  if (key == 13) DBGrid1DblClick();
}

void TFormMain::InternalViewer1Click() {
  if (!CollectionChosen() || !ArchiveFree()) return;
  if (Form2 != nullptr) Form2->exec();
  ViewerCommand_ = ReadViewerSetting(AppDir_).Command();
}

}  // namespace fretfile
