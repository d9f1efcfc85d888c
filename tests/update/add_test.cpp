// Add, driven against the recording stand-in of the compression library:
// the block as the library receives it, every call-back answer, the
// password prompts, and the ways an Add ends early.
#include <stdexcept>

#include "support/zip_builder.h"
#include "update/component/updater_messages.h"
#include "update/recording_library.h"
#include "update/updater_fixture.h"

using fretfile::TZipUpdater;
using testing_support::RecordingLibrary;
using testing_support::UpdaterTest;
using testing_support::ZipBuilder;
namespace msg = fretfile::msg;

namespace {

class AddTest : public UpdaterTest {
 protected:
  void SetUp() override {
    updater.SetDLLDirectory(library.Folder());
    updater.Unattended = true;
    updater.SetZipFileName(dir.File("new.zip"));  // not made yet: the library would make it
  }
  void TearDown() override { EXPECT_FALSE(TZipUpdater::ZipPackLoaded()); }

  RecordingLibrary::Call OnlyCall() const {
    const auto calls = library.Calls();
    EXPECT_EQ(calls.size(), 1u);
    return calls.empty() ? RecordingLibrary::Call{} : calls.back();
  }

  RecordingLibrary library;
};

TEST_F(AddTest, TheLibraryReceivesTheSettingsAndOneRecordPerLine) {
  ZipBuilder().Add("old.txt", "old").ArchiveComment("the band").WriteTo(dir.File("band.zip"));
  updater.SetZipFileName(dir.File("band.zip"));
  updater.AddOptions = {fretfile::AddRecurseDirs, fretfile::AddMove,         fretfile::AddFreshen,
                        fretfile::AddHiddenFiles, fretfile::AddEncrypt,      fretfile::AddSeparateDirs,
                        fretfile::AddZipTime,     fretfile::AddArchiveOnly,  fretfile::AddForceDOS};
  updater.SetPassword(std::string(90, 'p'));
  updater.AddCompLevel = 5;
  updater.SetRootDir("/songs");
  updater.TempDir = "/var/tmp";
  updater.Verbose = true;
  // A file's name is never read for markers or wildcards.
  const std::string named = dir.File(">Duet [live] <1>|.txt");
  testing_support::WriteFile(named, "song");
  updater.FSpecArgs = {"plain.txt", ">deep", "|flat<own", "nopw<", named};
  updater.FSpecArgsExcl = {"*.bak"};
  dirUpdates = 0;
  updater.Add();

  auto call = OnlyCall();
  const std::string password(81, 'p');  // the block holds at most 81 characters
  EXPECT_EQ(call["layout"], "newer");
  EXPECT_EQ(call["owner"], "0");  // unattended
  EXPECT_EQ(call["caller"], "1");
  EXPECT_EQ(call["version"], "160");
  EXPECT_EQ(call["callback"], "1");
  EXPECT_EQ(call["trace"], "0");
  EXPECT_EQ(call["verbose"], "1");
  EXPECT_EQ(call["password"], password);
  EXPECT_EQ(call["suffixes"], ".gif:.png:.z:.zip:.zoo:.arc:.lzh:.arj:.taz:.tgz:.lha");
  EXPECT_EQ(call["encrypt"], "1");
  EXPECT_EQ(call["hidden"], "1");
  EXPECT_EQ(call["volume"], "0");
  EXPECT_EQ(call["nodirentries"], "0");
  EXPECT_EQ(call["quiet"], "1");
  EXPECT_EQ(call["level"], "5");
  EXPECT_EQ(call["junkdirnames"], "1");
  EXPECT_EQ(call["recurse"], "1");
  EXPECT_EQ(call["grow"], "1");
  EXPECT_EQ(call["forcedos"], "1");
  EXPECT_EQ(call["move"], "1");
  EXPECT_EQ(call["update"], "0");
  EXPECT_EQ(call["freshen"], "1");
  EXPECT_EQ(call["latesttime"], "1");
  EXPECT_EQ(call["archive"], dir.File("band.zip"));
  EXPECT_EQ(call["tempdir"], "/var/tmp");
  EXPECT_EQ(call["comment"], "the band");
  EXPECT_EQ(call["archiveonly"], "1");
  EXPECT_EQ(call["resetarchive"], "0");
  EXPECT_EQ(call["end"], "7");
  EXPECT_EQ(call["count"], "5");
  EXPECT_EQ(call["spec0"], "plain.txt\t" + password + "\t1\t1\t/songs/");
  EXPECT_EQ(call["spec1"], "deep\t" + password + "\t1\t65535\t/songs/");
  EXPECT_EQ(call["spec2"], "flat\town\t65535\t0\t/songs/");
  EXPECT_EQ(call["spec3"], "nopw\t(null)\t0\t1\t/songs/");
  EXPECT_EQ(call["spec4"], named + "\t" + password + "\t1\t1\t/songs/");
  EXPECT_EQ(call["literal4"], "1");
  EXPECT_EQ(call.count("literal0") + call.count("literal1") + call.count("literal2"), 0u);
  EXPECT_EQ(call["excludes"], "1");
  EXPECT_EQ(call["exclude0"], "*.bak");

  // Processed: the lists are used up and the directory is read again.
  EXPECT_EQ(updater.ProcessedCount(), 5);
  EXPECT_TRUE(updater.FSpecArgs.empty());
  EXPECT_TRUE(updater.FSpecArgsExcl.empty());
  EXPECT_EQ(dirUpdates, 1);
  EXPECT_FALSE(updater.InOperation());

  // Attended, tracing, updating, for a library of 151: the owner window is
  // handed on, freshen gives way to update, and what needs 160 is left out.
  library.SetVersion(151);
  TZipUpdater owned(&library);  // any window handle
  owned.SetDLLDirectory(library.Folder());
  owned.SetZipFileName(dir.File("band.zip"));
  owned.AddOptions = updater.AddOptions;
  owned.AddOptions.Include(fretfile::AddUpdate);
  owned.Trace = true;
  owned.FSpecArgs = {"a.txt"};
  owned.FSpecArgsExcl = {"*.bak"};
  owned.Add();
  call = library.Calls().back();
  EXPECT_EQ(call["owner"], "1");
  EXPECT_EQ(call["trace"], "1");
  EXPECT_EQ(call["verbose"], "1");
  EXPECT_EQ(call["update"], "1");
  EXPECT_EQ(call["freshen"], "0");
  EXPECT_EQ(call["comment"], "(null)");
  EXPECT_EQ(call["archiveonly"], "0");
  EXPECT_EQ(call["excludes"], "0");
  EXPECT_EQ(call["password"], "(null)");
  // Trace announces the library.
  EXPECT_EQ(owned.LastErrCode(), msg::kLibraryLoaded);
  EXPECT_EQ(prompts.shown.size(), 1u);
}

TEST_F(AddTest, AnOlderLibraryGetsTheOlderBlockWithTheLinesUnchanged) {
  library.SetVersion(150);
  updater.TempDir = "/var/tmp";
  updater.FSpecArgs = {">deep", "flat<own"};
  updater.Add();
  auto call = OnlyCall();
  EXPECT_EQ(call["layout"], "older");
  EXPECT_EQ(call["end"], "7");
  EXPECT_EQ(call["count"], "2");
  EXPECT_EQ(call["name0"], ">deep");
  EXPECT_EQ(call["name1"], "flat<own");
  EXPECT_EQ(call["archive"], dir.File("new.zip"));
  EXPECT_EQ(updater.ProcessedCount(), 2);

  // More lines than the older block names: refused, not written past it.
  updater.FSpecArgs.assign(4098, "x");
  updater.Add();
  EXPECT_EQ(library.Calls().size(), 1u);
  EXPECT_EQ(updater.LastErrCode(), msg::kAddFailed);
  EXPECT_EQ(updater.ProcessedCount(), 0);
  EXPECT_TRUE(updater.FSpecArgs.empty());
}

TEST_F(AddTest, EveryCallbackActionIsAnswered) {
  library.SetCallbacks("0,1,2,3,4,5,6,7,8,9,10,11,12");
  std::vector<std::string> progress;
  updater.OnProgress = [&](TZipUpdater&, TZipUpdater::ProgressType type, const std::string& name, int32_t size) {
    progress.push_back(std::to_string(type) + ":" + name + ":" + std::to_string(size));
  };
  updater.OnSetNewName = [](TZipUpdater&, std::string& name, bool& changed) {
    EXPECT_EQ(name, "old.txt");
    name = std::string(600, 'n');
    changed = true;
  };
  updater.OnPasswordError = [](TZipUpdater&, std::string& password, const std::string& file, uint32_t& repeat) {
    EXPECT_EQ(file, "secret.txt");
    EXPECT_EQ(repeat, 20u);
    password = "pw";
    repeat = 40;
  };
  updater.OnCRC32Error = [](TZipUpdater&, const std::string& file, uint32_t found, uint32_t expected, bool& extract) {
    EXPECT_EQ(file, "crc.txt");
    EXPECT_EQ(found, 0xAAAAu);
    EXPECT_EQ(expected, 0xBBBBu);
    EXPECT_TRUE(extract);
    extract = false;
  };
  updater.OnExtractOverwrite = [](TZipUpdater&, const std::string&, bool older, bool& overwrite) {
    EXPECT_TRUE(older);
    EXPECT_TRUE(overwrite);
    overwrite = false;
  };
  std::string skipped;
  updater.OnExtractSkipped = [&](TZipUpdater&, const std::string& file, fretfile::UnZipSkipTypes type, int32_t error) {
    skipped = file + ":" + std::to_string(type) + ":" + std::to_string(error);
  };
  updater.OnFileComment = [](TZipUpdater&, const std::string& file, std::string& comment, bool& changed) {
    EXPECT_EQ(file, "c.txt");
    EXPECT_EQ(comment, "X");
    comment = "new comment";
    changed = true;
  };
  updater.FSpecArgs = {"a.txt"};
  updater.Add();

  auto call = OnlyCall();
  EXPECT_EQ(progress, (std::vector<std::string>{"0:songs/a.txt:1234", "1::100", "2::0", "3::3", "4::999"}));
  EXPECT_EQ(updater.ReportedTotal(), 999);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].errCode, 0x1234);
  EXPECT_EQ(messages[0].text, "library message");
  EXPECT_EQ(updater.LastMessage(), "library message");
  // The skipped file came last: its code is the last one.
  EXPECT_EQ(updater.LastErrCode(), 0x05);
  EXPECT_EQ(updater.LastFullErrCode(), 0x205);
  EXPECT_EQ(skipped, "skipped.txt:3:517");
  EXPECT_EQ(call["answer7"], "1\t0\t" + std::string(511, 'n'));  // ends with its NUL inside the record
  EXPECT_EQ(call["answer8"], "1\t15\tpw");
  EXPECT_EQ(call["answer9"], "0\t48059\tcrc.txt");
  EXPECT_EQ(call["answer10"], "1\t0\tover.txt");
  EXPECT_EQ(call["answer12"], "1\t11\tnew comment");
  EXPECT_EQ(call.count("stopped"), 0u);
  EXPECT_EQ(updater.Password(), "");  // a password for the library is not kept

  // Without handlers: names and comments stay as the library had them, a
  // CRC error says so, an unattended password request is refused.
  TZipUpdater plain;
  plain.Unattended = true;
  plain.SetDLLDirectory(library.Folder());
  plain.SetZipFileName(dir.File("new.zip"));
  plain.FSpecArgs = {"a.txt"};
  plain.Add();
  call = library.Calls().back();
  EXPECT_EQ(call["answer7"], "0\t0\told.txt");
  EXPECT_EQ(call["answer8"], "0\t0\tsecret.txt");
  EXPECT_EQ(call["answer9"], "2\t48059\tcrc.txt");
  EXPECT_EQ(call["answer10"], "1\t1\tover.txt");
  EXPECT_EQ(call["answer12"], "0\t0\tc.txt");
  EXPECT_EQ(plain.ProcessedCount(), 1);
}

TEST_F(AddTest, PasswordsAreAskedTwiceOrOnceAndKeptOnlyOutsideTheLibrary) {
  updater.Unattended = false;
  prompts.passwords = {"secret", "secret"};
  EXPECT_EQ(updater.PasswordWithConfirmation(), "secret");
  EXPECT_EQ(updater.Password(), "secret");
  ASSERT_EQ(prompts.asked.size(), 2u);
  EXPECT_EQ(prompts.asked[0].title, TextOf(msg::kPasswordTitle));
  EXPECT_EQ(prompts.asked[0].prompt, TextOf(msg::kPasswordPrompt));
  EXPECT_EQ(prompts.asked[1].prompt, TextOf(msg::kPasswordConfirmPrompt));
  EXPECT_EQ(prompts.asked[0].okCaption, "OK");
  EXPECT_EQ(prompts.asked[0].cancelCaption, "Cancel");

  updater.SetPassword("");
  prompts.passwords = {"secret", "Secret"};
  EXPECT_EQ(updater.PasswordWithConfirmation(), "");
  EXPECT_EQ(updater.LastErrCode(), msg::kPasswordMismatch);
  EXPECT_EQ(updater.Password(), "");
  prompts.passwords = {std::nullopt};
  prompts.asked.clear();
  EXPECT_EQ(updater.PasswordWithConfirmation(), "");
  EXPECT_EQ(prompts.asked.size(), 1u);  // cancelled: not asked again
  prompts.passwords = {"once"};
  EXPECT_EQ(updater.PasswordOnce(), "once");
  EXPECT_EQ(updater.Password(), "once");

  // Asked for the library: given to it, not kept.
  updater.SetPassword("");
  library.SetCallbacks("8");
  prompts.passwords = {"lib", "lib"};
  updater.FSpecArgs = {"a.txt"};
  updater.Add();
  EXPECT_EQ(OnlyCall()["answer8"], "1\t15\tlib");
  EXPECT_EQ(updater.Password(), "");

  updater.Unattended = true;
  EXPECT_EQ(updater.PasswordWithConfirmation(), "");
  EXPECT_EQ(updater.LastErrCode(), msg::kPasswordUnattendedAdd);
  EXPECT_EQ(updater.PasswordOnce(), "");
  EXPECT_EQ(updater.LastErrCode(), msg::kPasswordUnattendedOnce);
}

TEST_F(AddTest, RefusalsComeBeforeTheLibrary) {
  updater.Trace = true;  // a load would report itself
  updater.Add();
  EXPECT_EQ(updater.LastErrCode(), msg::kNothingToAdd);

  updater.AddOptions = {fretfile::AddUpdate, fretfile::AddDiskSpan};
  updater.FSpecArgs = {"a.txt"};
  updater.Add();
  EXPECT_EQ(updater.LastErrCode(), msg::kSpanWithUpdate);
  EXPECT_EQ(updater.FSpecArgs, std::vector<std::string>{"a.txt"});

  updater.AddOptions = {fretfile::AddDiskSpanErase};
  updater.SetZipFileName(dir.File("set.Exe"));
  updater.Add();
  EXPECT_EQ(updater.LastErrCode(), msg::kSpanIntoExe);

  updater.AddOptions = {fretfile::AddEncrypt};
  updater.Add();
  EXPECT_EQ(updater.LastErrCode(), msg::kNoPassword);

  updater.SetZipFileName("");
  updater.Add();
  EXPECT_EQ(updater.LastErrCode(), msg::kNoZipFileName);

  EXPECT_TRUE(library.Calls().empty());
  for (const auto& message : messages) EXPECT_NE(message.text, TextOf(msg::kLibraryLoaded));
  EXPECT_EQ(updater.ProcessedCount(), 0);
}

TEST_F(AddTest, NothingProcessedMeansNoNewDirectoryRead) {
  library.SetResult(0);
  updater.Add();  // a message for this Add, not for the next
  EXPECT_FALSE(updater.LastMessage().empty());
  updater.FSpecArgs = {"a.txt"};
  dirUpdates = 0;
  updater.Add();
  EXPECT_EQ(library.Calls().size(), 1u);
  EXPECT_EQ(updater.ProcessedCount(), 0);
  EXPECT_TRUE(updater.FSpecArgs.empty());
  EXPECT_EQ(dirUpdates, 0);
  EXPECT_EQ(updater.LastMessage(), "");

  // A block the library refuses outright counts nothing, and says so.
  library.SetResult(-1);
  updater.FSpecArgs = {"a.txt"};
  updater.Add();
  EXPECT_EQ(updater.ProcessedCount(), 0);
  EXPECT_EQ(updater.LastErrCode(), msg::kLibraryRefusedBlock);
}

TEST_F(AddTest, HandlersCanStopTheLibraryButNotStartASecondAdd) {
  library.SetCallbacks("1,2");
  updater.FSpecArgs = {"a.txt"};
  const std::string archive = updater.ZipFileName();
  updater.OnProgress = [&](TZipUpdater& sender, TZipUpdater::ProgressType, const std::string&, int32_t) {
    // Neither a second Add nor another archive while this one is in the
    // library: both are refused with a message, and nothing else changes.
    sender.FSpecArgs.push_back("b.txt");
    sender.Add();
    EXPECT_EQ(sender.LastErrCode(), msg::kComponentBusy);
    sender.SetZipFileName(dir.File("other.zip"));
    EXPECT_EQ(sender.ZipFileName(), archive);
    EXPECT_TRUE(sender.InOperation());
    sender.SetCancelRequested(true);
  };
  updater.Add();
  EXPECT_EQ(updater.ZipFileName(), archive);
  auto call = OnlyCall();
  EXPECT_EQ(call["stopped"], "1");
  EXPECT_EQ(updater.ProcessedCount(), 0);
  EXPECT_FALSE(updater.CancelRequested());
  EXPECT_FALSE(updater.InOperation());
  EXPECT_TRUE(updater.FSpecArgs.empty());

  // A handler that throws stops the library; the error is reported once
  // the library has returned, and the component is usable again.
  updater.OnProgress = [](TZipUpdater&, TZipUpdater::ProgressType, const std::string&, int32_t) {
    throw std::runtime_error("handler failed");
  };
  updater.FSpecArgs = {"a.txt"};
  updater.Add();
  EXPECT_EQ(library.Calls().back()["stopped"], "1");
  EXPECT_EQ(updater.LastErrCode(), msg::kAddFailed);
  EXPECT_EQ(updater.LastMessage(), TextOf(msg::kAddFailed) + "handler failed");
  EXPECT_FALSE(updater.InOperation());
  EXPECT_TRUE(updater.FSpecArgs.empty());
}

TEST_F(AddTest, ASpannedAddStaysBusyWhileItWritesTheVolumes) {
  // The volumes are written after the library has returned: the handlers
  // of that copy, its closing progress report included, still belong to
  // the running Add and cannot start a second one.
  library.SetResult(1);
  updater.AddOptions = {fretfile::AddDiskSpan};
  updater.FSpecArgs = {"a.txt"};
  int reports = 0;
  updater.OnProgress = [&](TZipUpdater& sender, TZipUpdater::ProgressType, const std::string&, int32_t) {
    ++reports;
    EXPECT_TRUE(sender.InOperation());
  };
  updater.Add();
  EXPECT_GT(reports, 0);
  EXPECT_FALSE(updater.InOperation());
  EXPECT_EQ(library.Calls().size(), 1u);
}

TEST_F(AddTest, AMissingOrIncompleteLibraryIsReportedAndNeverCalled) {
  testing_support::TempDir empty;
  updater.SetDLLDirectory(empty.path());
  updater.FSpecArgs = {"a.txt"};
  updater.Add();
  EXPECT_EQ(updater.LastErrCode(), msg::kLibraryNotLoaded);
  EXPECT_TRUE(updater.LastMessage().starts_with(TextOf(msg::kLibraryNotLoaded) + "libzippack.so"))
      << updater.LastMessage();
  EXPECT_EQ(updater.LibraryVersion(), 0);
  // Ended before the library: the line stays for the caller to see.
  EXPECT_EQ(updater.FSpecArgs, std::vector<std::string>{"a.txt"});

  for (const auto& [variant, number] :
       {std::pair{"_noexec", msg::kNoExecEntry}, std::pair{"_noversion", msg::kNoVersionEntry}}) {
    RecordingLibrary incomplete(variant);
    updater.SetDLLDirectory(incomplete.Folder());
    messages.clear();
    updater.Add();
    ASSERT_EQ(messages.size(), 1u) << variant;
    EXPECT_EQ(updater.LastErrCode(), number) << variant;
    EXPECT_TRUE(incomplete.Calls().empty());
    EXPECT_FALSE(TZipUpdater::ZipPackLoaded());
  }

  // The version alone loads the library for the question and lets it go.
  updater.SetDLLDirectory(library.Folder());
  library.SetVersion(155);
  EXPECT_EQ(updater.LibraryVersion(), 155);
}

}  // namespace
