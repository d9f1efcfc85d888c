// TPasswordDlg: the password dialog, built in code. The archive-update
// component reaches it through the core's prompt handler (gui_prompts.h)
// and the dialogs layer, which tests answer.
#pragma once

#include <QDialog>
#include <string>

#include "platform/gui/dialogs.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace platform {

class TPasswordDlg : public QDialog {
 public:
  TPasswordDlg(const std::string& okCaption, const std::string& cancelCaption, QWidget* parent = nullptr);

  // Runs the dialog modally; the entered text when OK was pressed, else
  // empty (Accepted() tells an accepted empty text from a cancel).
  std::string GetPassword(const std::string& title, const std::string& prompt);
  bool Accepted() const { return result() == QDialog::Accepted; }

  QLabel* Prompt = nullptr;
  QLineEdit* Entry = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;
};

// Shows a password box of the dialogs layer in TPasswordDlg: the entered
// text goes to box.reply, and the answer is Ok when accepted, else Cancel.
Answer RunPasswordDialog(const DialogBox& box);

}  // namespace platform
