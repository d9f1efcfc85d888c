// The viewer's menu "Song": transposing as an edit, chords drawn apart, the
// text size remembered for every viewer, auto-scroll, the PDF export.
#include <QApplication>
#include <QMenuBar>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QWheelEvent>

#include "open_test_fixture.h"
#include "support/pdf_reader.h"
#include "ui/viewer_play.h"

using testing_support::FileExists;
using testing_support::OpenFixture;
using testing_support::PdfPages;
using testing_support::PdfText;
using testing_support::ReadFile;
using testing_support::ZipBuilder;

namespace {

class SongMenuTest : public OpenFixture {
 protected:
  void SetUp() override {
    OpenFixture::SetUp();
    ZipBuilder()
        .Add("My_Song.txt", "G    D/F#\r\nA man, Am I [Em]\r\n")
        .Add("Other.txt", "C\r\n")
        .WriteTo(dir.File("Some_Artist.zip"));
  }
  QAction* Command(int n, const char* name) const { return Viewer(n)->findChild<QAction*>(QString::fromLatin1(name)); }
  int PointSize(int n) const { return Viewer(n)->Memo->font().pointSize(); }
  // The characters of a line drawn bold.
  static std::string Bold(const QTextBlock& block) {
    std::string marks(static_cast<size_t>(block.length() - 1), '.');
    for (const auto& range : block.layout()->formats()) {
      if (range.format.fontWeight() != QFont::Bold) continue;
      for (int at = range.start; at < range.start + range.length; ++at) marks[static_cast<size_t>(at)] = 'B';
    }
    return marks;
  }
};

TEST_F(SongMenuTest, TransposeIsOneEditUndoTakesBackAndSaveStoresChordsDrawnBold) {
  Open("Some Artist", "My Song.txt");
  auto* memo = Viewer(2)->Memo;
  const QTextBlock first = memo->document()->firstBlock();
  EXPECT_EQ(Bold(first), "B....BBBB");
  EXPECT_EQ(Bold(first.next()), ".............BB.");  // the words "A" and "Am" are no chords

  Command(2, "TransposeUp")->trigger();
  EXPECT_EQ(MemoText(2), "Ab   Eb/G\r\nA man, Am I [Fm]\r\n");
  EXPECT_EQ(Bold(memo->document()->firstBlock()), "BB...BBBB");
  memo->undo();
  EXPECT_EQ(MemoText(2), "G    D/F#\r\nA man, Am I [Em]\r\n");
  EXPECT_FALSE(memo->document()->isUndoAvailable());  // it was one edit

  Command(2, "TransposeDown")->trigger();
  Command(2, "TransposeDown")->trigger();
  EXPECT_EQ(MemoText(2), "F    C/E\r\nA man, Am I [Dm]\r\n");
  Viewer(2)->Save->trigger();
  EXPECT_EQ(ReadFile(dir.File("temp/My_Song.txt")), "F    C/E\r\nA man, Am I [Dm]\r\n");
}

TEST_F(SongMenuTest, TextSizeIsRememberedForEveryViewerAndCtrlWheelZooms) {
  Open("Some Artist", "My Song.txt");
  EXPECT_EQ(PointSize(2), 10);
  Command(2, "ZoomIn")->trigger();
  Command(2, "ZoomIn")->trigger();
  EXPECT_EQ(PointSize(2), 12);
  Open("Some Artist", "Other.txt");
  EXPECT_EQ(PointSize(3), 12);

  auto wheel = [&](Qt::KeyboardModifiers modifiers, int angle) {
    QWidget* viewport = Viewer(3)->Memo->viewport();
    QWheelEvent event(QPointF(5, 5), viewport->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, angle), Qt::NoButton,
                      modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &event);
  };
  wheel(Qt::ControlModifier, 120);
  EXPECT_EQ(PointSize(3), 14);
  wheel(Qt::ControlModifier, -60);  // half a notch is no step yet
  EXPECT_EQ(PointSize(3), 14);
  wheel(Qt::ControlModifier, -60);
  wheel(Qt::ControlModifier, -120);
  EXPECT_EQ(PointSize(3), 11);
  wheel(Qt::NoModifier, 120);
  EXPECT_EQ(PointSize(3), 11);

  // The next start of the program finds the size again; Actual Size is 10.
  form.reset();
  MakeForm();
  Open("Some Artist", "My Song.txt");
  EXPECT_EQ(PointSize(2), 11);
  Command(2, "ActualSize")->trigger();
  Open("Some Artist", "My Song.txt");
  EXPECT_EQ(PointSize(3), 10);
  EXPECT_TRUE(FileExists(config.dir.File("fretfile/viewer.conf")));
}

TEST_F(SongMenuTest, AutoScrollPausesOnAKeyOrClickAndRemembersTheSpeedOfEachSong) {
  std::string lines;
  for (int n = 1; n <= 200; ++n) lines += "line " + std::to_string(n) + "\n";
  ZipBuilder().Add("Long.txt", lines).Add("Short.txt", "one\n").WriteTo(dir.File("Band.zip"));
  Open("Band", "Long.txt");
  auto* scroll = Viewer(2)->Memo->findChild<fretfile::AutoScroll*>();
  ASSERT_NE(scroll, nullptr);
  QAction* toggle = Command(2, "AutoScroll");
  QScrollBar* bar = Viewer(2)->Memo->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 2);

  toggle->trigger();
  EXPECT_TRUE(scroll->Running());
  EXPECT_TRUE(toggle->isChecked());
  // The text glides: half a line up is half a line's pixels, a whole line
  // is the scroll bar's next line.
  const qreal line = scroll->LineHeight();
  ASSERT_GT(line, 8);
  scroll->Advance(line / 2);
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(Viewer(2)->Memo->Lift(), static_cast<int>(line / 2));
  scroll->Advance(line / 2 + 1);
  EXPECT_EQ(bar->value(), 1);
  EXPECT_EQ(Viewer(2)->Memo->Lift(), 1);
  QTest::keyClick(Viewer(2)->Memo, Qt::Key_Down);
  EXPECT_FALSE(scroll->Running());
  EXPECT_FALSE(toggle->isChecked());
  toggle->trigger();
  QTest::mouseClick(Viewer(2)->Memo->viewport(), Qt::LeftButton);
  EXPECT_FALSE(scroll->Running());
  toggle->trigger();
  toggle->trigger();
  EXPECT_FALSE(scroll->Running());  // Ctrl+Space stops it too

  // At the end of the text it stops by itself.
  toggle->trigger();
  bar->setValue(bar->maximum() - 1);
  scroll->Advance(3 * line);
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_EQ(Viewer(2)->Memo->Lift(), 0);
  EXPECT_FALSE(scroll->Running());

  EXPECT_EQ(scroll->Speed(), fretfile::AutoScroll::kDefaultSpeed);
  Command(2, "ScrollFaster")->trigger();
  EXPECT_EQ(scroll->Speed(), 25);
  Command(2, "ScrollSlower")->trigger();
  Command(2, "ScrollSlower")->trigger();
  EXPECT_EQ(scroll->Speed(), 16);
  Open("Band", "Long.txt");
  EXPECT_EQ(Viewer(3)->Memo->findChild<fretfile::AutoScroll*>()->Speed(), 16);
  Open("Band", "Short.txt");
  EXPECT_EQ(Viewer(4)->Memo->findChild<fretfile::AutoScroll*>()->Speed(), fretfile::AutoScroll::kDefaultSpeed);
  // Nothing below the window: nothing to scroll.
  Command(4, "AutoScroll")->trigger();
  EXPECT_FALSE(Viewer(4)->Memo->findChild<fretfile::AutoScroll*>()->Running());
}

TEST_F(SongMenuTest, ExportPdfWritesTheSongAsItStandsOrSaysWhyNot) {
  Open("Some Artist", "My Song.txt");
  Command(2, "TransposeUp")->trigger();
  dialogs.saveFileAnswers.push_back(dir.File("song.pdf"));
  Command(2, "ExportPdf")->trigger();
  ASSERT_EQ(dialogs.saveFileQuestions.size(), 1u);
  EXPECT_EQ(dialogs.saveFileQuestions[0].filter, "PDF files (*.pdf)");
  EXPECT_TRUE(dialogs.saveFileQuestions[0].startPath.ends_with("/My Song by Some Artist.pdf"));
  EXPECT_EQ(PdfPages(dir.File("song.pdf"), dir), 1);
  const std::string text = PdfText(dir.File("song.pdf"), "-layout", dir);
  EXPECT_EQ(text.find("My Song by Some Artist\nPage 1 of 1\n\nAb   Eb/G\nA man, Am I [Fm]\n"), 0u) << text;
  EXPECT_TRUE(dialogs.shown.empty());

  // Cancelled: nothing; a folder that is not there: a message, no file.
  Command(2, "ExportPdf")->trigger();
  dialogs.saveFileAnswers.push_back(dir.File("none/song.pdf"));
  Command(2, "ExportPdf")->trigger();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text.rfind("Unable to write " + dir.File("none/song.pdf") + ": ", 0), 0u);
  EXPECT_FALSE(FileExists(dir.File("none/song.pdf")));
}

}  // namespace
