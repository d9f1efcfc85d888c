// The password prompts of the library's password request: asked in the
// password dialog through the platform's prompt handler, never while the
// component runs unattended.
#include "platform/ui_contracts/prompts.h"
#include "update/component/updater_messages.h"
#include "update/component/zip_updater.h"

namespace fretfile {
namespace {

// The dialog's texts; the title falls back to the fallback text alone.
platform::PasswordRequest Request(int32_t promptNumber) {
  return {TZipUpdater::MessageText(msg::kPasswordTitle, msg::kFallbackText),
          TZipUpdater::MessageText(promptNumber, ""), TZipUpdater::MessageText(msg::kPasswordOk, ""),
          TZipUpdater::MessageText(msg::kPasswordCancel, "")};
}

}  // namespace

void TZipUpdater::StorePrompted(const std::string& password) {
  if (Status_.StorePassword) SetPassword(password);
}

std::string TZipUpdater::PasswordWithConfirmation() {
  if (Unattended) {
    ReportMessage(msg::kPasswordUnattendedAdd, "");
    return {};
  }
  const auto first = platform::PromptPassword(Request(msg::kPasswordPrompt));
  if (!first || first->empty()) return {};
  const auto second = platform::PromptPassword(Request(msg::kPasswordConfirmPrompt));
  if (!second || second->empty()) return {};
  if (*first != *second) {
    ReportMessage(msg::kPasswordMismatch, "");
    return {};
  }
  StorePrompted(*second);
  return *second;
}

std::string TZipUpdater::PasswordOnce() {
  if (Unattended) {
    ReportMessage(msg::kPasswordUnattendedOnce, "");
    return {};
  }
  const auto entered = platform::PromptPassword(Request(msg::kPasswordPrompt));
  if (!entered) return {};
  if (!entered->empty()) StorePrompted(*entered);
  return *entered;
}

}  // namespace fretfile
