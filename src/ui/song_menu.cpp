#include "ui/song_menu.h"

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextBlock>
#include <QTextCursor>

#include "platform/gui/dialogs.h"
#include "platform/gui/error_handler.h"
#include "sheet/song_sheet.h"
#include "songbook/chords.h"
#include "ui/chord_highlighter.h"
#include "ui/viewer_play.h"
#include "ui/viewer_window.h"

namespace fretfile {
namespace {

sheet::SongSheet SheetOf(const TViewerWindow& viewer) {
  sheet::SongSheet song;
  song.header = sheet::SheetHeader(viewer.Song.entryName, viewer.Song.artist);
  song.text = viewer.Memo->toPlainText();
  return song;
}

void PrintViewer(TViewerWindow& viewer) {
  if (viewer.Memo->Filling()) return;
  QPrinter printer(QPrinter::HighResolution);
  const sheet::SongSheet song = SheetOf(viewer);
  printer.setDocName(song.header);
  QPrintDialog dialog(&printer, &viewer);
  if (dialog.exec() != QDialog::Accepted) return;
  if (!sheet::PaintSheet(printer, song)) platform::ShowMessage("Unable to print " + viewer.Song.Title());
}

// A command of the menu, named for finding it, with its keys; choosing it
// runs what it does for the receiver (errors go to the general handler).
template <typename Function>
QAction* AddCommand(QMenu& menu, const char* name, const char* text, const QList<QKeySequence>& keys,
                    QObject* receiver, Function function) {
  QAction* action = menu.addAction(QString::fromLatin1(text));
  action->setObjectName(QString::fromLatin1(name));
  action->setShortcuts(keys);
  QObject::connect(action, &QAction::triggered, receiver,
                   [function] { platform::RunReportingErrors(function); });
  return action;
}

}  // namespace

void TransposeViewer(TViewerMemo& memo, int semitones) {
  if (memo.Filling() || semitones % 12 == 0) return;
  QTextDocument* document = memo.document();
  const songbook::Accidentals accidentals = songbook::SpellingAfter(document->toPlainText(), semitones);
  QTextCursor cursor(document);
  bool editing = false;
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    const QString line = block.text();
    const QString moved = songbook::TransposeLine(line, semitones, accidentals);
    if (moved == line) continue;
    // Only what changed is replaced, so the cursor and the rest of the line
    // stay where they were.
    qsizetype head = 0;
    while (head < line.size() && head < moved.size() && line[head] == moved[head]) ++head;
    qsizetype tail = 0;
    while (tail < line.size() - head && tail < moved.size() - head &&
           line[line.size() - 1 - tail] == moved[moved.size() - 1 - tail]) {
      ++tail;
    }
    if (!editing) cursor.beginEditBlock();
    editing = true;
    cursor.setPosition(block.position() + static_cast<int>(head));
    cursor.setPosition(block.position() + static_cast<int>(line.size() - tail), QTextCursor::KeepAnchor);
    cursor.insertText(moved.mid(head, moved.size() - head - tail));
  }
  if (editing) cursor.endEditBlock();
}

void ExportViewerPdf(TViewerWindow& viewer) {
  if (viewer.Memo->Filling()) return;
  const sheet::SongSheet song = SheetOf(viewer);
  QString proposed = song.header + QStringLiteral(".pdf");
  proposed.replace(u'/', u'-');
  const auto path = platform::ChooseSaveFile("Export PDF", QFile::encodeName(QDir::home().filePath(proposed)).toStdString(),
                                             "PDF files (*.pdf)");
  if (!path) return;
  QString error;
  if (!sheet::WriteSheetPdf(QFile::decodeName(QByteArray::fromStdString(*path)), song, error)) {
    platform::ShowMessage("Unable to write " + *path + ": " + error.toStdString());
  }
}

void AddSongMenu(TViewerWindow& viewer, QMenuBar& menu) {
  TViewerMemo* memo = viewer.Memo;
  new ChordHighlighter(memo);
  auto* zoom = new ViewerZoom(memo);
  auto* scroll = new AutoScroll(memo, viewer.Song.archivePath, viewer.Song.entryName);

  QMenu* song = menu.addMenu(QStringLiteral("Song"));
  song->setObjectName(QStringLiteral("SongMenu"));
  AddCommand(*song, "TransposeUp", "Transpose Up", {QKeySequence(Qt::CTRL | Qt::Key_BracketRight)}, memo,
             [memo] { TransposeViewer(*memo, +1); });
  AddCommand(*song, "TransposeDown", "Transpose Down", {QKeySequence(Qt::CTRL | Qt::Key_BracketLeft)}, memo,
             [memo] { TransposeViewer(*memo, -1); });
  song->addSeparator();
  // Ctrl+= too: on most keyboards '+' is a shifted '='.
  AddCommand(*song, "ZoomIn", "Zoom In", {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)},
             zoom, [zoom] { zoom->ZoomIn(); });
  AddCommand(*song, "ZoomOut", "Zoom Out", {QKeySequence(Qt::CTRL | Qt::Key_Minus)}, zoom, [zoom] { zoom->ZoomOut(); });
  AddCommand(*song, "ActualSize", "Actual Size", {QKeySequence(Qt::CTRL | Qt::Key_0)}, zoom,
             [zoom] { zoom->ActualSize(); });
  song->addSeparator();
  // The check mark shows whether it scrolls; a key or click that paused it
  // takes the mark away.
  QAction* autoScroll = AddCommand(*song, "AutoScroll", "Auto-scroll", {QKeySequence(Qt::CTRL | Qt::Key_Space)},
                                   scroll, [scroll] { scroll->Toggle(); });
  autoScroll->setCheckable(true);
  QObject::connect(autoScroll, &QAction::triggered, scroll, [scroll, autoScroll] { autoScroll->setChecked(scroll->Running()); });
  QObject::connect(scroll, &AutoScroll::RunningChanged, autoScroll, &QAction::setChecked);
  AddCommand(*song, "ScrollFaster", "Scroll Faster", {QKeySequence(Qt::ALT | Qt::Key_Up)}, scroll,
             [scroll] { scroll->Faster(); });
  AddCommand(*song, "ScrollSlower", "Scroll Slower", {QKeySequence(Qt::ALT | Qt::Key_Down)}, scroll,
             [scroll] { scroll->Slower(); });
  song->addSeparator();
  TViewerWindow* window = &viewer;
  AddCommand(*song, "Print", "Print...", {QKeySequence::Print}, window, [window] { PrintViewer(*window); });
  AddCommand(*song, "ExportPdf", "Export PDF...", {}, window, [window] { ExportViewerPdf(*window); });
}

}  // namespace fretfile
