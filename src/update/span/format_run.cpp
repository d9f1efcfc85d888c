#include "update/span/format_run.h"

#include <QScopeGuard>
#include <thread>

#include "platform/drives/format_dialog.h"
#include "platform/ui_contracts/ui_wait.h"

namespace fretfile {

namespace fctl = platform::format_control;
namespace fmsg = platform::format_message;

namespace {

std::atomic<FormatRun*> g_formatSlot{nullptr};

constexpr size_t kLongestLabel = 11;

}  // namespace

struct FormatHook {
  static void Hook(platform::FormatDialogControls& dialog, uint32_t message, int control, uintptr_t wParam) {
    FormatRun* self = g_formatSlot.load();
    if (self == nullptr) return;
    int32_t running = 0;
    if (self->State_.compare_exchange_strong(running, 1)) self->Dialog_ = &dialog;
    switch (message) {
      case fmsg::kShow:
      case fmsg::kEnable:
        if (control == fctl::kCapacity || control == fctl::kLabel) dialog.EnableControl(control, false);
        if (control == fctl::kQuickFormat) {
          dialog.CheckControl(control, true);
          dialog.EnableControl(control, false);
        }
        if (control == fctl::kStartupDisk) dialog.CheckControl(control, false);
        break;
      case fmsg::kSetPosition:
        if (!self->ConfirmErase_ && self->AutoStart_.exchange(false)) dialog.ClickControl(fctl::kStart);
        break;
      case fmsg::kSetText:
        if (control == fctl::kLabel && dialog.ControlText(control).substr(0, kLongestLabel) != self->VolumeLabel_) {
          dialog.SetControlText(control, self->VolumeLabel_);
        }
        break;
      case fmsg::kSetStyle:
        if (control == fctl::kClose && wParam == 0 && !self->ConfirmErase_) dialog.ClickControl(fctl::kClose);
        break;
      default:
        break;
    }
  }

  // The thread's body.
  static void Run(FormatRun& self) {
    FormatRun* empty = nullptr;
    if (!g_formatSlot.compare_exchange_strong(empty, &self)) {
      self.Result_ = platform::kFormatError;
      self.State_ = 2;
      return;
    }
    const auto clearSlot = qScopeGuard([] { g_formatSlot = nullptr; });
    self.AutoStart_ = true;
    self.Result_ = platform::FormatDrive(self.DriveIndex_, &Hook);
    self.State_ = 2;
  }
};

int32_t FormatRun::Run(int32_t driveIndex, bool confirmErase, const std::string& volumeLabel) {
  DriveIndex_ = driveIndex;
  ConfirmErase_ = confirmErase;
  VolumeLabel_ = volumeLabel;
  State_ = 0;
  Result_ = platform::kFormatNoFormat;
  Dialog_ = nullptr;
  platform::UiWaiter finished;
  std::thread formatThread([this, &finished] {
    try {
      FormatHook::Run(*this);
    } catch (...) {
      // The dialog could not be shown: the format did not happen.
      Result_ = platform::kFormatError;
      State_ = 2;
    }
    finished.Wake();
  });
  finished.Wait();
  formatThread.join();
  Dialog_ = nullptr;
  return Result_;
}

}  // namespace fretfile
