// No edit is lost: the questions that keep changes from disappearing, and
// the drafts and records in temp/ that outlive a killed program.
#include <QGuiApplication>
#include <QPointer>
#include <QScopeGuard>
#include <algorithm>

#include "index/collection.h"
#include "index/hit_lookup.h"
#include "index/song_record.h"
#include "platform/gui/dialogs.h"
#include "ui/external_edits.h"
#include "ui/form_main.h"
#include "ui/viewer_window.h"

namespace fretfile {
namespace {

// "A", "A and B", "A, B and C".
std::string Listed(const std::vector<std::string>& titles) {
  std::string text;
  for (size_t i = 0; i < titles.size(); ++i) {
    if (i > 0) text += i + 1 == titles.size() ? " and " : ", ";
    text += titles[i];
  }
  return text;
}

SongDocument SongOf(const SongRecord& record, const std::string& tempPath) {
  SongDocument song;
  song.archivePath = record.archivePath;
  song.entryName = record.entryName;
  song.artist = record.artist;
  song.tempPath = tempPath;
  song.saved = record;
  return song;
}

}  // namespace

void TFormMain::SubmitSave(const SongDocument& song, std::string bytes) {
  if (ArchiveBusy()) SetStatusText(QStringLiteral("The save waits until the one running now has ended."));
  archiveWork_.Submit([this, request = SaveRequest{song, std::move(bytes)}] { RunSave(request); });
}

void TFormMain::SubmitViewerSave(TViewerWindow& viewer, std::string bytes) {
  viewer.Song.saved.Set(bytes);
  SubmitSave(viewer.Song, std::move(bytes));
}

bool TFormMain::Storable(const EncodedSong& text, const std::string& song) {
  if (text.unencodable.isEmpty()) return true;
  // A character the song's code page lacks is never replaced behind the
  // user's back: nothing is stored until it is changed.
  platform::ShowMessage((song.empty() ? std::string() : song + ": ") + CannotStoreMessage(text.unencodable));
  return false;
}

void TFormMain::WriteDrafts() {
  if (AppDir_.empty()) return;
  for (QObject* component : Components()) {
    auto* viewer = qobject_cast<TViewerWindow*>(component);
    if (viewer == nullptr || viewer->Memo == nullptr) continue;
    const std::string bytes = viewer->Memo->Encoded().bytes;
    const bool changed = !viewer->Song.saved.Holds(bytes);
    WriteSongDraft(AppDir_, viewer->Song.entryName, changed ? std::optional<std::string>(bytes) : std::nullopt);
  }
}

std::vector<TFormMain::UnsavedChange> TFormMain::UnsavedChanges() const {
  std::vector<UnsavedChange> changes;
  const auto listed = [&](const std::string& tempPath) {
    return std::any_of(changes.begin(), changes.end(),
                       [&](const UnsavedChange& change) { return change.song.tempPath == tempPath; });
  };
  for (QObject* component : Components()) {
    auto* viewer = qobject_cast<TViewerWindow*>(component);
    if (viewer == nullptr || viewer->Memo == nullptr) continue;
    EncodedSong text = viewer->Memo->Encoded();
    if (!viewer->Song.saved.Holds(text.bytes)) changes.push_back({viewer->Song, std::move(text), viewer});
  }
  for (auto& change : externalEdits_->Unanswered()) {
    if (!listed(change.song.tempPath)) changes.push_back({std::move(change.song), {std::move(change.bytes), {}}});
  }
  if (AppDir_.empty()) return changes;
  for (auto& edit : FindUnstoredEdits(AppDir_)) {
    const auto tempPath = TempPathOf(AppDir_, edit.record.entryName);
    if (tempPath && !listed(*tempPath)) changes.push_back({SongOf(edit.record, *tempPath), {std::move(edit.text), {}}});
  }
  return changes;
}

TFormMain::EndAnswer TFormMain::AnswerForUnsavedChanges(const std::function<void()>& then) {
  WriteDrafts();
  std::vector<UnsavedChange> changes = UnsavedChanges();
  if (changes.empty()) return EndAnswer::GoOn;
  for (const UnsavedChange& change : changes) {
    if (!Storable(change.text, change.song.Title())) return EndAnswer::Stay;
  }
  std::vector<std::string> titles;
  for (const UnsavedChange& change : changes) titles.push_back(change.song.Title());
  const platform::Answer answer = platform::AskSaveDiscardCancel("Save the changes to " + Listed(titles) +
                                                                 " before closing?");
  if (answer == platform::Answer::Save) {
    for (UnsavedChange& change : changes) {
      if (change.viewer != nullptr) {
        SubmitViewerSave(*change.viewer, std::move(change.text.bytes));
      } else {
        SubmitSave(change.song, std::move(change.text.bytes));
      }
    }
    archiveWork_.WhenIdle(then);
    return EndAnswer::Saving;
  }
  if (answer != platform::Answer::Discard) return EndAnswer::Stay;
  for (const UnsavedChange& change : changes) {
    if (change.viewer != nullptr) change.viewer->Song.saved.Set(change.text.bytes);
    externalEdits_->Declined(change.song.tempPath);
    if (!AppDir_.empty()) RemoveSongRecord(AppDir_, change.song.entryName);
  }
  return EndAnswer::GoOn;
}

void TFormMain::AskAboutExternalChanges() {
  // Asked while the user works in this program, not while they type in
  // another one; and not inside a save.
  if (askingAboutExternal_ || QGuiApplication::applicationState() != Qt::ApplicationActive) return;
  archiveWork_.WhenIdle([this] {
    if (askingAboutExternal_) return;
    askingAboutExternal_ = true;
    const auto done = qScopeGuard([this] { askingAboutExternal_ = false; });
    for (const auto& change : externalEdits_->Unanswered()) {
      const platform::Answer answer = platform::AskYesNo("The song " + change.song.Title() +
                                                         " was changed in another program. Store it in its archive?");
      if (answer == platform::Answer::Yes) {
        externalEdits_->Stored(change.song.tempPath, change.bytes);
        SubmitSave(change.song, change.bytes);
      } else if (answer == platform::Answer::No) {
        externalEdits_->Declined(change.song.tempPath);
        if (!AppDir_.empty()) RemoveSongRecord(AppDir_, change.song.entryName);
      }
    }
  });
}

void TFormMain::OfferUnstoredEdits() {
  if (AppDir_.empty()) return;
  for (UnstoredEdit& edit : FindUnstoredEdits(AppDir_)) {
    const auto tempPath = TempPathOf(AppDir_, edit.record.entryName);
    if (!tempPath) continue;
    SongDocument song = SongOf(edit.record, *tempPath);
    switch (platform::AskStoreOpenDiscard("An edit of " + song.Title() + " was never stored in its archive.")) {
      case platform::Answer::Store:
        SubmitSave(song, std::move(edit.text));
        break;
      case platform::Answer::Open: {
        // The viewer opens on the edit; until it is stored, its record still
        // tells that it differs from what the archive holds.
        if (edit.fromDraft && WriteSongFile(*tempPath, edit.text) != 0) break;
        const int number = LowestFreeViewerNumber(*this);
        if (number == 0) break;
        CreateViewerWindow(*this, number, std::move(song))->show();
        break;
      }
      case platform::Answer::Discard:
        RemoveSongRecord(AppDir_, edit.record.entryName);
        break;
      default:
        break;  // closed unanswered: offered again next time
    }
  }
}

void TFormMain::DisposeOfViewer(TViewerWindow* window) {
  // The number is free at once; the window itself goes once the command
  // that asked for it has been handled completely, and not before a save
  // that runs now (its own, perhaps, whose menu is still at work) has ended.
  RemoveComponent(window);
  if (window->Memo != nullptr) RemoveComponent(window->Memo);
  window->hide();
  // Its draft goes too, once the saves it may have asked for are over (until
  // then the draft is all a killed program would leave of the edit).
  archiveWork_.WhenIdle([this, window = QPointer<TViewerWindow>(window)] {
    if (!window) return;
    if (!AppDir_.empty()) WriteSongDraft(AppDir_, window->Song.entryName, std::nullopt);
    window->deleteLater();
  });
}

}  // namespace fretfile
