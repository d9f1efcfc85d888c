#include "platform/gui/dialogs.h"

#include "platform/gui/password_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>

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

SaveFileResponder& SaveFileResponderSlot() {
  static SaveFileResponder responder;
  return responder;
}

OpenFilesResponder& OpenFilesResponderSlot() {
  static OpenFilesResponder responder;
  return responder;
}

InputResponder& InputResponderSlot() {
  static InputResponder responder;
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

QMessageBox::Icon IconOf(const DialogBox& box, QMessageBox::Icon standard) {
  switch (box.icon) {
    case BoxIcon::None: return QMessageBox::NoIcon;
    case BoxIcon::Warning: return QMessageBox::Warning;
    case BoxIcon::Critical: return QMessageBox::Critical;
    case BoxIcon::Standard: break;
  }
  return standard;
}

// A box with the buttons of a question; its default is the given one.
void SetQuestionButtons(QMessageBox& message, const DialogBox& box,
                        std::initializer_list<QMessageBox::StandardButton> buttons) {
  QMessageBox::StandardButtons all;
  for (auto button : buttons) all |= button;
  message.setStandardButtons(all);
  const auto index = static_cast<size_t>(std::max(0, box.defaultButton));
  message.setDefaultButton(*(buttons.begin() + std::min(index, buttons.size() - 1)));
}

Answer ShowReal(const DialogBox& box) {
  QuestionBox message(QApplication::activeWindow());
  message.setWindowTitle(ToQt(box.title));
  message.setText(ToQt(box.text));
  switch (box.kind) {
    case BoxKind::Message:
      message.setIcon(IconOf(box, QMessageBox::NoIcon));
      message.setStandardButtons(QMessageBox::Ok);
      break;
    case BoxKind::Error:
      message.setIcon(IconOf(box, QMessageBox::Critical));
      message.setStandardButtons(QMessageBox::Ok);
      break;
    case BoxKind::YesNo: {
      message.setIcon(IconOf(box, QMessageBox::Information));
      auto* yes = message.addButton(QObject::tr("&Yes"), QMessageBox::YesRole);
      auto* no = message.addButton(QObject::tr("&No"), QMessageBox::NoRole);
      message.setDefaultButton(box.defaultButton == 1 ? no : yes);
      message.setEscapeButton(no);
      message.exec();
      if (message.ClosedByTitleBar()) return Answer::Closed;
      return message.clickedButton() == yes ? Answer::Yes : Answer::No;
    }
    case BoxKind::YesNoCancel:
      message.setIcon(IconOf(box, QMessageBox::Question));
      SetQuestionButtons(message, box, {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel});
      break;
    case BoxKind::Password:
      return RunPasswordDialog(box);
    case BoxKind::RetryCancel:
      message.setIcon(IconOf(box, QMessageBox::Warning));
      SetQuestionButtons(message, box, {QMessageBox::Retry, QMessageBox::Cancel});
      break;
    case BoxKind::OkCancel:
      message.setIcon(IconOf(box, QMessageBox::NoIcon));
      SetQuestionButtons(message, box, {QMessageBox::Ok, QMessageBox::Cancel});
      break;
    case BoxKind::SaveDiscardCancel:
    case BoxKind::StoreOpenDiscard: {
      const bool save = box.kind == BoxKind::SaveDiscardCancel;
      message.setIcon(IconOf(box, QMessageBox::Question));
      auto* first = message.addButton(QObject::tr(save ? "Save" : "Store"), QMessageBox::AcceptRole);
      auto* second = message.addButton(QObject::tr(save ? "Discard" : "Open"),
                                       save ? QMessageBox::DestructiveRole : QMessageBox::ActionRole);
      auto* third = message.addButton(QObject::tr(save ? "Cancel" : "Discard"),
                                      save ? QMessageBox::RejectRole : QMessageBox::DestructiveRole);
      message.setDefaultButton(first);
      if (save) message.setEscapeButton(third);
      message.exec();
      const QAbstractButton* clicked = message.clickedButton();
      if (save) return clicked == first ? Answer::Save : clicked == second ? Answer::Discard : Answer::Cancel;
      if (message.ClosedByTitleBar() || clicked == nullptr) return Answer::Closed;
      return clicked == first ? Answer::Store : clicked == second ? Answer::Open : Answer::Discard;
    }
  }
  switch (message.exec()) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Cancel: return Answer::Cancel;
    case QMessageBox::Retry: return Answer::Retry;
    case QMessageBox::Ok: return Answer::Ok;
    default: return box.kind == BoxKind::Message || box.kind == BoxKind::Error ? Answer::Ok : Answer::Cancel;
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
Answer AskSaveDiscardCancel(const std::string& text) { return Show(BoxKind::SaveDiscardCancel, kApplicationTitle, text); }
Answer AskStoreOpenDiscard(const std::string& text) { return Show(BoxKind::StoreOpenDiscard, kApplicationTitle, text); }

Answer AskQuestion(BoxKind kind, const std::string& title, const std::string& text, BoxIcon icon,
                   int defaultButton) {
  DialogBox box{kind, title, text};
  box.icon = icon;
  box.defaultButton = defaultButton;
  if (Responder()) return Responder()(box);
  return ShowReal(box);
}

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

void SetSaveFileResponder(SaveFileResponder responder) { SaveFileResponderSlot() = std::move(responder); }

std::optional<std::string> ChooseSaveFile(const std::string& title, const std::string& startPath,
                                          const std::string& filter) {
  const SaveFileQuestion question{title, startPath, filter};
  if (SaveFileResponderSlot()) return SaveFileResponderSlot()(question);
  const QString chosen = QFileDialog::getSaveFileName(QApplication::activeWindow(), ToQt(title),
                                                      QFile::decodeName(QByteArray::fromStdString(startPath)),
                                                      ToQt(filter));
  if (chosen.isEmpty()) return std::nullopt;
  return QFile::encodeName(chosen).toStdString();
}

void SetOpenFilesResponder(OpenFilesResponder responder) { OpenFilesResponderSlot() = std::move(responder); }

std::vector<std::string> ChooseOpenFiles(const std::string& title, const std::string& startFolder) {
  const OpenFilesQuestion question{title, startFolder};
  if (OpenFilesResponderSlot()) return OpenFilesResponderSlot()(question);
  const QStringList chosen = QFileDialog::getOpenFileNames(QApplication::activeWindow(), ToQt(title),
                                                           QFile::decodeName(QByteArray::fromStdString(startFolder)));
  std::vector<std::string> paths;
  for (const QString& path : chosen) paths.push_back(QFile::encodeName(path).toStdString());
  return paths;
}

void SetInputResponder(InputResponder responder) { InputResponderSlot() = std::move(responder); }

std::optional<std::string> AskInput(const InputQuestion& question) {
  if (InputResponderSlot()) return InputResponderSlot()(question);
  QDialog dialog(QApplication::activeWindow());
  dialog.setWindowTitle(ToQt(question.title));
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel(ToQt(question.text), &dialog));
  QLineEdit* line = nullptr;
  if (question.choices.empty()) {
    line = new QLineEdit(&dialog);
    layout->addWidget(line);
  } else {
    auto* list = new QComboBox(&dialog);
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    for (const std::string& choice : question.choices) list->addItem(ToQt(choice));
    layout->addWidget(list);
    line = list->lineEdit();
  }
  line->setText(ToQt(question.initial));
  const qsizetype stem = line->text().lastIndexOf(QLatin1Char('.'));
  if (question.selectStem && stem > 0) {
    line->setSelection(0, static_cast<int>(stem));
  } else {
    line->selectAll();
  }
  if (!question.details.empty()) {
    auto* details = new QListWidget(&dialog);
    for (const std::string& detail : question.details) details->addItem(ToQt(detail));
    details->setSelectionMode(QAbstractItemView::NoSelection);
    details->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(details);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  layout->addWidget(buttons);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  const auto enableOk = [line, ok] { ok->setEnabled(!line->text().trimmed().isEmpty()); };
  QObject::connect(line, &QLineEdit::textChanged, &dialog, enableOk);
  enableOk();
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  line->setFocus();
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return line->text().toStdString();
}

}  // namespace platform
