// Opening a hit of the grid: from the row's texts to the archive and the
// entry, the extraction into temp/, and what is shown.
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "archive/unzip_member.h"
#include "index/saved_song.h"
#include "open_test_fixture.h"

using testing_support::FileExists;
using testing_support::OpenFixture;
using testing_support::ReadFile;
using testing_support::ZipBuilder;
using testing_support::ZipEntrySpec;

namespace {

using OpenHitTest = OpenFixture;

TEST_F(OpenHitTest, RowOpensItsEntryInAViewerWindow) {
  ZipBuilder().Add("Other.txt", "other").Add("My_Song.txt", "one\ntwo\rthree\r\nfour").WriteTo(dir.File("Some_Artist.zip"));
  Open("Some Artist", "My Song.txt");

  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_EQ(ReadFile(dir.File("temp/My_Song.txt")), "one\ntwo\rthree\r\nfour");
  auto* viewer = Viewer(2);
  ASSERT_NE(viewer, nullptr);
  EXPECT_TRUE(viewer->isVisible());
  EXPECT_EQ(viewer->windowTitle(), QStringLiteral("My_Song.txt by Some Artist"));
  EXPECT_EQ(viewer->Hint, dir.File("Some_Artist.zip"));
  EXPECT_EQ(MemoText(2), "one\r\ntwo\r\nthree\r\nfour");
}

// An entry named in CP437 by a streaming writer (its sizes in a data
// descriptor without signature), in an archive named in UTF-8: found by
// typing its letters, shown in them, opened, and saved under its own bytes.
TEST_F(OpenHitTest, ANameInCp437IsFoundShownOpenedAndSavedUnderItsBytes) {
  const std::string archive = dir.File("Bj\xC3\xB6rk.zip");
  ZipEntrySpec song;
  song.name = "J\x94ga_Song.txt";  // "Jöga" in CP437
  song.data = "as recorded\r\n";
  song.dataDescriptor = true;
  song.descriptorSignature = false;
  ZipBuilder().Add("Intro.txt", "intro").Add(song).WriteTo(archive);
  testing_support::WriteFile(dir.File("kest.idx"), "Bj\xC3\xB6rk<>Intro.txt\r\nBj\xC3\xB6rk<>J\x94ga Song.txt\r\n");

  form->Songname->setText(QString::fromUtf8("j\xC3\xB6ga"));
  form->SearchButtonClick();
  ASSERT_EQ(form->StringGrid->Cells().RowCount(), 2);
  EXPECT_EQ(form->StringGrid->Cells().Cell(1, 1), "J\x94ga Song.txt");  // the cell keeps the bytes
  const QModelIndex cell = form->StringGrid->Model()->index(0, 1);
  EXPECT_EQ(form->StringGrid->Model()->data(cell, Qt::DisplayRole).toString(), QString::fromUtf8("J\xC3\xB6ga Song.txt"));

  form->DBGrid1DblClick();
  auto* viewer = Viewer(2);
  ASSERT_NE(viewer, nullptr) << (dialogs.shown.empty() ? "" : dialogs.shown[0].text);
  EXPECT_EQ(viewer->windowTitle(), QString::fromUtf8("J\xC3\xB6ga_Song.txt by Bj\xC3\xB6rk"));
  EXPECT_EQ(MemoText(2), "as recorded\r\n");

  viewer->Memo->setPlainText(QStringLiteral("edited"));
  form->SaveClick(viewer->Save);
  EXPECT_TRUE(fretfile::ArchiveEntryHolds(archive, "J\x94ga_Song.txt", "edited"));
  EXPECT_TRUE(fretfile::ArchiveEntryHolds(archive, "Intro.txt", "intro"));
}

TEST_F(OpenHitTest, EnterInTheGridOpensTheSelectedRowAndOtherKeysDoNot) {
  ZipBuilder().Add("My_Song.txt", "text").WriteTo(dir.File("Some_Artist.zip"));
  SelectRow("Some Artist", "My Song.txt");
  QTest::keyRelease(form->StringGrid, Qt::Key_Down);
  EXPECT_EQ(Viewer(2), nullptr);
  QTest::keyRelease(form->StringGrid, Qt::Key_Return);
  EXPECT_NE(Viewer(2), nullptr);
}

// What the window system delivers for a double click.
void DoubleClick(QWidget* widget, QPoint at) {
  QTest::mouseClick(widget, Qt::LeftButton, {}, at);
  QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
  QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
}

TEST_F(OpenHitTest, ADoubleClickOnARowSelectsAndOpensItOnTheHeaderOrBelowTheRowsTheSelectedRow) {
  ZipBuilder().Add("My_Song.txt", "mine").Add("Your_Song.txt", "yours").WriteTo(dir.File("Some_Artist.zip"));
  SelectRow("Some Artist", "My Song.txt");
  auto& cells = form->StringGrid->Cells();
  cells.SetRowCount(3);
  cells.SetCell(0, 2, "Some Artist");
  cells.SetCell(1, 2, "Your Song.txt");
  form->StringGrid->Model()->Refresh();
  form->StringGrid->SetRow(1);

  QWidget* rows = form->StringGrid->viewport();
  DoubleClick(rows, form->StringGrid->visualRect(form->StringGrid->model()->index(1, 1)).center());
  EXPECT_EQ(MemoText(2), "yours");
  ASSERT_EQ(Viewer(3), nullptr);  // once
  DoubleClick(rows, QPoint(10, rows->height() - 5));
  EXPECT_EQ(MemoText(3), "yours");
  DoubleClick(form->StringGrid->horizontalHeader()->viewport(), QPoint(10, 5));
  EXPECT_EQ(MemoText(4), "yours");
  EXPECT_EQ(Viewer(5), nullptr);
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(OpenHitTest, EnterRightAfterASearchOpensTheFirstHit) {
  ZipBuilder().Add("My_Song.txt", "first").Add("Your_Song.txt", "second").WriteTo(dir.File("Some_Artist.zip"));
  testing_support::WriteFile(dir.File("kest.idx"), "Some Artist<>My Song.txt\r\nSome Artist<>Your Song.txt\r\n");
  form->Artistname->setFocus();
  QTest::keyClicks(form->Artistname, QStringLiteral("some"));
  QTest::keyClick(form->Artistname, Qt::Key_Return);
  ASSERT_EQ(form->StringGrid->Row(), 1);
  QTest::keyRelease(form->StringGrid, Qt::Key_Return);
  EXPECT_EQ(MemoText(2), "first");
}

TEST_F(OpenHitTest, EmptyArtistCellOrNoSelectedRowOpensNothing) {
  ZipBuilder().Add("My_Song.txt", "text").WriteTo(dir.File("_.zip"));
  Open("", "My Song.txt");
  form->StringGrid->clearSelection();
  form->StringGrid->setCurrentIndex({});
  form->DBGrid1DblClick();  // row 0 is the header, never opened
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_EQ(Viewer(2), nullptr);
}

TEST_F(OpenHitTest, MissingArchiveIsReportedAsAnInputOutputError) {
  SelectRow("Nobody", "Song.txt");
  QTest::keyRelease(form->StringGrid, Qt::Key_Return);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, platform::BoxKind::Error);
  EXPECT_EQ(dialogs.shown[0].text, "File not found.");
  EXPECT_EQ(Viewer(2), nullptr);
}

TEST_F(OpenHitTest, NoEntryOfTheSoughtNameSaysUnableToProcessIt) {
  // Names differing only in case do not match.
  ZipBuilder().Add("my_song.txt", "text").WriteTo(dir.File("Some_Artist.zip"));
  Open("Some Artist", "My Song.txt");
  EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Unable to process My_Song.txt"});
  EXPECT_EQ(Viewer(2), nullptr);
}

TEST_F(OpenHitTest, FailedExtractionSaysUnableToProcessAndShowsNothing) {
  ZipEntrySpec bad;
  bad.name = "My_Song.txt";
  bad.data = "text";
  bad.crcOverride = 0x12345678u;
  ZipBuilder().Add(bad).WriteTo(dir.File("Some_Artist.zip"));
  Open("Some Artist", "My Song.txt");
  EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Unable to process My_Song.txt"});
  EXPECT_EQ(Viewer(2), nullptr);
}

TEST_F(OpenHitTest, EntryInAFolderOfItsArchiveOpensAndLandsBelowTemp) {
  ZipBuilder().Add("Folder/", "").Add("Folder/My_Song.txt", "in a folder").WriteTo(dir.File("Some_Artist.zip"));
  Open("Some Artist", "Folder/My Song.txt");
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_EQ(ReadFile(dir.File("temp/Folder/My_Song.txt")), "in a folder");
  EXPECT_EQ(MemoText(2), "in a folder");
}

TEST_F(OpenHitTest, BackslashOfAnOldToolIsAFolderToo) {
  ZipBuilder().Add("Folder\\My_Song.txt", "old tool").WriteTo(dir.File("Some_Artist.zip"));
  Open("Some Artist", "Folder/My Song.txt");
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_EQ(ReadFile(dir.File("temp/Folder/My_Song.txt")), "old tool");
  // Saving goes to the same file.
  Viewer(2)->Memo->setPlainText(QStringLiteral("saved"));
  Viewer(2)->Save->trigger();
  EXPECT_EQ(ReadFile(dir.File("temp/Folder/My_Song.txt")), "saved");

  ZipBuilder().Add("..\\escaped.txt", "bad").WriteTo(dir.File("Old.zip"));
  Open("Old", "..\\escaped.txt");
  EXPECT_EQ(dialogs.Texts().back(), "Unable to process ..\\escaped.txt");
  EXPECT_FALSE(FileExists(dir.File("escaped.txt")));
}

TEST_F(OpenHitTest, NameThatWouldLeaveTempIsRefusedAndNothingIsWrittenOutside) {
  ZipBuilder().Add("../escaped.txt", "bad").WriteTo(dir.File("Some_Artist.zip"));
  Open("Some Artist", "../escaped.txt");
  EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Unable to process ../escaped.txt"});
  EXPECT_FALSE(FileExists(dir.File("escaped.txt")));

  // Through a link inside temp/ that points out of it.
  dialogs.shown.clear();
  std::filesystem::create_directory(dir.File("outside"));
  std::filesystem::create_directory_symlink(dir.File("outside"), dir.File("temp/link"));
  ZipBuilder().Add("link/x.txt", "bad").WriteTo(dir.File("Linked.zip"));
  Open("Linked", "link/x.txt");
  EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Unable to process link/x.txt"});
  EXPECT_FALSE(FileExists(dir.File("outside/x.txt")));
  EXPECT_EQ(Viewer(2), nullptr);
}

TEST_F(OpenHitTest, SecondOpeningDuringAnExtractionIsRefusedAndTheFirstGoesOn) {
  // Large enough that the extraction lets pending events run.
  std::string big(12 << 20, 'x');
  for (size_t i = 0; i < big.size(); i += 64) big[i] = '\n';
  ZipBuilder().Add("Big.txt", big).WriteTo(dir.File("Some_Artist.zip"));
  SelectRow("Some Artist", "Big.txt");
  bool secondRan = false;
  QTimer::singleShot(0, form.get(), [&] {
    secondRan = true;
    form->DBGrid1DblClick();
  });
  form->DBGrid1DblClick();
  ASSERT_TRUE(secondRan);
  EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Unable to process Big.txt"});
  ASSERT_NE(Viewer(2), nullptr);
  EXPECT_EQ(Viewer(3), nullptr);
  EXPECT_EQ(std::filesystem::file_size(dir.File("temp/Big.txt")), big.size());
}

TEST_F(OpenHitTest, OpeningWhileAnotherExtractionRunsIsRefusedByItsBusyMark) {
  std::string big(12 << 20, 'y');
  ZipBuilder builder;
  builder.Add("Big.txt", big).Add("My_Song.txt", "text");
  builder.WriteTo(dir.File("Some_Artist.zip"));
  SelectRow("Some Artist", "My Song.txt");
  bool openingRan = false;
  QTimer::singleShot(0, form.get(), [&] {
    openingRan = true;
    form->DBGrid1DblClick();
  });
  const int result = archive::UnzipMember(dir.File("Some_Artist.zip"), dir.File("elsewhere.txt"), 0x20,
                                          builder.HeaderOffsets()[0], {}, 0);
  EXPECT_EQ(result, archive::kUnzipOk);
  ASSERT_TRUE(openingRan);
  EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Unable to process My_Song.txt"});
  EXPECT_EQ(Viewer(2), nullptr);
  EXPECT_EQ(std::filesystem::file_size(dir.File("elsewhere.txt")), big.size());
}

TEST_F(OpenHitTest, WithAllNumbersInUseNothingIsCreated) {
  for (int n = fretfile::kFirstViewerNumber; n <= fretfile::kLastViewerNumber; ++n) {
    auto* taken = new QObject(form.get());
    taken->setObjectName(QStringLiteral("Form%1").arg(n));
    form->AddComponent(taken);
  }
  const size_t before = form->Components().size();
  ZipBuilder().Add("My_Song.txt", "text").WriteTo(dir.File("Some_Artist.zip"));
  Open("Some Artist", "My Song.txt");
  EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Unable to process My_Song.txt"});
  EXPECT_EQ(form->Components().size(), before);
}

}  // namespace
