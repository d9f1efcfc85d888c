// Inflate against zlib as the oracle, and hand-made streams for the cases
// zlib never writes.
#include <gtest/gtest.h>

#include <random>

#include "archive/inflate.h"
#include "archive/unzip_member.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

#ifdef FRETFILE_HAVE_ZLIB
#include <zlib.h>
#endif

using archive::inflate_detail::BuildTable;
using archive::inflate_detail::CodeSet;
using archive::inflate_detail::LookupTable;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::ZipBuilder;
using testing_support::ZipEntrySpec;

namespace {

// Writes deflate bits: values least significant bit first, prefix codes
// most significant bit first.
class BitWriter {
 public:
  void Bits(uint32_t value, int count) {
    for (int i = 0; i < count; ++i) Bit((value >> i) & 1);
  }
  void Code(uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) Bit((code >> i) & 1);
  }
  // Fixed-code literal/length symbol.
  void Fixed(uint32_t symbol) {
    if (symbol < 144) Code(0x30 + symbol, 8);
    else if (symbol < 256) Code(0x190 + symbol - 144, 9);
    else if (symbol < 280) Code(symbol - 256, 7);
    else Code(0xC0 + symbol - 280, 8);
  }
  void AlignToByte() {
    while (count_ != 0) Bit(0);
  }
  std::string Bytes() {
    std::string out = bytes_;
    if (count_ != 0) out.push_back(static_cast<char>(current_));
    return out;
  }

 private:
  void Bit(uint32_t b) {
    current_ |= b << count_;
    if (++count_ == 8) {
      bytes_.push_back(static_cast<char>(current_));
      current_ = 0;
      count_ = 0;
    }
  }
  std::string bytes_;
  uint32_t current_ = 0;
  int count_ = 0;
};

// The entry "e" holding `stream` as its deflated data, claiming the CRC and
// size of `expected`.
ZipEntrySpec DeflatedEntry(const std::string& stream, const std::string& expected = {}) {
  ZipEntrySpec e;
  e.name = "e";
  e.method = 8;
  e.raw = stream;
  e.data = expected;
  return e;
}

// Runs a raw deflate stream through UnzipMember; `expected` gives the CRC
// and size the entry claims. Returns the result and the output (if kept).
int InflateThrough(const std::string& stream, const std::string& expected, std::string* output = nullptr) {
  TempDir dir;
  ZipBuilder builder;
  builder.Add(DeflatedEntry(stream, expected)).WriteTo(dir.File("a.zip"));
  const int result = archive::UnzipMember(dir.File("a.zip"), dir.File("out"), 0x20, 0, nullptr, 0);
  if (output != nullptr) *output = FileExists(dir.File("out")) ? ReadFile(dir.File("out")) : "<none>";
  return result;
}

// The same with the archive ending right behind the stream (no central
// directory follows), so that the input really runs out.
int InflateAtArchiveEnd(const std::string& stream) {
  TempDir dir;
  ZipBuilder builder;
  builder.Add(DeflatedEntry(stream));
  std::string bytes = builder.Build();
  bytes.resize(30 + 1 + stream.size());
  testing_support::WriteFile(dir.File("a.zip"), bytes);
  const int result = archive::UnzipMember(dir.File("a.zip"), dir.File("out"), 0x20, 0, nullptr, 0);
  EXPECT_FALSE(FileExists(dir.File("out")));
  return result;
}

std::string MixedData(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s;
  static const char* words[] = {"chord ", "verse ", "chorus ", "bridge ", "G ", "Am ", "F ", "C\n"};
  while (s.size() < n) {
    const uint32_t pick = gen() % 10;
    if (pick < 6) {
      s += words[gen() % 8];
    } else if (pick < 8) {
      for (int i = 0; i < 20; ++i) s.push_back(static_cast<char>(gen()));
    } else {
      s.append(gen() % 300, static_cast<char>(gen()));
    }
  }
  s.resize(n);
  return s;
}

#ifdef FRETFILE_HAVE_ZLIB
std::string ZlibDeflate(const std::string& data, int level, int strategy, int windowBits = 15) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -windowBits, 9, strategy), Z_OK);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}
#endif

}  // namespace

TEST(InflateTables, BuildOutcomes) {
  LookupTable t;
  const uint8_t complete[4] = {1, 2, 3, 3};
  EXPECT_EQ(BuildTable(complete, 4, 4, nullptr, nullptr, 7, t), CodeSet::Complete);
  const uint8_t twoOfLengthTwo[2] = {2, 2};
  EXPECT_EQ(BuildTable(twoOfLengthTwo, 2, 2, nullptr, nullptr, 6, t), CodeSet::Incomplete);
  const uint8_t over[3] = {1, 1, 1};
  EXPECT_EQ(BuildTable(over, 3, 3, nullptr, nullptr, 7, t), CodeSet::Bad);
  const uint8_t tooLong[2] = {1, 17};
  EXPECT_EQ(BuildTable(tooLong, 2, 2, nullptr, nullptr, 7, t), CodeSet::Bad);
  const uint8_t single[3] = {0, 1, 0};
  EXPECT_EQ(BuildTable(single, 3, 3, nullptr, nullptr, 7, t), CodeSet::Complete);
  const uint8_t none[3] = {0, 0, 0};
  EXPECT_EQ(BuildTable(none, 3, 3, nullptr, nullptr, 7, t), CodeSet::Complete);
  for (const auto& entry : t.entries) EXPECT_EQ(entry.op, archive::inflate_detail::kOpInvalid);
  // Codes longer than the first level go to a second level.
  uint8_t deep[16];
  for (int i = 0; i < 15; ++i) deep[i] = static_cast<uint8_t>(i + 1);
  deep[15] = 15;
  EXPECT_EQ(BuildTable(deep, 16, 16, nullptr, nullptr, 9, t), CodeSet::Complete);
  EXPECT_GT(t.entries.size(), 512u);
}

#ifdef FRETFILE_HAVE_ZLIB
TEST(Inflate, RoundTripsAgainstZlib) {
  struct Case {
    size_t size;
    int level;
    int strategy;
  };
  const Case cases[] = {{0, 6, Z_DEFAULT_STRATEGY},      {1, 6, Z_DEFAULT_STRATEGY},
                        {100000, 0, Z_DEFAULT_STRATEGY}, {300000, 1, Z_DEFAULT_STRATEGY},
                        {300000, 6, Z_DEFAULT_STRATEGY}, {700000, 9, Z_DEFAULT_STRATEGY},
                        {300000, 6, Z_FIXED},            {300000, 6, Z_HUFFMAN_ONLY},
                        {300000, 6, Z_RLE},              {200000, 9, Z_FILTERED}};
  unsigned seed = 1;
  for (const auto& c : cases) {
    const std::string data = MixedData(c.size, seed++);
    std::string out;
    EXPECT_EQ(InflateThrough(ZlibDeflate(data, c.level, c.strategy), data, &out), 0)
        << c.size << " level " << c.level << " strategy " << c.strategy;
    EXPECT_TRUE(out == data) << c.size << " level " << c.level << " strategy " << c.strategy;
  }
}

TEST(Inflate, EveryLengthAndDistance) {
  // Runs of every length at many distances, so that every length and
  // distance code and every copy path (overlapping, short periods) occurs.
  std::mt19937 gen(42);
  std::string data;
  for (int period = 1; period <= 40; ++period) {
    std::string unit;
    for (int i = 0; i < period; ++i) unit.push_back(static_cast<char>('a' + gen() % 26));
    for (int len = 3; len <= 300; len += 7) {
      for (int i = 0; i < len; ++i) data.push_back(unit[static_cast<size_t>(i) % unit.size()]);
      data.push_back(static_cast<char>(gen()));
    }
  }
  const std::string far = MixedData(40000, 5);
  data += far + far.substr(100, 5000);
  std::string out;
  EXPECT_EQ(InflateThrough(ZlibDeflate(data, 9, Z_DEFAULT_STRATEGY), data, &out), 0);
  EXPECT_TRUE(out == data);
}
#endif

TEST(Inflate, StoredBlocks) {
  // One stored block of 65535 bytes (complement 0x0000).
  std::string payload(65535, '\0');
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7);
  BitWriter w;
  w.Bits(1, 1);
  w.Bits(0, 2);
  w.AlignToByte();
  std::string stream = w.Bytes() + std::string("\xFF\xFF\x00\x00", 4) + payload;
  std::string out;
  EXPECT_EQ(InflateThrough(stream, payload, &out), 0);
  EXPECT_TRUE(out == payload);
  stream[3] = 0x01;  // wrong complement
  EXPECT_EQ(InflateThrough(stream, payload, &out), 4);
  EXPECT_EQ(out, "<none>");
  // A stored block cut short by the end of the archive.
  BitWriter cut;
  cut.Bits(1, 1);
  cut.Bits(0, 2);
  cut.AlignToByte();
  EXPECT_EQ(InflateAtArchiveEnd(cut.Bytes() + std::string("\x10\x00\xEF\xFF", 4) + "abc"), 3);
}

TEST(Inflate, ReservedBlockTypeIsCorrupt) {
  BitWriter w;
  w.Bits(1, 1);
  w.Bits(3, 2);
  w.Bits(0, 13);
  EXPECT_EQ(InflateThrough(w.Bytes(), ""), 4);
}

TEST(Inflate, FixedBlockMatches) {
  // 'x', then a match of 258 at distance 1; then a match reaching 100 bytes
  // before the start of the output, which reads zeros.
  BitWriter w;
  w.Bits(1, 1);
  w.Bits(1, 2);
  w.Fixed('x');
  w.Fixed(285);   // length 258
  w.Code(0, 5);   // distance 1
  w.Fixed(257);    // length 3
  w.Code(16, 5);   // distance code 16: 257 + 7 extra bits
  w.Bits(100, 7);  // distance 357: 98 bytes before the start
  w.Fixed(256);
  const std::string expected = std::string(259, 'x') + std::string(3, '\0');
  std::string out;
  EXPECT_EQ(InflateThrough(w.Bytes(), expected, &out), 0);
  EXPECT_EQ(out, expected);
}

TEST(Inflate, InvalidFixedSymbols) {
  for (uint32_t symbol : {286u, 287u}) {
    BitWriter w;
    w.Bits(1, 1);
    w.Bits(1, 2);
    w.Fixed('a');
    w.Fixed(symbol);
    w.Bits(0, 16);
    EXPECT_EQ(InflateThrough(w.Bytes(), "a"), 4) << symbol;
  }
  for (uint32_t distanceCode : {30u, 31u}) {
    BitWriter w;
    w.Bits(1, 1);
    w.Bits(1, 2);
    w.Fixed('a');
    w.Fixed(257);
    w.Code(distanceCode, 5);
    w.Bits(0, 16);
    EXPECT_EQ(InflateThrough(w.Bytes(), "aaaa"), 4) << distanceCode;
  }
}

namespace {

// A dynamic block header: code-length code with lengths given in symbol
// order (all 19), then the literal/length + distance lengths sent as
// symbols of that code (raw `sequence`, each symbol with its extra bits).
struct DynamicHeader {
  uint32_t literals = 257;
  uint32_t distances = 1;
  uint8_t codeLengthLengths[19] = {};
};

// Canonical codes for a set of lengths (MSB-first values).
std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths) {
  uint32_t count[17] = {};
  for (auto l : lengths) ++count[l];
  count[0] = 0;
  uint32_t next[17] = {};
  for (int len = 2; len <= 16; ++len) next[len] = (next[len - 1] + count[len - 1]) << 1;
  std::vector<uint32_t> codes(lengths.size());
  for (size_t s = 0; s < lengths.size(); ++s) {
    if (lengths[s] != 0) codes[s] = next[lengths[s]]++;
  }
  return codes;
}

// Writes a dynamic block whose code-length code gives every symbol 0-18 a
// 5-bit code (19 symbols don't fill 32 patterns: use lengths 4 and 5 to be
// complete), then the given length sequence.
class DynamicWriter {
 public:
  DynamicWriter(uint32_t literals, uint32_t distances) {
    w.Bits(1, 1);
    w.Bits(2, 2);
    w.Bits(literals - 257, 5);
    w.Bits(distances - 1, 5);
    w.Bits(19 - 4, 4);
    // 13 symbols of length 4 and 6 of length 5: 13/16 + 6/32 = 1.
    clLengths.assign(19, 5);
    for (int s = 0; s < 13; ++s) clLengths[static_cast<size_t>(s)] = 4;
    static const uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    for (auto s : order) w.Bits(clLengths[s], 3);
    clCodes = CanonicalCodes(clLengths);
  }
  void Symbol(uint32_t s, uint32_t extra = 0, int extraBits = 0) {
    w.Code(clCodes[s], clLengths[s]);
    w.Bits(extra, extraBits);
  }
  BitWriter w;
  std::vector<uint8_t> clLengths;
  std::vector<uint32_t> clCodes;
};

}  // namespace

TEST(Inflate, DynamicBlocks) {
  // Literal/length code: 'a' (1 bit... ) -- lengths: 'a' 1, 256 2, 257 2;
  // distance code per case.
  auto build = [](bool startWithRepeat, std::vector<uint8_t> distanceLengths, bool completeLiterals) {
    DynamicWriter d(258, static_cast<uint32_t>(distanceLengths.size()));
    // Lengths for 258 literal/length symbols.
    std::vector<uint8_t> lit(258, 0);
    lit['a'] = 1;
    lit[256] = 2;
    lit[257] = completeLiterals ? 2 : 3;
    if (startWithRepeat) {
      d.Symbol(16, 3, 2);  // repeat "previous" (0) 6 times
      d.Symbol(18, 'a' - 6 - 11, 7);
    } else {
      d.Symbol(18, 'a' - 11 - 11, 7);
      d.Symbol(0);
      d.Symbol(0);
      d.Symbol(0);
      d.Symbol(0);
      d.Symbol(0);
      d.Symbol(0);
      d.Symbol(0);
      d.Symbol(0);
      d.Symbol(0);
      d.Symbol(0);
      d.Symbol(0);
    }
    d.Symbol(1);                      // 'a'
    d.Symbol(18, 138 - 11, 7);        // 98..235 zero
    d.Symbol(18, 256 - 236 - 11, 7);  // 236..255 zero
    d.Symbol(2);                      // 256
    d.Symbol(lit[257]);               // 257
    for (auto l : distanceLengths) d.Symbol(l);
    auto litCodes = CanonicalCodes(lit);
    auto distCodes = CanonicalCodes(distanceLengths);
    d.w.Code(litCodes['a'], 1);
    d.w.Code(litCodes[257], lit[257]);  // length 3
    d.w.Code(distCodes[0], distanceLengths[0]);
    d.w.Code(litCodes[256], 2);
    return d.w.Bytes();
  };
  std::string out;
  // Distance lengths {2, 2}: two of four patterns used (incomplete) decodes.
  EXPECT_EQ(InflateThrough(build(false, {2, 2}, true), "aaaa", &out), 0);
  EXPECT_EQ(out, "aaaa");
  // The same when the sequence opens with a repeat (of length 0).
  EXPECT_EQ(InflateThrough(build(true, {2, 2}, true), "aaaa", &out), 0);
  EXPECT_EQ(out, "aaaa");
  // Literal/length lengths that leave patterns over are refused.
  EXPECT_EQ(InflateThrough(build(false, {1}, false), "aaaa"), 4);
  // Over-subscribed distances are refused.
  EXPECT_EQ(InflateThrough(build(false, {1, 1, 1}, true), "aaaa"), 4);

  // A repeat running past the announced count.
  DynamicWriter past(257, 1);
  past.Symbol(18, 127, 7);
  past.Symbol(18, 127, 7);
  past.Symbol(18, 127, 7);
  EXPECT_EQ(InflateThrough(past.w.Bytes() + std::string(8, '\0'), ""), 4);
}

TEST(Inflate, TruncatedStreamEndsWithInputFailure) {
  const std::string data = MixedData(200000, 11);
  const std::string stream = testing_support::RawDeflate(data, 6);
  if (stream.empty()) GTEST_SKIP() << "needs zlib";
  for (size_t keep : {stream.size() / 2, stream.size() - 3}) {
    EXPECT_EQ(InflateAtArchiveEnd(stream.substr(0, keep)), 3) << keep;
  }
}

TEST(Inflate, EndlessEmptyStoredBlocksEnd) {
  // Non-final empty stored blocks up to the end of the file: the filler that
  // follows the end of input repeats them; the extraction must still end.
  std::string stream;
  for (int i = 0; i < 3000; ++i) stream += std::string("\x00\x00\x00\xFF\xFF", 5);
  EXPECT_EQ(InflateAtArchiveEnd(stream), 3);
}

namespace {

// A match in fixed codes: the length symbol with its extra bits, then the
// distance code with its extra bits.
void FixedMatch(BitWriter& w, uint32_t length, uint32_t distance) {
  static const uint16_t lengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                          31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  static const uint16_t distanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                            33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                            1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
  int l = 28;
  while (lengthBase[l] > length) --l;
  const int lengthExtra = l < 8 || l == 28 ? 0 : (l - 4) / 4;
  w.Fixed(257 + static_cast<uint32_t>(l));
  w.Bits(length - lengthBase[l], lengthExtra);
  int d = 29;
  while (distanceBase[d] > distance) --d;
  w.Code(static_cast<uint32_t>(d), 5);
  w.Bits(distance - distanceBase[d], d < 4 ? 0 : (d - 2) / 2);
}

}  // namespace

TEST(Inflate, MatchesAcrossTheOutputWritesAndOfEveryShape) {
  // Random literals and matches (every length, distances from 1 to 32768)
  // for 700 KB of output, so that matches start, end and reach back across
  // the points where the output is written out, and overlap their own
  // output at every short period.
  for (unsigned seed : {1u, 2u}) {
    std::mt19937 gen(seed);
    BitWriter w;
    w.Bits(1, 1);
    w.Bits(1, 2);
    std::string expected;
    while (expected.size() < 700000) {
      if (expected.empty() || gen() % 4 == 0) {
        const uint32_t byte = gen() % 256;
        w.Fixed(byte);
        expected.push_back(static_cast<char>(byte));
        continue;
      }
      const uint32_t length = gen() % 2 ? 3 + gen() % 20 : 3 + gen() % 256;
      const uint32_t reach = static_cast<uint32_t>(std::min<size_t>(expected.size(), 32768));
      const uint32_t distance = gen() % 3 ? 1 + gen() % std::min<uint32_t>(reach, 40) : 1 + gen() % reach;
      FixedMatch(w, length, distance);
      for (uint32_t i = 0; i < length; ++i) expected.push_back(expected[expected.size() - distance]);
    }
    w.Fixed(256);
    std::string out;
    EXPECT_EQ(InflateThrough(w.Bytes(), expected, &out), 0) << seed;
    EXPECT_TRUE(out == expected) << seed;
  }
}

TEST(Inflate, CodesEndingExactlyAtTheEndOfInputBlocksAndOfTheInput) {
  // Header (3 bits) and five 9-bit literals make 48 bits, so every 8-bit
  // literal after them ends on a byte boundary, among them the ends of the
  // 2048-byte input blocks; one more 9-bit literal and the end of the block
  // (7 bits) end on the last bit of the archive.
  BitWriter w;
  w.Bits(1, 1);
  w.Bits(1, 2);
  std::string expected;
  for (int i = 0; i < 5; ++i) {
    w.Fixed(200);
    expected.push_back(static_cast<char>(200));
  }
  for (int i = 0; i < 5000; ++i) {
    w.Fixed(static_cast<uint32_t>('a' + i % 26));
    expected.push_back(static_cast<char>('a' + i % 26));
  }
  w.Fixed(255);
  expected.push_back(static_cast<char>(255));
  w.Fixed(256);
  const std::string stream = w.Bytes();
  ASSERT_EQ(stream.size() * 8, 48 + 8 * 5000 + 9 + 7u);

  TempDir dir;
  std::string bytes = ZipBuilder().Add(DeflatedEntry(stream, expected)).Build();
  bytes.resize(30 + 1 + stream.size());  // nothing follows the stream
  testing_support::WriteFile(dir.File("a.zip"), bytes);
  EXPECT_EQ(archive::UnzipMember(dir.File("a.zip"), dir.File("out"), 0x20, 0, nullptr, 0), 0);
  EXPECT_TRUE(ReadFile(dir.File("out")) == expected);
  // One byte less, and the end of the block is missing.
  EXPECT_EQ(InflateAtArchiveEnd(stream.substr(0, stream.size() - 1)), 3);
}
