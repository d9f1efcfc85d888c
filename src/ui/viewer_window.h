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

namespace fretfile {

class TFormMain;

inline constexpr int kFirstViewerNumber = 2;
inline constexpr int kLastViewerNumber = 255;

// A menu command that carries what its handler needs: a text (Hint) and a
// number (Tag).
class TMenuItem : public QAction {
  Q_OBJECT
 public:
  TMenuItem(const QString& text, QObject* parent) : QAction(text, parent) {}
  std::string Hint;
  int Tag = 0;
};

// The text box of a viewer. Files are byte strings: a file that is valid
// UTF-8 is shown decoded as UTF-8, any other as Latin-1, and saved back in
// the same encoding, so an unedited text is written back byte for byte.
class TViewerMemo : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit TViewerMemo(QWidget* parent = nullptr);
  std::string Hint;  // the entry's FileName; never displayed

  // Loads the file; every line break (CR LF, lone CR, lone LF) becomes one
  // line break of the box. Throws platform::IoError when it cannot be read.
  void LoadFromFile(const std::string& path);
  // The whole text as bytes, line breaks as CR LF, nothing added at the end.
  std::string TextBytes() const;

 private:
  bool utf8_ = true;
};

class TViewerWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit TViewerWindow(QWidget* parent = nullptr);
  std::string Hint;  // the archive path; never displayed
  TViewerMemo* Memo = nullptr;
  TMenuItem* Save = nullptr;
  TMenuItem* Close = nullptr;
};

// The lowest n from 2 to 255 for which the main window owns no component
// "Form" + n; 0 when all are in use.
int LowestFreeViewerNumber(const TFormMain& owner);

// Builds the viewer window n for an extracted entry, hidden: the window, then
// the text box with the file at targetPath loaded into it, then the menu.
// When loading fails the error propagates; the window stays created and
// hidden, and keeps its number.
TViewerWindow* CreateViewerWindow(TFormMain& owner, int n, const std::string& archivePath,
                                  const std::string& fileName, const std::string& artistCell,
                                  const std::string& targetPath);

}  // namespace fretfile
