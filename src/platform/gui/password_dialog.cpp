#include "platform/gui/password_dialog.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace platform {
namespace {

constexpr int kLongestPassword = 80;

QString ToQt(const std::string& text) {
  return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TPasswordDlg::TPasswordDlg(const std::string& okCaption, const std::string& cancelCaption, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("PasswordDlg"));
  // A dialog border: fixed size, no resizing, no minimise or maximise.
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(344, 137);
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(12);
  font.setBold(true);
  setFont(font);

  Prompt = new QLabel(this);
  Prompt->setObjectName(QStringLiteral("Prompt"));
  Prompt->setGeometry(20, 8, 297, 18);
  Entry = new QLineEdit(this);
  Entry->setObjectName(QStringLiteral("Entry"));
  Entry->setGeometry(20, 40, 297, Entry->sizeHint().height());
  Entry->setEchoMode(QLineEdit::Password);
  Entry->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));  // '*'
  Entry->setMaxLength(kLongestPassword);
  OKBtn = new QPushButton(ToQt(okCaption), this);
  OKBtn->setObjectName(QStringLiteral("OKBtn"));
  OKBtn->setGeometry(44, 72, 90, 28);
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton(ToQt(cancelCaption), this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  CancelBtn->setGeometry(205, 72, 90, 28);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

std::string TPasswordDlg::GetPassword(const std::string& title, const std::string& prompt) {
  setWindowTitle(ToQt(title));
  Prompt->setText(ToQt(prompt));
  Entry->clear();
  Entry->setFocus();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  if (exec() != QDialog::Accepted) return {};
  return Entry->text().toLocal8Bit().toStdString();
}

Answer RunPasswordDialog(const DialogBox& box) {
  TPasswordDlg dialog(box.okCaption, box.cancelCaption, QApplication::activeWindow());
  const std::string text = dialog.GetPassword(box.title, box.text);
  if (!dialog.Accepted()) return Answer::Cancel;
  if (box.reply != nullptr) *box.reply = text;
  return Answer::Ok;
}

}  // namespace platform
