#include "ui/chord_highlighter.h"

#include <QEvent>
#include <QTextCharFormat>

#include "songbook/chords.h"

namespace fretfile {

ChordHighlighter::ChordHighlighter(QPlainTextEdit* memo) : QSyntaxHighlighter(memo->document()), memo_(memo) {
  SetBackground(memo_->palette().color(QPalette::Base));
  memo_->installEventFilter(this);
}

bool ChordHighlighter::eventFilter(QObject* watched, QEvent* event) {
  if (watched == memo_ && event->type() == QEvent::PaletteChange) {
    SetBackground(memo_->palette().color(QPalette::Base));
  }
  return QSyntaxHighlighter::eventFilter(watched, event);
}

void ChordHighlighter::SetBackground(const QColor& background) {
  // The blue keeps a contrast of about 10:1 with white, the amber of about
  // 9:1 with the dark greys of dark themes.
  const QColor colour = background.lightnessF() >= 0.5 ? QColor(0x0b, 0x3d, 0x91) : QColor(0xff, 0xc1, 0x4d);
  if (colour == colour_) return;
  colour_ = colour;
  rehighlight();
}

void ChordHighlighter::highlightBlock(const QString& text) {
  QTextCharFormat format;
  format.setFontWeight(QFont::Bold);
  format.setForeground(colour_);
  for (const auto& chord : songbook::ChordsInLine(text)) {
    setFormat(static_cast<int>(chord.start), static_cast<int>(chord.length), format);
  }
}

}  // namespace fretfile
