// The Rebuild Index button on the offscreen platform: the question is
// answered through the dialogs layer, the rebuild runs on its worker thread
// while the test processes events, and the new index is then searched
// through the window's own boxes.
#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include "platform/posix/shared_file.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "ui/dialog_recorder.h"
#include "ui/form_main.h"
#include "ui/wait_cursor.h"

using fretfile::TFormMain;
using testing_support::DialogRecorder;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;
using testing_support::ZipBuilder;

namespace {

const char kOldIndex[] = "Old Band<>Old Song.txt\r\n";

class RebuildWidgetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ZipBuilder().Add("First_Song.txt", "one").Add("Second_Song.txt", "two").WriteTo(dir.File("Some_Band.zip"));
    ZipBuilder().Add("x.txt", "x").WriteTo(dir.File("Other.zip"));
    WriteFile(dir.File("kest.idx"), kOldIndex);
  }

  std::unique_ptr<TFormMain> MakeForm() {
    auto form = std::make_unique<TFormMain>(dir.path());
    form->show();
    return form;
  }

  // Clicks Rebuild Index and processes events until the rebuild is over.
  static void RebuildAndWait(TFormMain& form) {
    QTest::mouseClick(form.indexbutton, Qt::LeftButton);
    // A generous bound only so that a broken rebuild fails instead of hanging.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.RebuildRunning(); }, 60000));
    QApplication::processEvents();
  }

  static bool ButtonsEnabled(TFormMain& form) {
    return form.Searchbutton->isEnabled() && form.indexbutton->isEnabled() && form.Exitbutton->isEnabled();
  }

  TempDir dir;
  DialogRecorder dialogs;
};

}  // namespace

TEST_F(RebuildWidgetTest, RebuiltIndexIsFoundByTheSearch) {
  auto form = MakeForm();
  RebuildAndWait(*form);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text, "Are you sure that you want to rebuild the index now?");
  EXPECT_EQ(form->StatusText(), "Index Created");
  EXPECT_TRUE(ButtonsEnabled(*form));
  EXPECT_FALSE(fretfile::ApplicationShowsDatabaseWait());
  EXPECT_NE(ReadFile(dir.File("kest.idx")).find("Some Band<>Second Song.txt\r\n"), std::string::npos);

  form->Artistname->setFocus();
  QTest::keyClicks(form->Artistname, "some band");
  QTest::keyClicks(form->Songname, "second");
  QTest::keyClick(form->Artistname, Qt::Key_Return);
  ASSERT_EQ(form->StringGrid->Cells().RowCount(), 2);
  EXPECT_EQ(form->StringGrid->Cells().Cell(0, 1), "Some Band");
  EXPECT_EQ(form->StringGrid->Cells().Cell(1, 1), "Second Song.txt");
}

TEST_F(RebuildWidgetTest, OnlyNoStopsTheRebuildClosingTheQuestionGoesOn) {
  dialogs.answers.push_back(platform::Answer::No);
  auto form = MakeForm();
  const QString status = form->StatusText();
  RebuildAndWait(*form);
  EXPECT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(form->StatusText(), status);
  EXPECT_EQ(ReadFile(dir.File("kest.idx")), kOldIndex);

  dialogs.answers.push_back(platform::Answer::Closed);
  RebuildAndWait(*form);
  EXPECT_EQ(form->StatusText(), "Index Created");
  EXPECT_NE(ReadFile(dir.File("kest.idx")), kOldIndex);
}

TEST_F(RebuildWidgetTest, FailureIsShownAndTheWindowIsUsableAgain) {
  platform::SharedFile holder;
  ASSERT_EQ(holder.Open(dir.File("Other.zip"), platform::FileAccess::Read, platform::FileShare::DenyAll), 0);
  auto form = MakeForm();
  RebuildAndWait(*form);
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialogs.shown.size() == 2; }, 60000));
  EXPECT_EQ(dialogs.shown[1].kind, platform::BoxKind::Error);
  EXPECT_EQ(dialogs.shown[1].text, "Cannot open file " + dir.File("Other.zip") + ".");
  EXPECT_TRUE(ButtonsEnabled(*form));
  EXPECT_FALSE(fretfile::ApplicationShowsDatabaseWait());
  EXPECT_EQ(ReadFile(dir.File("kest.idx")), kOldIndex);

  holder.Close();
  RebuildAndWait(*form);
  EXPECT_EQ(form->StatusText(), "Index Created");
}

TEST_F(RebuildWidgetTest, ExitIsOffWhileTheRebuildWritesAndClosingTheWindowStopsIt) {
  auto form = MakeForm();
  bool closed = false;
  bool exitWasOff = false;
  // Runs while the worker waits for its first status text to be shown.
  QObject::connect(form->StatusBar, &QStatusBar::messageChanged, form.get(), [&](const QString& text) {
    if (closed || !text.startsWith(QStringLiteral("Processing"))) return;
    exitWasOff = !form->Exitbutton->isEnabled() && !form->Exit1->isEnabled();
    closed = true;
    form->close();
  });
  RebuildAndWait(*form);
  ASSERT_TRUE(closed);
  EXPECT_TRUE(exitWasOff);
  EXPECT_EQ(ReadFile(dir.File("kest.idx")), kOldIndex);
  EXPECT_NE(form->StatusText(), QStringLiteral("Index Created"));
  EXPECT_TRUE(ButtonsEnabled(*form));
  EXPECT_TRUE(form->Exit1->isEnabled());
  EXPECT_FALSE(fretfile::ApplicationShowsDatabaseWait());
}

TEST_F(RebuildWidgetTest, ClosingTheWindowWhileTheQuestionIsPendingDoesNotHang) {
  auto form = MakeForm();
  QTest::mouseClick(form->indexbutton, Qt::LeftButton);
  // The worker now waits for the user-interface thread to ask; destroying
  // the window must serve or refuse that call instead of waiting forever.
  form.reset();
  EXPECT_TRUE(dialogs.shown.empty()) << "no question from a window being closed";
  EXPECT_EQ(ReadFile(dir.File("kest.idx")), kOldIndex);
}
