// Explode (method 6) on real PKZIP data and on damaged streams.
#include <gtest/gtest.h>

#include <random>

#include "archive/explode.h"
#include "archive/unzip_member.h"
#include "legacy_harness.h"
#include "legacy_streams.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace {

using archive::BuildLookupTable;
using archive::CodeSet;
using archive::LookupTable;
using legacy_harness::RunEntry;
using legacy_harness::RunOnBytes;
using legacy_harness::StreamSetup;
using legacy_streams::BitWriter;
using testing_support::ReadFile;
using testing_support::SharedTestData;

StreamSetup ImplodeSetup(uint16_t flags, int64_t uncompressed) {
  StreamSetup setup;
  setup.method = 6;
  setup.flags = flags;
  setup.uncompressedSize = uncompressed;
  return setup;
}

// The length and distance trees of a two-tree stream: 64 codes of 6 bits each,
// described as four runs of 16 (0xF5 = 16 codes of length 6).
std::string FlatTrees() { return std::string("\x03\xF5\xF5\xF5\xF5\x03\xF5\xF5\xF5\xF5", 10); }

TEST(ExplodeCodeTables, JudgesCodeSets) {
  LookupTable table;
  const uint8_t complete[] = {1, 2, 3, 3};
  EXPECT_EQ(BuildLookupTable(complete, 4, 7, table), CodeSet::kComplete);
  const uint8_t incomplete[] = {2, 2, 3};
  EXPECT_EQ(BuildLookupTable(incomplete, 3, 7, table), CodeSet::kIncomplete);
  const uint8_t oversubscribed[] = {1, 1, 2};
  EXPECT_EQ(BuildLookupTable(oversubscribed, 3, 7, table), CodeSet::kBad);
  const uint8_t tooLong[] = {1, 17};
  EXPECT_EQ(BuildLookupTable(tooLong, 2, 7, table), CodeSet::kBad);
  const uint8_t single[] = {0, 1, 0};
  EXPECT_EQ(BuildLookupTable(single, 3, 7, table), CodeSet::kComplete);
  const uint8_t none[] = {0, 0};
  EXPECT_EQ(BuildLookupTable(none, 2, 7, table), CodeSet::kComplete);
  for (const auto& entry : table.entries) EXPECT_EQ(entry.op, archive::kCodeInvalid);
}

TEST(ExplodeRealData, RawStreamFourKilobytesTwoTrees) {
  const std::string data = SharedTestData();
  if (data.empty()) GTEST_SKIP() << "shared test data absent";
  const std::string expected = ReadFile(data + "legacy/implode_hamlet_256.out");
  const auto run = RunOnBytes(ReadFile(data + "legacy/implode_hamlet_256.bin"),
                              ImplodeSetup(0x00, static_cast<int64_t>(expected.size())));
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.output, expected);
}

TEST(ExplodeRealData, EveryImplodedEntryOfTheArchives) {
  const std::string data = SharedTestData();
  if (data.empty()) GTEST_SKIP() << "shared test data absent";
  EXPECT_EQ(legacy_harness::CheckEveryEntry(
                data, {"legacy/implode.zip", "pkzip-dos/PKZ110.ZIP", "pkzip-dos/PKZ110EI.ZIP"}, 6, 6),
            15);
}

TEST(ExplodeRealData, TruncatedStreamEndsWithInputFailure) {
  const std::string data = SharedTestData();
  if (data.empty()) GTEST_SKIP() << "shared test data absent";
  const auto half = legacy_harness::HalfOfEntry(data + "pkzip-dos/PKZ110.ZIP", "TEST.PCX");
  ASSERT_TRUE(half);
  EXPECT_EQ(RunOnBytes(half->first, legacy_harness::SetupOf(half->second), "").result, 3);
  // The trees alone, cut in the middle, are truncated as well.
  EXPECT_EQ(RunOnBytes(half->first.substr(0, 20), legacy_harness::SetupOf(half->second), "").result, 3);
}

TEST(ExplodeStreams, EightKilobyteDictionaryAndLongMatches) {
  // Flags 0x02, two trees: a literal 'A' (raw), then a match at distance 1 of
  // length code 63 + 255 extra = 2 + 63 + 255 = 320 bytes, then a match
  // reaching 8000 bytes back, before the start of the output: zeros.
  BitWriter bits;
  bits.Put(1, 1);
  bits.Put('A', 8);
  bits.Put(0, 1);
  bits.Put(0, 7);               // low distance bits: distance 1
  bits.PutInvertedCode(0, 6);   // distance code 0
  bits.PutInvertedCode(63, 6);  // length code 63
  bits.Put(255, 8);
  bits.Put(0, 1);
  bits.Put(8000 % 128 - 1, 7);  // distance 8000 = 62 * 128 + 63 + 1
  bits.PutInvertedCode(62, 6);
  bits.PutInvertedCode(3, 6);   // length 5
  const auto run = RunOnBytes(FlatTrees() + bits.bytes(), ImplodeSetup(0x02, 326));
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.output, std::string(321, 'A') + std::string(5, '\0'));
}

TEST(ExplodeStreams, CompressorRoundTripEightKilobytesThreeTrees) {
  std::mt19937 random(3);
  std::string text;
  while (text.size() < 200000) {
    text += "to be or not to be, that is the question ";
    text += std::to_string(random() % 1000);
    if (random() % 3 == 0) text += std::string(random() % 400, static_cast<char>(random()));
  }
  const auto run = RunOnBytes(legacy_streams::Implode(text), ImplodeSetup(0x06, static_cast<int64_t>(text.size())));
  EXPECT_EQ(run.result, 0);
  EXPECT_TRUE(run.output == text);
}

TEST(ExplodeStreams, MatchIsCutAtTheEntrySize) {
  BitWriter bits;
  bits.Put(1, 1);
  bits.Put('z', 8);
  bits.Put(0, 1);
  bits.Put(0, 6);
  bits.PutInvertedCode(0, 6);
  bits.PutInvertedCode(10, 6);  // 12 bytes, but only 4 are left
  const auto run = RunOnBytes(FlatTrees() + bits.bytes(), ImplodeSetup(0x00, 5));
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.output, "zzzzz");
}

TEST(ExplodeStreams, DamagedTreesAreCorrupt) {
  const std::string body(16, '\x55');
  // Length tree describes 63 codes: 16 + 16 + 16 + 15.
  EXPECT_EQ(RunOnBytes(std::string("\x03\xF5\xF5\xF5\xE5", 5) + FlatTrees().substr(5) + body,
                       ImplodeSetup(0x00, 10)).result, 4);
  // ... or 65.
  EXPECT_EQ(RunOnBytes(std::string("\x04\xF5\xF5\xF5\xF5\x00", 6) + FlatTrees().substr(5) + body,
                       ImplodeSetup(0x00, 10)).result, 4);
  // 64 codes of 7 bits leave half the patterns unused: not a complete tree.
  EXPECT_EQ(RunOnBytes(std::string("\x03\xF6\xF6\xF6\xF6", 5) + FlatTrees().substr(5) + body,
                       ImplodeSetup(0x00, 10)).result, 4);
  // 64 codes of 5 bits over-subscribe.
  EXPECT_EQ(RunOnBytes(std::string("\x03\xF4\xF4\xF4\xF4", 5) + FlatTrees().substr(5) + body,
                       ImplodeSetup(0x00, 10)).result, 4);
  // The literal tree of a three-tree stream must hold 256 codes.
  EXPECT_EQ(RunOnBytes(FlatTrees() + FlatTrees() + body, ImplodeSetup(0x04, 10)).result, 4);
}

TEST(ExplodeStreams, UnknownSizesAreRefused) {
  StreamSetup setup = ImplodeSetup(0x00, archive::kUnknownSize);
  setup.compressedSize = archive::kUnknownSize;
  EXPECT_EQ(RunOnBytes(FlatTrees() + std::string(64, '\x55'), setup).result, 4);
}

TEST(ExplodeStreams, WriteFailureAndAbort) {
  // 'q' and then 8000 matches of 320 bytes at distance 1: 2.5 MB from 36 KB.
  BitWriter bits;
  bits.Put(1, 1);
  bits.Put('q', 8);
  for (int i = 0; i < 8000; ++i) {
    bits.Put(0, 1);
    bits.Put(0, 6);
    bits.PutInvertedCode(0, 6);
    bits.PutInvertedCode(63, 6);
    bits.Put(255, 8);
  }
  const std::string stream = FlatTrees() + bits.bytes();
  const int64_t size = 1 + 8000 * 320;
  const auto whole = RunOnBytes(stream, ImplodeSetup(0x00, size));
  EXPECT_EQ(whole.result, 0);
  EXPECT_EQ(whole.output, std::string(static_cast<size_t>(size), 'q'));

  legacy_harness::CheckWriteFailureAndAbort(stream, ImplodeSetup(0x00, size));
}

TEST(ExplodeThroughUnzipMember, RealAndBuiltArchives) {
  legacy_harness::CheckRealArchiveThroughUnzipMember("legacy/implode.zip");
  const std::string text = "peter piper picked a peck of pickled peppers, a peck of pickled peppers";
  legacy_harness::CheckSizesInHeaderAndDeferred(6, 0x06, text, legacy_streams::Implode(text));
}

TEST(ExplodeStreams, DamagedRealStreamsNeverMisbehave) {
  const std::string data = SharedTestData();
  if (data.empty()) GTEST_SKIP() << "shared test data absent";
  legacy_harness::CheckDamagedRealStream(data + "legacy/implode.zip", 6, {0, 3, 4});
}

TEST(ExplodeStreams, RandomBytesNeverMisbehave) {
  legacy_harness::CheckRandomStreams(
      6, 300,
      [](std::mt19937& random, int round) {
        std::string bytes = legacy_harness::RandomBytes(random, 3000);
        // Sometimes put valid trees in front so the decoding loop is reached.
        if (round % 2 == 0) bytes = FlatTrees() + bytes;
        const uint16_t flags = static_cast<uint16_t>(random() & 0x06);
        return legacy_harness::HostileStream{bytes, ImplodeSetup(flags, static_cast<int64_t>(random() % 200000))};
      },
      {0, 3, 4}, 200000);
}

}  // namespace
