// Every entry of every real archive in the shared test data extracts with
// result 0, and its size and CRC-32 are those MANIFEST.tsv lists (read by an
// independent tool). This is also the integration check of every method.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include <QCryptographicHash>

#include "archive/crc32.h"
#include "archive/tzip.h"
#include "archive/unzip_member.h"
#include "archive/zip_find.h"
#include "support/temp_dir.h"

using testing_support::ReadFile;
using testing_support::SharedTestData;
using testing_support::TempDir;

namespace {

struct ManifestEntry {
  std::string archive;
  std::string entry;
  int method = 0;
  uint64_t size = 0;
  uint32_t crc = 0;
};

std::vector<ManifestEntry> ReadManifest(const std::string& path) {
  std::vector<ManifestEntry> entries;
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    ManifestEntry e;
    std::string method, compressed, size, crc;
    std::getline(fields, e.archive, '\t');
    std::getline(fields, e.entry, '\t');
    std::getline(fields, method, '\t');
    std::getline(fields, compressed, '\t');
    std::getline(fields, size, '\t');
    std::getline(fields, crc, '\t');
    if (crc.empty()) continue;
    e.method = std::stoi(method);
    e.size = std::stoull(size);
    e.crc = static_cast<uint32_t>(std::stoul(crc, nullptr, 16));
    entries.push_back(e);
  }
  return entries;
}

}  // namespace

TEST(SharedTestData, EveryEntryExtractsWithTheListedSizeAndCrc) {
  const std::string root = SharedTestData();
  if (root.empty()) GTEST_SKIP() << "no ../shared/testdata";
  const auto manifest = ReadManifest(root + "MANIFEST.tsv");
  ASSERT_GT(manifest.size(), 100u);
  TempDir dir;
  std::map<int, int> perMethod;
  for (const auto& m : manifest) {
    SCOPED_TRACE(m.archive + " " + m.entry + " method " + std::to_string(m.method));
    const std::string archivePath = root + m.archive;
    archive::ZipSearchRec rec;
    int r = archive::ZipFindFirst(archivePath, rec);
    while (r == 0 && m.entry != rec.FileName) r = archive::ZipFindNext(rec);
    const bool found = r == 0;
    const uint32_t offset = rec.HeaderOffset;
    const uint16_t attributes = rec.Attributes;
    archive::ZipFindClose(rec);
    ASSERT_TRUE(found);
    const std::string target = dir.File("out/" + m.entry);
    EXPECT_EQ(archive::UnzipMember(archivePath, target, attributes, offset, nullptr, 27), 0);
    if (!testing_support::FileExists(target)) continue;
    const std::string bytes = ReadFile(target);
    EXPECT_EQ(bytes.size(), m.size);
    EXPECT_EQ(archive::Crc32(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), m.crc);
    ++perMethod[m.method];
  }
  // Every method the collection has was seen extracting.
  for (int method : {0, 1, 2, 3, 4, 5, 6, 8}) EXPECT_GT(perMethod[method], 0) << "method " << method;
}

TEST(SharedTestData, ListingMatchesTheManifest) {
  const std::string root = SharedTestData();
  if (root.empty()) GTEST_SKIP() << "no ../shared/testdata";
  std::map<std::string, std::vector<std::string>> expected;
  for (const auto& m : ReadManifest(root + "MANIFEST.tsv")) expected[m.archive].push_back(m.entry);
  for (const auto& [archivePath, names] : expected) {
    std::vector<std::string> seen;
    archive::ZipSearchRec rec;
    for (int r = archive::ZipFindFirst(root + archivePath, rec); r == 0; r = archive::ZipFindNext(rec)) {
      seen.push_back(rec.FileName);
    }
    archive::ZipFindClose(rec);
    EXPECT_EQ(seen, names) << archivePath;
  }
}

// The shapes today's tools write: zip64 sizes in local headers, data
// descriptors behind piped entries, UTF-8 names, comments, a stub in front
// with and without adjusted offsets. Every entry is walked (as the index
// rebuild walks it) in directory order and extracts with the SHA-256 its
// manifest lists; methods we do not read give 6.
TEST(SharedTestData, ModernArchivesAreWalkedAndExtractedWhole) {
  const std::string root = SharedTestData();
  if (root.empty()) GTEST_SKIP() << "no ../shared/testdata";
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> manifest;  // entry, sha256
  std::ifstream in(root + "modern/MANIFEST.tsv");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    ASSERT_EQ(fields.size(), 8u) << line;
    manifest[fields[0]].emplace_back(fields[1], fields[7]);
  }
  ASSERT_EQ(manifest.size(), 7u);

  TempDir dir;
  for (const auto& [archiveName, entries] : manifest) {
    SCOPED_TRACE(archiveName);
    // The walker opens without sharing: it walks a private copy.
    const std::string copy = dir.File("walked.zip");
    testing_support::WriteFile(copy, ReadFile(root + "modern/" + archiveName));
    fretfile::TZipFile walker;
    walker.ReadEntries(copy);
    std::vector<std::string> walked;
    for (const auto& entry : walker.Entries()) walked.push_back(entry.FileName);

    std::vector<std::string> listed;
    archive::ZipSearchRec rec;
    for (int r = archive::ZipFindFirst(copy, rec); r == 0; r = archive::ZipFindNext(rec)) {
      const auto& [name, sha256] = entries.at(listed.size());
      listed.push_back(rec.FileName);
      const std::string target = dir.File("out.bin");
      const int result = archive::UnzipMember(copy, target, rec.Attributes, rec.HeaderOffset, nullptr, 0);
      if (sha256 == "-") {
        EXPECT_EQ(result, archive::kUnzipUnsupportedMethod) << name;
        continue;
      }
      ASSERT_EQ(result, 0) << name;
      const QByteArray bytes = QByteArray::fromStdString(ReadFile(target));
      EXPECT_EQ(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString(), sha256) << name;
    }
    archive::ZipFindClose(rec);
    std::vector<std::string> names;
    for (const auto& entry : entries) names.push_back(entry.first);
    EXPECT_EQ(listed, names);
    EXPECT_EQ(walked, names);
  }
}
