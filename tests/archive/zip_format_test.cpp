#include "archive/zip_format.h"

#include <gtest/gtest.h>

namespace archive::zip {
namespace {

// A whole central record: fixed part, name, the given extra field, comment.
std::string Record(CentralHeader header, const std::string& extra) {
  header.nameLength = 4;
  header.extraLength = static_cast<uint16_t>(extra.size());
  header.commentLength = 2;
  std::string record(kCentralHeaderLength, '\0');
  WriteCentralHeader(header, reinterpret_cast<uint8_t*>(record.data()));
  return record + "name" + extra + "hi";
}

// The record's header with its zip64 values applied, and its extra field.
CentralHeader Read(const std::string& record, std::string& extra) {
  CentralHeader header;
  const auto* bytes = reinterpret_cast<const uint8_t*>(record.data());
  EXPECT_TRUE(ParseCentralHeader(bytes, header));
  EXPECT_EQ(record.size(), header.Length());
  extra = record.substr(kCentralHeaderLength + header.nameLength, header.extraLength);
  EXPECT_NE(ApplyZip64Extra(bytes + kCentralHeaderLength + header.nameLength, header.extraLength, header),
            Zip64Outcome::Missing);
  EXPECT_EQ(record.substr(kCentralHeaderLength, 4), "name");
  EXPECT_TRUE(record.ends_with("hi"));
  return header;
}

TEST(RelocateCentralRecord, MovesTheOffsetWhereverItIsKept) {
  constexpr uint64_t kFar = uint64_t{5} << 30;
  const std::string other = std::string("\x55\x54\x05\x00\x01", 5) + "time";  // a block of another kind
  CentralHeader header;
  header.compressedSize = 10;
  header.uncompressedSize = 20;
  header.localHeaderOffset = 100;
  std::string extra;

  // Classic field to classic field: nothing else changes.
  std::string record = Record(header, other);
  const std::string unchanged = record;
  ASSERT_TRUE(RelocateCentralRecord(record, 4000));
  EXPECT_EQ(Read(record, extra).localHeaderOffset, 4000u);
  EXPECT_EQ(record.size(), unchanged.size());

  // Past 4 GiB: a zip64 block comes first, the other block stays behind it.
  ASSERT_TRUE(RelocateCentralRecord(record, kFar));
  CentralHeader moved = Read(record, extra);
  EXPECT_EQ(moved.localHeaderOffset, kFar);
  EXPECT_EQ(moved.compressedSize, 10u);
  EXPECT_TRUE(extra.ends_with(other));
  // Back below 4 GiB: the zip64 block keeps the offset.
  ASSERT_TRUE(RelocateCentralRecord(record, 7));
  EXPECT_EQ(Read(record, extra).localHeaderOffset, 7u);

  // A size already kept in zip64 stays there, ahead of the offset.
  header.uncompressedSize = kFar + 1;
  record = Record(header, Zip64ExtraFor(header) + other);
  ASSERT_TRUE(RelocateCentralRecord(record, kFar));
  moved = Read(record, extra);
  EXPECT_EQ(moved.uncompressedSize, kFar + 1);
  EXPECT_EQ(moved.localHeaderOffset, kFar);
  EXPECT_TRUE(extra.ends_with(other));
}

}  // namespace
}  // namespace archive::zip
