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

QAction* AddCommand(QMenu& menu, const QString& name, const QString& text, const QList<QKeySequence>& keys) {
  QAction* action = menu.addAction(text);
  action->setObjectName(name);
  action->setShortcuts(keys);
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
  auto run = [](auto what) { return [what] { platform::RunReportingErrors(what); }; };
  QObject::connect(AddCommand(*song, QStringLiteral("TransposeUp"), QStringLiteral("Transpose Up"),
                              {QKeySequence(Qt::CTRL | Qt::Key_BracketRight)}),
                   &QAction::triggered, memo, run([memo] { TransposeViewer(*memo, +1); }));
  QObject::connect(AddCommand(*song, QStringLiteral("TransposeDown"), QStringLiteral("Transpose Down"),
                              {QKeySequence(Qt::CTRL | Qt::Key_BracketLeft)}),
                   &QAction::triggered, memo, run([memo] { TransposeViewer(*memo, -1); }));
  song->addSeparator();
  // Ctrl+= too: on most keyboards '+' is a shifted '='.
  QObject::connect(AddCommand(*song, QStringLiteral("ZoomIn"), QStringLiteral("Zoom In"),
                              {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)}),
                   &QAction::triggered, zoom, &ViewerZoom::ZoomIn);
  QObject::connect(AddCommand(*song, QStringLiteral("ZoomOut"), QStringLiteral("Zoom Out"),
                              {QKeySequence(Qt::CTRL | Qt::Key_Minus)}),
                   &QAction::triggered, zoom, &ViewerZoom::ZoomOut);
  QObject::connect(AddCommand(*song, QStringLiteral("ActualSize"), QStringLiteral("Actual Size"),
                              {QKeySequence(Qt::CTRL | Qt::Key_0)}),
                   &QAction::triggered, zoom, &ViewerZoom::ActualSize);
  song->addSeparator();
  QAction* autoScroll = AddCommand(*song, QStringLiteral("AutoScroll"), QStringLiteral("Auto-scroll"),
                                   {QKeySequence(Qt::CTRL | Qt::Key_Space)});
  autoScroll->setCheckable(true);
  // The check mark shows whether it scrolls; a key or click that paused it
  // takes the mark away.
  QObject::connect(autoScroll, &QAction::triggered, scroll, [scroll, autoScroll] {
    scroll->Toggle();
    autoScroll->setChecked(scroll->Running());
  });
  QObject::connect(scroll, &AutoScroll::RunningChanged, autoScroll, &QAction::setChecked);
  QObject::connect(AddCommand(*song, QStringLiteral("ScrollFaster"), QStringLiteral("Scroll Faster"),
                              {QKeySequence(Qt::ALT | Qt::Key_Up)}),
                   &QAction::triggered, scroll, &AutoScroll::Faster);
  QObject::connect(AddCommand(*song, QStringLiteral("ScrollSlower"), QStringLiteral("Scroll Slower"),
                              {QKeySequence(Qt::ALT | Qt::Key_Down)}),
                   &QAction::triggered, scroll, &AutoScroll::Slower);
  song->addSeparator();
  TViewerWindow* window = &viewer;
  QObject::connect(AddCommand(*song, QStringLiteral("Print"), QStringLiteral("Print..."), {QKeySequence::Print}),
                   &QAction::triggered, window, run([window] { PrintViewer(*window); }));
  QObject::connect(AddCommand(*song, QStringLiteral("ExportPdf"), QStringLiteral("Export PDF..."), {}),
                   &QAction::triggered, window, run([window] { ExportViewerPdf(*window); }));
}

}  // namespace fretfile
