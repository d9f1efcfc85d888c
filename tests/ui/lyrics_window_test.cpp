// File > Find in Lyrics... in the main window: the missing index, the
// dialog's hits in the grid, a hit opened at its first matching line, and a
// save that updates the lyrics index.
#include <QCoreApplication>
#include <QTextBlock>

#include "index/lyrics_index.h"
#include "index/lyrics_query.h"
#include "open_test_fixture.h"
#include "ui/lyrics_dialog.h"

using testing_support::OpenFixture;
using testing_support::ZipBuilder;

namespace {

class LyricsWindowTest : public OpenFixture {
 protected:
  void SetUp() override {
    OpenFixture::SetUp();
    // Long enough to go into the viewer in pieces, its match far down.
    std::string song;
    for (int line = 0; line < 3000; ++line) {
      song += line == 2500 ? "the moon is rising\r\n" : "filler line " + std::to_string(line) + "\r\n";
    }
    ZipBuilder().Add("Intro.txt", "intro").Add("My_Song.txt", song).WriteTo(archive);
  }
  void TearDown() override { fretfile::SetLyricsDialogResponder(nullptr); }

  void Index() { ASSERT_TRUE(fretfile::UpdateLyricsIndex(dir.path(), {archive})); }

  // The dialog is answered with the query, as a user typing it and OK.
  void Answer(const std::string& query) {
    fretfile::SetLyricsDialogResponder([this, query](fretfile::TLyricsDialog& dialog) {
      asked = dialog.Query->text().toStdString();
      dialog.Query->setText(QString::fromStdString(query));
      return static_cast<int>(QDialog::Accepted);
    });
  }

  std::string archive = dir.File("Some_Artist.zip");
  std::string asked = "<not asked>";
};

TEST_F(LyricsWindowTest, HitsFillTheGridAndOpenAtTheirFirstMatchingLine) {
  Answer("Moon RISING");
  form->FindInLyrics1->trigger();
  EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{fretfile::kNoLyricsIndexMessage}));
  EXPECT_EQ(asked, "<not asked>");

  Index();
  EXPECT_EQ(form->FindInLyrics1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
  form->FindInLyrics1->trigger();
  EXPECT_EQ(asked, "");
  const auto& cells = form->StringGrid->Cells();
  ASSERT_EQ(cells.RowCount(), 2);
  EXPECT_EQ(cells.Cell(0, 0), "Artist Name");
  EXPECT_EQ(cells.Cell(0, 1), "Some Artist");
  EXPECT_EQ(cells.Cell(1, 1), "My Song.txt");
  EXPECT_EQ(form->StatusText(), QStringLiteral("The query returned 1 results"));

  form->DBGrid1DblClick();
  auto* viewer = Viewer(2);
  ASSERT_NE(viewer, nullptr);
  for (int turn = 0; turn < 1000 && viewer->Memo->Filling(); ++turn) QCoreApplication::processEvents();
  const QTextCursor cursor = viewer->Memo->textCursor();
  EXPECT_EQ(cursor.blockNumber(), 2500);
  EXPECT_EQ(cursor.selectedText(), QStringLiteral("the moon is rising"));
  EXPECT_TRUE(viewer->Memo->viewport()->rect().intersects(viewer->Memo->cursorRect()));

  // The dialog offers the last query again; a search's rows open at the top.
  form->FindInLyrics1->trigger();
  EXPECT_EQ(asked, "Moon RISING");
  form->CloseClick(viewer->Close);
  FlushDeletes();
  testing_support::WriteFile(dir.File("kest.idx"), "Some Artist<>My Song.txt\r\n");
  form->Songname->setText(QStringLiteral("My Song"));
  form->SearchButtonClick();
  ASSERT_EQ(cells.Cell(1, 1), "My Song.txt");
  form->DBGrid1DblClick();
  viewer = Viewer(2);
  ASSERT_NE(viewer, nullptr);
  for (int turn = 0; turn < 1000 && viewer->Memo->Filling(); ++turn) QCoreApplication::processEvents();
  EXPECT_FALSE(viewer->Memo->textCursor().hasSelection());
  EXPECT_EQ(viewer->Memo->textCursor().blockNumber(), 0);
}

TEST_F(LyricsWindowTest, ASaveUpdatesTheLyricsOfItsArchive) {
  Index();
  Open("Some Artist", "My Song.txt");
  auto* viewer = Viewer(2);
  ASSERT_NE(viewer, nullptr);
  for (int turn = 0; turn < 1000 && viewer->Memo->Filling(); ++turn) QCoreApplication::processEvents();
  viewer->Memo->setPlainText(QStringLiteral("a zebra crossing"));
  form->SaveClick(viewer->Save);
  EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{"Are you sure that you want to save this file?"}));

  const std::vector<fretfile::LyricsHit> hits = fretfile::FindLyrics(dir.path(), "zebra");
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].title, "My Song.txt");
  EXPECT_TRUE(fretfile::FindLyrics(dir.path(), "moon").empty());
  EXPECT_EQ(fretfile::FindLyrics(dir.path(), "intro").size(), 1u);
}

}  // namespace
