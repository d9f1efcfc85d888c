#include "ui/lyrics_dialog.h"

#include <QPushButton>
#include <QVBoxLayout>

#include "platform/gui/dialogs.h"

namespace fretfile {
namespace {

LyricsDialogResponder& Responder() {
  static LyricsDialogResponder responder;
  return responder;
}

}  // namespace

TLyricsDialog::TLyricsDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("LyricsDialog"));
  setWindowTitle(QStringLiteral("Find in Lyrics"));
  auto* layout = new QVBoxLayout(this);
  Prompt = new QLabel(
      QStringLiteral("Words of the song (all must occur; love* finds words that start with love; "
                     "\"in quotes\" finds a phrase):"),
      this);
  Prompt->setObjectName(QStringLiteral("Prompt"));
  Prompt->setWordWrap(true);
  Query = new QLineEdit(this);
  Query->setObjectName(QStringLiteral("Query"));
  Query->setMinimumWidth(320);
  Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  Buttons->setObjectName(QStringLiteral("Buttons"));
  layout->addWidget(Prompt);
  layout->addWidget(Query);
  layout->addWidget(Buttons);
  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  // OK only with something to look for.
  const auto enableOk = [this] {
    Buttons->button(QDialogButtonBox::Ok)->setEnabled(!Query->text().trimmed().isEmpty());
  };
  connect(Query, &QLineEdit::textChanged, this, enableOk);
  enableOk();
}

std::optional<std::string> AskLyricsQuery(QWidget* parent, const std::string& lastQuery) {
  TLyricsDialog dialog(parent);
  dialog.Query->setText(QString::fromStdString(lastQuery));
  dialog.Query->selectAll();
  const int result = Responder() ? Responder()(dialog) : dialog.exec();
  const std::string query = dialog.Query->text().trimmed().toStdString();
  if (result != QDialog::Accepted || query.empty()) return std::nullopt;
  return query;
}

void SetLyricsDialogResponder(LyricsDialogResponder responder) { Responder() = std::move(responder); }

}  // namespace fretfile
