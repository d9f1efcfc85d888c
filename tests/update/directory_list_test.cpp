// The component's directory list: the end record found with or without a
// comment, data in front of the archive, folders, code pages, and damaged
// archives leaving an empty list.
#include <filesystem>

#include "support/zip_builder.h"
#include "update/component/name_conversion.h"
#include "update/component/updater_messages.h"
#include "update/updater_fixture.h"

using fretfile::TZipUpdater;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::SharedTestData;
using testing_support::UpdaterTest;
using testing_support::WriteFile;
using testing_support::ZipBuilder;
using testing_support::ZipEntrySpec;
namespace msg = fretfile::msg;

namespace {

class DirectoryListTest : public UpdaterTest {
 protected:
  DirectoryListTest() { updater.Unattended = true; }

  void ListBytes(const std::string& bytes) {
    WriteFile(dir.File("a.zip"), bytes);
    messages.clear();
    dirUpdates = 0;
    updater.SetZipFileName(dir.File("a.zip"));
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (size_t i = 0; i < updater.Count(); ++i) names.push_back(updater.DirEntry(i).FileName);
    return names;
  }
};

TEST_F(DirectoryListTest, EmptyArchiveAndMissingFile) {
  const std::string empty = ZipBuilder().Build();
  ASSERT_EQ(empty.size(), 22u);
  ListBytes(empty);
  EXPECT_EQ(updater.Count(), 0u);
  EXPECT_EQ(updater.StubOffset(), 0);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(updater.ZipFileName(), dir.File("a.zip"));
  EXPECT_EQ(dirUpdates, 1);

  // An empty archive with a comment has no foreign data in front either.
  ListBytes(ZipBuilder().ArchiveComment("nothing yet").Build());
  EXPECT_EQ(updater.StubOffset(), 0);
  EXPECT_EQ(updater.ArchiveComment(), "nothing yet");

  updater.SetZipFileName(dir.File("missing.zip"));
  EXPECT_EQ(updater.Count(), 0u);
  EXPECT_EQ(dirUpdates, 2);
  EXPECT_EQ(messages.size(), 0u);
  EXPECT_EQ(updater.ZipFileName(), dir.File("missing.zip"));
  EXPECT_EQ(updater.ArchiveComment(), "");
}

TEST_F(DirectoryListTest, DataInFrontOfTheArchive) {
  ZipBuilder builder;
  builder.Add("one.txt", "1").Add("two.txt", "22").Prefix(std::string(5000, 'S'), false);
  ListBytes(builder.Build());
  EXPECT_TRUE(updater.OffsetMismatch());
  EXPECT_EQ(MessageNumbers(), std::vector<int32_t>{msg::kDirectoryMoved});
  EXPECT_EQ(updater.StubOffset(), 5000);
  EXPECT_EQ(Names(), (std::vector<std::string>{"one.txt", "two.txt"}));
  EXPECT_EQ(uint32_t{updater.DirEntry(1).RelOffLocalHdr}, builder.HeaderOffsets()[1] - 5000);  // as recorded

  builder.Prefix(std::string(5000, 'S'), true);
  ListBytes(builder.Build());
  EXPECT_FALSE(updater.OffsetMismatch());
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(updater.StubOffset(), 5000);

  const std::string shared = SharedTestData();
  if (shared.empty()) GTEST_SKIP() << "no shared test data";
  for (const char* name : {"Prefixed.zip", "Prefixed_Adjusted.zip"}) {
    ListBytes(ReadFile(shared + "/modern/" + name));
    EXPECT_EQ(updater.StubOffset(), 4096) << name;
    EXPECT_EQ(updater.Count(), 3u) << name;
  }
}

TEST_F(DirectoryListTest, CommentAndWhatFollowsTheEndRecord) {
  const std::string archive = ZipBuilder().Add("a.txt", "a").ArchiveComment("our band").Build();
  ListBytes(archive);
  EXPECT_EQ(updater.ArchiveComment(), "our band");
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(updater.ArchiveEnd(), static_cast<int64_t>(archive.size()));

  ListBytes(archive + "junk");
  EXPECT_EQ(MessageNumbers(), std::vector<int32_t>{msg::kBytesAfterEnd});
  EXPECT_EQ(updater.ArchiveComment(), "our band");
  EXPECT_EQ(Names(), std::vector<std::string>{"a.txt"});

  // Zeros up to a whole sector are padding; anything else is not.
  const size_t padded = (archive.size() / 512 + 1) * 512;
  ListBytes(archive + std::string(padded - archive.size(), '\0'));
  EXPECT_TRUE(messages.empty());
  ListBytes(archive + std::string(padded - archive.size() - 1, '\0') + "x");
  EXPECT_EQ(MessageNumbers(), std::vector<int32_t>{msg::kBytesAfterEnd});

  // The comment ends at a NUL.
  ListBytes(ZipBuilder().Add("a.txt", "a").ArchiveComment(std::string("short\0rest", 10)).Build());
  EXPECT_EQ(updater.ArchiveComment(), "short");

  const std::string shared = SharedTestData();
  if (shared.empty()) GTEST_SKIP() << "no shared test data";
  ListBytes(ReadFile(shared + "/modern/Commented.zip"));
  EXPECT_TRUE(updater.ArchiveComment().starts_with("Songs of the commented band")) << updater.ArchiveComment();
  EXPECT_EQ(updater.DirEntry(0).FileComment.empty(), false);
  EXPECT_TRUE(messages.empty());
}

TEST_F(DirectoryListTest, FoldersAreLeftOutUnlessWanted) {
  ZipEntrySpec folder;
  folder.name = "live/";
  folder.externalAttributes = 0x10;
  const std::string archive = ZipBuilder().Add(folder).Add("live/song.txt", "s").Add("intro:", "i").Build();
  std::vector<int32_t> seqNos;
  updater.OnNewName = [&](TZipUpdater&, int32_t seqNo, const fretfile::ZipDirEntry&) { seqNos.push_back(seqNo); };
  ListBytes(archive);
  // A colon is an ordinary character of a name here.
  EXPECT_EQ(Names(), (std::vector<std::string>{"live/song.txt", "intro:"}));
  EXPECT_EQ(seqNos, (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(updater.DirOnlySkipped(), 1);

  updater.UseDirOnlyEntries = true;
  ListBytes(archive);
  EXPECT_EQ(updater.Count(), 3u);
  EXPECT_EQ(updater.DirOnlySkipped(), 0);
}

TEST_F(DirectoryListTest, OemNamesAreConvertedWhereTheArchiveAsks) {
  const auto entry = [](uint8_t host, uint16_t flags) {
    ZipEntrySpec made;
    made.name = "\x81" "ber.txt";  // ü in code page 437
    made.comment = "\x94";         // ö
    made.hostSystem = host;
    made.flags = flags;
    return made;
  };
  const std::string archive = ZipBuilder()
                                  .Add(entry(0, 0))
                                  .Add(entry(3, 0))
                                  .Add(entry(0, 0x0800))  // flagged UTF-8: no code page at all
                                  .Build();
  ListBytes(archive);
  ASSERT_EQ(updater.Count(), 3u);
  EXPECT_EQ(updater.DirEntry(0).FileName, "\xFC" "ber.txt");  // ü in code page 1252
  EXPECT_EQ(updater.DirEntry(0).FileComment, "\xF6");
  EXPECT_EQ(updater.DirEntry(1).FileName, "\x81" "ber.txt");
  EXPECT_EQ(updater.DirEntry(2).FileName, "\x81" "ber.txt");

  updater.CodePage = fretfile::cpNone;
  ListBytes(archive);
  EXPECT_EQ(updater.DirEntry(0).FileName, "\x81" "ber.txt");
  updater.CodePage = fretfile::cpOEM;
  ListBytes(archive);
  EXPECT_EQ(updater.DirEntry(1).FileName, "\xFC" "ber.txt");

  // Every character both code pages have comes back from a round trip;
  // the look-alikes of the others are plain ASCII.
  for (int c = 0x80; c <= 0xFF; ++c) {
    const std::string oem(1, static_cast<char>(c));
    const std::string ansi = fretfile::ConvertCodePage(oem, fretfile::NameDirection::FromOem);
    if (static_cast<uint8_t>(ansi[0]) < 0x80 || c == 0xA9 || c == 0xF9) continue;  // ⌐ and ∙ share ¬ and ·
    EXPECT_EQ(fretfile::ConvertCodePage(ansi, fretfile::NameDirection::ToOem), oem) << std::hex << c;
  }
  EXPECT_EQ(fretfile::ConvertCodePage("\xC9\xCD\xBB", fretfile::NameDirection::FromOem), "+=+");
}

TEST_F(DirectoryListTest, ValuesFromTheZip64ExtraField) {
  ZipEntrySpec fits;
  fits.name = "fits.txt";
  fits.data = "12345";
  fits.zip64CentralCompressedSize = 5;
  ZipEntrySpec huge = fits;
  huge.name = "huge.txt";
  huge.zip64CentralCompressedSize = uint64_t{5} << 32;
  ListBytes(ZipBuilder().Add(fits).Add(huge).Add("after.txt", "a").Build());
  ASSERT_EQ(Names(), (std::vector<std::string>{"fits.txt", "huge.txt", "after.txt"}));
  EXPECT_EQ(uint32_t{updater.DirEntry(0).CompressedSize}, 5u);
  // Too large for the list's 32 bits: the marker, and the user is told.
  EXPECT_EQ(uint32_t{updater.DirEntry(1).CompressedSize}, 0xFFFFFFFFu);
  EXPECT_EQ(updater.LastErrCode(), msg::kValueBeyond32Bits);
  EXPECT_TRUE(updater.LastMessage().ends_with("huge.txt"));
  EXPECT_EQ(updater.ZipFileName(), dir.File("a.zip"));
}

TEST_F(DirectoryListTest, DamagedArchivesLeaveAnEmptyListAndNoArchiveName) {
  const std::string good = ZipBuilder().Add("a.txt", "alpha").Add("b.txt", "beta").Build();
  const size_t directory = good.size() - 22 - 2 * (46 + 5);
  std::string extraEntry = good;
  extraEntry[good.size() - 22 + 10] = 3;  // total entries: 3 of 2
  std::string badSignature = good;
  badSignature[directory + 46 + 5] = 'Q';  // the second central header
  std::string shortName = good;
  shortName[directory + 46 + 5 + 28] = 60;  // the second name runs into the end record and past it
  std::string shortExtra = good;
  shortExtra[directory + 46 + 5 + 30] = 60;  // so does the second extra field
  std::string shortComment = good;
  shortComment[directory + 46 + 5 + 32] = 60;  // and the second comment
  const std::pair<std::string, int32_t> cases[] = {
      {"not an archive at all", msg::kNoEndRecord},
      {"PK", msg::kNoEndRecord},
      {extraEntry, msg::kDirectoryEndsEarly},
      {badSignature, msg::kCentralHeaderSignature},
      {shortName, msg::kCentralNameShort},
      {shortExtra, msg::kDirectoryUnreadable},
      {shortComment, msg::kCommentShort},
  };
  for (const auto& [bytes, number] : cases) {
    ListBytes(bytes);
    EXPECT_EQ(updater.LastErrCode(), number) << number;
    EXPECT_EQ(updater.Count(), 0u) << number;
    EXPECT_EQ(updater.ZipFileName(), "") << number;
    EXPECT_EQ(updater.StubOffset(), 0) << number;
    EXPECT_EQ(dirUpdates, 1) << number;
  }
  // Nothing was ever shown: the component runs unattended.
  EXPECT_TRUE(prompts.shown.empty());
  // The hourglass came and went with every read.
  EXPECT_FALSE(prompts.busyChanges.empty());
  EXPECT_FALSE(prompts.busyChanges.back());
}

}  // namespace
