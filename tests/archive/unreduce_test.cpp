// Unreduce (methods 2-5) on real PKZIP data and on damaged streams.
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

StreamSetup ReduceSetup(int method, int64_t uncompressed) {
  StreamSetup setup;
  setup.method = method;
  setup.uncompressedSize = uncompressed;
  return setup;
}

// A reduced stream whose follower sets are all empty, so every byte of the
// inner layer is stored as its plain 8 bits (the 256 six-bit zero counts
// take exactly 192 bytes).
std::string PlainReduced(const std::string& inner) { return std::string(192, '\0') + inner; }

TEST(UnreduceRealData, RawStreamsOfFactorFour) {
  const std::string data = SharedTestData();
  if (data.empty()) GTEST_SKIP() << "shared test data absent";
  const std::string hamlet = ReadFile(data + "legacy/implode_hamlet_2048.out");
  const auto run = RunOnBytes(ReadFile(data + "legacy/reduce_hamlet_2048.bin"), ReduceSetup(5, 2048));
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.output, hamlet);
  // Its last copy reaches before the start of the output: zeros.
  const auto zeros = RunOnBytes(ReadFile(data + "legacy/reduce_zero_reduced.bin"), ReduceSetup(5, 3072));
  EXPECT_EQ(zeros.result, 0);
  EXPECT_EQ(zeros.output, hamlet + std::string(1024, '\0'));
}

TEST(UnreduceRealData, EveryReducedEntryOfTheArchives) {
  const std::string data = SharedTestData();
  if (data.empty()) GTEST_SKIP() << "shared test data absent";
  EXPECT_EQ(legacy_harness::CheckEveryEntry(data,
                                            {"legacy/reduce.zip", "pkzip-dos/PKZ80B1.ZIP", "pkzip-dos/PKZ80B2.ZIP",
                                             "pkzip-dos/PKZ80B3.ZIP", "pkzip-dos/PKZ80B4.ZIP"},
                                            2, 5),
            29);
}

TEST(UnreduceRealData, TruncatedStreamEndsWithInputFailure) {
  const std::string data = SharedTestData();
  if (data.empty()) GTEST_SKIP() << "shared test data absent";
  const std::string stream = ReadFile(data + "legacy/reduce_hamlet_2048.bin");
  EXPECT_EQ(RunOnBytes(stream.substr(0, stream.size() / 2), ReduceSetup(5, 2048), "").result, 3);
  // Cut inside the follower sets.
  EXPECT_EQ(RunOnBytes(stream.substr(0, 40), ReduceSetup(5, 2048), "").result, 3);
}

TEST(UnreduceStreams, DleSequencesOfEachFactor) {
  // "ab", DLE 0 (a literal 144), then a copy of distance 2: V holds the
  // length in its low bits and the distance's high bits above them.
  for (int method = 2; method <= 5; ++method) {
    SCOPED_TRACE(method);
    const std::string inner = std::string("ab\x90\x00", 4) + "\x90" + static_cast<char>(2) + static_cast<char>(1);
    const auto run = RunOnBytes(PlainReduced(inner), ReduceSetup(method, 8));
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output, "ab\x90" "b\x90" "b\x90" "b");
  }
}

TEST(UnreduceStreams, LongestLengthAndFarthestDistance) {
  // Factor 4: V = 0xFF gives length mask 15 with a length byte to add, and
  // distance high bits 15: distance 15 * 256 + 255 + 1 = 4096.
  std::string text(4096, '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('A' + i % 23);
  std::string inner;
  for (char c : text) {
    inner += c;
    if (static_cast<uint8_t>(c) == 144) inner += '\0';
  }
  inner += std::string("\x90\xFF\xFF\xFF", 4);  // length 15 + 255 + 3 = 273, distance 4096
  const auto run = RunOnBytes(PlainReduced(inner), ReduceSetup(5, 4096 + 273));
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.output, text + text.substr(0, 273));
}

TEST(UnreduceStreams, FollowerSetsCodeBytesByTheirPredecessor) {
  // Set of byte 0: {'x', 'y', 'z'} (2 index bits); all others empty. The
  // first byte follows 0: index 2 gives 'z'; then 'z' has an empty set: 8
  // bits; then after 0 again... 'q' via the escape bit.
  BitWriter bits;
  for (int j = 255; j >= 1; --j) bits.Put(0, 6);
  bits.Put(3, 6);
  bits.Put('x', 8);
  bits.Put('y', 8);
  bits.Put('z', 8);
  bits.Put(0, 1);
  bits.Put(2, 2);       // 'z'
  bits.Put('\0', 8);    // 0, from the empty set of 'z'
  bits.Put(1, 1);
  bits.Put('q', 8);     // escape: plain byte after 0
  bits.Put('\0', 8);
  bits.Put(0, 1);
  bits.Put(3, 2);       // index 3 of a 3-entry set: the zeroed slot
  const auto run = RunOnBytes(bits.bytes(), ReduceSetup(2, 5));
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.output, std::string("z\0q\0\0", 5));
}

TEST(UnreduceStreams, CompressorRoundTrip) {
  std::mt19937 random(4);
  std::string text;
  while (text.size() < 100000) {
    text += "all the world's a stage\r\n";
    text += static_cast<char>(144);
    if (random() % 2 == 0) text += std::string(random() % 300, static_cast<char>(random()));
  }
  const auto run = RunOnBytes(legacy_streams::Reduce(text), ReduceSetup(5, static_cast<int64_t>(text.size())));
  EXPECT_EQ(run.result, 0);
  EXPECT_TRUE(run.output == text);
}

TEST(UnreduceStreams, SizesAndFailures) {
  StreamSetup unknown = ReduceSetup(3, archive::kUnknownSize);
  unknown.compressedSize = archive::kUnknownSize;
  EXPECT_EQ(RunOnBytes(PlainReduced("abc"), unknown).result, 4);

  // A copy longer than what is left is cut at the entry's size.
  const auto cut = RunOnBytes(PlainReduced(std::string("ab\x90\x7E\x01", 5)), ReduceSetup(2, 10));
  EXPECT_EQ(cut.result, 0);
  EXPECT_EQ(cut.output, "ababababab");

  std::string inner;
  for (int i = 0; i < 3000; ++i) inner += std::string("xy\x90\x7F\xFF\x01", 6);  // ~400 KB of output
  const int64_t size = 3000 * (2 + 127 + 255 + 3);
  legacy_harness::CheckWriteFailureAndAbort(PlainReduced(inner), ReduceSetup(2, size));
  EXPECT_EQ(RunOnBytes(PlainReduced(inner), ReduceSetup(2, size)).result, 0);
}

TEST(UnreduceThroughUnzipMember, RealAndBuiltArchives) {
  legacy_harness::CheckRealArchiveThroughUnzipMember("legacy/reduce.zip");
  const std::string text = "round and round the ragged rock the ragged rascal ran";
  legacy_harness::CheckSizesInHeaderAndDeferred(5, 0, text, legacy_streams::Reduce(text));
}

TEST(UnreduceStreams, DamagedRealStreamsNeverMisbehave) {
  const std::string data = SharedTestData();
  if (data.empty()) GTEST_SKIP() << "shared test data absent";
  legacy_harness::CheckDamagedRealStream(data + "legacy/reduce.zip", 5, {0, 3});
}

TEST(UnreduceStreams, RandomBytesNeverMisbehave) {
  legacy_harness::CheckRandomStreams(
      2, 300,
      [](std::mt19937& random, int) {
        const std::string bytes = legacy_harness::RandomBytes(random, 3000);
        const int method = 2 + static_cast<int>(random() % 4);
        return legacy_harness::HostileStream{bytes, ReduceSetup(method, static_cast<int64_t>(random() % 100000))};
      },
      {0, 3}, 100000);
}

}  // namespace
