// Spanned archives: numbered volume files on a fixed drive and labelled
// disks in a simulated removable drive, written by WriteSpan from archives
// the tests build, read back by the independent reader and by List.
#include <filesystem>
#include <optional>

#include "platform/drives/drives.h"
#include "support/zip_builder.h"
#include "update/component/updater_messages.h"
#include "update/spanned_set_reader.h"
#include "update/updater_fixture.h"

using platform::PromptAnswer;
using platform::PromptButtons;
using platform::PromptIcon;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::ReadSpannedSet;
using testing_support::SpannedSet;
using testing_support::UpdaterTest;
using testing_support::WriteFile;
using testing_support::ZipBuilder;
using testing_support::ZipEntrySpec;
namespace msg = fretfile::msg;
namespace fs = std::filesystem;

namespace {

// Bytes that do not compress, the same every run.
std::string Noise(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return bytes;
}

// Two stored entries whose names differ only in case, and an archive
// comment; with volumes of 200 bytes the second local header, the central
// directory and the end record each find too little room at the end of a
// volume and begin the next one.
ZipBuilder SmallArchive() {
  ZipBuilder builder;
  builder.Add("x", Noise(150, 1)).Add("X", Noise(140, 2)).ArchiveComment(std::string(100, 'c'));
  return builder;
}

class SpanTest : public UpdaterTest {
 protected:
  ~SpanTest() override { platform::RemoveSimulatedDrives(); }

  std::vector<std::string> NumberedVolumes() const {
    std::vector<std::string> volumes;
    for (int n = 1; FileExists(dir.File("Set00" + std::to_string(n) + ".zip")); ++n) {
      volumes.push_back(ReadFile(dir.File("Set00" + std::to_string(n) + ".zip")));
    }
    return volumes;
  }

  int32_t Span(const ZipBuilder& source, const std::string& target) {
    source.WriteTo(dir.File("source.zip"));
    return updater.WriteSpan(dir.File("source.zip"), target);
  }

  // The directory list of name is the set's, entry by entry.
  void ExpectListed(const std::string& name, const SpannedSet& set) {
    updater.SetZipFileName(name);
    ASSERT_EQ(updater.Count(), set.entries.size()) << name;
    for (size_t i = 0; i < set.entries.size(); ++i) {
      const fretfile::ZipDirEntry& entry = updater.DirEntry(i);
      EXPECT_EQ(entry.FileName, set.entries[i].name);
      EXPECT_EQ(uint16_t{entry.StartOnDisk}, set.entries[i].disk) << entry.FileName;
      EXPECT_EQ(uint32_t{entry.RelOffLocalHdr}, set.entries[i].offset) << entry.FileName;
      EXPECT_EQ(uint32_t{entry.CRC32}, testing_support::Crc32Of(set.entries[i].data));
    }
    EXPECT_TRUE(updater.IsMultiDisk());
    EXPECT_EQ(updater.ArchiveComment(), set.comment);
  }

  // A simulated drive "A" on dir/A with the disks dir/<name>, each put in by
  // one disk change in the order given (a name may come back).
  std::string SetUpDrive(const std::vector<std::string>& disks, const std::vector<std::string>& changes,
                         std::optional<int64_t> size = std::nullopt, std::optional<int64_t> free = std::nullopt) {
    std::vector<platform::SimulatedDisk> described;
    for (const auto& name : disks) {
      fs::create_directories(dir.File(name));
      described.emplace_back();
      described.back().folder = dir.File(name);
      if (size) described.back().size = *size;
      described.back().free = free;
    }
    std::vector<std::string> folders;
    for (const auto& name : changes) folders.push_back(dir.File(name));
    EXPECT_EQ(platform::SetUpSimulatedDrives(described, {{"A", dir.File("A"), "", folders}}), "");
    return dir.File("A/Set.zip");
  }
};

TEST_F(SpanTest, FixedDriveVolumesStayWithinMaxVolumeSizeAndReadBackFromAnyVolume) {
  ZipEntrySpec song;
  song.name = "live/song.txt";
  for (int i = 0; i < 2000; ++i) song.data += "Verse " + std::to_string(i) + ": la la la\n";
  song.method = 8;
  song.comment = "first take";
  song.extra = std::string("\xCA\xFE\x02\x00ok", 6);
  ZipBuilder source;
  source.Add(song).Add("a.bin", Noise(1200000, 3)).Add("b.bin", Noise(900000, 4)).ArchiveComment("the set");
  updater.MaxVolumeSize = 1000000;
  updater.KeepFreeOnDisk1 = 10000;
  std::vector<std::string> progressNames;
  int64_t progressBytes = 0;
  updater.OnProgress = [&](fretfile::TZipUpdater&, auto type, const std::string& name, int32_t size) {
    if (type == 0) progressNames.push_back(name);
    if (type == 1) progressBytes += size;
  };

  ASSERT_EQ(Span(source, dir.File("Set.zip")), 0) << updater.LastMessage();
  EXPECT_FALSE(FileExists(dir.File("Set.zip")));
  const auto volumes = NumberedVolumes();
  ASSERT_EQ(volumes.size(), 3u);
  EXPECT_LE(volumes[0].size(), 990000u);
  int64_t written = 0;
  for (const auto& volume : volumes) {
    EXPECT_LE(volume.size(), 1000000u);
    written += static_cast<int64_t>(volume.size());
  }
  EXPECT_EQ(progressBytes, written - 4);  // all but the set's signature
  EXPECT_EQ(progressNames, (std::vector<std::string>{"live/song.txt", "a.bin", "b.bin", "Central directory"}));
  EXPECT_TRUE(prompts.questions.empty());

  const SpannedSet set = ReadSpannedSet(volumes);
  ASSERT_EQ(set.problem, "");
  ASSERT_EQ(set.entries.size(), 3u);
  EXPECT_EQ(set.entries[0].data, song.data);
  EXPECT_EQ(set.entries[1].data, Noise(1200000, 3));
  EXPECT_EQ(set.entries[2].data, Noise(900000, 4));
  EXPECT_EQ(set.entries[2].disk, 1);  // its data goes on to the last volume
  for (const std::string name : {"Set.zip", "Set001.zip", "Set002.zip", "Set003.zip"}) {
    ExpectListed(dir.File(name), set);
  }
  EXPECT_EQ(updater.DirEntry(0).FileComment, "first take");
}

TEST_F(SpanTest, RecordsThatDoNotFitBeginTheNextVolumeAndNameIt) {
  updater.MaxVolumeSize = 200;
  updater.MinFreeVolumeSize = 0;
  ASSERT_EQ(Span(SmallArchive(), dir.File("Set.zip")), 0) << updater.LastMessage();
  const auto volumes = NumberedVolumes();
  ASSERT_EQ(volumes.size(), 4u);
  const SpannedSet set = ReadSpannedSet(volumes);
  ASSERT_EQ(set.problem, "");
  ASSERT_EQ(set.entries.size(), 2u);
  EXPECT_EQ(set.entries[0].offset, 4u);
  EXPECT_EQ(set.entries[1].disk, 1);
  EXPECT_EQ(set.entries[1].offset, 0u);
  EXPECT_EQ(set.directoryDisk, 2);
  EXPECT_EQ(set.directoryOffset, 0u);
  EXPECT_EQ(volumes[3].size(), 122u);  // the end record and its comment alone
  ExpectListed(dir.File("Set004.zip"), set);
}

TEST_F(SpanTest, FailedSpansLeaveNothingBehind) {
  updater.MaxVolumeSize = 200;
  updater.MinFreeVolumeSize = 0;
  // The central header of "X" renamed: no local header has its name.
  std::string bytes = SmallArchive().Build();
  const size_t central = bytes.rfind(std::string("PK\x01\x02", 4));
  ASSERT_EQ(bytes[central + 46], 'X');
  bytes[central + 46] = 'z';
  WriteFile(dir.File("source.zip"), bytes);
  EXPECT_EQ(updater.WriteSpan(dir.File("source.zip"), dir.File("Set.zip")), -7);
  EXPECT_EQ(updater.LastErrCode(), msg::kNoLocalHeader);
  EXPECT_EQ(prompts.shown, std::vector<std::string>{TextOf(msg::kNoLocalHeader)});
  EXPECT_TRUE(NumberedVolumes().empty());

  // Cancelled once the second volume is being written.
  updater.OnProgress = [](fretfile::TZipUpdater& sender, auto type, const std::string&, int32_t) {
    if (type == 1 && sender.CurrentDisk() >= 1) sender.SetCancelRequested(true);
  };
  prompts.shown.clear();
  EXPECT_EQ(Span(SmallArchive(), dir.File("Set.zip")), -7);
  EXPECT_EQ(updater.LastErrCode(), msg::kCancelled);
  EXPECT_TRUE(prompts.shown.empty());
  EXPECT_TRUE(NumberedVolumes().empty());
  EXPECT_FALSE(updater.InOperation());

  // A volume file already there is not overwritten unattended, nor removed.
  updater.OnProgress = nullptr;
  updater.SetCancelRequested(false);
  updater.Unattended = true;
  WriteFile(dir.File("Set001.zip"), "an older set");
  EXPECT_EQ(Span(SmallArchive(), dir.File("Set.zip")), -7);
  EXPECT_EQ(updater.LastErrCode(), msg::kDiskWhileUnattended);
  EXPECT_EQ(ReadFile(dir.File("Set001.zip")), "an older set");
}

TEST_F(SpanTest, RemovableDisksAreLabelledAndAnEarlierVolumeOfTheSetIsRecognised) {
  updater.MaxVolumeSize = 200;
  updater.MinFreeVolumeSize = 0;
  // The first disk is offered again when the second is asked for.
  const std::string target = SetUpDrive({"d1", "d2", "d3", "d4"}, {"d1", "d1", "d2", "d3", "d4", "d3"});
  prompts.answers = {PromptAnswer::Ok, PromptAnswer::Ok, PromptAnswer::No,
                     PromptAnswer::Ok, PromptAnswer::Ok, PromptAnswer::Ok};
  ASSERT_EQ(Span(SmallArchive(), target), 0) << updater.LastMessage();
  const std::string inDrive = "\r\nin drive: " + dir.File("A/");
  ASSERT_EQ(prompts.questions.size(), 6u);
  // No disk to tell the size from at first; then 568 bytes in volumes of 200.
  EXPECT_EQ(prompts.questions[0].text, "Please insert disk volume 1" + inDrive);
  EXPECT_EQ(prompts.questions[0].buttons, PromptButtons::OkCancel);
  EXPECT_EQ(prompts.questions[0].icon, PromptIcon::None);
  const platform::QuestionRequest& confirm = prompts.questions[2];
  EXPECT_EQ(confirm.title, "Confirm");
  EXPECT_EQ(confirm.text, "Overwrite previous disk no 1");
  EXPECT_EQ(confirm.buttons, PromptButtons::YesNoCancel);
  EXPECT_EQ(confirm.icon, PromptIcon::Warning);
  EXPECT_EQ(confirm.defaultButton, 1);
  EXPECT_EQ(prompts.questions[3].text, "Please insert disk volume 2 of 3" + inDrive);

  std::vector<std::string> volumes;
  for (const std::string disk : {"d1", "d2", "d3", "d4"}) {
    EXPECT_EQ(platform::SimulatedDiskLabel(dir.File(disk)), "PKBACK# 00" + std::string(1, disk[1]));
    volumes.push_back(ReadFile(dir.File(disk + "/Set.zip")));
  }
  const SpannedSet set = ReadSpannedSet(volumes);
  ASSERT_EQ(set.problem, "");
  // The last disk is in the drive; the directory begins on the third.
  prompts.answers = {PromptAnswer::Ok};
  ExpectListed(target, set);
  ASSERT_EQ(prompts.questions.size(), 7u);
  EXPECT_EQ(prompts.questions[6].text, "Please insert disk volume 3 of 4" + inDrive);

  // Told through OnStatusDisk instead: an earlier volume on a disk with data.
  SetUpDrive({"e1", "e2", "e3", "e4"}, {"e1", "e1", "e2", "e3", "e4"});
  int32_t previousDisk = 0;
  std::string previousFile;
  fretfile::TZipDiskStatus status = 0;
  updater.OnStatusDisk = [&](fretfile::TZipUpdater&, int32_t disk, const std::string& file,
                             fretfile::TZipDiskStatus s, fretfile::TZipDiskAction& action) {
    previousDisk = disk;
    previousFile = file;
    status = s;
    action = fretfile::zdaReject;
  };
  prompts.answers.assign(5, PromptAnswer::Ok);
  ASSERT_EQ(Span(SmallArchive(), target), 0) << updater.LastMessage();
  EXPECT_EQ(status, fretfile::zdsPreviousDisk | fretfile::zdsHasFiles);
  EXPECT_EQ(previousDisk, 1);
  EXPECT_EQ(previousFile, target);
}

TEST_F(SpanTest, ADiskWithTooLittleSpaceIsRetriedOrCancelled) {
  const std::string target = SetUpDrive({"small"}, {"small", "small"}, 100000, 1000);
  prompts.answers = {PromptAnswer::Ok, PromptAnswer::Retry, PromptAnswer::Ok, PromptAnswer::Cancel};
  EXPECT_EQ(Span(SmallArchive(), target), -7);
  EXPECT_EQ(updater.LastErrCode(), msg::kCancelled);
  EXPECT_TRUE(prompts.shown.empty());
  ASSERT_EQ(prompts.questions.size(), 4u);
  for (size_t i : {1u, 3u}) {
    EXPECT_EQ(prompts.questions[i].text, "This disk has not enough free space available");
    EXPECT_EQ(prompts.questions[i].buttons, PromptButtons::RetryCancel);
    EXPECT_EQ(prompts.questions[i].icon, PromptIcon::Stop);
    EXPECT_EQ(prompts.questions[i].title, "");
  }
  EXPECT_TRUE(fs::is_empty(dir.File("small")));

  // Unattended, a removable disk is not even asked for.
  updater.Unattended = true;
  prompts.questions.clear();
  EXPECT_EQ(Span(SmallArchive(), target), -7);
  EXPECT_EQ(updater.LastErrCode(), msg::kDiskWhileUnattended);
  EXPECT_TRUE(prompts.questions.empty());
}

}  // namespace
