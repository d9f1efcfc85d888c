// The internal viewer windows: their make-up, their numbers, and the "Save"
// and "Close" commands handled by the main window.
#include <QApplication>
#include <QFontInfo>
#include <QMenuBar>
#include <QTest>
#include <QTextCursor>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "open_test_fixture.h"
#include "platform/gui/error_handler.h"
#include "ui/form2.h"

using testing_support::OpenFixture;
using testing_support::ReadFile;
using testing_support::WriteFile;
using testing_support::ZipBuilder;

namespace {

class ViewerWindowTest : public OpenFixture {
 protected:
  void SetUp() override {
    OpenFixture::SetUp();
    ZipBuilder().Add("My_Song.txt", "one\ntwo").WriteTo(dir.File("Some_Artist.zip"));
  }
  void OpenSong() { Open("Some Artist", "My Song.txt"); }
  std::string Extracted() const { return ReadFile(dir.File("temp/My_Song.txt")); }
};

// The title an X11 window manager shows (_NET_WM_NAME): Qt's xcb platform
// appends " — " and the application's display name, when one was set, to
// every title that does not already end in it. A display name that was set
// stays when the application name changes; one that was not follows it.
std::string WindowManagerTitle(const QWidget& window) {
  const QString name = QCoreApplication::applicationName();
  QCoreApplication::setApplicationName(name + QStringLiteral(" (probe)"));
  const QString displayName = QGuiApplication::applicationDisplayName();
  const bool displayNameSet = displayName != QCoreApplication::applicationName();
  QCoreApplication::setApplicationName(name);
  const QString title = window.windowTitle();
  if (!displayNameSet || title.endsWith(displayName)) return title.toStdString();
  return (title + QString::fromUtf8(" — ") + displayName).toStdString();
}

TEST_F(ViewerWindowTest, WindowManagersShowTheTitlesAsTheyAre) {
  OpenSong();
  ASSERT_NE(Viewer(2), nullptr);
  EXPECT_EQ(WindowManagerTitle(*Viewer(2)), "My_Song.txt by Some Artist");
  EXPECT_EQ(WindowManagerTitle(*form), "Fretfile 1.5");
  EXPECT_EQ(WindowManagerTitle(*form->Form2), "External Viewer");
}

TEST_F(ViewerWindowTest, TextBoxBelongsToTheMainWindowAndCommandsCarryWhatTheirHandlersNeed) {
  OpenSong();
  auto* viewer = Viewer(2);
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(viewer->pos(), QPoint(0, 0));
  EXPECT_EQ(viewer->size(), QSize(544, 375));
  EXPECT_NE(viewer->minimumSize(), viewer->maximumSize());  // resizable

  // The text box belongs to the main window but sits in the viewer.
  auto* memo = viewer->Memo;
  ASSERT_NE(memo, nullptr);
  EXPECT_EQ(memo->objectName(), QStringLiteral("Memo2"));
  EXPECT_EQ(form->FindComponent(QStringLiteral("Memo2")), memo);
  EXPECT_EQ(memo->parentWidget()->window(), viewer);
  EXPECT_EQ(viewer->centralWidget(), memo);
  EXPECT_EQ(memo->Hint, "My_Song.txt");
  EXPECT_EQ(memo->font().pointSize(), 10);
  EXPECT_TRUE(QFontInfo(memo->font()).fixedPitch());

  // "Save" and "Close" first, then the menu "Song".
  const QList<QAction*> commands = viewer->menuBar()->actions();
  ASSERT_EQ(commands.size(), 3);
  EXPECT_EQ(commands[0], viewer->Save);
  EXPECT_EQ(commands[1], viewer->Close);
  EXPECT_EQ(commands[2]->text(), QStringLiteral("Song"));
  EXPECT_EQ(viewer->Save->Hint, dir.File("Some_Artist.zip") + "|My_Song.txt");
  EXPECT_EQ(viewer->Save->Tag, 2);
  EXPECT_EQ(viewer->Close->Hint, "Form2");
}

TEST_F(ViewerWindowTest, NumbersCountUpAndCloseFreesTheNumber) {
  OpenSong();
  OpenSong();
  OpenSong();
  ASSERT_NE(Viewer(4), nullptr);
  EXPECT_EQ(MemoText(3), "one\r\ntwo");  // the same extracted file in each

  Viewer(3)->Close->trigger();
  FlushDeletes();
  EXPECT_EQ(Viewer(3), nullptr);
  EXPECT_EQ(form->FindComponent(QStringLiteral("Memo3")), nullptr);
  OpenSong();
  EXPECT_NE(Viewer(3), nullptr);

  // The title-bar button only hides: the number stays in use.
  Viewer(2)->close();
  EXPECT_FALSE(Viewer(2)->isVisible());
  OpenSong();
  EXPECT_NE(Viewer(5), nullptr);
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ViewerWindowTest, SaveAsksAndWritesTheEditedTextWithCrLf) {
  OpenSong();
  Viewer(2)->Memo->setPlainText(QStringLiteral("edited\nlines"));
  Viewer(2)->Save->trigger();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, platform::BoxKind::YesNo);
  EXPECT_EQ(dialogs.shown[0].text, "Are you sure that you want to save this file?");
  EXPECT_EQ(Extracted(), "edited\r\nlines");
  EXPECT_TRUE(Viewer(2)->isVisible());  // the window stays open after a save
}

TEST_F(ViewerWindowTest, SaveAnsweredNoOrClosedWritesNothing) {
  OpenSong();
  Viewer(2)->Memo->setPlainText(QStringLiteral("edited"));
  dialogs.answers.push_back(platform::Answer::No);
  dialogs.answers.push_back(platform::Answer::Closed);
  Viewer(2)->Save->trigger();
  Viewer(2)->Save->trigger();
  EXPECT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(Extracted(), "one\ntwo");
}

TEST_F(ViewerWindowTest, SaveWritesOnlyTheTextBoxWhoseDigitsSpellItsNumber) {
  // Viewers 2 and 12: the numbers between are taken by other components.
  OpenSong();
  for (int n = 3; n <= 11; ++n) {
    auto* taken = new QObject(form.get());
    taken->setObjectName(QStringLiteral("Form%1").arg(n));
    form->AddComponent(taken);
  }
  OpenSong();
  ASSERT_NE(Viewer(12), nullptr);
  Viewer(2)->Memo->setPlainText(QStringLiteral("text of two"));
  Viewer(12)->Memo->setPlainText(QStringLiteral("text of twelve"));

  Viewer(2)->Save->trigger();
  EXPECT_EQ(Extracted(), "text of two");
  Viewer(12)->Save->trigger();
  EXPECT_EQ(Extracted(), "text of twelve");
}

TEST_F(ViewerWindowTest, BarInTheCollectionFolderDoesNotShiftTheSavedName) {
  const std::string folder = dir.File("my|songs/");
  std::filesystem::create_directory(folder);
  ZipBuilder().Add("My_Song.txt", "one").WriteTo(folder + "Some_Artist.zip");
  form = std::make_unique<fretfile::TFormMain>(folder);
  UseTheBuiltLibrary();
  OpenSong();
  Viewer(2)->Memo->setPlainText(QStringLiteral("saved"));
  Viewer(2)->Save->trigger();
  EXPECT_EQ(ReadFile(folder + "temp/My_Song.txt"), "saved");
  EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(ViewerWindowTest, UneditedTextIsSavedBackByteForByte) {
  // Not UTF-8, so Windows-1252: a no-break space, curly quotes and the euro
  // sign, the five bytes the code page leaves undefined, and a line without
  // an ending at the end; lone CR and LF come back as CR LF.
  const std::string windows1252 = "caf\xE9\xA0x \x93q\x94 \x80 \x81\x8D\x8F\x90\x9D\r\nsecond\rthird\nlast";
  // UTF-8 with a byte-order mark, NUL, the separators and non-characters a
  // text box would take for its own line breaks, and a character beyond
  // 16 bits.
  const std::string utf8 =
      "\xEF\xBB\xBF" "caf\xC3\xA9 a" + std::string(1, '\0') + "b \xE2\x80\xA8 c \xE2\x80\xA9 d \xEF\xB7\x90 "
      "\xEF\xB7\x91 \xEF\xBF\xBE \xF0\x9F\x8E\xB8\n";
  // Invalid UTF-8 (a cut sequence, an encoded surrogate) is a Windows-1252 song.
  const std::string invalid = "\xC3( \xED\xA0\x80 \xFF\r\n";
  ZipBuilder().Add("Latin.txt", windows1252).WriteTo(dir.File("Latin.zip"));
  ZipBuilder().Add("Utf8.txt", utf8).WriteTo(dir.File("Utf8.zip"));
  ZipBuilder().Add("Bad.txt", invalid).WriteTo(dir.File("Bad.zip"));
  Open("Latin", "Latin.txt");
  Open("Utf8", "Utf8.txt");
  Open("Bad", "Bad.txt");
  const auto shown = [&](int n) { return Viewer(n)->Memo->document()->toRawText(); };
  EXPECT_TRUE(shown(2).startsWith(QString::fromUtf8("caf\xC3\xA9\xC2\xA0x \xE2\x80\x9Cq\xE2\x80\x9D \xE2\x82\xAC ")));
  EXPECT_TRUE(shown(3).startsWith(QChar(0xFEFF) + QString::fromUtf8("caf\xC3\xA9")));
  EXPECT_EQ(Viewer(3)->Memo->blockCount(), 2);  // the separators are no line breaks of the text
  for (int n : {2, 3, 4}) Viewer(n)->Save->trigger();
  EXPECT_EQ(ReadFile(dir.File("temp/Latin.txt")),
            "caf\xE9\xA0x \x93q\x94 \x80 \x81\x8D\x8F\x90\x9D\r\nsecond\r\nthird\r\nlast");
  EXPECT_EQ(ReadFile(dir.File("temp/Utf8.txt")), utf8.substr(0, utf8.size() - 1) + "\r\n");
  EXPECT_EQ(ReadFile(dir.File("temp/Bad.txt")), invalid);

  // Typed into a Windows-1252 song, a character the code page has is stored
  // as its byte; one it lacks is named, and nothing is stored until it goes.
  auto* memo = Viewer(2)->Memo;
  memo->moveCursor(QTextCursor::End);
  memo->insertPlainText(QString::fromUtf8(" \xE2\x82\xAC \xCE\xA9 \xF0\x9F\x8E\xB8 \xCE\xA9"));
  dialogs.shown.clear();
  Viewer(2)->Save->trigger();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_NE(dialogs.shown[0].text.find("\xE2\x80\x9C\xCE\xA9\xE2\x80\x9D U+03A9, \xE2\x80\x9C\xF0\x9F\x8E\xB8\xE2\x80\x9D U+1F3B8."),
            std::string::npos)
      << dialogs.shown[0].text;
  EXPECT_EQ(ReadFile(dir.File("temp/Latin.txt")).back(), 't');
  memo->setPlainText(memo->toPlainText().replace(QString::fromUtf8(" \xCE\xA9 \xF0\x9F\x8E\xB8 \xCE\xA9"), QString()));
  Viewer(2)->Save->trigger();
  const std::string stored = ReadFile(dir.File("temp/Latin.txt"));
  EXPECT_EQ(stored.substr(stored.size() - 6), "last \x80");
}

TEST_F(ViewerWindowTest, SaveThatCannotWriteIsReportedByTheGeneralErrorHandler) {
  OpenSong();
  ASSERT_EQ(::chmod(dir.File("temp/My_Song.txt").c_str(), 0444), 0);
  Viewer(2)->Save->trigger();
  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(dialogs.shown[1].kind, platform::BoxKind::Error);
  EXPECT_EQ(dialogs.shown[1].text, "File access denied.");
  EXPECT_EQ(Extracted(), "one\ntwo");
}

TEST_F(ViewerWindowTest, FileThatCannotBeLoadedLeavesAHiddenWindowWithItsNumber) {
  // A folder entry extracts to a folder, which no text box can load.
  ZipBuilder().Add("Folder/", "").WriteTo(dir.File("Folders.zip"));
  SelectRow("Folders", "Folder/");
  platform::RunReportingErrors([&] { form->DBGrid1DblClick(); });
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, platform::BoxKind::Error);
  ASSERT_NE(Viewer(2), nullptr);
  EXPECT_FALSE(Viewer(2)->isVisible());
  OpenSong();
  EXPECT_NE(Viewer(3), nullptr);
}

TEST_F(ViewerWindowTest, LongTextGoesInPieceByPieceAndIsSavedWholeAtAnyTime) {
  // Far more than the first piece, with every kind of line break, some of
  // them falling where pieces end.
  std::string song;
  for (int i = 0; song.size() < 300000; ++i) {
    song += "line " + std::to_string(i) + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
  }
  song += "last";
  std::string saved;
  for (size_t i = 0; i < song.size(); ++i) {
    if (song[i] == '\r' && i + 1 < song.size() && song[i + 1] == '\n') continue;
    saved += song[i] == '\r' || song[i] == '\n' ? std::string("\r\n") : std::string(1, song[i]);
  }
  ZipBuilder().Add("Long.txt", song, testing_support::HaveZlib() ? 8 : 0).WriteTo(dir.File("Long.zip"));
  Open("Long", "Long.txt");
  auto* memo = Viewer(2)->Memo;
  EXPECT_TRUE(Viewer(2)->isVisible());
  EXPECT_TRUE(memo->Filling());
  EXPECT_TRUE(memo->toPlainText().startsWith(QStringLiteral("line 0\nline 1\n")));
  EXPECT_TRUE(memo->TextBytes() == saved);  // the text still to come counts
  // An edit typed while the text fills would land among its pieces: the
  // box takes none until the text is whole.
  memo->setFocus();
  QTest::keyClick(memo, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(memo, Qt::Key_Delete);
  QTest::keyClicks(memo, QStringLiteral("x"));
  ASSERT_TRUE(memo->Filling());
  EXPECT_TRUE(memo->TextBytes() == saved);
  Viewer(2)->Save->trigger();
  EXPECT_TRUE(ReadFile(dir.File("temp/Long.txt")) == saved);

  while (memo->Filling()) QCoreApplication::processEvents();
  EXPECT_EQ(memo->blockCount(), static_cast<int>(std::count(saved.begin(), saved.end(), '\n')) + 1);
  EXPECT_TRUE(memo->TextBytes() == saved);
  EXPECT_FALSE(memo->document()->isUndoAvailable());
  // Then edits go in, and undo takes every one of them back.
  QTest::keyClick(memo, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(memo, Qt::Key_Delete);
  QTest::keyClicks(memo, QStringLiteral("x"));
  EXPECT_EQ(memo->TextBytes(), "x");
  while (memo->document()->isUndoAvailable()) memo->undo();
  EXPECT_TRUE(memo->TextBytes() == saved);
}

}  // namespace
