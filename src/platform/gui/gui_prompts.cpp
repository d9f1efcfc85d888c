#include "platform/gui/gui_prompts.h"

#include <QApplication>

#include "platform/gui/dialogs.h"
#include "platform/gui/format_drive_dialog.h"
#include "platform/prompts.h"

namespace platform {
namespace {

class GuiPrompts : public PromptHandler {
 public:
  void ShowMessage(const std::string& text) override { platform::ShowMessage(text); }

  PromptAnswer AskQuestion(const QuestionRequest& request) override {
    BoxKind kind = BoxKind::OkCancel;
    if (request.buttons == PromptButtons::YesNoCancel) kind = BoxKind::YesNoCancel;
    if (request.buttons == PromptButtons::RetryCancel) kind = BoxKind::RetryCancel;
    BoxIcon icon = BoxIcon::None;
    if (request.icon == PromptIcon::Warning) icon = BoxIcon::Warning;
    if (request.icon == PromptIcon::Stop) icon = BoxIcon::Critical;
    const std::string title = request.title.empty() ? kApplicationTitle : request.title;
    switch (platform::AskQuestion(kind, title, request.text, icon, request.defaultButton)) {
      case Answer::Ok: return PromptAnswer::Ok;
      case Answer::Yes: return PromptAnswer::Yes;
      case Answer::No: return PromptAnswer::No;
      case Answer::Retry: return PromptAnswer::Retry;
      case Answer::Cancel: return PromptAnswer::Cancel;
      default: break;  // closed, or an answer of a kind the core never asks
    }
    return PromptAnswer::None;
  }

  std::optional<std::string> AskPassword(const PasswordRequest& request) override {
    return platform::AskPassword(request.title, request.prompt, request.okCaption, request.cancelCaption);
  }

  void SetBusy(bool busy) override {
    if (busy) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
      QApplication::restoreOverrideCursor();
    }
  }
};

}  // namespace

void InstallGuiPrompts() {
  static GuiPrompts prompts;
  SetPromptHandler(&prompts);
  InstallFormatDialog();
}

}  // namespace platform
