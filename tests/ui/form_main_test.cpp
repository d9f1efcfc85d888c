// The main window on the offscreen platform, with a temporary folder as its
// collection: the boxes are typed into, keys and clicks are real events.
#include "ui/form_main.h"

#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QMenuBar>
#include <QPainter>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "platform/posix/shared_file.h"
#include "support/temp_dir.h"
#include "ui/dialog_recorder.h"
#include "ui/run_until_quit.h"
#include "ui/wait_cursor.h"

using fretfile::TFormMain;
using testing_support::DialogRecorder;
using testing_support::FileExists;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

const std::string kIndex =
    "Some Band<>First Song.txt\r\n"
    "Some Band<>Second Song.txt\r\n"
    "Dr. Hook<>Mr. Jones.txt\r\n"
    "Other<>x.txt\r\n";

class FormMainTest : public ::testing::Test {
 protected:
  std::unique_ptr<TFormMain> MakeForm() {
    auto form = std::make_unique<TFormMain>(dir.path());
    form->show();
    return form;
  }

  void TypeAndPressEnter(QLineEdit* box, const QString& text) {
    box->setFocus();
    QTest::keyClicks(box, text);
    QTest::keyClick(box, Qt::Key_Return);
  }

  static std::string Cell(TFormMain& form, int column, int row) {
    return std::string(form.StringGrid->Cells().Cell(column, row));
  }

  TempDir dir;
  DialogRecorder dialogs;
};

}  // namespace

TEST_F(FormMainTest, ControlsHaveTheirNamesTextsAndPlaces) {
  auto form = MakeForm();
  EXPECT_EQ(form->objectName(), "FormMain");
  EXPECT_EQ(form->windowTitle(), "Fretfile 1.5");
  EXPECT_EQ(form->centralWidget()->size(), QSize(580, 382));
  EXPECT_EQ(form->StringGrid->geometry(), QRect(0, 0, 580, 233));
  EXPECT_EQ(form->GroupBox1->title(), "Search Criteria");
  EXPECT_TRUE(form->GroupBox1->font().bold());
  EXPECT_EQ(form->Artistname->geometry(), QRect(16, 29, 209, 21));
  EXPECT_EQ(form->Songname->geometry(), QRect(238, 29, 232, 21));
  EXPECT_EQ(form->Searchbutton->text(), "&Search");
  EXPECT_TRUE(form->InternalViewer->isChecked());
  EXPECT_EQ(form->InternalViewer->text(), "Use Internal Viewer");
  EXPECT_EQ(form->indexbutton->text(), "Rebuild Index");
  EXPECT_EQ(form->Exitbutton->text(), "E&xit");
  EXPECT_EQ(form->StatusBar->geometry(), QRect(0, 363, 580, 19));
  EXPECT_EQ(form->StringGrid->columnWidth(0), 228);
  EXPECT_EQ(form->StringGrid->columnWidth(1), 347);
  EXPECT_FALSE(form->ExactArt->isChecked());
  EXPECT_EQ(form->File1->title(), "&File");
  EXPECT_EQ(form->Exit1->text(), "E&xit");
  EXPECT_EQ(form->Options1->title(), "&Options");
  EXPECT_EQ(form->InternalViewer1->text(), "External Viewer");
  EXPECT_EQ(form->Artistname->palette().color(QPalette::Text), QColor(Qt::blue));
}

TEST_F(FormMainTest, TabOrderFollowsTheDesign) {
  auto form = MakeForm();
  const QList<QWidget*> order{form->Artistname, form->Songname, form->ExactArt, form->ExactSong, form->Searchbutton,
                              form->InternalViewer, form->StringGrid, form->Exitbutton, form->indexbutton};
  // The next widget that Tab reaches: skip those that take no Tab focus.
  const auto nextTabStop = [](QWidget* widget) {
    QWidget* next = widget->nextInFocusChain();
    while (next != widget && !(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
    return next;
  };
  for (qsizetype i = 0; i + 1 < order.size(); ++i) {
    EXPECT_EQ(nextTabStop(order[i]), order[i + 1]) << order[i]->objectName().toStdString();
  }
}

TEST_F(FormMainTest, FormCreateMakesTempAndWritesTheHeaders) {
  auto form = MakeForm();
  EXPECT_TRUE(FileExists(dir.File("temp")));
  EXPECT_EQ(Cell(*form, 0, 0), "Artist Name");
  EXPECT_EQ(Cell(*form, 1, 0), "Song Title");
  EXPECT_EQ(form->StringGrid->Cells().RowCount(), 2);
  EXPECT_EQ(form->ViewerCommand(), "");
}

TEST_F(FormMainTest, AnExistingTempKeepsItsContents) {
  WriteFile(dir.File("temp/old.txt"), "x");
  auto form = MakeForm();
  EXPECT_TRUE(FileExists(dir.File("temp/old.txt")));
}

TEST_F(FormMainTest, ViewerCommandIsPathFollowedByNameWithErrorForMissingKeys) {
  WriteFile(dir.File("kest.ini"), "[Ext Viewers]\r\nPath=/usr/bin/\r\nName=gedit\r\n");
  EXPECT_EQ(MakeForm()->ViewerCommand(), "/usr/bin/gedit");
  WriteFile(dir.File("kest.ini"), "[Ext Viewers]\r\nPath=/opt/tools/\r\n");
  EXPECT_EQ(MakeForm()->ViewerCommand(), "/opt/tools/Error");
  WriteFile(dir.File("kest.ini"), "[Other]\r\n");
  EXPECT_EQ(MakeForm()->ViewerCommand(), "ErrorError");
}

TEST_F(FormMainTest, GarbageKestIniNeverBreaksStartUp) {
  std::string garbage(1 << 20, 'x');
  for (size_t i = 0; i < garbage.size(); i += 7) garbage[i] = static_cast<char>(i * 31);
  WriteFile(dir.File("kest.ini"), garbage);
  auto form = MakeForm();
  EXPECT_EQ(form->ViewerCommand(), "ErrorError");
}

TEST_F(FormMainTest, EnterInTheArtistBoxSearchesAndFillsTheGrid) {
  WriteFile(dir.File("kest.idx"), kIndex);
  auto form = MakeForm();
  TypeAndPressEnter(form->Artistname, "band");
  ASSERT_EQ(form->StringGrid->Cells().RowCount(), 3);
  EXPECT_EQ(Cell(*form, 0, 1), "Some Band");
  EXPECT_EQ(Cell(*form, 1, 2), "Second Song.txt");
  EXPECT_EQ(form->StringGrid->model()->rowCount(), 2);
  EXPECT_EQ(form->StringGrid->model()->data(form->StringGrid->model()->index(1, 1)).toString(), "Second Song.txt");
  EXPECT_EQ(form->StatusText(), "The query returned 2 results");
  EXPECT_EQ(form->StringGrid->Row(), 1);
  EXPECT_TRUE(form->Searchbutton->isEnabled());
  EXPECT_TRUE(form->indexbutton->isEnabled());
  EXPECT_TRUE(form->Exitbutton->isEnabled());
  EXPECT_FALSE(fretfile::ApplicationShowsDatabaseWait());
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(FormMainTest, EnterInTheSongBoxAndTheButtonSearchWithTheExactBoxes) {
  WriteFile(dir.File("kest.idx"), kIndex);
  auto form = MakeForm();
  form->ExactSong->setChecked(true);
  TypeAndPressEnter(form->Songname, "mr");
  EXPECT_EQ(form->StatusText(), "The query returned 1 results");
  EXPECT_EQ(Cell(*form, 1, 1), "Mr. Jones.txt");
  form->ExactSong->setChecked(false);
  form->Songname->clear();
  form->ExactArt->setChecked(true);
  form->Artistname->setText("band");
  QTest::mouseClick(form->Searchbutton, Qt::LeftButton);
  EXPECT_EQ(form->StatusText(), "The query returned 0 results");
  EXPECT_EQ(form->StringGrid->Cells().RowCount(), 2);
  EXPECT_EQ(Cell(*form, 0, 1), "");
}

TEST_F(FormMainTest, NoIndexFileSaysSoAndChangesNothing) {
  auto form = MakeForm();
  form->StatusBar->showMessage("before");
  TypeAndPressEnter(form->Artistname, "x");
  EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"No index file exists."});
  EXPECT_EQ(dialogs.shown[0].kind, platform::BoxKind::Message);
  EXPECT_EQ(form->StatusText(), "before");
}

TEST_F(FormMainTest, AnIndexHeldByAnotherPartyGivesTheErrorBoxAndTheWindowRecovers) {
  WriteFile(dir.File("kest.idx"), kIndex);
  auto form = MakeForm();
  TypeAndPressEnter(form->Artistname, "band");
  ASSERT_EQ(form->StringGrid->Cells().RowCount(), 3);
  {
    platform::SharedFile holder;
    ASSERT_EQ(holder.Open(dir.File("kest.idx"), platform::FileAccess::Read, platform::FileShare::Shared), 0);
    QTest::keyClick(form->Artistname, Qt::Key_Return);
  }
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, platform::BoxKind::Error);
  EXPECT_EQ(dialogs.shown[0].title, "Fretfile 1.5");
  EXPECT_EQ(dialogs.shown[0].text, "Cannot open file " + dir.File("kest.idx") + ".");
  // The grid keeps its rows; buttons and cursor come back.
  EXPECT_EQ(Cell(*form, 0, 2), "Some Band");
  EXPECT_TRUE(form->Searchbutton->isEnabled());
  EXPECT_FALSE(fretfile::ApplicationShowsDatabaseWait());
}

TEST_F(FormMainTest, GarbageIndexNeverBreaksTheSearch) {
  std::string garbage;
  for (int i = 0; i < 3000; ++i) garbage += std::string(1 + (i * 37) % 900, static_cast<char>(i % 256));
  garbage += std::string(1 << 20, 'a');  // one line of 1 MB
  WriteFile(dir.File("kest.idx"), garbage);
  auto form = MakeForm();
  QTest::keyClick(form->Artistname, Qt::Key_Return);
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_GE(form->StringGrid->Cells().RowCount(), 2);
  form->StringGrid->viewport()->repaint();
}

TEST_F(FormMainTest, TheWaitCursorIsShownDuringTheSearchAndTheButtonsAreOff) {
  std::string index;
  for (int i = 0; i < 200000; ++i) index += "Artist<>Song.txt\r\n";
  WriteFile(dir.File("kest.idx"), index);
  auto form = MakeForm();
  bool sawWait = false, sawButtonsOff = false, refusedSecond = false;
  // Runs from the event loop pass the search makes between lines.
  QTimer::singleShot(0, form.get(), [&] {
    sawWait = fretfile::ApplicationShowsDatabaseWait();
    sawButtonsOff = !form->Searchbutton->isEnabled() && !form->indexbutton->isEnabled() &&
                    !form->Exitbutton->isEnabled() && !form->Exit1->isEnabled() &&
                    !form->ChooseCollectionFolder1->isEnabled();
    form->SearchButtonClick();  // a second search while one runs is refused
    refusedSecond = form->SearchRunning();
  });
  // The event loop runs at most every 10 ms during a search: let the first
  // line's pass be due.
  std::this_thread::sleep_for(std::chrono::milliseconds(15));
  form->SearchButtonClick();
  EXPECT_TRUE(sawWait);
  EXPECT_TRUE(sawButtonsOff);
  EXPECT_TRUE(refusedSecond);
  EXPECT_EQ(form->StatusText(), "The query returned 200000 results");
  EXPECT_FALSE(fretfile::ApplicationShowsDatabaseWait());
}

TEST_F(FormMainTest, DoubleClickOnThePictureEmptiesEveryCellButKeepsTheRows) {
  WriteFile(dir.File("kest.idx"), kIndex);
  auto form = MakeForm();
  QTest::keyClick(form->Artistname, Qt::Key_Return);
  ASSERT_EQ(form->StringGrid->Cells().RowCount(), 5);
  QTest::mouseDClick(form->Image1, Qt::LeftButton);
  EXPECT_EQ(form->StringGrid->Cells().RowCount(), 5);
  EXPECT_EQ(Cell(*form, 0, 0), "");
  EXPECT_EQ(Cell(*form, 1, 3), "");
  // The next search brings the headers back.
  QTest::keyClick(form->Artistname, Qt::Key_Return);
  EXPECT_EQ(Cell(*form, 0, 0), "Artist Name");
}

TEST_F(FormMainTest, HeadersAreDrawnBoldAndCentredHitsAtTheLeftEdge) {
  auto form = MakeForm();
  form->StringGrid->Cells().SetCell(0, 1, "IIII");
  QImage image(228, 15, QImage::Format_RGB32);
  const auto firstInkColumn = [&](int row) {
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(Qt::black);
    form->StringGridDrawCell(painter, 0, row, QRect(0, 0, 228, 15), false);
    painter.end();
    for (int x = 0; x < image.width(); ++x)
      for (int y = 0; y < image.height(); ++y)
        if (qGray(image.pixel(x, y)) < 128) return x;
    return -1;
  };
  EXPECT_LE(firstInkColumn(1), 2);  // the hit starts at the cell's left edge
  const int header = firstInkColumn(0);
  QFont bold = form->StringGrid->font();
  bold.setBold(true);
  const int expected = (228 - QFontMetrics(bold).horizontalAdvance("Artist Name")) / 2;
  EXPECT_NEAR(header, expected, 2);
}

TEST_F(FormMainTest, ExitRemovesTempAndQuits) {
  auto form = MakeForm();
  WriteFile(dir.File("temp/sub/song.txt"), "x");
  QTest::mouseClick(form->Exitbutton, Qt::LeftButton);
  EXPECT_FALSE(FileExists(dir.File("temp")));
  // The quit is posted: run the loop until it arrives.
  EXPECT_EQ(testing_support::RunUntilQuit(), 0);
}

TEST_F(FormMainTest, TheFileMenusExitEndsTheProgramLikeTheButton) {
  auto form = MakeForm();
  form->Exit1->trigger();
  EXPECT_FALSE(FileExists(dir.File("temp")));
  EXPECT_EQ(testing_support::RunUntilQuit(), 0);
}

TEST_F(FormMainTest, ClosingTheWindowKeepsTemp) {
  auto form = MakeForm();
  form->close();
  EXPECT_TRUE(FileExists(dir.File("temp")));
}
