// The whole road of an edit with the real compression library: open a hit
// that lies in a folder of its archive, edit it, "Save", "Yes", open it
// again and see the edit, with one entry of that name in the archive. Saved
// twice within the same two seconds, the second edit is not lost.
#include <filesystem>

#include "index/saved_song.h"
#include "open_test_fixture.h"
#include "update/component/zip_updater.h"

using testing_support::OpenFixture;
using testing_support::ReadFile;
using testing_support::ZipBuilder;

namespace {

class SaveRoadTest : public OpenFixture {
 protected:
  void SetUp() override {
    OpenFixture::SetUp();
    ZipBuilder().Add("Intro.txt", "intro").Add("live/My_Song.txt", "as recorded\r\n").WriteTo(archive);
  }

  void EditAndSave(const std::string& text) {
    Open("Some Artist", "live/My Song.txt");
    auto* viewer = Viewer(2);
    ASSERT_NE(viewer, nullptr);
    viewer->Memo->setPlainText(QString::fromStdString(text));
    form->SaveClick(viewer->Save);
    form->CloseClick(viewer->Close);
    FlushDeletes();
  }

  std::string archive = dir.File("Some_Artist.zip");
};

TEST_F(SaveRoadTest, AnEditInAFolderEntryIsStoredInPlaceAndOpensAgain) {
  EditAndSave("edited once");
  EditAndSave("edited twice");  // within the same two seconds as the first

  Open("Some Artist", "live/My Song.txt");
  EXPECT_EQ(MemoText(2), "edited twice");
  EXPECT_TRUE(fretfile::ArchiveEntryHolds(archive, "live/My_Song.txt", "edited twice"));
  EXPECT_TRUE(fretfile::ArchiveEntryHolds(archive, "Intro.txt", "intro"));
  // Only the two questions: nothing said the save failed.
  EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{"Are you sure that you want to save this file?",
                                                       "Are you sure that you want to save this file?"}));
}

TEST_F(SaveRoadTest, ASaveThatStoresNothingSaysSoAndKeepsTheEdit) {
  // A read-only archive is refused by the library; the edit stays in temp/.
  std::filesystem::permissions(archive, std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                            std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
  const std::string before = ReadFile(archive);
  EditAndSave("not stored");
  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(dialogs.shown[1].text.rfind("The song was not stored in its archive " + archive + ".\n", 0), 0u)
      << dialogs.shown[1].text;
  EXPECT_NE(dialogs.shown[1].text.find(form->ZipUpdater->LastMessage()), std::string::npos);
  EXPECT_FALSE(form->ZipUpdater->LastMessage().empty());
  EXPECT_EQ(ReadFile(archive), before);
  EXPECT_EQ(ReadFile(dir.File("temp/live/My_Song.txt")), "not stored");
}

}  // namespace
