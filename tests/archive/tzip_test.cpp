#include "archive/tzip.h"

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/shared_file.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

using fretfile::TZipFile;
using fretfile::ZipFile;
using testing_support::TempDir;
using testing_support::WriteFile;
using testing_support::ZipBuilder;
using testing_support::ZipEntrySpec;

namespace {

std::vector<std::string> Names(const TZipFile& zip) {
  std::vector<std::string> names;
  for (const ZipFile& entry : zip.Entries()) names.push_back(entry.FileName);
  return names;
}

std::string Le16(uint32_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF)}; }
std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

// A bare local header with the given name length, size field and name.
std::string LocalHeader(const std::string& name, uint32_t compressedSize, const std::string& data = {}) {
  return Le32(0x04034B50) + Le16(10) + Le16(0) + Le16(0) + Le16(0) + Le16(0) + Le32(0x12345678) +
         Le32(compressedSize) + Le32(static_cast<uint32_t>(data.size())) + Le16(static_cast<uint32_t>(name.size())) +
         Le16(0) + name + data;
}

struct ManifestEntry {
  std::string name;
  int method;
  uint32_t compressedSize;
  uint32_t size;
  uint32_t crc;
  uint32_t flags;
};

std::map<std::string, std::vector<ManifestEntry>> ReadManifest(const std::string& path) {
  std::map<std::string, std::vector<ManifestEntry>> archives;
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);  // column titles
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string archive, name, method, compressed, size, crc, flags;
    std::getline(fields, archive, '\t');
    std::getline(fields, name, '\t');
    std::getline(fields, method, '\t');
    std::getline(fields, compressed, '\t');
    std::getline(fields, size, '\t');
    std::getline(fields, crc, '\t');
    std::getline(fields, flags, '\t');
    const auto number = [](const std::string& text, int base = 10) {
      return static_cast<uint32_t>(std::stoul(text, nullptr, base));
    };
    archives[archive].push_back({name, std::stoi(method), number(compressed), number(size), number(crc, 16),
                                 number(flags, 16)});
  }
  return archives;
}

}  // namespace

TEST(TZipFile, WalksRealArchivesLikeTheirCentralDirectory) {
  const std::string data = testing_support::SharedTestData();
  if (data.empty()) GTEST_SKIP() << "no shared test data";
  const auto manifest = ReadManifest(data + "MANIFEST.tsv");
  ASSERT_FALSE(manifest.empty());
  TZipFile zip;
  TempDir dir;
  for (const auto& [archive, expected] : manifest) {
    SCOPED_TRACE(archive);
    // The walker opens an archive without sharing, so it walks a private
    // copy: other test programs read the shared archives at the same time.
    const std::string copy = dir.File("walked.zip");
    testing_support::WriteFile(copy, testing_support::ReadFile(data + archive));
    zip.ReadEntries(copy);
    ASSERT_EQ(zip.FileCount(), static_cast<int32_t>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
      const ZipFile& got = zip.Entries()[i];
      EXPECT_EQ(got.FileName, expected[i].name);
      EXPECT_EQ(got.PackMethod, expected[i].method);
      EXPECT_EQ(static_cast<uint32_t>(got.CompressedSize), expected[i].compressedSize);
      EXPECT_EQ(got.Size, expected[i].size);
      EXPECT_EQ(got.Crc, expected[i].crc);
      EXPECT_EQ(got.Flags, expected[i].flags);
      EXPECT_EQ(got.FileNameLength, expected[i].name.size());
    }
  }
}

TEST(TZipFile, ReportsEachHeaderInOrderAfterListingIt) {
  TempDir dir;
  ZipBuilder().Add("one.txt", "1").Add("two.txt", "22").Add("three.txt", "333").WriteTo(dir.File("a.zip"));
  TZipFile zip;
  std::vector<std::string> reported;
  std::vector<int32_t> countInHandler;
  zip.OnReadFile = [&](ZipFile entry) {
    reported.push_back(entry.FileName);
    countInHandler.push_back(zip.FileCount());
    entry.FileName = "changed";  // a copy: the list keeps its own
  };
  zip.ReadEntries(dir.File("a.zip"));
  EXPECT_EQ(reported, (std::vector<std::string>{"one.txt", "two.txt", "three.txt"}));
  EXPECT_EQ(countInHandler, (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(Names(zip), reported);
  EXPECT_EQ(zip.Entries()[2].Size, 3u);
  EXPECT_EQ(zip.Entries()[2].Crc, testing_support::Crc32Of("333"));
  EXPECT_EQ(zip.FileName(), "") << "a rebuild walks without setting the property";
}

TEST(TZipFile, NamesAreCutAtAZeroByteAndMayBeEmptyOrFolders) {
  TempDir dir;
  ZipBuilder()
      .Add(std::string("abc\0def.txt", 11), "x")
      .Add("", "empty name")
      .Add("folder/", "")
      .Add("folder/song.txt", "la")
      .WriteTo(dir.File("a.zip"));
  TZipFile zip;
  zip.ReadEntries(dir.File("a.zip"));
  EXPECT_EQ(Names(zip), (std::vector<std::string>{"abc", "", "folder/", "folder/song.txt"}));
  EXPECT_EQ(zip.Entries()[0].FileNameLength, 11);
}

TEST(TZipFile, LongNameIsCutToTheBufferAndTheWalkGoesOn) {
  TempDir dir;
  const std::string longName(300, 'L');
  ZipBuilder().Add(longName, "data of the long one").Add("next.txt", "n").WriteTo(dir.File("a.zip"));
  TZipFile zip;
  zip.ReadEntries(dir.File("a.zip"));
  ASSERT_EQ(zip.FileCount(), 2);
  EXPECT_EQ(zip.Entries()[0].FileName, std::string(TZipFile::kNameBufferSize, 'L'));
  EXPECT_EQ(zip.Entries()[0].FileNameLength, 300);
  EXPECT_EQ(zip.Entries()[1].FileName, "next.txt");
}

TEST(TZipFile, HeadersAcrossBufferBoundariesAndLargeSkips) {
  TempDir dir;
  ZipBuilder builder;
  std::vector<std::string> expected;
  // Entries of odd sizes so headers straddle the 64 KiB buffer edges, and
  // one entry far larger than the buffer.
  for (int i = 0; i < 60; ++i) {
    expected.push_back("song" + std::to_string(i) + ".txt");
    builder.Add(expected.back(), std::string(3001 + i * 7, static_cast<char>('a' + i % 26)));
  }
  expected.push_back("big.bin");
  builder.Add(expected.back(), std::string(300000, 'B'));
  expected.push_back("after.txt");
  builder.Add(expected.back(), "end");
  builder.WriteTo(dir.File("a.zip"));
  TZipFile zip;
  zip.ReadEntries(dir.File("a.zip"));
  EXPECT_EQ(Names(zip), expected);
  EXPECT_EQ(zip.Entries()[60].Size, 300000u);
}

TEST(TZipFile, CentralHeadersYieldNothingWithOrWithoutTheEndRecord) {
  TempDir dir;
  std::string bytes = ZipBuilder().Add("a.txt", "aaaa").Add("b.txt", "bbbbbbb").Build();
  WriteFile(dir.File("whole.zip"), bytes);
  WriteFile(dir.File("no-end.zip"), bytes.substr(0, bytes.size() - 22));
  TZipFile zip;
  zip.ReadEntries(dir.File("whole.zip"));
  EXPECT_EQ(Names(zip), (std::vector<std::string>{"a.txt", "b.txt"}));
  zip.ReadEntries(dir.File("no-end.zip"));
  EXPECT_EQ(Names(zip), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST(TZipFile, TruncatedLastHeaderIsReportedAndEndsTheWalk) {
  TempDir dir;
  ZipBuilder builder;
  builder.Add("first.txt", "first data").Add("second.txt", "second data");
  const std::string bytes = builder.Build();
  const uint32_t second = builder.HeaderOffsets()[1];
  // Cut inside the second header's size fields.
  WriteFile(dir.File("cut-header.zip"), bytes.substr(0, second + 20));
  // Cut inside the second entry's data.
  WriteFile(dir.File("cut-data.zip"), bytes.substr(0, second + 30 + 10 + 3));
  TZipFile zip;
  zip.ReadEntries(dir.File("cut-header.zip"));
  ASSERT_EQ(zip.FileCount(), 2);
  EXPECT_EQ(zip.Entries()[1].Version, 20);
  EXPECT_EQ(zip.Entries()[1].FileName, "");
  zip.ReadEntries(dir.File("cut-data.zip"));
  EXPECT_EQ(Names(zip), (std::vector<std::string>{"first.txt", "second.txt"}));
}

TEST(TZipFile, NonArchiveYieldsNothingAndASecondWalkReplacesTheList) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "not an archive, just text " + std::to_string(i) + "\n";
  WriteFile(dir.File("text.zip"), text);
  ZipBuilder().Add("a.txt", "a").Add("b.txt", "b").WriteTo(dir.File("first.zip"));
  TZipFile zip;
  zip.ReadEntries(dir.File("first.zip"));
  EXPECT_EQ(zip.FileCount(), 2);
  zip.ReadEntries(dir.File("text.zip"));
  EXPECT_EQ(zip.FileCount(), 0);
  WriteFile(dir.File("empty.zip"), "");
  zip.ReadEntries(dir.File("empty.zip"));
  EXPECT_EQ(zip.FileCount(), 0);
}

TEST(TZipFile, SizeFieldWithTheTopBitSetNeverMovesBackwards) {
  TempDir dir;
  // Read as a signed step, this size would lead straight back to the
  // header's own start and the walk would never end.
  const std::string name = "loop.txt";
  const uint32_t backToStart = static_cast<uint32_t>(-static_cast<int32_t>(30 + name.size()));
  WriteFile(dir.File("loop.zip"), LocalHeader(name, backToStart) + LocalHeader("unseen.txt", 0));
  TZipFile zip;
  zip.ReadEntries(dir.File("loop.zip"));
  ASSERT_EQ(zip.FileCount(), 1);
  EXPECT_EQ(zip.Entries()[0].CompressedSize, static_cast<int32_t>(backToStart));
}

TEST(TZipFile, ZeroSizedEntryIsReadThroughAtAnyAlignment) {
  TempDir dir;
  // A header that declares no data (as with a data descriptor): the walk
  // looks on through the data, byte by byte, and takes a signature met
  // there as a header, wherever it lies.
  const std::string data = "abc" + LocalHeader("inside.txt", 0) + "wxyz";
  WriteFile(dir.File("a.zip"), LocalHeader("outer.txt", 0, data) + LocalHeader("last.txt", 1, "z"));
  TZipFile zip;
  zip.ReadEntries(dir.File("a.zip"));
  EXPECT_EQ(Names(zip), (std::vector<std::string>{"outer.txt", "inside.txt", "last.txt"}));
}

TEST(TZipFile, EntriesWhoseHeadersDeferTheirSizesAreSteppedOverExactly) {
  if (!testing_support::HaveZlib()) GTEST_SKIP() << "needs zlib";
  TempDir dir;
  // Deflated songs of odd lengths put every descriptor and header off the
  // 4-byte steps of the walk.
  const auto song = [](int n) {
    std::string text;
    for (int i = 0; i < 40 + 7 * n; ++i) text += "line " + std::to_string(i * n) + " of song\n";
    return text;
  };
  const auto piped = [&](const std::string& name, int n, bool signature, bool zip64) {
    ZipEntrySpec e;
    e.name = name;
    e.data = song(n);
    e.method = 8;
    e.dataDescriptor = true;
    e.descriptorSignature = signature;
    e.zip64Local = zip64;
    return e;
  };
  ZipEntrySpec storedZip64;
  storedZip64.name = "stored64.txt";
  storedZip64.data = song(5) + "PK\x03\x04 inside the data";
  storedZip64.zip64Local = true;
  ZipBuilder builder;
  builder.Add(piped("a.txt", 1, true, false)).Add(piped("b.txt", 2, false, false)).Add(storedZip64);
  builder.Add(piped("c.txt", 3, true, true)).Add("d.txt", "last");
  const std::vector<std::string> all{"a.txt", "b.txt", "stored64.txt", "c.txt", "d.txt"};
  const std::string whole = builder.Build();
  WriteFile(dir.File("whole.zip"), whole);
  TZipFile zip;
  zip.ReadEntries(dir.File("whole.zip"));
  EXPECT_EQ(Names(zip), all);

  // Cut before its central directory (a download that stopped), signed
  // descriptors are still found behind each entry's data.
  ZipBuilder signedOnly;
  signedOnly.Add(piped("a.txt", 1, true, false)).Add(piped("c.txt", 3, true, true)).Add(piped("e.txt", 4, true, false));
  const std::string cut = signedOnly.Build();
  WriteFile(dir.File("cut.zip"), cut.substr(0, cut.find(std::string("PK\x01\x02", 4))));
  zip.ReadEntries(dir.File("cut.zip"));
  EXPECT_EQ(Names(zip), (std::vector<std::string>{"a.txt", "c.txt", "e.txt"}));
}

TEST(TZipFile, LockedOrMissingArchiveRaisesTheOpenError) {
  TempDir dir;
  ZipBuilder().Add("a.txt", "a").WriteTo(dir.File("a.zip"));
  TZipFile zip;
  zip.ReadEntries(dir.File("a.zip"));
  ASSERT_EQ(zip.FileCount(), 1);
  platform::SharedFile holder;
  ASSERT_EQ(holder.Open(dir.File("a.zip"), platform::FileAccess::Read, platform::FileShare::DenyAll), 0);
  try {
    zip.ReadEntries(dir.File("a.zip"));
    FAIL() << "a locked archive was walked";
  } catch (const std::exception& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot open file " + dir.File("a.zip"));
  }
  EXPECT_EQ(zip.FileCount(), 0);
}

TEST(TZipFile, AssigningFileNameKeepsOnlyExistingFiles) {
  TempDir dir;
  ZipBuilder().Add("a.txt", "a").WriteTo(dir.File("a.zip"));
  TZipFile zip;
  zip.SetFileName(dir.File("a.zip"));
  EXPECT_EQ(zip.FileName(), dir.File("a.zip"));
  EXPECT_EQ(zip.FileCount(), 1);
  EXPECT_THROW(zip.SetFileName(dir.File("missing.zip")), std::exception);
  EXPECT_EQ(zip.FileName(), dir.File("a.zip"));
  EXPECT_EQ(zip.FileCount(), 0);
}
