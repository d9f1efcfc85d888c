// The save road as users drive it, with the real compression library: a
// command that arrives while a save runs (the library's call-backs let the
// window's events run, so a click lands inside the save), names that look
// like patterns or markers, another program writing the archive, and an
// archive with more than its end record's search window of bytes behind it.
// Every archive is read back by libzip afterwards.
#include <QPointer>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>

#include "open_test_fixture.h"
#include "platform/posix/shared_file.h"
#include "support/libzip_reader.h"
#include "update/component/zip_updater.h"

using testing_support::OpenFixture;
using testing_support::ReadFile;
using testing_support::ReadWithLibzip;
using testing_support::WriteFile;
using testing_support::ZipBuilder;

namespace {

constexpr const char* kQuestion = "Are you sure that you want to save this file?";

// Every entry of an archive, by name, as libzip reads it.
std::map<std::string, std::string> Contents(const std::string& archive) {
  std::map<std::string, std::string> contents;
  for (const auto& entry : ReadWithLibzip(archive)) contents[entry.name] = entry.data;
  return contents;
}

class SaveSafetyTest : public OpenFixture {
 protected:
  void SetUp() override {
    OpenFixture::SetUp();
    ZipBuilder().Add("Intro.txt", "intro").Add("Song_A.txt", "song a").Add("Other_A.txt", "other a").WriteTo(archiveA);
    ZipBuilder().Add("Song_B.txt", "song b").WriteTo(archiveB);
  }

  fretfile::TViewerWindow* OpenAndEdit(const std::string& artist, const std::string& song, const std::string& text) {
    const int number = fretfile::LowestFreeViewerNumber(*form);
    Open(artist, song);
    auto* viewer = Viewer(number);
    if (viewer != nullptr) viewer->Memo->setPlainText(QString::fromStdString(text));
    return viewer;
  }

  // Runs `during` once, from the first call-back of the next save: the
  // moment a user's click arrives while the library works.
  void DuringTheNextSave(std::function<void()> during) {
    form->ZipUpdater->OnProgress = [this, during = std::move(during)](fretfile::TZipUpdater&,
                                                                      fretfile::TZipUpdater::ProgressType,
                                                                      const std::string&, int32_t) {
      const std::function<void()> once = during;
      form->ZipUpdater->OnProgress = nullptr;  // destroys this handler: only `once` is used below
      once();
    };
  }

  std::string archiveA = dir.File("Artist_A.zip");
  std::string archiveB = dir.File("Artist_B.zip");
};

TEST_F(SaveSafetyTest, ASaveAskedForDuringASaveWaitsForItIntoAnyArchive) {
  for (const bool sameArchive : {false, true}) {
    SCOPED_TRACE(sameArchive ? "same archive" : "other archive");
    auto* first = OpenAndEdit("Artist A", "Song A.txt", "song a, edited");
    auto* second = sameArchive ? OpenAndEdit("Artist A", "Other A.txt", "other a, edited")
                               : OpenAndEdit("Artist B", "Song B.txt", "song b, edited");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    bool waited = false;
    DuringTheNextSave([&] {
      form->SaveClick(second->Save);
      waited = form->ZipUpdater->InOperation() && form->ArchiveBusy();
    });
    dialogs.shown.clear();
    form->SaveClick(first->Save);

    EXPECT_TRUE(waited);
    EXPECT_FALSE(form->ArchiveBusy());
    EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{kQuestion, kQuestion}));
    EXPECT_EQ(Contents(archiveA),
              (std::map<std::string, std::string>{{"Intro.txt", "intro"},
                                                  {"Song_A.txt", "song a, edited"},
                                                  {"Other_A.txt", sameArchive ? "other a, edited" : "other a"}}));
    // (stored by the first round)
    EXPECT_EQ(Contents(archiveB), (std::map<std::string, std::string>{{"Song_B.txt", "song b, edited"}}));
    form->CloseClick(first->Close);
    form->CloseClick(second->Close);
    FlushDeletes();
    ZipBuilder().Add("Intro.txt", "intro").Add("Song_A.txt", "song a").Add("Other_A.txt", "other a").WriteTo(archiveA);
  }
}

TEST_F(SaveSafetyTest, CloseExitAndOtherCommandsDuringASaveWaitOrAreRefused) {
  auto* viewer = OpenAndEdit("Artist A", "Song A.txt", "closed while saving");
  ASSERT_NE(viewer, nullptr);
  const QPointer<fretfile::TViewerWindow> window(viewer);
  const std::string temp = dir.File("temp");
  bool aliveAfterPump = false;
  bool tempKept = false;
  DuringTheNextSave([&] {
    form->CloseClick(viewer->Close);
    form->ExitButtonClick();
    form->IndexButtonClick();
    form->ChooseCollectionFolder1Click();
    form->InternalViewer1Click();
    Open("Artist B", "Song B.txt");
    // What the library's next call-back would let run.
    FlushDeletes();
    aliveAfterPump = !window.isNull();
    tempKept = std::filesystem::is_directory(temp);
  });
  dialogs.shown.clear();
  form->SaveClick(viewer->Save);

  EXPECT_TRUE(aliveAfterPump);
  EXPECT_TRUE(tempKept);
  const std::string busy = fretfile::TFormMain::kArchiveBusyText;
  EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{kQuestion, busy, busy, busy, busy}));
  EXPECT_TRUE(dialogs.folderQuestions.empty());
  EXPECT_EQ(Contents(archiveA).at("Song_A.txt"), "closed while saving");
  // Then the window goes, and the exit removes temp/.
  FlushDeletes();
  EXPECT_TRUE(window.isNull());
  EXPECT_EQ(Viewer(2), nullptr);
  EXPECT_FALSE(std::filesystem::exists(temp));
}

TEST_F(SaveSafetyTest, ClosingTheMainWindowDuringASaveClosesItAfterTheSave) {
  auto* viewer = OpenAndEdit("Artist A", "Song A.txt", "saved, then closed");
  ASSERT_NE(viewer, nullptr);
  bool refusedWhileSaving = false;
  DuringTheNextSave([&] { refusedWhileSaving = !form->close() && form->isVisible(); });
  form->SaveClick(viewer->Save);
  EXPECT_TRUE(refusedWhileSaving);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(Contents(archiveA).at("Song_A.txt"), "saved, then closed");
}

// A song's name is data: wildcards, brackets and the component's markers
// name exactly that song, also when the collection's folder holds them.
TEST_F(SaveSafetyTest, NamesThatLookLikePatternsOrMarkersStoreThatSong) {
  const std::vector<std::string> names = {"Song_[Live].txt", "Song_*.txt", "Song_?.txt", "Duet_<1>.txt",
                                          "Duet_>2.txt",     "A|B.txt",    ">Lead.txt"};
  for (const std::string& folder : {dir.path(), dir.File("Songs [e] <x>") + "/"}) {
    SCOPED_TRACE(folder);
    std::filesystem::create_directories(folder + "temp");
    form = std::make_unique<fretfile::TFormMain>(folder);
    UseTheBuiltLibrary();
    ZipBuilder band;
    band.Add("Song_e.txt", "the band's own e");
    for (const std::string& name : names) band.Add(name, "old " + name);
    const std::string archive = folder + "Band.zip";
    band.WriteTo(archive);
    // A song of another archive, extracted earlier, that "[Live]" matches.
    WriteFile(folder + "temp/Song_e.txt", "another band's e");

    for (const std::string& name : names) {
      SCOPED_TRACE(name);
      std::string song = name;
      std::replace(song.begin(), song.end(), '_', ' ');
      dialogs.shown.clear();
      auto* viewer = OpenAndEdit("Band", song, "new " + name);
      ASSERT_NE(viewer, nullptr);
      form->SaveClick(viewer->Save);
      EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{kQuestion});
      form->CloseClick(viewer->Close);
      FlushDeletes();
    }
    std::map<std::string, std::string> expected{{"Song_e.txt", "the band's own e"}};
    for (const std::string& name : names) expected[name] = "new " + name;
    EXPECT_EQ(Contents(archive), expected);
    for (const auto& entry : ReadWithLibzip(archive)) EXPECT_FALSE(entry.encrypted) << entry.name;
  }
}

// Another program (here flock(1), as fretfile-cli add would) holds the
// archive while it writes it: the save says so, changes nothing, and
// works once the archive is free.
TEST_F(SaveSafetyTest, AnArchiveAnotherProgramWritesIsBusyAndTheSaveCanBeRepeated) {
  auto* viewer = OpenAndEdit("Artist A", "Song A.txt", "saved when free");
  ASSERT_NE(viewer, nullptr);
  const std::string before = ReadFile(archiveA);
  QProcess holder;
  // It holds the lock until its standard input ends.
  holder.start(QStringLiteral("flock"), {QStringLiteral("-x"), QString::fromStdString(archiveA), QStringLiteral("cat")});
  ASSERT_TRUE(holder.waitForStarted());
  const auto held = [&] {
    platform::SharedFile probe;
    return probe.Open(archiveA, platform::FileAccess::Read, platform::FileShare::Shared) == EWOULDBLOCK;
  };
  for (int i = 0; i < 500 && !held(); ++i) QThread::msleep(10);
  ASSERT_TRUE(held());

  dialogs.shown.clear();
  form->SaveClick(viewer->Save);
  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_NE(dialogs.shown[1].text.find(archiveA + " is being updated by another program"), std::string::npos)
      << dialogs.shown[1].text;
  EXPECT_EQ(ReadFile(archiveA), before);

  holder.closeWriteChannel();
  ASSERT_TRUE(holder.waitForFinished());
  dialogs.shown.clear();
  form->SaveClick(viewer->Save);
  EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{kQuestion});
  EXPECT_EQ(Contents(archiveA).at("Song_A.txt"), "saved when free");
}

// The end record is found however much lies behind it: more than a comment's
// length of foreign bytes, alone or behind a comment, opens, saves, and
// leaves an archive that keeps the comment and every other entry.
TEST_F(SaveSafetyTest, AnArchiveWithManyBytesBehindItsEndRecordSaves) {
  for (const std::string comment : {"", "the archive's comment"}) {
    SCOPED_TRACE(comment.empty() ? "no comment" : "a comment");
    ZipBuilder builder;
    builder.Add("Intro.txt", "intro").Add("Song_A.txt", "song a");
    if (!comment.empty()) builder.ArchiveComment(comment);
    WriteFile(archiveA, builder.Build() + std::string(70000, 'x'));
    auto* viewer = OpenAndEdit("Artist A", "Song A.txt", "saved behind the tail");
    ASSERT_NE(viewer, nullptr);

    dialogs.shown.clear();
    form->SaveClick(viewer->Save);
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{kQuestion});
    EXPECT_EQ(Contents(archiveA),
              (std::map<std::string, std::string>{{"Intro.txt", "intro"}, {"Song_A.txt", "saved behind the tail"}}));
    EXPECT_EQ(form->ZipUpdater->ArchiveComment(), comment);
    form->CloseClick(viewer->Close);
    FlushDeletes();
  }
}

}  // namespace
