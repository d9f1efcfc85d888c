// Formatting a disk while spanning: RunFormat starts a FormatThread, which
// makes the shell's format call (platform/format_dialog.h) and waits for the
// dialog to be closed, while the user-interface thread goes on dispatching
// events, among them the dialog's own. A hook sees every message the
// dialog sends its controls and keeps the disk's label the volume's: it
// disables the capacity and label boxes, forces a quick format and no
// startup disk, and, when ConfirmErase is off, presses Start once by itself
// and Close after the format.
//
// The hook finds its component in one process-wide slot, taken by the
// thread while it runs. A second format while the slot is taken (two
// components spanning at once) fails with the format call's error result.
#include <atomic>
#include <thread>

#include "platform/format_dialog.h"
#include "platform/ui_wait.h"
#include "update/component/zip_updater.h"

namespace fretfile {

namespace fctl = platform::format_control;
namespace fmsg = platform::format_message;

namespace {

std::atomic<TZipUpdater*> g_formatSlot{nullptr};

constexpr size_t kLongestLabel = 11;

}  // namespace

struct FormatHookAccess {
  static void Hook(platform::FormatDialogControls& dialog, uint32_t message, int control, uintptr_t wParam) {
    TZipUpdater* self = g_formatSlot.load();
    if (self == nullptr) return;
    int32_t running = 0;
    if (self->FormatState_.compare_exchange_strong(running, 1)) self->FormatDialog_ = &dialog;
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
        if (!self->ConfirmErase && self->AutoStart_.exchange(false)) dialog.ClickControl(fctl::kStart);
        break;
      case fmsg::kSetText:
        if (control == fctl::kLabel && dialog.ControlText(control).substr(0, kLongestLabel) != self->VolumeLabel_) {
          dialog.SetControlText(control, self->VolumeLabel_);
        }
        break;
      case fmsg::kSetStyle:
        if (control == fctl::kClose && wParam == 0 && !self->ConfirmErase) dialog.ClickControl(fctl::kClose);
        break;
      default:
        break;
    }
  }

  // The thread's body.
  static void Run(TZipUpdater& self) {
    TZipUpdater* empty = nullptr;
    if (!g_formatSlot.compare_exchange_strong(empty, &self)) {
      self.FormatResult_ = platform::kFormatError;
      self.FormatState_ = 2;
      return;
    }
    struct ClearSlot {
      ~ClearSlot() { g_formatSlot = nullptr; }
    } clearSlot;
    self.AutoStart_ = true;
    self.FormatResult_ = platform::FormatDrive(self.DriveIndex_, &Hook);
    self.FormatState_ = 2;
  }
};

int32_t TZipUpdater::RunFormat() {
  FormatState_ = 0;
  FormatResult_ = platform::kFormatNoFormat;
  FormatDialog_ = nullptr;
  platform::UiWaiter finished;
  std::thread formatThread([this, &finished] {
    try {
      FormatHookAccess::Run(*this);
    } catch (...) {
      // The dialog could not be shown: the format did not happen.
      FormatResult_ = platform::kFormatError;
      FormatState_ = 2;
    }
    finished.Wake();
  });
  finished.Wait();
  formatThread.join();
  FormatDialog_ = nullptr;
  return FormatResult_;
}

}  // namespace fretfile
