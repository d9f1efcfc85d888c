// The format dialog of a drive, as the core sees it: the shell's format call
// shows it (its widgets live in platform/drives/gui/format_drive_dialog.*, installed
// with the program's prompts), and a hook the caller hands in sees every
// message the dialog sends its controls and may act on the controls.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// The dialog's controls, by number.
namespace format_control {
inline constexpr int kStart = 1;          // push button: formats the disk in the drive
inline constexpr int kClose = 2;          // push button: ends the dialog
inline constexpr int kCapacity = 35;      // combo box: the disk's capacity
inline constexpr int kLabel = 38;         // line edit: the volume label to give the disk (11 characters)
inline constexpr int kQuickFormat = 39;   // check box: empty the disk without reclaiming its other space
inline constexpr int kStartupDisk = 41;   // check box: put the system file on the disk
inline constexpr int kProgress = 1003;    // progress bar
}  // namespace format_control

// The messages the dialog sends its controls; the hook sees each after the
// control has taken it.
namespace format_message {
inline constexpr uint32_t kEnable = 0x0A;       // enabled or disabled (wParam 1 or 0); only on a change
inline constexpr uint32_t kSetText = 0x0C;      // its text was set by the dialog (not by typing)
inline constexpr uint32_t kShow = 0x18;         // shown with the dialog (wParam 1)
// The progress bar's position (wParam: percent); first when the dialog is ready.
inline constexpr uint32_t kSetPosition = 0x402;
inline constexpr uint32_t kSetStyle = 0xF4;     // button style: wParam 0 a plain button, 1 the default one
}  // namespace format_message

// What a hook may do to the dialog's controls. Enabling, checking and
// setting a text send their message (and so reach the hook again) only when
// they change something. A click is carried out once the current message
// is handled, as a posted click would be.
class FormatDialogControls {
 public:
  virtual ~FormatDialogControls() = default;
  virtual void EnableControl(int control, bool enabled) = 0;
  virtual void CheckControl(int control, bool checked) = 0;
  virtual void ClickControl(int control) = 0;
  virtual std::string ControlText(int control) const = 0;
  virtual void SetControlText(int control, const std::string& text) = 0;
};

using FormatDialogHook =
    std::function<void(FormatDialogControls& dialog, uint32_t message, int control, uintptr_t wParam)>;

// Results of the format call.
inline constexpr int kFormatDone = 0;        // the last format succeeded
inline constexpr int kFormatError = -1;      // the last format failed
inline constexpr int kFormatCancelled = -2;  // closed without formatting
inline constexpr int kFormatNoFormat = -3;   // the drive cannot be formatted (or no dialog can be shown)

// Shows the dialog; installed by the widget side, or by a test.
class FormatDialogHandler {
 public:
  virtual ~FormatDialogHandler() = default;
  virtual int RunFormatDialog(int driveIndex, const FormatDialogHook& hook) = 0;
};

// Installs the handler (not owned); nullptr removes it.
void SetFormatDialogHandler(FormatDialogHandler* handler);

// The shell's format call: shows the format dialog of simulated drive
// driveIndex (platform/drives/drives.h) and returns when it is closed. May be
// called from a worker thread: the dialog runs on the user-interface
// thread, which must serve calls meanwhile (platform/ui_contracts/ui_calls.h). Without
// a handler the drive cannot be formatted.
int FormatDrive(int driveIndex, const FormatDialogHook& hook);

}  // namespace platform
