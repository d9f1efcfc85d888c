#include "platform/drives/format_dialog.h"

#include <atomic>

#include "platform/ui_contracts/ui_calls.h"

namespace platform {
namespace {

std::atomic<FormatDialogHandler*> g_handler{nullptr};

}  // namespace

void SetFormatDialogHandler(FormatDialogHandler* handler) { g_handler = handler; }

int FormatDrive(int driveIndex, const FormatDialogHook& hook) {
  int result = kFormatNoFormat;
  RunOnUiThread([&] {
    if (FormatDialogHandler* handler = g_handler.load()) result = handler->RunFormatDialog(driveIndex, hook);
  });
  return result;
}

}  // namespace platform
