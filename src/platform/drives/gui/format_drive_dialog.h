// The format dialog of a simulated drive (platform/drives/drives.h): the disk's
// capacity, the volume label to give it, the quick-format and startup-disk
// options, a progress bar, Start and Close. Start formats the disk in the
// drive; Close ends the dialog with the result of the last format. Every
// message the dialog sends a control goes to the caller's hook
// (platform/drives/format_dialog.h), which may act on the controls.
#pragma once

#include <QDialog>
#include <map>

#include "platform/drives/format_dialog.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace platform {

class FormatDriveDialog : public QDialog, public FormatDialogControls {
 public:
  FormatDriveDialog(int driveIndex, FormatDialogHook hook, QWidget* parent = nullptr);

  // kFormatDone or kFormatError after a format, kFormatCancelled before any.
  int FormatResult() const { return result_; }
  QWidget* Control(int control) const;

  void EnableControl(int control, bool enabled) override;
  void CheckControl(int control, bool checked) override;
  void ClickControl(int control) override;
  std::string ControlText(int control) const override;
  void SetControlText(int control, const std::string& text) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Send(uint32_t message, int control, uintptr_t wParam);
  void SetPosition(int percent);
  void StartClicked();

  int driveIndex_;
  FormatDialogHook hook_;
  std::map<int, QWidget*> controls_;
  QComboBox* capacity_;
  QLineEdit* label_;
  QCheckBox* quick_;
  QCheckBox* startup_;
  QProgressBar* progress_;
  QLabel* status_;
  QPushButton* start_;
  QPushButton* close_;
  int result_ = kFormatCancelled;
  bool announced_ = false;
};

// Installs the handler that shows FormatDriveDialog modally for the format
// call; InstallGuiPrompts does it.
void InstallFormatDialog();

}  // namespace platform
