// Draws the chords of a viewer's text bold, in a colour that stands out
// from the text box's background: a deep blue on a light theme, amber on a
// dark one. It changes how the text looks, never the text.
#pragma once

#include <QColor>
#include <QPlainTextEdit>
#include <QSyntaxHighlighter>

namespace fretfile {

class ChordHighlighter : public QSyntaxHighlighter {
  Q_OBJECT
 public:
  // Highlights the box's text, in the colour for its background, and again
  // whenever its palette changes (the desktop's theme switched).
  explicit ChordHighlighter(QPlainTextEdit* memo);
  QColor ChordColour() const { return colour_; }

 protected:
  void highlightBlock(const QString& text) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SetBackground(const QColor& background);

  QPlainTextEdit* memo_;
  QColor colour_;
};

}  // namespace fretfile
