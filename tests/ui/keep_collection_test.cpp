// Keeping the collection from the window, as a user does it: songs added by
// the chooser and by a drop (a replaced one only after its question, a new
// artist's archive), a rename refused for a title the archive has, rows of
// two archives deleted together, the keys of the grid, and the notice of
// archives changed on disk. Every archive is read back with libzip, and
// kest.idx after each change equals what a full rebuild writes.
#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <filesystem>

#include "index/saved_song.h"
#include "open_test_fixture.h"
#include "support/cli_runner.h"
#include "support/libzip_reader.h"

using testing_support::OpenFixture;
using testing_support::ReadFile;
using testing_support::ReadWithLibzip;
using testing_support::TempDir;
using testing_support::WriteFile;
using testing_support::ZipBuilder;

namespace {

// kest.idx as a rebuild that reads every archive writes it.
std::string FullRebuildIndex(const std::string& dir) {
  std::filesystem::remove(dir + "kest.idx");
  const TempDir scratch;
  const auto outcome = testing_support::RunCli(testing_support::BuiltCliPath(), "rebuild --dir '" + dir + "'", scratch);
  EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  return ReadFile(dir + "kest.idx");
}

std::map<std::string, std::string> ContentsOf(const std::string& archive) {
  std::map<std::string, std::string> contents;
  for (const auto& entry : ReadWithLibzip(archive)) contents[entry.name] = entry.data;
  return contents;
}

class KeepCollectionTest : public OpenFixture {
 protected:
  void SetUp() override {
    ZipBuilder().Add("Song_A.txt", "A as it was\n").Add("Song_B.txt", "B\n").WriteTo(dir.File("Bob_Dylan.zip"));
    ZipBuilder().Add("Rain.txt", "rain\n").Add("Sun.txt", "sun\n").WriteTo(dir.File("Joni_Mitchell.zip"));
    FullRebuildIndex(dir.path());
    OpenFixture::SetUp();
  }

  // The index the program keeps must be the one a full rebuild writes.
  void ExpectIndexAsRebuilt() {
    const std::string followed = ReadFile(dir.File("kest.idx"));
    EXPECT_EQ(followed, FullRebuildIndex(dir.path()));
  }

  void ShowRows(const std::vector<std::pair<std::string, std::string>>& rows) {
    auto& cells = form->StringGrid->Cells();
    cells.SetRowCount(static_cast<int>(rows.size()) + 1);
    for (size_t i = 0; i < rows.size(); ++i) {
      cells.SetCell(0, static_cast<int>(i) + 1, rows[i].first);
      cells.SetCell(1, static_cast<int>(i) + 1, rows[i].second);
    }
    form->StringGrid->Model()->Refresh();
  }

  TempDir elsewhere;
};

TEST_F(KeepCollectionTest, SongsAddedByTheChooserAndByADrop) {
  WriteFile(elsewhere.File("New Song.txt"), "a new song\n");
  WriteFile(elsewhere.File("Song A.txt"), "A as it is now\n");
  WriteFile(elsewhere.File("Song B.txt"), "B replaced, if asked\n");
  dialogs.openFilesAnswers.push_back(
      {elsewhere.File("New Song.txt"), elsewhere.File("Song A.txt"), elsewhere.File("Song B.txt")});
  dialogs.inputAnswers.push_back("Bob Dylan");
  // Song A is replaced, Song B is not.
  dialogs.answers = {platform::Answer::Yes, platform::Answer::No};
  form->AddSongs1Click();

  ASSERT_EQ(dialogs.inputQuestions.size(), 1u);
  const platform::InputQuestion& asked = dialogs.inputQuestions[0];
  EXPECT_EQ(asked.text, "Add 3 songs to:");
  EXPECT_EQ(asked.choices, (std::vector<std::string>{"Bob Dylan", "Joni Mitchell"}));
  EXPECT_EQ(asked.details, (std::vector<std::string>{"New Song.txt", "Song A.txt", "Song B.txt"}));
  EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{"Song A.txt by Bob Dylan is already in its archive. Replace it?",
                                                       "Song B.txt by Bob Dylan is already in its archive. Replace it?"}));
  EXPECT_EQ(ContentsOf(dir.File("Bob_Dylan.zip")),
            (std::map<std::string, std::string>{
                {"Song_A.txt", "A as it is now\n"}, {"Song_B.txt", "B\n"}, {"New_Song.txt", "a new song\n"}}));
  EXPECT_EQ(form->StatusText(), "Added 2 songs to Bob Dylan.");
  ExpectIndexAsRebuilt();

  // A folder dropped on the window: a new artist gets a new archive.
  std::filesystem::create_directories(elsewhere.File("drop/live"));
  WriteFile(elsewhere.File("drop/First Light.txt"), "first\n");
  WriteFile(elsewhere.File("drop/live/Encore.txt"), "encore\n");
  WriteFile(elsewhere.File("drop/.hidden"), "not a song\n");
  dialogs.inputAnswers.push_back(" Joan  Baez ");
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(elsewhere.File("drop")))});
  QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(form.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(form.get(), &drop);
  QApplication::processEvents();
  ASSERT_EQ(dialogs.inputQuestions.size(), 2u);
  EXPECT_EQ(dialogs.inputQuestions[1].text, "Add 2 songs to:");
  EXPECT_EQ(ContentsOf(dir.File("Joan__Baez.zip")),
            (std::map<std::string, std::string>{{"First_Light.txt", "first\n"}, {"Encore.txt", "encore\n"}}));
  ExpectIndexAsRebuilt();

  // A song the archive holds under a name with real spaces is replaced
  // under that name, not added beside it as a second song shown the same.
  ZipBuilder().Add("Blue Moon.txt", "old moon\n").WriteTo(dir.File("Nina.zip"));
  WriteFile(elsewhere.File("Blue Moon.txt"), "new moon\n");
  dialogs.openFilesAnswers.push_back({elsewhere.File("Blue Moon.txt")});
  dialogs.inputAnswers.push_back("Nina");
  form->AddSongs1Click();
  EXPECT_EQ(ContentsOf(dir.File("Nina.zip")), (std::map<std::string, std::string>{{"Blue Moon.txt", "new moon\n"}}));

  // A file's name is data: markers, wildcards and bytes that are not UTF-8
  // name exactly that song.
  const std::string marked = "Duet <1> [Live] *?|.txt";
  const std::string latin = "Caf\xE9.txt";
  WriteFile(elsewhere.File(marked), "marked\n");
  WriteFile(elsewhere.File(latin), "latin\n");
  dialogs.openFilesAnswers.push_back({elsewhere.File(marked), elsewhere.File(latin)});
  dialogs.inputAnswers.push_back("Nina");
  form->AddSongs1Click();
  EXPECT_TRUE(fretfile::ArchiveEntryHolds(dir.File("Nina.zip"), "Duet_<1>_[Live]_*?|.txt", "marked\n"));
  EXPECT_TRUE(fretfile::ArchiveEntryHolds(dir.File("Nina.zip"), latin, "latin\n"));
  EXPECT_EQ(ContentsOf(dir.File("Nina.zip")).size(), 3u);
  ExpectIndexAsRebuilt();

  // A name that cannot name an archive is refused before anything is written.
  dialogs.openFilesAnswers.push_back({elsewhere.File("New Song.txt")});
  dialogs.inputAnswers.push_back("AC/DC");
  form->AddSongs1Click();
  EXPECT_EQ(dialogs.Texts().back(), "\"AC/DC\" cannot name an artist's archive.");
  EXPECT_FALSE(std::filesystem::exists(dir.File("AC")));
}

TEST_F(KeepCollectionTest, RenameRefusesATitleTheArchiveHasAndRenamesOtherwise) {
  const std::string before = ReadFile(dir.File("Bob_Dylan.zip"));
  ShowRows({{"Bob Dylan", "Song A.txt"}});
  form->StringGrid->SetRow(1);
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  form->StringGrid->setFocus();
  dialogs.inputAnswers.push_back("Song B.txt");
  QTest::keyClick(form->StringGrid, Qt::Key_F2);
  ASSERT_EQ(dialogs.inputQuestions.size(), 1u);
  EXPECT_EQ(dialogs.inputQuestions[0].text, "New title of Song A.txt by Bob Dylan:");
  EXPECT_EQ(dialogs.inputQuestions[0].initial, "Song A.txt");
  EXPECT_EQ(dialogs.Texts().back(), "Bob Dylan already has a song named Song B.txt.");
  EXPECT_EQ(ReadFile(dir.File("Bob_Dylan.zip")), before);

  dialogs.inputAnswers.push_back("Song A (live).txt");
  form->RenameSong1Click();
  EXPECT_EQ(ContentsOf(dir.File("Bob_Dylan.zip")),
            (std::map<std::string, std::string>{{"Song_A_(live).txt", "A as it was\n"}, {"Song_B.txt", "B\n"}}));
  EXPECT_EQ(form->StringGrid->Cells().Cell(1, 1), "Song A (live).txt");
  ExpectIndexAsRebuilt();
}

TEST_F(KeepCollectionTest, DeleteTakesTheSelectedRowsOfTwoArchivesAndRefusesAnOpenSong) {
  ShowRows({{"Bob Dylan", "Song A.txt"}, {"Joni Mitchell", "Rain.txt"}, {"Bob Dylan", "Song B.txt"},
            {"Joni Mitchell", "Sun.txt"}});
  // Delete in a search box edits its text and deletes nothing.
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  form->Artistname->setText("Bob");
  form->Artistname->setFocus();
  form->Artistname->setCursorPosition(0);
  QTest::keyClick(form->Artistname, Qt::Key_Delete);
  EXPECT_EQ(form->Artistname->text(), "ob");
  EXPECT_TRUE(dialogs.shown.empty());

  // A song open in a viewer is not deleted from under it.
  form->StringGrid->SetRow(4);
  form->DBGrid1DblClick();

  ASSERT_NE(Viewer(2), nullptr);
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  form->StringGrid->setFocus();
  QTest::keyClick(form->StringGrid, Qt::Key_Delete);
  EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Sun.txt by Joni Mitchell is open. Close it first, then try again."});
  EXPECT_EQ(ContentsOf(dir.File("Joni_Mitchell.zip")).size(), 2u);

  // Rows 1 to 3: two songs of one archive, one of the other, one rewrite each.
  auto* selection = form->StringGrid->selectionModel();
  selection->clearSelection();
  for (int row = 0; row < 3; ++row) {
    selection->select(form->StringGrid->Model()->index(row, 0),
                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  dialogs.shown.clear();
  form->DeleteSong1Click();
  EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Delete these 3 songs from their archives?"});
  EXPECT_TRUE(ContentsOf(dir.File("Bob_Dylan.zip")).empty());
  EXPECT_EQ(ContentsOf(dir.File("Joni_Mitchell.zip")), (std::map<std::string, std::string>{{"Sun.txt", "sun\n"}}));
  EXPECT_EQ(form->StringGrid->Cells().RowCount(), 2);
  EXPECT_EQ(form->StringGrid->Cells().Cell(1, 1), "Sun.txt");
  EXPECT_EQ(form->StatusText(), "Deleted 3 songs.");
  ExpectIndexAsRebuilt();
}

// While a delete rewrites an archive, the library's call-backs let the
// window's events run: another change is refused, a save waits for its
// turn, and the exit waits for both.
TEST_F(KeepCollectionTest, CommandsDuringADeleteWaitOrAreRefused) {
  ShowRows({{"Joni Mitchell", "Rain.txt"}, {"Bob Dylan", "Song A.txt"}});
  form->StringGrid->SetRow(1);
  form->DBGrid1DblClick();
  auto* viewer = Viewer(2);
  ASSERT_NE(viewer, nullptr);
  viewer->Memo->setPlainText("rain, saved while a delete runs");
  WriteFile(elsewhere.File("Late.txt"), "late\n");
  bool exitPutOff = false;
  const std::function<void()> during = [&] {
    form->DeleteSong1Click();
    form->RenameSong1Click();
    form->AddSongFiles({elsewhere.File("Late.txt")});
    form->SaveClick(viewer->Save);
    form->ExitButtonClick();
    exitPutOff = std::filesystem::exists(dir.File("temp"));
  };
  // From the first call-back of the delete, once.
  form->ZipUpdater->OnProgress = [&](fretfile::TZipUpdater& updater, fretfile::TZipUpdater::ProgressType,
                                     const std::string&, int32_t) {
    const std::function<void()> once = during;
    updater.OnProgress = nullptr;  // destroys this handler: only `once` runs on
    once();
  };
  form->StringGrid->SetRow(2);
  form->DeleteSong1Click();

  const std::string busy = fretfile::TFormMain::kArchiveBusyText;
  EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{"Delete Song A.txt by Bob Dylan from its archive?", busy, busy,
                                                       busy, "Are you sure that you want to save this file?"}));
  EXPECT_TRUE(exitPutOff);
  EXPECT_EQ(ContentsOf(dir.File("Bob_Dylan.zip")), (std::map<std::string, std::string>{{"Song_B.txt", "B\n"}}));
  EXPECT_EQ(ContentsOf(dir.File("Joni_Mitchell.zip")),
            (std::map<std::string, std::string>{{"Rain.txt", "rain, saved while a delete runs"}, {"Sun.txt", "sun\n"}}));
  // The exit came after both: temp/ is gone.
  EXPECT_FALSE(std::filesystem::exists(dir.File("temp")));
  ExpectIndexAsRebuilt();
}

TEST_F(KeepCollectionTest, ArchivesChangedOnDiskAreNoticedWhenTheWindowIsActivated) {
  // The user works in another window while another program changes the
  // collection, then comes back.
  QWidget elsewhereWindow;
  elsewhereWindow.show();
  elsewhereWindow.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhereWindow));
  form->SetStatusText({});
  ZipBuilder().Add("Hurricane.txt", "h\n").WriteTo(dir.File("Another_Artist.zip"));
  std::filesystem::remove(dir.File("Joni_Mitchell.zip"));
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  EXPECT_EQ(form->StatusText(), "2 archives changed since the index was built. Rebuild Index reads only those.");
}

}  // namespace
