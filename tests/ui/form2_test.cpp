// The external viewer chooser: its start-up from kest.ini, OK writing the
// file, and the main window's menu command reading the choice back.
#include "ui/form2.h"

#include <QTimer>
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/posix/profile.h"
#include "support/temp_dir.h"
#include "ui/dialog_recorder.h"
#include "ui/form_main.h"

using fretfile::TForm2;
using testing_support::DialogRecorder;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

class Form2Test : public ::testing::Test {
 protected:
  Form2Test() {
    std::filesystem::create_directory(dir.File("tools"));
    WriteFile(dir.File("tools/viewer.exe"), "");
    WriteFile(dir.File("tools/readme"), "");
  }

  std::string Tools() const { return dir.File("tools"); }
  std::string Ini() const { return dir.File("kest.ini"); }
  std::string IniValue(const std::string& key) const {
    return platform::GetPrivateProfileString("Ext Viewers", key, "<none>", Ini());
  }
  static void Choose(TForm2& form2, const QString& file) {
    const auto items = form2.FileListBox1->findItems(file, Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1);
    form2.FileListBox1->setCurrentItem(items[0]);
  }

  TempDir dir;
  DialogRecorder dialogs;
};

TEST_F(Form2Test, WithoutIniTheListsShowTheCurrentDirectoryAndTheMask) {
  TForm2 form2(dir.path());
  EXPECT_EQ(form2.Directory(), std::filesystem::current_path().string());
  EXPECT_EQ(form2.Edit1->text(), QStringLiteral("*.*"));
  EXPECT_EQ(form2.DriveComboBox1->itemText(0), QStringLiteral("/"));
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(Form2Test, StoredChoiceIsPreselected) {
  WriteFile(Ini(), "[Ext Viewers]\r\nPath=" + Tools() + "/\r\nName=viewer.exe\r\n");
  TForm2 form2(dir.path());
  EXPECT_EQ(form2.Directory(), Tools());
  EXPECT_EQ(form2.Edit1->text(), QStringLiteral("viewer.exe"));
  // Every file, with or without a dot in its name.
  EXPECT_EQ(form2.FileListBox1->count(), 2);
  EXPECT_EQ(form2.Label2->text(), QString::fromStdString(Tools()));
}

TEST_F(Form2Test, StoredPathThatIsNoDirectoryIsReportedAndTheRestSkipped) {
  WriteFile(Ini(), "[Ext Viewers]\r\nName=viewer.exe\r\n");  // "Path" defaults to "Error"
  TForm2 form2(dir.path());
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, platform::BoxKind::Error);
  EXPECT_EQ(dialogs.shown[0].text, "File not found.");
  EXPECT_EQ(form2.Directory(), std::filesystem::current_path().string());
  EXPECT_EQ(form2.Edit1->text(), QStringLiteral("*.*"));
}

TEST_F(Form2Test, OkStoresPathWithOneSeparatorThenName) {
  TForm2 form2(dir.path());
  form2.SetDirectory(Tools() + "/");
  Choose(form2, QStringLiteral("viewer.exe"));
  EXPECT_EQ(form2.Edit1->text(), QStringLiteral("viewer.exe"));
  form2.BitBtn1->click();
  EXPECT_EQ(form2.result(), QDialog::Accepted);
  EXPECT_EQ(IniValue("Path"), Tools() + "/");
  EXPECT_EQ(IniValue("Name"), "viewer.exe");
  const std::string text = ReadFile(Ini());
  EXPECT_LT(text.find("Path="), text.find("Name="));
}

TEST_F(Form2Test, OkWithNoFileChosenStoresTheMask) {
  TForm2 form2(dir.path());
  form2.SetDirectory(Tools());
  form2.BitBtn1->click();
  EXPECT_EQ(IniValue("Name"), "*.*");
}

TEST_F(Form2Test, LongDirectoryIsShortenedInTheLabelAndStoredInFull) {
  std::string deep = Tools();
  for (int i = 0; i < 6; ++i) deep += "/a_rather_long_folder_name_number_" + std::to_string(i);
  std::filesystem::create_directories(deep);
  TForm2 form2(dir.path());
  form2.SetDirectory(deep);
  EXPECT_TRUE(form2.Label2->text().contains(QChar(0x2026)));
  EXPECT_EQ(form2.Label2->width(), 369);
  form2.BitBtn1->click();
  EXPECT_EQ(IniValue("Path"), deep + "/");
}

TEST_F(Form2Test, DirectoryListAndDriveSelectorMoveTheChosenDirectory) {
  TForm2 form2(dir.path());
  form2.SetDirectory(Tools());
  // The chosen directory's parent is an ancestor row of the list.
  const auto parents = form2.DirectoryListBox1->findItems(QStringLiteral("tools"), Qt::MatchEndsWith);
  ASSERT_EQ(parents.size(), 1);
  const int toolsRow = form2.DirectoryListBox1->row(parents[0]);
  emit form2.DirectoryListBox1->itemActivated(form2.DirectoryListBox1->item(toolsRow - 1));
  EXPECT_EQ(form2.Directory() + "/", dir.path());
  EXPECT_EQ(form2.Edit1->text(), QStringLiteral("*.*"));

  emit form2.DriveComboBox1->activated(0);
  EXPECT_EQ(form2.Directory(), "/");
}

TEST_F(Form2Test, ReadOnlyIniIsNotWrittenTheFailureIsReportedAndTheDialogClosesAllTheSame) {
  const std::string stored = "[Ext Viewers]\r\nPath=" + Tools() + "/\r\nName=viewer.exe\r\n";
  WriteFile(Ini(), stored);
  ASSERT_EQ(::chmod(Ini().c_str(), 0444), 0);
  TForm2 form2(dir.path());
  form2.SetDirectory(dir.path());
  form2.BitBtn1->click();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, platform::BoxKind::Error);
  EXPECT_EQ(dialogs.shown[0].text, "Unable to write to " + Ini() + ".");
  EXPECT_EQ(form2.result(), QDialog::Accepted);
  EXPECT_EQ(ReadFile(Ini()), stored);
}

// The menu command shows the dialog modally; the test answers it from the
// event loop that exec() runs.
class ExternalViewerMenuTest : public Form2Test {
 protected:
  void ShowAndAnswer(fretfile::TFormMain& form, QPushButton* TForm2::*button) {
    QTimer::singleShot(0, form.Form2, [&form, button] { (form.Form2->*button)->click(); });
    // Never left waiting on the dialog, whatever goes wrong.
    QTimer::singleShot(10000, form.Form2, [&form] {
      if (form.Form2->isVisible()) form.Form2->reject();
    });
    form.InternalViewer1Click();
    EXPECT_FALSE(form.Form2->isVisible());
  }
};

TEST_F(ExternalViewerMenuTest, CancelWithoutIniGivesErrorErrorAndWritesNothing) {
  fretfile::TFormMain form(dir.path());
  ASSERT_NE(form.Form2, nullptr);
  form.Form2->SetDirectory(Tools());
  ShowAndAnswer(form, &TForm2::BitBtn2);
  EXPECT_EQ(form.ViewerCommand(), "ErrorError");
  EXPECT_FALSE(FileExists(Ini()));
  // The next showing starts where the last one was left.
  EXPECT_EQ(form.Form2->Directory(), Tools());
}

TEST_F(ExternalViewerMenuTest, OkMakesTheChoiceTheViewerCommand) {
  fretfile::TFormMain form(dir.path());
  form.Form2->SetDirectory(Tools());
  form.Form2->Edit1->setText(QStringLiteral("viewer.exe"));
  ShowAndAnswer(form, &TForm2::BitBtn1);
  EXPECT_EQ(form.ViewerCommand(), Tools() + "/viewer.exe");

  // A window made later reads the same choice at start-up, and so does its
  // chooser.
  fretfile::TFormMain later(dir.path());
  EXPECT_EQ(later.ViewerCommand(), Tools() + "/viewer.exe");
  EXPECT_EQ(later.Form2->Directory(), Tools());
  EXPECT_EQ(later.Form2->Edit1->text(), QStringLiteral("viewer.exe"));
}

}  // namespace
