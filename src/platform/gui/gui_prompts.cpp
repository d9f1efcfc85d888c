#include "platform/gui/gui_prompts.h"

#include <QApplication>

#include "platform/gui/dialogs.h"
#include "platform/prompts.h"

namespace platform {
namespace {

class GuiPrompts : public PromptHandler {
 public:
  void ShowMessage(const std::string& text) override { platform::ShowMessage(text); }

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
}

}  // namespace platform
