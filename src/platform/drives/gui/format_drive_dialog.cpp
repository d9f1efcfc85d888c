#include "platform/drives/gui/format_drive_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/drives/drives.h"

namespace platform {
namespace {

namespace ctl = format_control;
namespace fmsg = format_message;

constexpr int kLongestLabel = 11;  // what a disk's label can hold

QString ToQt(const std::string& text) {
  return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

QString CapacityText(int64_t size) {
  if (size >= 1024 * 1024) return QStringLiteral("%1 MB").arg(static_cast<double>(size) / (1024.0 * 1024.0), 0, 'f', 2);
  return QStringLiteral("%1 KB").arg(size / 1024);
}

class Handler : public FormatDialogHandler {
 public:
  int RunFormatDialog(int driveIndex, const FormatDialogHook& hook) override {
    int64_t size = 0;
    std::string label;
    std::string name;
    if (!DiskInDrive(driveIndex, size, label, name) && name.empty()) return kFormatNoFormat;
    FormatDriveDialog dialog(driveIndex, hook, QApplication::activeWindow());
    dialog.exec();
    return dialog.FormatResult();
  }
};

}  // namespace

FormatDriveDialog::FormatDriveDialog(int driveIndex, FormatDialogHook hook, QWidget* parent)
    : QDialog(parent), driveIndex_(driveIndex), hook_(std::move(hook)) {
  int64_t size = 0;
  std::string currentLabel;
  std::string name;
  const bool haveDisk = DiskInDrive(driveIndex, size, currentLabel, name);
  setObjectName(QStringLiteral("FormatDriveDialog"));
  setWindowTitle(QStringLiteral("Format %1").arg(ToQt(name)));

  capacity_ = new QComboBox(this);
  capacity_->setObjectName(QStringLiteral("Capacity"));
  if (haveDisk) capacity_->addItem(CapacityText(size));
  label_ = new QLineEdit(this);
  label_->setObjectName(QStringLiteral("VolumeLabel"));
  label_->setMaxLength(kLongestLabel);
  quick_ = new QCheckBox(QStringLiteral("&Quick Format"), this);
  quick_->setObjectName(QStringLiteral("QuickFormat"));
  startup_ = new QCheckBox(QStringLiteral("Create a &startup disk"), this);
  startup_->setObjectName(QStringLiteral("StartupDisk"));
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("Progress"));
  progress_->setRange(0, 100);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("Status"));
  start_ = new QPushButton(QStringLiteral("&Start"), this);
  start_->setObjectName(QStringLiteral("Start"));
  close_ = new QPushButton(QStringLiteral("&Close"), this);
  close_->setObjectName(QStringLiteral("Close"));
  start_->setDefault(true);
  controls_ = {{ctl::kStart, start_},         {ctl::kClose, close_},  {ctl::kCapacity, capacity_},
               {ctl::kLabel, label_},         {ctl::kQuickFormat, quick_}, {ctl::kStartupDisk, startup_},
               {ctl::kProgress, progress_}};

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Ca&pacity:"), capacity_);
  form->addRow(QStringLiteral("Volume &label:"), label_);
  auto* options = new QGroupBox(QStringLiteral("Format options"), this);
  auto* optionLayout = new QVBoxLayout(options);
  optionLayout->addWidget(quick_);
  optionLayout->addWidget(startup_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(start_);
  buttons->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(options);
  layout->addWidget(progress_);
  layout->addWidget(status_);
  layout->addLayout(buttons);

  label_->setText(ToQt(currentLabel));
  connect(start_, &QPushButton::clicked, this, [this] { StartClicked(); });
  connect(close_, &QPushButton::clicked, this, [this] { accept(); });
}

QWidget* FormatDriveDialog::Control(int control) const {
  const auto found = controls_.find(control);
  return found == controls_.end() ? nullptr : found->second;
}

void FormatDriveDialog::Send(uint32_t message, int control, uintptr_t wParam) {
  if (hook_) hook_(*this, message, control, wParam);
}

// The controls are announced once the dialog is up, in their order, then
// the label the disk has, then the progress bar's starting position.
void FormatDriveDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (announced_) return;
  announced_ = true;
  for (int control : {ctl::kCapacity, ctl::kLabel, ctl::kQuickFormat, ctl::kStartupDisk, ctl::kProgress,
                      ctl::kStart, ctl::kClose}) {
    Send(fmsg::kShow, control, 1);
  }
  Send(fmsg::kSetText, ctl::kLabel, 0);
  SetPosition(0);
}

void FormatDriveDialog::EnableControl(int control, bool enabled) {
  QWidget* widget = Control(control);
  if (widget == nullptr || widget->isEnabledTo(this) == enabled) return;
  widget->setEnabled(enabled);
  Send(fmsg::kEnable, control, enabled ? 1 : 0);
}

void FormatDriveDialog::CheckControl(int control, bool checked) {
  if (auto* box = qobject_cast<QCheckBox*>(Control(control))) box->setChecked(checked);
}

void FormatDriveDialog::ClickControl(int control) {
  if (auto* button = qobject_cast<QAbstractButton*>(Control(control))) {
    QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
  }
}

std::string FormatDriveDialog::ControlText(int control) const {
  QWidget* widget = Control(control);
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text().toLocal8Bit().toStdString();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text().toLocal8Bit().toStdString();
  if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->currentText().toLocal8Bit().toStdString();
  return {};
}

void FormatDriveDialog::SetControlText(int control, const std::string& text) {
  if (ControlText(control) == text) return;
  QWidget* widget = Control(control);
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    edit->setText(ToQt(text));
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(ToQt(text));
  } else {
    return;
  }
  Send(fmsg::kSetText, control, 0);
}

void FormatDriveDialog::SetPosition(int percent) {
  progress_->setValue(percent);
  Send(fmsg::kSetPosition, ctl::kProgress, static_cast<uintptr_t>(percent));
}

void FormatDriveDialog::StartClicked() {
  const std::string label = ControlText(ctl::kLabel);
  const bool quick = quick_->isChecked();
  const bool startup = startup_->isChecked();
  const int optionControls[] = {ctl::kCapacity, ctl::kLabel, ctl::kQuickFormat, ctl::kStartupDisk, ctl::kStart};
  for (int control : optionControls) EnableControl(control, false);
  SetPosition(0);
  const int formatted = FormatDisk(driveIndex_, label, quick, startup);
  SetPosition(100);
  result_ = formatted == 0 ? kFormatDone : kFormatError;
  status_->setText(formatted == 0 ? QStringLiteral("Format complete.")
                                  : QStringLiteral("The disk in the drive cannot be formatted."));
  for (int control : optionControls) EnableControl(control, true);
  // Start is the default button again; Close, which ends the dialog after a
  // format, becomes a plain one.
  start_->setDefault(true);
  close_->setDefault(false);
  Send(fmsg::kSetStyle, ctl::kClose, 0);
}

void InstallFormatDialog() {
  static Handler handler;
  SetFormatDialogHandler(&handler);
}

}  // namespace platform
