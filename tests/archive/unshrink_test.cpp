// Unshrink (method 1) on real PKZIP data and on damaged streams.
#include <gtest/gtest.h>

#include <random>

#include "archive/unzip_member.h"
#include "legacy_harness.h"
#include "legacy_streams.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace {

using legacy_harness::RunEntry;
using legacy_harness::RunOnBytes;
using legacy_harness::StreamSetup;
using legacy_streams::BitWriter;
using testing_support::ReadFile;
using testing_support::SharedTestData;

StreamSetup ShrinkSetup(int64_t uncompressed) {
  StreamSetup setup;
  setup.method = 1;
  setup.uncompressedSize = uncompressed;
  return setup;
}

TEST(UnshrinkRealData, EveryShrunkEntryOfTheArchives) {
  const std::string data = SharedTestData();
  if (data.empty()) GTEST_SKIP() << "shared test data absent";
  EXPECT_EQ(legacy_harness::CheckEveryEntry(
                data, {"legacy/shrink.zip", "pkzip-dos/PKZ110ES.ZIP", "pkzip-dos/PKZ80B1.ZIP"}, 1, 1),
            10);
}

TEST(UnshrinkRealData, TruncatedStreamEndsWithInputFailure) {
  const std::string data = SharedTestData();
  if (data.empty()) GTEST_SKIP() << "shared test data absent";
  const auto half = legacy_harness::HalfOfEntry(data + "pkzip-dos/PKZ110ES.ZIP", "TEST.PCX");
  ASSERT_TRUE(half);
  EXPECT_EQ(RunOnBytes(half->first, legacy_harness::SetupOf(half->second), "").result, 3);
}

TEST(UnshrinkStreams, CompressorRoundTrip) {
  // Long enough to widen the codes to 13 bits and fill the table.
  std::mt19937 random(1);
  std::string text;
  const char* words[] = {"alpha ", "beta ", "gamma ", "delta ", "epsilon ", "zeta\r\n", "eta ", "theta "};
  while (text.size() < 300000) {
    text += words[random() % 8];
    if (random() % 5 == 0) text += static_cast<char>(random());
  }
  const std::string shrunk = legacy_streams::Shrink(text);
  const auto run = RunOnBytes(shrunk, ShrinkSetup(static_cast<int64_t>(text.size())));
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.output, text);
}

TEST(UnshrinkStreams, StringOfAFreeCodeIsThePreviousStringPlusItsFirstByte) {
  // 'a', then 257 before it is made: "aa" (257 becomes "aa"); then 258, not
  // made either: "aa" + "a" (258 becomes "aaa"): the classic run encoding.
  BitWriter bits;
  bits.Put('a', 9);
  bits.Put(257, 9);  // "aa"    (257 becomes "aa")
  bits.Put(258, 9);  // "aaa"   (258 becomes "aaa")
  bits.Put('b', 9);
  const auto run = RunOnBytes(bits.bytes(), ShrinkSetup(7));
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.output, "aaaaaab");
}

TEST(UnshrinkStreams, ControlCodes) {
  // Widening four times reaches 13 bits and is fine; a fifth time is corrupt.
  BitWriter widen;
  widen.Put('x', 9);
  uint32_t width = 9;
  for (int i = 0; i < 4; ++i) {
    widen.Put(256, width);
    widen.Put(1, width);
    ++width;
  }
  widen.Put('y', width);
  EXPECT_EQ(RunOnBytes(widen.bytes(), ShrinkSetup(2)).output, "xy");
  widen.Put(256, width);
  widen.Put(1, width);
  widen.Put('z', width);
  EXPECT_EQ(RunOnBytes(widen.bytes(), ShrinkSetup(3)).result, 4);

  BitWriter subcode3;
  subcode3.Put('x', 9);
  subcode3.Put(256, 9);
  subcode3.Put(3, 9);
  subcode3.Put('y', 9);
  EXPECT_EQ(RunOnBytes(subcode3.bytes(), ShrinkSetup(2)).result, 4);

  // "a" "b" "c" make 257 "ab" and 258 "bc"; code 257 gives "ab" and makes
  // 259 "ca". None of them is a prefix, so a partial clear frees all three,
  // and the codes made next reuse them lowest first: 257 (from the previous
  // code 257, freed itself), then 258 = "de", which the stream then uses.
  BitWriter clear;
  for (uint32_t code : {uint32_t{'a'}, uint32_t{'b'}, uint32_t{'c'}, 257u}) clear.Put(code, 9);
  clear.Put(256, 9);
  clear.Put(2, 9);
  for (uint32_t code : {uint32_t{'d'}, uint32_t{'e'}, 258u}) clear.Put(code, 9);
  const auto run = RunOnBytes(clear.bytes(), ShrinkSetup(9));
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.output, "abcabdede");
}

TEST(UnshrinkStreams, DamagedChainsAreCorrupt) {
  // The first code must be a literal.
  BitWriter first;
  first.Put(300, 9);
  first.Put('a', 9);
  EXPECT_EQ(RunOnBytes(first.bytes(), ShrinkSetup(2)).result, 4);

  // A free code right after a free code: its previous string is unmade.
  BitWriter unmade;
  unmade.Put('a', 9);
  unmade.Put(400, 9);  // free: "a" + 'a'; 257 becomes "aa", 400 stays free
  unmade.Put(500, 9);  // free: the string of 400 is needed, and it has none
  EXPECT_EQ(RunOnBytes(unmade.bytes(), ShrinkSetup(5)).result, 4);
}

TEST(UnshrinkStreams, LoopingChainIsCorruptNotEndless) {
  // 'a', then 258 while 257 is the next code: 258 is free, so it reads as
  // "aa" and stays free while 257 is made. The next code made is 258 itself,
  // with the previous code, 258, as its prefix: a chain without end.
  BitWriter bits;
  bits.Put('a', 9);
  bits.Put(258, 9);
  bits.Put('b', 9);
  bits.Put(258, 9);
  const auto run = RunOnBytes(bits.bytes(), ShrinkSetup(1000));
  EXPECT_EQ(run.result, 4);
}

TEST(UnshrinkStreams, SizesAndFailures) {
  BitWriter bits;
  bits.Put('h', 9);
  bits.Put('i', 9);
  // Sizes deferred to a data descriptor: no budget, refused.
  StreamSetup unknown = ShrinkSetup(archive::kUnknownSize);
  unknown.compressedSize = archive::kUnknownSize;
  EXPECT_EQ(RunOnBytes(bits.bytes(), unknown).result, 4);
  // An empty entry has nothing to decode.
  StreamSetup empty = ShrinkSetup(0);
  const auto none = RunOnBytes("", empty);
  EXPECT_EQ(none.result, 0);
  EXPECT_EQ(none.output, "");
  // Data that grows past the declared size is damaged.
  EXPECT_EQ(RunOnBytes(bits.bytes(), ShrinkSetup(1)).result, 4);
  // A declared size far beyond the file ends with the input, not 2 GB later.
  StreamSetup oversized = ShrinkSetup(2);
  oversized.compressedSize = 0x7FFFFFF0;
  EXPECT_EQ(RunOnBytes(bits.bytes(), oversized, "").result, 3);

  std::string text(200000, 'r');
  for (size_t i = 0; i < text.size(); i += 7) text[i] = static_cast<char>('a' + i % 13);
  const std::string shrunk = legacy_streams::Shrink(text);
  legacy_harness::CheckWriteFailureAndAbort(shrunk, ShrinkSetup(static_cast<int64_t>(text.size())));
}

TEST(UnshrinkThroughUnzipMember, RealAndBuiltArchives) {
  legacy_harness::CheckRealArchiveThroughUnzipMember("legacy/shrink.zip");
  // Sizes left to a data descriptor leave no bit budget: refused (4).
  const std::string text = "she sells sea shells by the sea shore, the shells she sells are sea shells";
  legacy_harness::CheckSizesInHeaderAndDeferred(1, 0, text, legacy_streams::Shrink(text));
}

TEST(UnshrinkStreams, DamagedRealStreamsNeverMisbehave) {
  const std::string data = SharedTestData();
  if (data.empty()) GTEST_SKIP() << "shared test data absent";
  legacy_harness::CheckDamagedRealStream(data + "legacy/shrink.zip", 1, {0, 3, 4});
}

TEST(UnshrinkStreams, RandomBytesNeverMisbehave) {
  legacy_harness::CheckRandomStreams(
      1, 300,
      [](std::mt19937& random, int) {
        std::string bytes(static_cast<size_t>(random() % 4000), '\0');
        for (auto& byte : bytes) byte = static_cast<char>(random() % 3 == 0 ? random() : random() & 0x3F);
        return legacy_harness::HostileStream{bytes, ShrinkSetup(static_cast<int64_t>(random() % 100000))};
      },
      {0, 3, 4}, 100000);
}

}  // namespace
