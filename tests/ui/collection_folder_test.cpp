// The collection folder: which folder the program starts on (the one named
// on the command line, its own folder, the remembered choice), the menu item
// that switches to another one, a window without a collection, and the
// command line of the program itself.
#include <QTimer>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <optional>

#include "index/collection_choice.h"
#include "open_test_fixture.h"
#include "run_until_quit.h"
#include "ui/form2.h"
#include "ui/program_arguments.h"

using fretfile::ParseProgramArguments;
using fretfile::ProgramArguments;
using fretfile::StartCollectionFolder;
using fretfile::TFormMain;
using testing_support::ConfigHome;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

class CollectionFolderTest : public testing_support::OpenFixture {
 protected:
  std::string_view Cell(int column, int row) const { return form->StringGrid->Cells().Cell(column, row); }

  TempDir other;
};

}  // namespace

TEST(CollectionStart, ArgumentThenTheProgramsOwnCollectionThenTheRememberedChoice) {
  ConfigHome config;
  TempDir program, chosen, named;
  // An installed program: nothing beside it, nothing remembered: ask.
  EXPECT_EQ(StartCollectionFolder(program.path(), ""), "");
  EXPECT_EQ(StartCollectionFolder(program.path(), named.path()), named.path());
  std::filesystem::create_directory(program.File("folder.zip"));  // a folder is no archive
  EXPECT_EQ(StartCollectionFolder(program.path(), ""), "");

  fretfile::RememberCollectionFolder(chosen.path());
  EXPECT_EQ(ReadFile(config.dir.File("fretfile/fretfile.conf")), "[Collection]\r\nFolder=" + chosen.path() + "\r\n");
  EXPECT_EQ(StartCollectionFolder(program.path(), ""), chosen.path());
  EXPECT_EQ(StartCollectionFolder(program.path(), named.path()), named.path());

  // The program copied into the folder of its archives, or of its index,
  // uses that folder whatever was remembered.
  WriteFile(program.File("Some_Band.ZIP"), "");
  EXPECT_EQ(StartCollectionFolder(program.path(), ""), program.path());
  std::filesystem::remove(program.File("Some_Band.ZIP"));
  WriteFile(program.File("kest.idx"), "");
  EXPECT_EQ(StartCollectionFolder(program.path(), ""), program.path());
  std::filesystem::remove(program.File("kest.idx"));

  // A remembered folder that is gone is asked for again.
  std::filesystem::remove_all(chosen.path());
  EXPECT_EQ(StartCollectionFolder(program.path(), ""), "");
}

TEST_F(CollectionFolderTest, TheMenuItemSwitchesTheWindowToTheChosenFolderAndRemembersIt) {
  const QList<QAction*> items = form->File1->actions();
  // The item, Find in Lyrics, the songs' three items between separators, Exit.
  ASSERT_EQ(items.size(), 8);
  EXPECT_EQ(items[0]->text(), "Choose Collection Folder...");
  EXPECT_EQ(items[7], form->Exit1);

  WriteFile(dir.File("kest.idx"), "Old Band<>Old Song.txt\r\n");
  WriteFile(other.File("kest.idx"), "New Band<>New Song.txt\r\n");
  WriteFile(other.File("kest.ini"), "[Ext Viewers]\r\nPath=/usr/bin/\r\nName=gedit\r\n");
  form->SearchButtonClick();
  ASSERT_EQ(Cell(0, 1), "Old Band");

  // Cancelled: nothing changes.
  form->ChooseCollectionFolder1->trigger();
  ASSERT_EQ(dialogs.folderQuestions.size(), 1u);
  EXPECT_EQ(dialogs.folderQuestions[0].startFolder, dir.path());
  EXPECT_EQ(form->AppDir(), dir.path());
  EXPECT_EQ(Cell(0, 1), "Old Band");
  EXPECT_EQ(fretfile::RememberedCollectionFolder(), "");

  // The chooser gives the folder without the separator.
  dialogs.folderAnswers = {other.path().substr(0, other.path().size() - 1)};
  form->ChooseCollectionFolder1->trigger();
  EXPECT_EQ(form->AppDir(), other.path());
  EXPECT_TRUE(FileExists(other.File("temp")));
  EXPECT_EQ(form->ViewerCommand(), "/usr/bin/gedit");
  EXPECT_EQ(form->Form2->Edit1->text(), "gedit");
  EXPECT_EQ(form->StringGrid->Cells().RowCount(), 2);
  EXPECT_EQ(Cell(0, 0), "Artist Name");
  EXPECT_EQ(Cell(0, 1), "");
  EXPECT_EQ(fretfile::RememberedCollectionFolder(), other.path());
  form->SearchButtonClick();
  EXPECT_EQ(Cell(0, 1), "New Band");
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(CollectionFolderTest, OpenViewerWindowsAreClosedOnlyWhenTheUserSaysSo) {
  testing_support::ZipBuilder().Add("My_Song.txt", "words").WriteTo(dir.File("Some_Artist.zip"));
  Open("Some Artist", "My Song.txt");
  ASSERT_NE(Viewer(2), nullptr);

  dialogs.answers = {platform::Answer::No};
  dialogs.folderAnswers = {other.path()};
  form->ChooseCollectionFolder1->trigger();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, platform::BoxKind::YesNo);
  EXPECT_EQ(form->AppDir(), dir.path());
  EXPECT_NE(Viewer(2), nullptr);
  EXPECT_EQ(fretfile::RememberedCollectionFolder(), "");

  dialogs.folderAnswers = {other.path()};
  form->ChooseCollectionFolder1->trigger();
  FlushDeletes();
  EXPECT_EQ(Viewer(2), nullptr);
  EXPECT_EQ(form->FindComponent(QStringLiteral("Memo2")), nullptr);
  EXPECT_EQ(form->AppDir(), other.path());
}

TEST_F(CollectionFolderTest, AWindowWithoutACollectionWritesNothingAndTellsHowToChooseOne) {
  // Relative paths would land in the current folder: a temp/ there must
  // survive the Exit button, and nothing may be created.
  TempDir current;
  WriteFile(current.File("temp/keep.txt"), "x");
  const auto before = std::filesystem::current_path();
  std::filesystem::current_path(current.path());
  auto bare = std::make_unique<TFormMain>("");
  bare->show();
  EXPECT_EQ(bare->StatusText(), TFormMain::kNoCollectionText);
  EXPECT_EQ(bare->Form2, nullptr);
  bare->SearchButtonClick();
  bare->IndexButtonClick();
  bare->InternalViewer1->trigger();
  EXPECT_EQ(dialogs.Texts(), std::vector<std::string>(3, TFormMain::kNoCollectionText));
  bare->ExitButtonClick();
  EXPECT_EQ(testing_support::RunUntilQuit(), 0);
  std::filesystem::current_path(before);
  // temp/ and temp/keep.txt, nothing else.
  EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(current.path()), {}), 2);
  EXPECT_FALSE(FileExists(config.dir.File("fretfile")));

  // The first question at start is the menu item's chooser.
  dialogs.folderAnswers = {other.path()};
  bare->ChooseCollectionFolder1Click();
  EXPECT_EQ(bare->AppDir(), other.path());
  EXPECT_NE(bare->Form2, nullptr);
  EXPECT_EQ(fretfile::RememberedCollectionFolder(), other.path());
}

TEST(ProgramArguments, AFolderNamedOnTheCommandLineMustExistAndIsMadeAbsolute) {
  using Request = ProgramArguments::Request;
  TempDir dir;
  const std::string folder = dir.path().substr(0, dir.path().size() - 1);
  EXPECT_EQ(ParseProgramArguments({"--collection", folder}).collection, dir.path());
  EXPECT_EQ(ParseProgramArguments({"--collection=" + folder + "/./"}).collection, dir.path());
  EXPECT_EQ(ParseProgramArguments({"."}).collection, std::filesystem::current_path().string() + "/");
  EXPECT_EQ(ParseProgramArguments({}).collection, "");

  WriteFile(dir.File("file"), "");
  EXPECT_EQ(ParseProgramArguments({dir.File("missing")}).error, "no such folder: " + dir.File("missing"));
  EXPECT_EQ(ParseProgramArguments({dir.File("file")}).error, "not a folder: " + dir.File("file"));
  EXPECT_EQ(ParseProgramArguments({"--collection"}).request, Request::Error);
  EXPECT_EQ(ParseProgramArguments({"-x"}).error, "unknown option: -x");
  EXPECT_EQ(ParseProgramArguments({folder, folder}).request, Request::Error);
  // --version and --help are answered before Qt's own options are taken out.
  EXPECT_EQ(ParseProgramArguments({"-platform", "offscreen", "--version"}).request, Request::Version);
  EXPECT_EQ(ParseProgramArguments({dir.File("missing"), "-h"}).request, Request::Help);
}

TEST(ProgramArguments, BothProgramsPrintTheirVersionWithoutADisplayAndAMissingFolderEndsTheProgram) {
  // Tests live in <build>/tests, the programs in <build>/src and <build>/tools.
  const auto build = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path();
  const std::string program = (build / "src" / "fretfile").string();
  const std::string cli = (build / "tools" / "fretfile-cli").string();
  ASSERT_TRUE(FileExists(program) && FileExists(cli)) << "fretfile or fretfile-cli not built in " << build;
  TempDir scratch;
  const auto run = [&](const std::string& command) {
    const std::string line = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + command + " >'" +
                             scratch.File("out") + "' 2>'" + scratch.File("err") + "'";
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(run("'" + program + "' --version"), 0);
  EXPECT_EQ(ReadFile(scratch.File("out")), std::string("Fretfile ") + FRETFILE_VERSION + "\n");
  EXPECT_EQ(run("'" + cli + "' --version"), 0);
  EXPECT_EQ(ReadFile(scratch.File("out")), std::string("fretfile-cli (Fretfile) ") + FRETFILE_VERSION + "\n");
  EXPECT_EQ(run("QT_QPA_PLATFORM=offscreen '" + program + "' --collection '" + scratch.File("missing") + "'"), 2);
  EXPECT_NE(ReadFile(scratch.File("err")).find("fretfile: no such folder: " + scratch.File("missing")),
            std::string::npos);
  EXPECT_EQ(ReadFile(scratch.File("out")), "");
}
