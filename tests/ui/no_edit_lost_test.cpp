// No edit is lost: a song changed in the user's own editor goes back into
// its archive after one question, a changed viewer is never closed without
// one, and an edit a program left behind when it was killed is offered at
// the next start. Real editors are stood in for by small scripts, started
// as the external viewer is, as child processes.
#include <sys/stat.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <filesystem>

#include "index/song_record.h"
#include "open_test_fixture.h"
#include "support/libzip_reader.h"

using testing_support::OpenFixture;
using testing_support::ReadFile;
using testing_support::ReadWithLibzip;
using testing_support::WriteFile;
using testing_support::ZipBuilder;

namespace {

class NoEditLostTest : public OpenFixture {
 protected:
  void SetUp() override {
    ZipBuilder().Add("Intro.txt", "intro").Add("My_Song.txt", "as recorded\r\n").WriteTo(archive);
  }

  std::string Stored(const std::string& entry) const {
    for (const auto& content : ReadWithLibzip(archive)) {
      if (content.name == entry) return content.data;
    }
    return "<missing>";
  }

  // Lets the window's events run until `done` holds, or ten seconds pass.
  template <typename Condition>
  static bool WaitFor(Condition done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
  }

  void UseEditor(const std::string& script) {
    WriteFile(dir.File("editor.sh"), "#!/bin/sh\n" + script);
    ASSERT_EQ(::chmod(dir.File("editor.sh").c_str(), 0755), 0);
    WriteFile(dir.File("kest.ini"), "[Ext Viewers]\r\nPath=" + dir.path() + "\r\nName=editor.sh\r\n");
    MakeForm();
    form->InternalViewer->setChecked(false);
    form->activateWindow();
    QCoreApplication::processEvents();
  }

  std::string archive = dir.File("Some_Artist.zip");
};

TEST_F(NoEditLostTest, ASongChangedInAnotherProgramIsStoredAfterOneYes) {
  // An editor that rewrites the file in place, one that writes a new file
  // and renames it over the old one, and one that saves twice.
  const std::vector<std::pair<std::string, std::vector<std::string>>> editors = {
      {"sleep 0.2; printf 'in place' > \"$1\"\n", {"in place"}},
      {"sleep 0.2; printf 'renamed' > \"$1.new\" && mv \"$1.new\" \"$1\"\n", {"renamed"}},
      {"sleep 0.2; printf 'first' > \"$1\"; sleep 1; printf 'second' > \"$1\"\n", {"first", "second"}},
  };
  for (const auto& [script, texts] : editors) {
    SCOPED_TRACE(script);
    UseEditor(script);
    ASSERT_EQ(QGuiApplication::applicationState(), Qt::ApplicationActive);
    dialogs.shown.clear();
    Open("Some Artist", "My Song.txt");
    ASSERT_TRUE(WaitFor([&] { return Stored("My_Song.txt") == texts.back(); })) << Stored("My_Song.txt");
    const std::string question =
        "The song My_Song.txt by Some Artist was changed in another program. Store it in its archive?";
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>(texts.size(), question));
    EXPECT_EQ(Stored("Intro.txt"), "intro");
    EXPECT_EQ(Viewer(2), nullptr);
  }

  // Declined, the change stays where the editor left it and nothing asks
  // about it again, not even the exit.
  UseEditor("sleep 0.2; printf 'not wanted' > \"$1\"\n");
  dialogs.shown.clear();
  dialogs.answers = {platform::Answer::No};
  Open("Some Artist", "My Song.txt");
  ASSERT_TRUE(WaitFor([&] { return dialogs.shown.size() == 1; }));
  EXPECT_EQ(Stored("My_Song.txt"), "second");
  form->ExitButtonClick();
  EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(NoEditLostTest, CloseAsksOnlyForAChangedText) {
  MakeForm();
  Open("Some Artist", "My Song.txt");
  Viewer(2)->Close->trigger();
  EXPECT_TRUE(dialogs.shown.empty());  // unchanged: it closes as it always did

  const std::string question = "Save the changes to My_Song.txt by Some Artist before closing?";
  for (const platform::Answer answer : {platform::Answer::Cancel, platform::Answer::Discard, platform::Answer::Save}) {
    Open("Some Artist", "My Song.txt");
    ASSERT_NE(Viewer(2), nullptr);
    Viewer(2)->Memo->setPlainText(QStringLiteral("changed"));
    dialogs.shown.clear();
    dialogs.answers = {answer};
    Viewer(2)->Close->trigger();
    FlushDeletes();
    ASSERT_EQ(dialogs.Texts(), std::vector<std::string>{question});
    EXPECT_EQ(dialogs.shown[0].kind, platform::BoxKind::SaveDiscardCancel);
    if (answer == platform::Answer::Cancel) {
      ASSERT_NE(Viewer(2), nullptr);  // stays, with its text
      EXPECT_EQ(MemoText(2), "changed");
      dialogs.answers = {platform::Answer::Discard};
      Viewer(2)->Close->trigger();
      FlushDeletes();
    }
    EXPECT_EQ(Viewer(2), nullptr);
    EXPECT_EQ(Stored("My_Song.txt"), answer == platform::Answer::Save ? "changed" : "as recorded\r\n");
  }
}

TEST_F(NoEditLostTest, ExitAsksOnceForEveryChangeAndSavesThemAll) {
  ZipBuilder().Add("Other.txt", "other").WriteTo(dir.File("Other_Band.zip"));
  MakeForm();
  Open("Some Artist", "My Song.txt");
  Open("Other Band", "Other.txt");
  Viewer(2)->Memo->setPlainText(QStringLiteral("mine, changed"));
  Viewer(3)->Memo->setPlainText(QStringLiteral("other, changed"));
  const std::string question = "Save the changes to My_Song.txt by Some Artist and Other.txt by Other Band "
                               "before closing?";

  dialogs.answers = {platform::Answer::Cancel};
  form->ExitButtonClick();
  EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{question});
  EXPECT_TRUE(std::filesystem::exists(dir.File("temp")));

  dialogs.shown.clear();
  form->ExitButtonClick();  // answered Save
  EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{question});
  EXPECT_EQ(Stored("My_Song.txt"), "mine, changed");
  EXPECT_EQ(ReadWithLibzip(dir.File("Other_Band.zip"))[0].data, "other, changed");
  EXPECT_FALSE(std::filesystem::exists(dir.File("temp")));
}

// A program that ends without its exit (killed, or the machine went down)
// leaves its records and drafts in temp/; the next start offers the edit.
TEST_F(NoEditLostTest, AnEditAKilledProgramLeftIsOfferedAtTheNextStartAndStored) {
  MakeForm();
  Open("Some Artist", "My Song.txt");
  Viewer(2)->Memo->setPlainText(QStringLiteral("typed, never saved"));
  ASSERT_TRUE(WaitFor([&] { return fretfile::FindUnstoredEdits(dir.path()).size() == 1; }));
  const std::string before = ReadFile(archive);
  // The window goes without its exit, writing and removing nothing: on disk,
  // what a kill leaves.
  form.reset();

  MakeForm();
  form->OfferUnstoredEdits();
  ASSERT_EQ(dialogs.Texts(),
            std::vector<std::string>{"An edit of My_Song.txt by Some Artist was never stored in its archive."});
  EXPECT_EQ(dialogs.shown[0].kind, platform::BoxKind::StoreOpenDiscard);
  EXPECT_EQ(Stored("My_Song.txt"), "typed, never saved");
  EXPECT_NE(ReadFile(archive), before);
  // Stored, it is offered no more.
  dialogs.shown.clear();
  form->OfferUnstoredEdits();
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_TRUE(fretfile::FindUnstoredEdits(dir.path()).empty());

  // Opened instead, the edit is in a viewer, and Exit still asks for it.
  Open("Some Artist", "My Song.txt");
  Viewer(2)->Memo->setPlainText(QStringLiteral("second edit"));
  form->WriteDrafts();
  form.reset();
  MakeForm();
  dialogs.shown.clear();
  dialogs.answers = {platform::Answer::Open};
  form->OfferUnstoredEdits();
  ASSERT_NE(Viewer(2), nullptr);
  EXPECT_EQ(MemoText(2), "second edit");
  dialogs.answers = {platform::Answer::Discard};
  form->ExitButtonClick();
  EXPECT_EQ(dialogs.shown.back().text, "Save the changes to My_Song.txt by Some Artist before closing?");
  EXPECT_EQ(Stored("My_Song.txt"), "typed, never saved");
  EXPECT_FALSE(std::filesystem::exists(dir.File("temp")));
}

}  // namespace
