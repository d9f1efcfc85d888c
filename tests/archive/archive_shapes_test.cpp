// Archives as other writers make them: entries whose local headers leave
// their CRC and sizes to a data descriptor (signed or not, stored or
// deflated), data in front of the archive of any length, names in CP437,
// Windows-1252 and UTF-8. Each must be walked once per entry, in order, and
// extract through the central directory's record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/tzip.h"
#include "archive/unzip_member.h"
#include "archive/zip_find.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::ZipBuilder;
using testing_support::ZipEntrySpec;

namespace {

std::string Song(int n) {
  std::string text;
  for (int i = 0; i < 30 + 11 * n; ++i) text += "verse " + std::to_string(i * n) + " of the song\r\n";
  return text + std::string(static_cast<size_t>(n), '!');  // odd lengths: nothing falls on 4-byte steps
}

std::vector<ZipEntrySpec> Entries() {
  std::vector<ZipEntrySpec> entries;
  const auto add = [&](std::string name, uint16_t method, bool descriptor, bool signature) {
    ZipEntrySpec e;
    e.name = std::move(name);
    e.data = Song(static_cast<int>(entries.size()) + 1);
    e.method = method;
    e.dataDescriptor = descriptor;
    e.descriptorSignature = signature;
    entries.push_back(e);
  };
  add("Bj\x94rk_Song.txt", 0, true, true);         // CP437, stored, signed descriptor
  add("Caf\xE9_Song.txt", 0, true, false);         // Windows-1252, stored, unsigned descriptor
  add("Sigur_R\xC3\xB3s.txt", 8, true, true);      // UTF-8, deflated, signed descriptor
  add("Unsigned.txt", 8, true, false);             // deflated, unsigned descriptor
  add("Plain_Stored.txt", 0, false, true);
  add("Plain_Deflated.txt", 8, false, true);
  return entries;
}

}  // namespace

TEST(ArchiveShapes, EveryShapeIsWalkedOncePerEntryAndExtractsWithTheDirectoryRecord) {
  if (!testing_support::HaveZlib()) GTEST_SKIP() << "needs zlib";
  TempDir dir;
  const std::vector<ZipEntrySpec> entries = Entries();
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);

  // The longest prefix holds a local header's signature at an odd place,
  // as a self-extractor's program may: the directory says where the
  // entries really begin.
  std::string stub89 = "#!/bin/sh PK\x03\x04 exec unzip \"$0\"\n";
  stub89.resize(89, '\x7F');
  for (const std::string& prefix : {std::string(), std::string("x"), std::string("\0\0", 2), std::string("abc"), stub89}) {
    for (const bool adjusted : {true, false}) {
      SCOPED_TRACE("prefix " + std::to_string(prefix.size()) + (adjusted ? " adjusted" : " concatenated"));
      ZipBuilder builder;
      builder.Prefix(prefix, adjusted);
      for (const auto& e : entries) builder.Add(e);
      const std::string path = dir.File("shape.zip");
      builder.WriteTo(path);

      fretfile::TZipFile walker;
      walker.ReadEntries(path);
      std::vector<std::string> walked;
      for (const auto& entry : walker.Entries()) walked.push_back(entry.FileName);
      EXPECT_EQ(walked, names);

      archive::ZipSearchRec rec;
      size_t found = 0;
      for (int r = archive::ZipFindFirst(path, rec); r == archive::kZipFindFound; r = archive::ZipFindNext(rec)) {
        ASSERT_LT(found, entries.size());
        EXPECT_EQ(rec.FileName, entries[found].name);
        const std::string target = dir.File("out" + std::to_string(found));
        EXPECT_EQ(archive::UnzipMember(path, target, 0x20, rec.HeaderOffset, nullptr, 0,
                                       archive::RecordedValues{rec.Crc, rec.CompressedSize, rec.Size}),
                  0)
            << rec.FileName;
        EXPECT_EQ(ReadFile(target), entries[found].data) << rec.FileName;
        ++found;
      }
      archive::ZipFindClose(rec);
      EXPECT_EQ(found, entries.size());
    }
  }
}
