#include "ui/viewer_window.h"

#include <QFontDatabase>
#include <QMenuBar>
#include <QStringDecoder>
#include <QTextCursor>
#include <QTimer>
#include <cerrno>

#include "index/hit_lookup.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/error_handler.h"
#include "platform/io_error.h"
#include "platform/shared_file.h"
#include "ui/form_main.h"

namespace fretfile {
namespace {

constexpr int kViewerWidth = 544;
constexpr int kViewerHeight = 375;

// Courier New, or a font of the same metrics, or the system's fixed font.
QFont ViewerFont() {
  for (const char* family : {"Courier New", "Liberation Mono", "DejaVu Sans Mono"}) {
    if (QFontDatabase::hasFamily(QString::fromLatin1(family))) {
      QFont font(QString::fromLatin1(family));
      font.setPointSize(10);
      return font;
    }
  }
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  font.setPointSize(10);
  return font;
}

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

// CR LF, lone CR and lone LF all become LF, the box's own line break.
std::string UnifyLineBreaks(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r') {
      text += '\n';
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else {
      text += bytes[i];
    }
  }
  return text;
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

// The decimal digits of a name, in their order, without leading zeros.
std::string DigitsOf(const QString& name) {
  std::string digits;
  for (const QChar c : name) {
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
      if (digits.empty() && c == QLatin1Char('0')) continue;
      digits += static_cast<char>(c.unicode());
    }
  }
  return digits;
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  platform::SharedFile file;
  file.OpenOrThrow(path, platform::FileAccess::Write, platform::FileShare::DenyAll,
                   platform::FileCreation::CreateOrTruncate);
  if (const int error = file.Write(bytes.data(), bytes.size()); error != 0) throw platform::IoError(error);
  if (const int error = file.Close(); error != 0) throw platform::IoError(error);
}

}  // namespace

TViewerMemo::TViewerMemo(QWidget* parent) : QPlainTextEdit(parent) {}

void TViewerMemo::LoadFromFile(const std::string& path) {
  const std::string bytes = UnifyLineBreaks(ReadWholeFile(path));
  auto toUtf16 = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = toUtf16(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  utf8_ = !toUtf16.hasError();
  if (!utf8_) text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  pending_.clear();
  pendingAt_ = 0;
  const qsizetype first = PieceEnd(text, 0, kFirstPiece);
  if (first == text.size()) {
    setPlainText(text);
    return;
  }
  setPlainText(text.left(first));
  pending_ = std::move(text);
  pendingAt_ = first;
  // The pieces are not the user's edits: nothing to undo until the text is whole.
  document()->setUndoRedoEnabled(false);
  QTimer::singleShot(0, this, &TViewerMemo::FillNextPiece);
}

void TViewerMemo::FillNextPiece() {
  if (!Filling()) return;
  const qsizetype end = PieceEnd(pending_, pendingAt_, kNextPiece);
  QTextCursor atEnd(document());
  atEnd.movePosition(QTextCursor::End);
  atEnd.insertText(QStringView(pending_).mid(pendingAt_, end - pendingAt_).toString());
  pendingAt_ = end;
  if (Filling()) {
    QTimer::singleShot(0, this, &TViewerMemo::FillNextPiece);
    return;
  }
  pending_.clear();
  pendingAt_ = 0;
  document()->setUndoRedoEnabled(true);
}

std::string TViewerMemo::TextBytes() const {
  // The raw text keeps every character as typed (no-break spaces included);
  // paragraph and line separators are the box's line breaks, and so are the
  // line feeds of the text still to come.
  QString text = document()->toRawText();
  if (Filling()) text += QStringView(pending_).mid(pendingAt_);
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  text.replace(QChar(QChar::ParagraphSeparator), QStringLiteral("\r\n"));
  text.replace(QChar(QChar::LineSeparator), QStringLiteral("\r\n"));
  const QByteArray bytes = utf8_ ? text.toUtf8() : text.toLatin1();
  return bytes.toStdString();
}

TViewerWindow::TViewerWindow(QWidget* parent) : QMainWindow(parent, Qt::Window) {}

int LowestFreeViewerNumber(const TFormMain& owner) {
  for (int n = kFirstViewerNumber; n <= kLastViewerNumber; ++n) {
    if (owner.FindComponent(QStringLiteral("Form%1").arg(n)) == nullptr) return n;
  }
  return 0;
}

TViewerWindow* CreateViewerWindow(TFormMain& owner, int n, const std::string& archivePath,
                                  const std::string& fileName, const std::string& artistCell,
                                  const std::string& targetPath) {
  auto* window = new TViewerWindow(&owner);
  owner.AddComponent(window);
  window->Hint = archivePath;
  window->setObjectName(QStringLiteral("Form%1").arg(n));
  window->setWindowTitle(ToQString(fileName) + QStringLiteral(" by ") + ToQString(artistCell));
  window->resize(kViewerWidth, kViewerHeight);
  window->move(0, 0);

  auto* memo = new TViewerMemo(window);
  owner.AddComponent(memo);
  memo->Hint = fileName;
  memo->setFont(ViewerFont());
  window->setCentralWidget(memo);
  window->Memo = memo;
  memo->setObjectName(QStringLiteral("Memo%1").arg(n));
  memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo->LoadFromFile(targetPath);

  auto* menu = new QMenuBar(window);
  menu->setObjectName(QStringLiteral("MainMenu%1").arg(n));
  auto* save = new TMenuItem(QStringLiteral("Save"), window);
  save->setObjectName(QStringLiteral("Save%1").arg(n));
  save->Hint = archivePath + "|" + fileName;
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
  window->setMenuBar(menu);
  window->Save = save;
  window->Close = close;
  return window;
}

void TFormMain::SaveClick(TMenuItem* sender) {
  if (platform::AskYesNo("Are you sure that you want to save this file?") != platform::Answer::Yes) return;
  // The command is archive path + "|" + entry name. It is split after the
  // archive path its viewer recorded, so that a "|" in the collection's
  // folder cannot shift the entry name; otherwise at the first "|".
  const std::string& command = sender->Hint;
  size_t bar = command.find('|');
  if (const auto* viewer = qobject_cast<const TViewerWindow*>(sender->parent());
      viewer != nullptr && command.size() > viewer->Hint.size() && command.starts_with(viewer->Hint) &&
      command[viewer->Hint.size()] == '|') {
    bar = viewer->Hint.size();
  }
  const std::string entryName = bar == std::string::npos ? std::string() : command.substr(bar + 1, 255);
  // The name comes from an archive: it was checked when the entry was
  // opened, and is checked again before anything is written.
  const auto target = TempPathOf(AppDir_, entryName);
  if (!target) throw platform::IoError(EACCES);
  const std::string wanted = std::to_string(sender->Tag);
  for (QObject* component : Components()) {
    auto* memo = qobject_cast<TViewerMemo*>(component);
    if (memo == nullptr || DigitsOf(memo->objectName()) != wanted) continue;
    WriteWholeFile(*target, memo->TextBytes());
  }
  StoreInArchive(command.substr(0, bar), entryName, *target);
}

void TFormMain::CloseClick(TMenuItem* sender) {
  auto* window = qobject_cast<TViewerWindow*>(FindComponent(ToQString(sender->Hint)));
  if (window == nullptr) return;
  // The number is free at once; the window itself goes once the command
  // that asked for it has been handled completely.
  RemoveComponent(window);
  if (window->Memo != nullptr) RemoveComponent(window->Memo);
  window->hide();
  window->deleteLater();
}

}  // namespace fretfile
