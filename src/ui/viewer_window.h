// The internal viewer: a window "Form" + n holding an editable text box
// "Memo" + n, with the menu commands "Save" and "Close".
//
// The window and the text box are both owned by the main window (they are in
// its Components list and are found by name); the text box is shown inside
// the window. The number n (2 to 255) is in use while the main window owns a
// component named "Form" + n. Closing the window with its title-bar button
// only hides it; "Close" disposes of it and frees its number.
#pragma once

#include <QAction>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <string>

#include "index/song_document.h"
#include "index/song_text.h"

namespace fretfile {

class TFormMain;

inline constexpr int kFirstViewerNumber = 2;
inline constexpr int kLastViewerNumber = 255;

// A menu command of a viewer. It carries the texts the program has always
// given it, a text (Hint) and a number (Tag); its handler finds the viewer
// as the command's parent.
class TMenuItem : public QAction {
  Q_OBJECT
 public:
  TMenuItem(const QString& text, QObject* parent) : QAction(text, parent) {}
  std::string Hint;
  int Tag = 0;
};

// The text box of a viewer. Its text is the song's bytes decoded as the
// song text rules say (index/song_text.h), and encoded back the same way, so
// an unedited text is written back byte for byte (line breaks as CR LF).
//
// A long text goes into the box in pieces: the first lines at once, so the
// window opens with its text, the rest a piece per turn of the event loop
// (a text box builds one block per line, which for a 1 MB song takes far
// longer than opening the window). Until the last piece is in, the text
// still to come counts as the text's end (TextBytes() includes it), and the
// box is read-only, so that no edit lands among the pieces; undo starts with
// the whole text.
class TViewerMemo : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit TViewerMemo(QWidget* parent = nullptr);
  std::string Hint;  // the entry's FileName; never displayed

  // Loads the file and returns its bytes. Throws platform::IoError when it
  // cannot be read.
  std::string LoadFromFile(const std::string& path);
  // The whole text in the song's encoding, line breaks as CR LF, nothing
  // added at the end; with the characters that encoding cannot hold.
  EncodedSong Encoded() const;
  // Encoded().bytes.
  std::string TextBytes() const;
  SongEncoding Encoding() const { return song_.encoding; }
  // True while pieces of the loaded text are still to go into the box.
  bool Filling() const { return pendingAt_ < pending_.size(); }
  // Selects line n (from 0) and scrolls it into the middle of the box, as
  // soon as the piece that holds it is in; a line past the text's end
  // selects nothing.
  void SelectLine(int line);
  // Shows the text this many pixels (less than a line) higher than its
  // scroll bar puts it, so that scrolling by itself moves it up smoothly.
  void SetLift(int pixels) {
    if (pixels != Lift()) setViewportMargins(0, -pixels, 0, 0);
  }
  int Lift() const { return -viewportMargins().top(); }

 private:
  void FillNextPiece();
  void ApplyLineSelection();

  SongText song_;            // its encoding and placeholders; the text is the box's
  QString pending_;          // the loaded text, of which [pendingAt_, end) is still to come
  qsizetype pendingAt_ = 0;  // a line break, or the end
  int lineToSelect_ = -1;    // a SelectLine waiting for its piece
};

class TViewerWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit TViewerWindow(QWidget* parent = nullptr);
  std::string Hint;  // the archive path; never displayed
  SongDocument Song;  // the song it shows, which its saves store
  TViewerMemo* Memo = nullptr;
  TMenuItem* Save = nullptr;
  TMenuItem* Close = nullptr;
};

// The lowest n from 2 to 255 for which the main window owns no component
// "Form" + n; 0 when all are in use.
int LowestFreeViewerNumber(const TFormMain& owner);

// Builds the viewer window n for an extracted song, hidden: the window, then
// the text box with the file at song.tempPath loaded into it (which fills in
// the song's bytes and encoding, and takes the loaded text as saved), then
// the menu. When loading fails the
// error propagates; the window stays created and hidden, and keeps its
// number.
TViewerWindow* CreateViewerWindow(TFormMain& owner, int n, SongDocument song);

}  // namespace fretfile
