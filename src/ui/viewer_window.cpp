#include "ui/viewer_window.h"

#include <QMenuBar>
#include <QPointer>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <cerrno>

#include "index/hit_lookup.h"
#include "index/index_follow.h"
#include "index/song_record.h"
#include "index/song_text.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/error_handler.h"
#include "platform/posix/io_error.h"
#include "platform/posix/shared_file.h"
#include "sheet/song_sheet.h"
#include "ui/external_edits.h"
#include "ui/form_main.h"
#include "ui/song_menu.h"

namespace fretfile {
namespace {

constexpr int kViewerWidth = 544;
constexpr int kViewerHeight = 375;

std::string ReadWholeFile(const std::string& path) {
  platform::SharedFile file;
  file.OpenOrThrow(path, platform::FileAccess::Read, platform::FileShare::Shared);
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t count = file.Read(buffer, sizeof buffer);
    if (count < 0) throw platform::IoError(errno);
    if (count == 0) break;
    bytes.append(buffer, static_cast<size_t>(count));
  }
  return bytes;
}

// A long text goes into the box in pieces of about this many characters,
// each ending at a line break (the first piece at once, the others one per
// turn of the event loop).
constexpr qsizetype kFirstPiece = 16 * 1024;
constexpr qsizetype kNextPiece = 64 * 1024;

// Where the piece of `text` that starts at `from` ends: at the first line
// break at least `size` characters on, or at the end of the text.
qsizetype PieceEnd(const QString& text, qsizetype from, qsizetype size) {
  if (text.size() - from <= size) return text.size();
  const qsizetype lineBreak = text.indexOf(QLatin1Char('\n'), from + size);
  return lineBreak < 0 ? text.size() : lineBreak;
}

}  // namespace

TViewerMemo::TViewerMemo(QWidget* parent) : QPlainTextEdit(parent) {}

std::string TViewerMemo::LoadFromFile(const std::string& path) {
  std::string bytes = ReadWholeFile(path);
  song_ = DecodeSong(bytes);
  QString text = song_.text;
  song_.text.clear();  // the box holds it from now on
  pending_.clear();
  pendingAt_ = 0;
  const qsizetype first = PieceEnd(text, 0, kFirstPiece);
  if (first == text.size()) {
    setPlainText(text);
    return bytes;
  }
  setPlainText(text.left(first));
  pending_ = std::move(text);
  pendingAt_ = first;
  // The pieces are not the user's edits: nothing to undo until the text is
  // whole, and nothing to edit either, so no edit can land among them.
  document()->setUndoRedoEnabled(false);
  setReadOnly(true);
  QTimer::singleShot(0, this, &TViewerMemo::FillNextPiece);
  return bytes;
}

void TViewerMemo::FillNextPiece() {
  if (!Filling()) return;
  const qsizetype end = PieceEnd(pending_, pendingAt_, kNextPiece);
  QTextCursor atEnd(document());
  atEnd.movePosition(QTextCursor::End);
  atEnd.insertText(QStringView(pending_).mid(pendingAt_, end - pendingAt_).toString());
  pendingAt_ = end;
  ApplyLineSelection();
  if (Filling()) {
    QTimer::singleShot(0, this, &TViewerMemo::FillNextPiece);
    return;
  }
  pending_.clear();
  pendingAt_ = 0;
  document()->setUndoRedoEnabled(true);
  document()->setModified(false);
  setReadOnly(false);
}

void TViewerMemo::SelectLine(int line) {
  lineToSelect_ = line;
  ApplyLineSelection();
}

void TViewerMemo::ApplyLineSelection() {
  if (lineToSelect_ < 0) return;
  const QTextBlock block = document()->findBlockByNumber(lineToSelect_);
  if (!block.isValid()) {
    if (!Filling()) lineToSelect_ = -1;  // past the end: nothing to select
    return;
  }
  lineToSelect_ = -1;
  QTextCursor cursor(block);
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  setTextCursor(cursor);
  centerCursor();
}

EncodedSong TViewerMemo::Encoded() const {
  // The raw text keeps every character as typed (no-break spaces included);
  // its paragraph separators are the box's line breaks, and so are the line
  // feeds of the text still to come.
  QString text = document()->toRawText();
  if (Filling()) text += QStringView(pending_).mid(pendingAt_);
  return EncodeSong(text, song_);
}

std::string TViewerMemo::TextBytes() const { return Encoded().bytes; }

TViewerWindow::TViewerWindow(QWidget* parent) : QMainWindow(parent, Qt::Window) {}

int LowestFreeViewerNumber(const TFormMain& owner) {
  for (int n = kFirstViewerNumber; n <= kLastViewerNumber; ++n) {
    if (owner.FindComponent(QStringLiteral("Form%1").arg(n)) == nullptr) return n;
  }
  return 0;
}

TViewerWindow* CreateViewerWindow(TFormMain& owner, int n, SongDocument song) {
  auto* window = new TViewerWindow(&owner);
  owner.AddComponent(window);
  window->Hint = song.archivePath;
  window->setObjectName(QStringLiteral("Form%1").arg(n));
  window->setWindowTitle(QString::fromStdString(song.Title()));
  window->resize(kViewerWidth, kViewerHeight);
  window->move(0, 0);
  window->Song = std::move(song);

  auto* memo = new TViewerMemo(window);
  owner.AddComponent(memo);
  memo->Hint = window->Song.entryName;
  memo->setFont(sheet::ViewerFont());
  window->setCentralWidget(memo);
  window->Memo = memo;
  memo->setObjectName(QStringLiteral("Memo%1").arg(n));
  memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  window->Song.extracted = memo->LoadFromFile(window->Song.tempPath);
  window->Song.encoding = memo->Encoding();
  // Unedited, the text saves as this (line breaks as CR LF): a change is a
  // text that differs from it.
  window->Song.saved.Set(memo->TextBytes());

  auto* menu = new QMenuBar(window);
  menu->setObjectName(QStringLiteral("MainMenu%1").arg(n));
  auto* save = new TMenuItem(QStringLiteral("Save"), window);
  save->setObjectName(QStringLiteral("Save%1").arg(n));
  save->Hint = window->Song.archivePath + "|" + window->Song.entryName;
  save->Tag = n;
  QObject::connect(save, &QAction::triggered, &owner,
                   [&owner, save] { platform::RunReportingErrors([&] { owner.SaveClick(save); }); });
  auto* close = new TMenuItem(QStringLiteral("Close"), window);
  close->setObjectName(QStringLiteral("Close%1").arg(n));
  close->Hint = "Form" + std::to_string(n);
  QObject::connect(close, &QAction::triggered, &owner,
                   [&owner, close] { platform::RunReportingErrors([&] { owner.CloseClick(close); }); });
  menu->addAction(save);
  menu->addAction(close);
  AddSongMenu(*window, *menu);
  // Unsaved text is kept as a draft shortly after the typing stops.
  QObject::connect(memo, &QPlainTextEdit::textChanged, &owner, [&owner] { owner.DraftsChanged(); });
  window->setMenuBar(menu);
  window->Save = save;
  window->Close = close;
  return window;
}

void TFormMain::SaveClick(TMenuItem* sender) {
  auto* viewer = qobject_cast<TViewerWindow*>(sender->parent());
  if (viewer == nullptr || viewer->Memo == nullptr) return;
  EncodedSong text = viewer->Memo->Encoded();
  if (!Storable(text)) return;
  if (platform::AskYesNo("Are you sure that you want to save this file?") != platform::Answer::Yes) return;
  // The text is taken as it is now, when the user said Yes. A save that
  // arrives while another one runs (its events run this handler) waits for
  // it; nothing nests inside an archive operation.
  SubmitViewerSave(*viewer, std::move(text.bytes));
}

void TFormMain::RunSave(const SaveRequest& request) {
  // The name comes from an archive: it was checked when the entry was
  // opened, and is checked again before anything is written.
  const SongDocument& song = request.song;
  const auto target = TempPathOf(AppDir_, song.entryName);
  if (!target) throw platform::IoError(EACCES);
  if (const int error = WriteSongFile(*target, request.bytes); error != 0) throw platform::IoError(error);
  if (!StoreInArchive(song.archivePath, song.entryName, *target, request.bytes)) return;
  // What the archive holds now: the record in temp/ says so, and a watch
  // by another program's changes goes on from here.
  WriteSongRecord(AppDir_, song.Record(request.bytes));
  externalEdits_->Stored(*target, request.bytes);
  WriteDrafts();
  // The indexes follow: the lyrics index holds the stored text from now on,
  // and the archive's new stamp keeps it from counting as changed on disk.
  // While a rebuild writes the indexes they are left alone: the rebuild
  // reads the archive after this save, or read it before with the stamp it
  // had then, so that the next rebuild reads it again.
  if (RebuildRunning()) return;
  try {
    UpdateIndexOfArchive(AppDir_, song.archivePath);
  } catch (const std::exception& error) {
    platform::ShowMessage(std::string("The song is stored, but the index could not follow: ") + error.what() +
                          "\nRebuild Index brings it up to date.");
  }
}

void TFormMain::CloseClick(TMenuItem* sender) {
  auto* window = qobject_cast<TViewerWindow*>(sender->parent());
  if (window == nullptr || FindComponent(window->objectName()) != window) return;
  // A text that differs from what was last opened or saved is not dropped
  // without a question.
  if (window->Memo != nullptr) {
    EncodedSong text = window->Memo->Encoded();
    if (!window->Song.saved.Holds(text.bytes)) {
      const platform::Answer answer =
          platform::AskSaveDiscardCancel("Save the changes to " + window->Song.Title() + " before closing?");
      if (answer == platform::Answer::Save) {
        if (!Storable(text)) return;
        SubmitViewerSave(*window, std::move(text.bytes));
      } else if (answer != platform::Answer::Discard) {
        return;
      }
    }
  }
  DisposeOfViewer(window);
}

}  // namespace fretfile
