// Formatting a disk while spanning: Run starts a thread that makes the
// shell's format call (platform/drives/format_dialog.h) and waits for the dialog
// to be closed, while the user-interface thread goes on dispatching events,
// among them the dialog's own. A hook sees every message the dialog sends
// its controls and keeps the disk's label the volume's: it disables the
// capacity and label boxes, forces a quick format and no startup disk, and,
// when ConfirmErase is off, presses Start once by itself and Close after
// the format.
//
// The hook finds its run in one process-wide slot, taken by the thread
// while it runs. A second format while the slot is taken (two components
// spanning at once) fails with the format call's error result.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace platform {
class FormatDialogControls;
}

namespace fretfile {

class FormatRun {
 public:
  // Shows the format dialog for the disk in driveIndex and returns the
  // format call's result.
  int32_t Run(int32_t driveIndex, bool confirmErase, const std::string& volumeLabel);

  // The dialog while it is open, 0 running / 1 dialog found / 2 finished,
  // the format call's result (-3 until it returns), and whether Start is
  // still to be pressed by itself.
  platform::FormatDialogControls* Dialog() const { return Dialog_; }
  int32_t State() const { return State_; }
  int32_t Result() const { return Result_; }
  bool AutoStart() const { return AutoStart_; }

 private:
  friend struct FormatHook;

  platform::FormatDialogControls* Dialog_ = nullptr;
  std::atomic<int32_t> State_{0};
  std::atomic<int32_t> Result_{-3};
  std::atomic<bool> AutoStart_{false};
  // What the hook keeps the dialog to, for the run.
  int32_t DriveIndex_ = -1;
  bool ConfirmErase_ = true;
  std::string VolumeLabel_;
};

}  // namespace fretfile
