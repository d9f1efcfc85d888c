// Opening a hit with "Use Internal Viewer" not ticked: the external viewer
// program is started with the extracted file's path; when it cannot be
// started and the desktop has no program for the file either (the offscreen
// platform offers none), the internal viewer opens as the last resort.
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "open_test_fixture.h"

using testing_support::FileExists;
using testing_support::OpenFixture;
using testing_support::ReadFile;
using testing_support::WriteFile;
using testing_support::ZipBuilder;

namespace {

class OpenExternalTest : public OpenFixture {
 protected:
  void SetUp() override {}  // the window is made once kest.ini is in place

  void WriteViewerIni(const std::string& path, const std::string& name) {
    WriteFile(dir.File("kest.ini"), "[Ext Viewers]\r\nPath=" + path + "\r\nName=" + name + "\r\n");
  }
};

TEST_F(OpenExternalTest, ViewerProgramIsStartedWithTheExtractedPath) {
  // A real program that records its one argument.
  const std::string record = dir.File("argument.txt");
  WriteFile(dir.File("viewer.sh"), "#!/bin/sh\nprintf '%s' \"$1\" > '" + record + ".part' && mv '" + record +
                                       ".part' '" + record + "'\n");
  ASSERT_EQ(::chmod(dir.File("viewer.sh").c_str(), 0755), 0);
  WriteViewerIni(dir.path(), "viewer.sh");
  MakeForm();
  ASSERT_EQ(form->ViewerCommand(), dir.File("viewer.sh"));
  form->InternalViewer->setChecked(false);

  ZipBuilder().Add("My_Song.txt", "text").WriteTo(dir.File("Some_Artist.zip"));
  Open("Some Artist", "My Song.txt");

  for (int i = 0; i < 500 && !FileExists(record); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(FileExists(record));
  EXPECT_EQ(ReadFile(record), dir.File("temp/My_Song.txt"));
  EXPECT_EQ(Viewer(2), nullptr);
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(OpenExternalTest, InternalViewerOpensWhenNeitherStartSucceeds) {
  WriteViewerIni(dir.File("no-such-folder/"), "viewer");
  MakeForm();
  form->InternalViewer->setChecked(false);
  ZipBuilder().Add("My_Song.txt", "text").WriteTo(dir.File("Some_Artist.zip"));
  Open("Some Artist", "My Song.txt");
  ASSERT_NE(Viewer(2), nullptr);
  EXPECT_TRUE(Viewer(2)->isVisible());
  EXPECT_EQ(MemoText(2), "text");
}

TEST_F(OpenExternalTest, EmptyViewerCommandWithoutIniFallsBackAsWell) {
  MakeForm();
  EXPECT_EQ(form->ViewerCommand(), "");
  form->InternalViewer->setChecked(false);
  ZipBuilder().Add("My_Song.txt", "text").WriteTo(dir.File("Some_Artist.zip"));
  Open("Some Artist", "My Song.txt");
  EXPECT_NE(Viewer(2), nullptr);
}

}  // namespace
