#include "platform/gui/dialogs.h"

#include "platform/gui/password_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace platform {
namespace {

DialogResponder& Responder() {
  static DialogResponder responder;
  return responder;
}

FolderResponder& FolderResponderSlot() {
  static FolderResponder responder;
  return responder;
}

QString ToQt(const std::string& text) { return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())); }

// A message box that tells closing by the title bar apart from the Escape
// key: Qt ends both in the escape button.
class QuestionBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;
  bool ClosedByTitleBar() const { return closedByTitleBar_; }

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (clickedButton() == nullptr) closedByTitleBar_ = true;
    QMessageBox::closeEvent(event);
  }

 private:
  bool closedByTitleBar_ = false;
};

Answer ShowReal(const DialogBox& box) {
  QuestionBox message(QApplication::activeWindow());
  message.setWindowTitle(ToQt(box.title));
  message.setText(ToQt(box.text));
  switch (box.kind) {
    case BoxKind::Message:
      message.setIcon(QMessageBox::NoIcon);
      message.setStandardButtons(QMessageBox::Ok);
      break;
    case BoxKind::Error:
      message.setIcon(QMessageBox::Critical);
      message.setStandardButtons(QMessageBox::Ok);
      break;
    case BoxKind::YesNo: {
      message.setIcon(QMessageBox::Information);
      auto* yes = message.addButton(QObject::tr("&Yes"), QMessageBox::YesRole);
      auto* no = message.addButton(QObject::tr("&No"), QMessageBox::NoRole);
      message.setDefaultButton(yes);
      message.setEscapeButton(no);
      message.exec();
      if (message.ClosedByTitleBar()) return Answer::Closed;
      return message.clickedButton() == yes ? Answer::Yes : Answer::No;
    }
    case BoxKind::YesNoCancel:
      message.setIcon(QMessageBox::Question);
      message.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      message.setDefaultButton(QMessageBox::Yes);
      break;
    case BoxKind::Password:
      return RunPasswordDialog(box);
    case BoxKind::RetryCancel:
      message.setIcon(QMessageBox::Warning);
      message.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
      message.setDefaultButton(QMessageBox::Retry);
      break;
  }
  switch (message.exec()) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Cancel: return Answer::Cancel;
    case QMessageBox::Retry: return Answer::Retry;
    default: return box.kind == BoxKind::YesNoCancel || box.kind == BoxKind::RetryCancel ? Answer::Cancel : Answer::Ok;
  }
}

Answer Show(BoxKind kind, const std::string& title, const std::string& text) {
  const DialogBox box{kind, title, text};
  if (Responder()) return Responder()(box);
  return ShowReal(box);
}

}  // namespace

void SetDialogResponder(DialogResponder responder) { Responder() = std::move(responder); }

void ShowMessage(const std::string& text) { Show(BoxKind::Message, kApplicationTitle, text); }
void ShowErrorBox(const std::string& text) { Show(BoxKind::Error, kApplicationTitle, text); }
Answer AskYesNo(const std::string& text) { return Show(BoxKind::YesNo, "Information", text); }
Answer AskYesNoCancel(const std::string& text) { return Show(BoxKind::YesNoCancel, "Information", text); }
Answer AskRetryCancel(const std::string& text) { return Show(BoxKind::RetryCancel, kApplicationTitle, text); }

std::optional<std::string> AskPassword(const std::string& title, const std::string& prompt,
                                       const std::string& okCaption, const std::string& cancelCaption) {
  std::string reply;
  const DialogBox box{BoxKind::Password, title, prompt, okCaption, cancelCaption, &reply};
  const Answer answer = Responder() ? Responder()(box) : ShowReal(box);
  if (answer != Answer::Ok) return std::nullopt;
  return reply;
}

void SetFolderResponder(FolderResponder responder) { FolderResponderSlot() = std::move(responder); }

std::optional<std::string> ChooseFolder(const std::string& title, const std::string& startFolder) {
  const FolderQuestion question{title, startFolder};
  if (FolderResponderSlot()) return FolderResponderSlot()(question);
  // Folder names are bytes: they go through the file-name encoding, not a
  // text encoding.
  const QString chosen = QFileDialog::getExistingDirectory(
      QApplication::activeWindow(), ToQt(title), QFile::decodeName(QByteArray::fromStdString(startFolder)));
  if (chosen.isEmpty()) return std::nullopt;
  return QFile::encodeName(chosen).toStdString();
}

}  // namespace platform
