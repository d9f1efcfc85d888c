// Formatting the disks of a simulated removable drive while spanning: the
// real format dialog, driven by the component's hook, seen after each of its
// messages; the disk prompts are answered by the dialog recorder.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "dialog_recorder.h"
#include "platform/drives/drives.h"
#include "platform/drives/gui/format_drive_dialog.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "update/component/updater_messages.h"
#include "update/component/zip_updater.h"

namespace {

namespace fctl = platform::format_control;
namespace fmsg = platform::format_message;
namespace fs = std::filesystem;

// What the dialog showed once a format was done.
struct AfterFormat {
  std::string label;
  bool labelEnabled;
  bool capacityEnabled;
  bool quickChecked;
  bool quickEnabled;
  bool startupChecked;
};

// The real dialog and hook, watched: `ready` runs when the dialog is up,
// `formatted` after each format.
class WatchedFormatDialog : public platform::FormatDialogHandler {
 public:
  WatchedFormatDialog() { platform::SetFormatDialogHandler(this); }
  ~WatchedFormatDialog() override { platform::InstallFormatDialog(); }

  int RunFormatDialog(int driveIndex, const platform::FormatDialogHook& hook) override {
    ++dialogs;
    bool up = false;
    platform::FormatDriveDialog* shown = nullptr;
    platform::FormatDriveDialog dialog(driveIndex, [&](platform::FormatDialogControls& controls, uint32_t message,
                                                       int control, uintptr_t wParam) {
      hook(controls, message, control, wParam);
      if (message == fmsg::kSetPosition && !up) {
        up = true;
        if (ready) ready(*shown);
      }
      if (message == fmsg::kSetStyle) {
        const auto* quick = qobject_cast<QCheckBox*>(shown->Control(fctl::kQuickFormat));
        seen.push_back({shown->ControlText(fctl::kLabel), shown->Control(fctl::kLabel)->isEnabled(),
                        shown->Control(fctl::kCapacity)->isEnabled(), quick->isChecked(), quick->isEnabled(),
                        qobject_cast<QCheckBox*>(shown->Control(fctl::kStartupDisk))->isChecked()});
        if (formatted) formatted(*shown);
      }
    });
    shown = &dialog;
    dialog.exec();
    return dialog.FormatResult();
  }

  // A user's click on a button of the dialog, once the current message is handled.
  static void Press(platform::FormatDriveDialog& dialog, int control) {
    auto* button = qobject_cast<QPushButton*>(dialog.Control(control));
    QTimer::singleShot(0, button, [button] { QTest::mouseClick(button, Qt::LeftButton); });
  }

  int dialogs = 0;
  std::vector<AfterFormat> seen;
  std::function<void(platform::FormatDriveDialog&)> ready;
  std::function<void(platform::FormatDriveDialog&)> formatted;
};

class FormatDialogTest : public ::testing::Test {
 protected:
  FormatDialogTest() {
    updater.AddOptions.Include(fretfile::AddDiskSpanErase);
    testing_support::ZipBuilder().Add("x", std::string(100, 'x')).WriteTo(dir.File("source.zip"));
  }
  ~FormatDialogTest() override { platform::RemoveSimulatedDrives(); }

  // Drive "A" with the disks old (an older disk with a file) and blank
  // (unformatted), put in by the disk changes given.
  void SetUpDrive(const std::vector<std::string>& changes) {
    fs::create_directories(dir.File("old"));
    fs::create_directories(dir.File("blank"));
    testing_support::WriteFile(dir.File("old/old.txt"), "old songs");
    platform::SimulatedDisk old;
    old.folder = dir.File("old");
    old.label = "OLD";
    platform::SimulatedDisk blank;
    blank.folder = dir.File("blank");
    blank.formatted = false;
    std::vector<std::string> folders;
    for (const auto& name : changes) folders.push_back(dir.File(name));
    ASSERT_EQ(platform::SetUpSimulatedDrives({old, blank}, {{"A", dir.File("A"), "", folders}}), "");
  }

  int32_t Span() { return updater.WriteSpan(dir.File("source.zip"), dir.File("A/Set.zip")); }

  testing_support::TempDir dir;
  testing_support::DialogRecorder prompts;
  WatchedFormatDialog formats;
  fretfile::TZipUpdater updater;
};

TEST_F(FormatDialogTest, WithoutConfirmEraseEachDiskIsFormattedByItselfAndLabelled) {
  updater.ConfirmErase = false;
  updater.MaxVolumeSize = 150;  // the entry on one disk, the directory on the next
  updater.MinFreeVolumeSize = 0;
  SetUpDrive({"old", "blank"});
  ASSERT_EQ(Span(), 0) << updater.LastMessage();
  EXPECT_EQ(formats.dialogs, 2);
  ASSERT_EQ(formats.seen.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(formats.seen[i].label, "PKBACK# 00" + std::to_string(i + 1));
    EXPECT_FALSE(formats.seen[i].labelEnabled);
    EXPECT_FALSE(formats.seen[i].capacityEnabled);
    EXPECT_TRUE(formats.seen[i].quickChecked);
    EXPECT_FALSE(formats.seen[i].quickEnabled);
    EXPECT_FALSE(formats.seen[i].startupChecked);
  }
  EXPECT_FALSE(fs::exists(dir.File("old/old.txt")));
  EXPECT_EQ(platform::SimulatedDiskLabel(dir.File("old")), "PKBACK# 001");
  EXPECT_EQ(platform::SimulatedDiskLabel(dir.File("blank")), "PKBACK# 002");
  EXPECT_TRUE(fs::exists(dir.File("blank/Set.zip")));
  EXPECT_EQ(updater.FormatState(), 2);
  EXPECT_EQ(updater.FormatResult(), 0);
  EXPECT_EQ(updater.FormatDialog(), nullptr);
}

TEST_F(FormatDialogTest, WithConfirmEraseTheUserPressesStartOrCloses) {
  SetUpDrive({"old"});
  bool formattedByItself = true;
  formats.ready = [&](platform::FormatDriveDialog& dialog) {
    formattedByItself = !fs::exists(dir.File("old/old.txt"));
    WatchedFormatDialog::Press(dialog, fctl::kClose);
  };
  EXPECT_EQ(Span(), -7);
  EXPECT_FALSE(formattedByItself);
  EXPECT_EQ(updater.LastErrCode(), fretfile::msg::kCancelled);
  EXPECT_EQ(prompts.shown.size(), 1u);  // the disk prompt; the cancel is not shown
  EXPECT_TRUE(fs::exists(dir.File("old/old.txt")));
  EXPECT_EQ(updater.FormatResult(), platform::kFormatCancelled);

  SetUpDrive({"old"});
  formats.ready = [&](platform::FormatDriveDialog& dialog) {
    formattedByItself = !fs::exists(dir.File("old/old.txt"));
    WatchedFormatDialog::Press(dialog, fctl::kStart);
  };
  formats.formatted = [](platform::FormatDriveDialog& dialog) { WatchedFormatDialog::Press(dialog, fctl::kClose); };
  EXPECT_EQ(Span(), 0) << updater.LastMessage();
  EXPECT_FALSE(formattedByItself);
  EXPECT_FALSE(fs::exists(dir.File("old/old.txt")));
  EXPECT_EQ(platform::SimulatedDiskLabel(dir.File("old")), "PKBACK# 001");
  ASSERT_EQ(formats.seen.size(), 1u);
  EXPECT_EQ(formats.seen[0].label, "PKBACK# 001");
  EXPECT_TRUE(formats.seen[0].quickChecked);
}

}  // namespace
