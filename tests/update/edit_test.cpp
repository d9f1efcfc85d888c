// TZipUpdater's Delete and Rename through the real compression library:
// the state and the events of an Add, the refusals that come before the
// library, and a library too old to delete or rename.
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "support/libzip_reader.h"
#include "support/zip_builder.h"
#include "update/component/updater_messages.h"
#include "update/recording_library.h"
#include "update/updater_fixture.h"

using fretfile::TZipUpdater;
using testing_support::ReadFile;
using testing_support::ReadWithLibzip;
using testing_support::UpdaterTest;
using testing_support::ZipBuilder;
namespace msg = fretfile::msg;

namespace {

class EditTest : public UpdaterTest {
 protected:
  void SetUp() override {
    updater.SetDLLDirectory(std::filesystem::path(FRETFILE_ZIPPACK_LIBRARY).parent_path().string());
    updater.Unattended = true;
    ZipBuilder().Add("a.txt", "alpha").Add("b.txt", "beta").Add("live/c.txt", "gamma").WriteTo(archive);
    updater.SetZipFileName(archive);
  }
  void TearDown() override { EXPECT_FALSE(TZipUpdater::ZipPackLoaded()); }

  std::vector<std::string> Listed() const {
    std::vector<std::string> names;
    for (size_t i = 0; i < updater.Count(); ++i) names.push_back(updater.DirEntry(i).FileName);
    return names;
  }

  const std::string archive = dir.File("band.zip");
};

TEST_F(EditTest, DeleteAndRenameRunLikeAnAdd) {
  std::vector<fretfile::ProgressType> progress;
  updater.OnProgress = [&](TZipUpdater& sender, TZipUpdater::ProgressType type, const std::string&, int32_t) {
    progress.push_back(type);
    // A second operation from a handler of the running one is refused, and
    // changes nothing.
    EXPECT_EQ(sender.Delete({"a.txt"}), 0);
    EXPECT_EQ(sender.LastErrCode(), msg::kComponentBusy);
    EXPECT_EQ(sender.Rename("a.txt", "z.txt"), 0);
    EXPECT_TRUE(sender.InOperation());
  };
  dirUpdates = 0;
  // A name the archive lacks is reported; the other still goes.
  EXPECT_EQ(updater.Delete({"b.txt", "nope.txt"}), 1);
  EXPECT_EQ(updater.ProcessedCount(), 1);
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.front().number, 40);
  EXPECT_EQ(messages.front().text, "no such entry in the archive: nope.txt");
  EXPECT_EQ(Listed(), (std::vector<std::string>{"a.txt", "live/c.txt"}));
  EXPECT_EQ(dirUpdates, 1);
  EXPECT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), fretfile::kProgressEndOfBatch);
  EXPECT_FALSE(updater.InOperation());

  // A rename reports nothing of its own: the last message is cleared.
  updater.OnProgress = nullptr;
  EXPECT_EQ(updater.Rename("live\\c.txt", "live/Gamma.txt"), 1);
  EXPECT_EQ(updater.LastMessage(), "");
  EXPECT_EQ(updater.LastErrCode(), 0);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"a.txt", "live/Gamma.txt"}));
  EXPECT_EQ(testing_support::Find(ReadWithLibzip(archive), "live/Gamma.txt")->data, "gamma");

  // A new name another entry has: nothing changes, nothing is read again.
  const std::string before = ReadFile(archive);
  dirUpdates = 0;
  EXPECT_EQ(updater.Rename("a.txt", "live/Gamma.txt"), 0);
  EXPECT_EQ(updater.LastErrCode(), 41);
  EXPECT_EQ(dirUpdates, 0);

  // CancelRequested from a handler stops the library.
  updater.OnProgress = [](TZipUpdater& sender, TZipUpdater::ProgressType, const std::string&, int32_t) {
    sender.SetCancelRequested(true);
  };
  EXPECT_EQ(updater.Delete({"a.txt"}), 0);
  EXPECT_FALSE(updater.CancelRequested());
  updater.OnProgress = nullptr;

  // Held by another program: said so, and the library is not asked.
  int held[2];
  ASSERT_EQ(::pipe(held), 0);
  const pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    const int fd = ::open(archive.c_str(), O_RDONLY);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::write(held[1], "x", 1) != 1) ::_exit(1);
    for (;;) ::pause();
  }
  char byte = 0;
  ASSERT_EQ(::read(held[0], &byte, 1), 1);
  EXPECT_EQ(updater.Delete({"a.txt"}), 0);
  EXPECT_EQ(updater.LastErrCode(), msg::kArchiveBusy);
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  ::close(held[0]);
  ::close(held[1]);
  EXPECT_EQ(ReadFile(archive), before);

  // Nothing named: refused before the library.
  EXPECT_EQ(updater.Delete({}), 0);
  EXPECT_EQ(updater.LastErrCode(), msg::kNothingToEdit);
}

TEST_F(EditTest, ALibraryWithoutZipPackEditChangesNothingAndSaysWhy) {
  testing_support::RecordingLibrary older;
  updater.SetDLLDirectory(older.Folder());
  const std::string before = ReadFile(archive);
  EXPECT_EQ(updater.Rename("a.txt", "z.txt"), 0);
  EXPECT_EQ(updater.LastErrCode(), msg::kNoEditEntry);
  EXPECT_EQ(updater.LastMessage(), TextOf(msg::kNoEditEntry));
  EXPECT_TRUE(older.Calls().empty());
  EXPECT_EQ(ReadFile(archive), before);
  EXPECT_FALSE(updater.InOperation());
}

}  // namespace
