// A viewer's "Save" handing the saved file to the main window's ZipUpdater,
// and the password dialog the component asks through.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <stdexcept>

#include "open_test_fixture.h"
#include "platform/gui/password_dialog.h"
#include "update/component/zip_updater.h"
#include "update/recording_library.h"

using testing_support::OpenFixture;
using testing_support::ReadFile;
using testing_support::RecordingLibrary;
using testing_support::ZipBuilder;

namespace {

class SaveToArchiveTest : public OpenFixture {
 protected:
  void SetUp() override {
    OpenFixture::SetUp();
    ZipBuilder().Add("My_Song.txt", "one").WriteTo(dir.File("Some_Artist.zip"));
    form->ZipUpdater->SetDLLDirectory(library.Folder());
    Open("Some Artist", "My Song.txt");
    ASSERT_NE(Viewer(2), nullptr);
    Viewer(2)->Memo->setPlainText(QStringLiteral("edited"));
  }

  RecordingLibrary library;
};

TEST_F(SaveToArchiveTest, EverySaveHandsTheComponentExactlyTheSavedFile) {
  EXPECT_EQ(form->FindComponent(QStringLiteral("ZipUpdater")), form->ZipUpdater);
  bool hourglass = false;
  form->ZipUpdater->OnNewName = [&](fretfile::TZipUpdater&, int32_t, const fretfile::ZipDirEntry&) {
    hourglass = QApplication::overrideCursor() != nullptr && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
  };
  // A line left by an Add that ended early is not handed on.
  form->ZipUpdater->FSpecArgs = {"/elsewhere/other.txt"};
  form->SaveClick(Viewer(2)->Save);
  form->SaveClick(Viewer(2)->Save);

  const auto calls = library.Calls();
  ASSERT_EQ(calls.size(), 2u);
  for (auto call : calls) {
    EXPECT_EQ(call["archive"], dir.File("Some_Artist.zip"));
    EXPECT_EQ(call["count"], "1");
    // Taken relative to temp/ with its folders: the entry's own name.
    EXPECT_EQ(call["spec0"], dir.File("temp/My_Song.txt") + "\t(null)\t0\t0\t" + dir.File("temp/"));
    EXPECT_EQ(call["owner"], "0");
    EXPECT_EQ(call["level"], "9");
    EXPECT_EQ(call["update"], "1");
    EXPECT_EQ(call["suffixes"], ".gif:.png:.z:.zip:.zoo:.arc:.lzh:.arj:.taz:.tgz:.lha");
  }
  EXPECT_EQ(ReadFile(dir.File("temp/My_Song.txt")), "edited");
  EXPECT_EQ(form->ZipUpdater->ProcessedCount(), 1);
  EXPECT_TRUE(hourglass);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  // The stand-in stores nothing: each save says so after its question.
  ASSERT_EQ(dialogs.shown.size(), 4u);
  EXPECT_EQ(dialogs.shown[1].kind, platform::BoxKind::Message);
  EXPECT_EQ(dialogs.shown[1].text, "The song was not stored in its archive " + dir.File("Some_Artist.zip") +
                                       ".\nYour edit is kept in " + dir.File("temp/My_Song.txt") + ".");
  EXPECT_EQ(form->ZipUpdater->RootDir(), "");  // the save's own settings do not stay
}

TEST_F(SaveToArchiveTest, AnErrorLeavingAddGetsTheFixedMessage) {
  library.SetCallbacks("4");
  form->ZipUpdater->OnMessage = [](fretfile::TZipUpdater&, int32_t, const std::string&) {
    throw std::runtime_error("handler failed");
  };
  form->SaveClick(Viewer(2)->Save);
  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(dialogs.shown[1].kind, platform::BoxKind::Message);
  EXPECT_EQ(dialogs.shown[1].text, "Error in Add; Fatal DLL Exception in mainunit");
  EXPECT_EQ(ReadFile(dir.File("temp/My_Song.txt")), "edited");
  EXPECT_FALSE(form->ZipUpdater->InOperation());
}

TEST(PasswordDialogTest, BuiltInCodeAndAnsweredThroughTheDialogsLayer) {
  platform::TPasswordDlg dialog("OK", "Cancel");
  EXPECT_EQ(dialog.size(), QSize(344, 137));
  EXPECT_EQ(dialog.Prompt->geometry(), QRect(20, 8, 297, 18));
  EXPECT_EQ(dialog.Entry->pos(), QPoint(20, 40));
  EXPECT_EQ(dialog.Entry->width(), 297);
  EXPECT_EQ(dialog.Entry->echoMode(), QLineEdit::Password);
  EXPECT_EQ(dialog.Entry->maxLength(), 80);
  EXPECT_EQ(dialog.OKBtn->geometry(), QRect(44, 72, 90, 28));
  EXPECT_EQ(dialog.CancelBtn->geometry(), QRect(205, 72, 90, 28));
  EXPECT_EQ(dialog.CancelBtn->text(), QStringLiteral("Cancel"));
  EXPECT_TRUE(dialog.font().bold());
  EXPECT_EQ(dialog.font().pixelSize(), 12);

  // The modal loop runs; the answer is given from inside it.
  QTimer::singleShot(0, &dialog, [&] {
    dialog.Entry->setText(QStringLiteral("pw"));
    dialog.OKBtn->click();
  });
  EXPECT_EQ(dialog.GetPassword("Password", "Enter it:"), "pw");
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Password"));
  EXPECT_EQ(dialog.Prompt->text(), QStringLiteral("Enter it:"));
  QTimer::singleShot(0, &dialog, [&] {
    dialog.Entry->setText(QStringLiteral("pw"));
    dialog.CancelBtn->click();
  });
  EXPECT_EQ(dialog.GetPassword("Password", "Enter it:"), "");
  EXPECT_FALSE(dialog.Accepted());

  // The component asks through the handler the program installs at start-up.
  testing_support::DialogRecorder recorder;
  recorder.replies = {"secret", "secret"};
  fretfile::TZipUpdater updater;
  EXPECT_EQ(updater.PasswordWithConfirmation(), "secret");
  ASSERT_EQ(recorder.shown.size(), 2u);
  EXPECT_EQ(recorder.shown[0].kind, platform::BoxKind::Password);
  EXPECT_EQ(recorder.shown[0].title, "Password");
  EXPECT_EQ(recorder.shown[1].okCaption, "OK");
  recorder.answers = {platform::Answer::Cancel};
  recorder.replies = {"typed, then cancelled"};
  EXPECT_EQ(updater.PasswordOnce(), "");
}

}  // namespace
