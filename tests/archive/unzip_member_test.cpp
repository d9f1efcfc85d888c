#include "archive/unzip_member.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <algorithm>
#include <QTimer>
#include <filesystem>
#include <random>
#include <stdexcept>

#include "archive/dos_time.h"
#include "platform/posix/file_attributes.h"
#include "platform/ui_contracts/key_state.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

using archive::UnzipMember;
using testing_support::Crc32Of;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;
using testing_support::ZipBuilder;
using testing_support::ZipEntrySpec;

namespace {

std::string RandomBytes(size_t n, unsigned seed = 1) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(gen());
  return s;
}

// One archive with the given entries in a temporary folder.
struct Fixture {
  TempDir dir;
  ZipBuilder builder;
  std::string archive;

  void Write() {
    archive = dir.File("a.zip");
    builder.WriteTo(archive);
  }
  // Entry 0 stores `data`, entry 1 deflates the same bytes; then writes.
  void WriteStoredAndDeflated(const std::string& data) {
    builder.Add("stored", data, 0);
    builder.Add("deflated", data, 8);
    Write();
  }
  int Extract(size_t index, const std::string& target, uint16_t attributes = 0x20,
              const archive::ProgressNotify& notify = nullptr, int16_t key = 27) {
    return UnzipMember(archive, target, attributes, builder.HeaderOffsets()[index], notify, key);
  }
};

}  // namespace

TEST(UnzipMember, StoredEntriesMakeTheirFoldersTimeAndAttributes) {
  Fixture f;
  ZipEntrySpec e;
  e.name = "song.txt";
  e.data = "Row, row, row your boat";
  e.dosDate = (2001 - 1980) << 9 | 7 << 5 | 4;  // 2001-07-04
  e.dosTime = 13 << 11 | 14 << 5 | 30 / 2;      // 13:14:30
  f.builder.Add(e);
  f.builder.Add("empty.txt", "");
  f.Write();

  const std::string target = f.dir.File("deep/er/song.txt");
  ASSERT_EQ(f.Extract(0, target, 0x21), 0);
  EXPECT_EQ(ReadFile(target), e.data);
  struct stat st{};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, *archive::DosDateTimeToUnix(static_cast<uint32_t>(e.dosDate) << 16 | e.dosTime));
  std::tm local{};
  const time_t mtime = st.st_mtime;
  localtime_r(&mtime, &local);
  EXPECT_EQ(local.tm_hour, 13);
  EXPECT_EQ(local.tm_sec, 30);
  EXPECT_EQ(platform::GetFileAttributes(target) & platform::kAttrReadOnly, platform::kAttrReadOnly);

  ASSERT_EQ(f.Extract(1, f.dir.File("empty.txt")), 0);
  EXPECT_EQ(ReadFile(f.dir.File("empty.txt")), "");
  // Extracting again replaces the file.
  WriteFile(f.dir.File("empty.txt"), "old contents");
  ASSERT_EQ(f.Extract(1, f.dir.File("empty.txt")), 0);
  EXPECT_EQ(ReadFile(f.dir.File("empty.txt")), "");
}

TEST(UnzipMember, DirectoryEntriesMakeFoldersOnly) {
  Fixture f;
  f.builder.Add("folder/", "");
  f.Write();
  const auto cwd = std::filesystem::current_path();
  EXPECT_EQ(f.Extract(0, f.dir.File("x/y/folder/")), 0);
  EXPECT_EQ(std::filesystem::current_path(), cwd);  // folders are made by path
  EXPECT_TRUE(std::filesystem::is_directory(f.dir.File("x/y/folder")));
  EXPECT_EQ(f.Extract(0, f.dir.File("p/q"), 0x10), 0);
  EXPECT_TRUE(std::filesystem::is_directory(f.dir.File("p/q")));
}

TEST(UnzipMember, RefusalsBeforeAnyOutput) {
  Fixture f;
  f.builder.Add("plain", "data");
  for (uint16_t method : {7, 9, 12, 98}) {
    ZipEntrySpec e;
    e.name = "m" + std::to_string(method);
    e.method = method;
    e.raw = "xxxx";
    e.flags = 0x01;  // an unsupported method wins over encryption
    f.builder.Add(e);
  }
  ZipEntrySpec encrypted;
  encrypted.name = "secret";
  encrypted.data = "data";
  encrypted.flags = 0x01;
  f.builder.Add(encrypted);
  f.Write();
  const std::string target = f.dir.File("out/t");
  for (size_t i = 1; i <= 4; ++i) EXPECT_EQ(f.Extract(i, target), 6) << i;
  EXPECT_EQ(f.Extract(5, target), 7);
  EXPECT_EQ(UnzipMember(f.archive, target, 0x20, f.builder.HeaderOffsets()[0] + 1, nullptr, 27), 4);
  EXPECT_EQ(UnzipMember(f.archive, target, 0x20, 1u << 30, nullptr, 27), 4);
  EXPECT_EQ(UnzipMember(f.dir.File("nope.zip"), target, 0x20, 0, nullptr, 27), 3);
  // A target that does not fit the 260-character path buffer.
  const std::string longTarget = f.dir.path() + std::string(259 - f.dir.path().size() + 1, 'l');
  EXPECT_EQ(f.Extract(0, longTarget), 2);
  EXPECT_EQ(f.Extract(0, f.dir.path() + std::string(259 - f.dir.path().size(), 'l')), 0);
  const std::string longFolder = f.dir.path() + std::string(259 - f.dir.path().size(), 'd');
  EXPECT_EQ(f.Extract(0, longFolder, 0x10), 2);  // the appended '/' makes it 260
  EXPECT_FALSE(FileExists(longTarget));
  EXPECT_FALSE(FileExists(longFolder));
  EXPECT_FALSE(FileExists(f.dir.File("out")));
}

TEST(UnzipMember, ReadOnlyTargetIsNotOverwritten) {
  Fixture f;
  f.builder.Add("a", "new");
  f.Write();
  const std::string target = f.dir.File("ro.txt");
  WriteFile(target, "old");
  ASSERT_TRUE(platform::SetFileAttributes(target, platform::kAttrReadOnly));
  EXPECT_EQ(f.Extract(0, target), 2);
  EXPECT_EQ(ReadFile(target), "old");
}

TEST(UnzipMember, CrcMismatchLeavesNoFile) {
  Fixture f;
  ZipEntrySpec e;
  e.name = "a";
  e.data = "contents";
  e.crcOverride = 0x12345678;
  f.builder.Add(e);
  e.method = 8;
  f.builder.Add(e);
  f.Write();
  EXPECT_EQ(f.Extract(0, f.dir.File("a")), 1);
  EXPECT_FALSE(FileExists(f.dir.File("a")));
  EXPECT_EQ(f.Extract(1, f.dir.File("a")), 1);
  EXPECT_FALSE(FileExists(f.dir.File("a")));
}

TEST(UnzipMember, DataDescriptors) {
  Fixture f;
  const std::string text = RandomBytes(50000, 3) + std::string(50000, 'a');
  ZipEntrySpec deflated;
  deflated.name = "d";
  deflated.data = text;
  deflated.method = 8;
  deflated.dataDescriptor = true;
  f.builder.Add(deflated);
  deflated.descriptorSignature = false;
  f.builder.Add(deflated);
  deflated.crcOverride = Crc32Of(text) ^ 1;  // in the descriptor and the directory alike
  f.builder.Add(deflated);
  f.Write();
  // Without the directory's values the CRC comes from the descriptor,
  // whether or not it starts with its signature.
  ASSERT_EQ(f.Extract(0, f.dir.File("d0")), 0);
  EXPECT_EQ(ReadFile(f.dir.File("d0")), text);
  ASSERT_EQ(f.Extract(1, f.dir.File("d1")), 0);
  EXPECT_EQ(ReadFile(f.dir.File("d1")), text);
  EXPECT_EQ(f.Extract(2, f.dir.File("d2")), 1);
  EXPECT_FALSE(FileExists(f.dir.File("d2")));
  // The directory's values are what is checked when they are given: a wrong
  // recorded CRC or a recorded size the data does not have is damage.
  const archive::RecordedValues right{Crc32Of(text), testing_support::RawDeflate(text).size(), text.size()};
  const std::pair<archive::RecordedValues, int> cases[] = {
      {right, 0},
      {{right.crc ^ 1, right.compressedSize, right.uncompressedSize}, 1},
      {{right.crc, 100, right.uncompressedSize}, 3}};
  for (const auto& [values, expected] : cases) {
    EXPECT_EQ(UnzipMember(f.archive, f.dir.File("r"), 0x20, f.builder.HeaderOffsets()[1], nullptr, 0, values),
              expected)
        << values.crc << " " << values.compressedSize;
    EXPECT_EQ(FileExists(f.dir.File("r")), expected == 0);
  }
}

TEST(UnzipMember, StoredEntryWithDescriptorBehindIt) {
  // Local header with sizes and flag bit 3, the data, then PK 7 8 + CRC.
  TempDir dir;
  const std::string data = "stored with a descriptor";
  const uint32_t crc = testing_support::Crc32Of(data);
  auto put = [](std::string& s, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  for (uint32_t descriptorCrc : {crc, crc ^ 1}) {
    std::string z;
    put(z, 0x04034B50, 4);
    put(z, 20, 2);
    put(z, 0x08, 2);
    put(z, 0, 2);
    put(z, 0, 4);
    put(z, 0, 4);
    put(z, static_cast<uint32_t>(data.size()), 4);
    put(z, static_cast<uint32_t>(data.size()), 4);
    put(z, 1, 2);
    put(z, 0, 2);
    z += "s" + data;
    put(z, 0x08074B50, 4);
    put(z, descriptorCrc, 4);
    put(z, static_cast<uint32_t>(data.size()), 4);
    put(z, static_cast<uint32_t>(data.size()), 4);
    WriteFile(dir.File("s.zip"), z);
    const bool good = descriptorCrc == crc;
    EXPECT_EQ(UnzipMember(dir.File("s.zip"), dir.File("s"), 0x20, 0, nullptr, 0), good ? 0 : 1);
    EXPECT_EQ(FileExists(dir.File("s")), good);
    if (good) {
      EXPECT_EQ(ReadFile(dir.File("s")), data);
    }
  }
}

TEST(UnzipMember, EscapeKeyAborts) {
  Fixture f;
  f.WriteStoredAndDeflated(RandomBytes(1 << 20));
  platform::SetKeyDown(platform::kKeyEscape, true);
  EXPECT_EQ(f.Extract(0, f.dir.File("s")), 5);
  EXPECT_EQ(f.Extract(1, f.dir.File("d")), 5);
  // Without a key code nothing is polled.
  EXPECT_EQ(f.Extract(0, f.dir.File("k"), 0x20, nullptr, 0), 0);
  platform::SetKeyDown(platform::kKeyEscape, false);
  EXPECT_FALSE(FileExists(f.dir.File("s")));
  EXPECT_FALSE(FileExists(f.dir.File("d")));
  EXPECT_EQ(f.Extract(1, f.dir.File("d")), 0);
}

TEST(UnzipMember, NotifyReceiverSeesProgressAndCanAbort) {
  Fixture f;
  f.WriteStoredAndDeflated(RandomBytes(1 << 20, 7));
  for (size_t index : {0u, 1u}) {
    std::vector<int> seen;
    auto record = [&](int16_t key, uint16_t* percentage) {
      EXPECT_EQ(key, 1234);
      seen.push_back(*percentage);
    };
    ASSERT_EQ(f.Extract(index, f.dir.File("ok"), 0x20, record, 1234), 0);
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), 100);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));

    auto stopHalfway = [](int16_t, uint16_t* percentage) {
      if (*percentage >= 50) *percentage = 0xFFFF;
    };
    EXPECT_EQ(f.Extract(index, f.dir.File("half"), 0x20, stopHalfway, 1), 5);
    EXPECT_FALSE(FileExists(f.dir.File("half")));
    auto stopAtTheEnd = [](int16_t, uint16_t* percentage) {
      if (*percentage == 100) *percentage = 0xFFFF;
    };
    EXPECT_EQ(f.Extract(index, f.dir.File("end"), 0x20, stopAtTheEnd, 1), 5);
    EXPECT_FALSE(FileExists(f.dir.File("end")));
  }
}

TEST(UnzipMember, SecondCallWhileRunningIsRefused) {
  Fixture f;
  const std::string big = RandomBytes(300000, 9);
  f.builder.Add("deflated", big, 8);
  f.Write();
  int nested = 99;
  bool stopAsked = false;
  auto reenter = [&](int16_t, uint16_t* percentage) {
    if (*percentage == 0xFFFF) stopAsked = true;
    if (*percentage > 0 && *percentage < 100 && nested == 99) {
      nested = f.Extract(0, f.dir.File("second"));
    }
  };
  EXPECT_EQ(f.Extract(0, f.dir.File("first"), 0x20, reenter, 1), 0);
  EXPECT_EQ(nested, -1);
  EXPECT_FALSE(stopAsked);
  EXPECT_EQ(ReadFile(f.dir.File("first")), big);
  EXPECT_FALSE(FileExists(f.dir.File("second")));

  // The same from a window message dispatched by the message pump.
  int argc = 1;
  char name[] = "test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  int fromMessage = 99;
  QTimer::singleShot(0, &app, [&] { fromMessage = f.Extract(0, f.dir.File("third")); });
  EXPECT_EQ(f.Extract(0, f.dir.File("first")), 0);
  EXPECT_EQ(fromMessage, -1);
  EXPECT_FALSE(FileExists(f.dir.File("third")));
}

namespace {
uint32_t g_fakeTick = 1000;
uint32_t FakeTick() { return g_fakeTick; }
}  // namespace

TEST(UnzipMember, BusyMarkLeftByAnExceptionGoesStaleAfter30Seconds) {
  Fixture f;
  f.builder.Add("deflated", RandomBytes(100000, 5), 8);
  f.Write();
  archive::SetTickSourceForTesting(FakeTick);
  auto fail = [](int16_t, uint16_t* percentage) {
    if (*percentage > 0) throw std::runtime_error("receiver failed");
  };
  EXPECT_THROW(f.Extract(0, f.dir.File("x"), 0x20, fail, 1), std::runtime_error);
  EXPECT_FALSE(FileExists(f.dir.File("x")));  // closed and removed all the same
  g_fakeTick += 30000;
  EXPECT_EQ(f.Extract(0, f.dir.File("y")), -1);
  g_fakeTick += 1;
  EXPECT_EQ(f.Extract(0, f.dir.File("y")), 0);
  archive::SetTickSourceForTesting(nullptr);
}

TEST(UnzipMember, WriteFailureGives2AndRemovesThePartialFile) {
  Fixture f;
  f.WriteStoredAndDeflated(RandomBytes(1 << 20, 13));
  int stored = 0, deflated = 0;
  {
    testing_support::FileSizeLimit full(200000);
    ASSERT_TRUE(full.active());
    stored = f.Extract(0, f.dir.File("s"));
    deflated = f.Extract(1, f.dir.File("d"));
  }
  EXPECT_EQ(stored, 2);
  EXPECT_EQ(deflated, 2);
  EXPECT_FALSE(FileExists(f.dir.File("s")));
  EXPECT_FALSE(FileExists(f.dir.File("d")));
}
