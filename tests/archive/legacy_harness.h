// Runs one legacy decompressor (shrink, reduce, implode) the way UnzipMember
// does: over a real file positioned at the compressed data, writing a real
// output file, with a fresh extraction state. Also walks the local headers of
// real archives, so the tests and the benchmark reach every entry of the
// PKZIP archives without depending on the central-directory code.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/explode.h"
#include "archive/extraction_state.h"
#include "archive/unreduce.h"
#include "archive/unshrink.h"
#include "archive/unzip_member.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

#include <gtest/gtest.h>

namespace legacy_harness {

struct DecodeRun {
  int result = -100;
  std::string output;
  uint32_t crc = 0;  // finished CRC-32 of what the decompressor flushed
};

struct StreamSetup {
  int method = 1;
  uint16_t flags = 0;
  int64_t compressedSize = 0;
  int64_t uncompressedSize = 0;
  std::string outputPath;               // where the output goes ("/dev/full" makes writes fail)
  archive::ProgressNotify notify;       // receives progress (may ask for an abort)
};

inline int Dispatch(archive::ExtractionState& state, int method) {
  switch (method) {
    case 1: return archive::Unshrink(state);
    case 2: case 3: case 4: case 5: return archive::Unreduce(state, method);
    case 6: return archive::Explode(state);
    default: return archive::kUnzipUnsupportedMethod;
  }
}

// Decodes the stream that starts at `offset` of the file at `path`.
inline DecodeRun RunOnFile(const std::string& path, int64_t offset, const StreamSetup& setup,
                           const std::string& outputPath) {
  DecodeRun run;
  auto state = std::make_unique<archive::ExtractionState>();
  if (state->archive.Open(path, platform::FileAccess::Read, platform::FileShare::Shared) != 0 ||
      !state->archive.Seek(offset))
    return run;
  const std::string target = setup.outputPath.empty() ? outputPath : setup.outputPath;
  if (state->output.Open(target, platform::FileAccess::Write, platform::FileShare::Shared,
                         setup.outputPath.empty() ? platform::FileCreation::CreateOrTruncate
                                                 : platform::FileCreation::OpenOrCreate) != 0)
    return run;
  state->compressedSize = setup.compressedSize;
  state->uncompressedSize = setup.uncompressedSize;
  state->flags = setup.flags;
  state->notify = setup.notify;
  state->keyCode = 0;
  state->PrepareWindow();
  run.result = Dispatch(*state, setup.method);
  run.crc = state->crc ^ 0xFFFFFFFFu;
  state->output.Close();
  state->archive.Close();
  if (setup.outputPath.empty()) run.output = testing_support::ReadFile(outputPath);
  return run;
}

// Decodes `compressed` held in a file of its own, followed by `trailer` (in a
// real archive the next header or the central directory follows the data).
inline DecodeRun RunOnBytes(const std::string& compressed, StreamSetup setup,
                            const std::string& trailer = std::string(64, '\0')) {
  testing_support::TempDir dir;
  testing_support::WriteFile(dir.File("data.bin"), compressed + trailer);
  if (setup.compressedSize == 0) setup.compressedSize = static_cast<int64_t>(compressed.size());
  return RunOnFile(dir.File("data.bin"), 0, setup, dir.File("out.bin"));
}

struct LocalEntry {
  std::string name;
  int method = 0;
  uint16_t flags = 0;
  uint32_t crc = 0;
  int64_t compressedSize = 0;
  int64_t uncompressedSize = 0;
  int64_t dataOffset = 0;
};

inline uint32_t Le(const std::string& bytes, size_t at, int width) {
  uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

// The entries of an archive whose local headers carry their sizes (every
// archive PKZIP 1.x and older wrote).
inline std::vector<LocalEntry> LocalEntries(const std::string& archiveBytes) {
  std::vector<LocalEntry> entries;
  size_t at = 0;
  while (at + 30 <= archiveBytes.size() && Le(archiveBytes, at, 4) == 0x04034B50) {
    LocalEntry entry;
    entry.flags = static_cast<uint16_t>(Le(archiveBytes, at + 6, 2));
    entry.method = static_cast<int>(Le(archiveBytes, at + 8, 2));
    entry.crc = Le(archiveBytes, at + 14, 4);
    entry.compressedSize = Le(archiveBytes, at + 18, 4);
    entry.uncompressedSize = Le(archiveBytes, at + 22, 4);
    const size_t nameLength = Le(archiveBytes, at + 26, 2);
    const size_t extraLength = Le(archiveBytes, at + 28, 2);
    entry.name = archiveBytes.substr(at + 30, nameLength);
    entry.dataOffset = static_cast<int64_t>(at + 30 + nameLength + extraLength);
    at = static_cast<size_t>(entry.dataOffset + entry.compressedSize);
    entries.push_back(entry);
  }
  return entries;
}

inline StreamSetup SetupOf(const LocalEntry& entry) {
  StreamSetup setup;
  setup.method = entry.method;
  setup.flags = entry.flags;
  setup.compressedSize = entry.compressedSize;
  setup.uncompressedSize = entry.uncompressedSize;
  return setup;
}

// Extracts one entry of a real archive through its decompressor.
inline DecodeRun RunEntry(const std::string& archivePath, const LocalEntry& entry) {
  testing_support::TempDir dir;
  return RunOnFile(archivePath, entry.dataOffset, SetupOf(entry), dir.File("out.bin"));
}

// The file an entry of the shared archives was made from, or "" when none
// is kept: the PKZIP archives hold the files of pkzip-dos/originals (their
// TEST~1.JPE is TEST.JPG), the legacy ones legacy/folder/first.txt.
inline std::string OriginalOf(const std::string& archive, const std::string& entryName) {
  if (archive.rfind("legacy/", 0) == 0) return "legacy/folder/first.txt";
  if (entryName == "TEST~1.JPE") return "pkzip-dos/originals/TEST.JPG";
  return "pkzip-dos/originals/" + entryName;
}

// Decodes every entry whose method lies in [firstMethod, lastMethod] in the
// named archives of the shared test data, checking the result, the CRC, the
// size and the bytes against the original. Returns how many were checked.
inline int CheckEveryEntry(const std::string& data, std::initializer_list<const char*> archives, int firstMethod,
                           int lastMethod) {
  int checked = 0;
  for (const char* name : archives) {
    const std::string path = data + name;
    for (const auto& entry : LocalEntries(testing_support::ReadFile(path))) {
      if (entry.method < firstMethod || entry.method > lastMethod) continue;
      SCOPED_TRACE(std::string(name) + " " + entry.name);
      const auto run = RunEntry(path, entry);
      EXPECT_EQ(run.result, 0);
      EXPECT_EQ(run.crc, entry.crc);
      EXPECT_EQ(static_cast<int64_t>(run.output.size()), entry.uncompressedSize);
      EXPECT_TRUE(run.output == testing_support::ReadFile(data + OriginalOf(name, entry.name)));
      ++checked;
    }
  }
  return checked;
}

// The compressed bytes of one named entry of a real archive, cut to half.
inline std::optional<std::pair<std::string, LocalEntry>> HalfOfEntry(const std::string& archivePath,
                                                                     const std::string& entryName) {
  const std::string archiveBytes = testing_support::ReadFile(archivePath);
  for (const auto& entry : LocalEntries(archiveBytes)) {
    if (entry.name != entryName) continue;
    return std::make_pair(archiveBytes.substr(static_cast<size_t>(entry.dataOffset),
                                              static_cast<size_t>(entry.compressedSize / 2)),
                          entry);
  }
  return std::nullopt;
}

inline bool IsOneOf(int result, std::initializer_list<int> accepted) {
  return std::find(accepted.begin(), accepted.end(), result) != accepted.end();
}

// Flips one to four random bits of the single entry of a real archive, 200
// times over, and checks that each damaged stream ends with one of
// `accepted` and never writes more than the entry's size.
inline void CheckDamagedRealStream(const std::string& archivePath, unsigned seed,
                                   std::initializer_list<int> accepted) {
  const std::string archiveBytes = testing_support::ReadFile(archivePath);
  const auto entries = LocalEntries(archiveBytes);
  ASSERT_EQ(entries.size(), 1u);
  const std::string stream = archiveBytes.substr(static_cast<size_t>(entries[0].dataOffset),
                                                 static_cast<size_t>(entries[0].compressedSize));
  std::mt19937 random(seed);
  for (int round = 0; round < 200; ++round) {
    std::string damaged = stream;
    for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips)
      damaged[random() % damaged.size()] ^= static_cast<char>(1 << (random() % 8));
    const auto run = RunOnBytes(damaged, SetupOf(entries[0]));
    EXPECT_TRUE(IsOneOf(run.result, accepted)) << run.result;
    EXPECT_LE(static_cast<int64_t>(run.output.size()), entries[0].uncompressedSize);
  }
}

// One made-up input: the bytes and what their entry declares.
struct HostileStream {
  std::string bytes;
  StreamSetup setup;
};

// Fewer than `lengthBound` bytes, each of any value.
inline std::string RandomBytes(std::mt19937& random, uint32_t lengthBound) {
  std::string bytes(static_cast<size_t>(random() % lengthBound), '\0');
  for (auto& byte : bytes) byte = static_cast<char>(random());
  return bytes;
}

// Decodes `rounds` inputs made by `make` (from a generator seeded with
// `seed`, and the round's number), with nothing behind them in the file, and
// checks that each ends with one of `accepted` and writes at most
// `maxOutput` bytes.
inline void CheckRandomStreams(unsigned seed, int rounds,
                               const std::function<HostileStream(std::mt19937&, int)>& make,
                               std::initializer_list<int> accepted, size_t maxOutput) {
  std::mt19937 random(seed);
  for (int round = 0; round < rounds; ++round) {
    const HostileStream input = make(random, round);
    const auto run = RunOnBytes(input.bytes, input.setup, "");
    EXPECT_TRUE(IsOneOf(run.result, accepted)) << run.result;
    EXPECT_LE(run.output.size(), maxOutput);
  }
}

// Decodes `stream` once into a device that refuses every write, which ends
// with 2, and once for a progress receiver that asks for an abort, which
// ends with 5.
inline void CheckWriteFailureAndAbort(const std::string& stream, const StreamSetup& setup) {
  StreamSetup full = setup;
  full.outputPath = "/dev/full";
  EXPECT_EQ(RunOnBytes(stream, full).result, 2);
  StreamSetup aborting = setup;
  aborting.notify = [](int16_t, uint16_t* word) { *word = 0xFFFF; };
  EXPECT_EQ(RunOnBytes(stream, aborting).result, 5);
}

// Extracts the single entry of one of the shared legacy archives through
// UnzipMember and compares it with the file it was made from (nothing to do
// when the shared test data is absent).
inline void CheckRealArchiveThroughUnzipMember(const std::string& legacyArchive) {
  const std::string data = testing_support::SharedTestData();
  if (data.empty()) return;
  testing_support::TempDir dir;
  EXPECT_EQ(archive::UnzipMember(data + legacyArchive, dir.File("first.txt"), 0x20, 0, {}, 0), 0);
  EXPECT_EQ(testing_support::ReadFile(dir.File("first.txt")), testing_support::ReadFile(data + "legacy/folder/first.txt"));
}

// Puts `text`, compressed by `method` into `raw`, into an archive twice: as
// "plain.txt" with its sizes in the local header, and as a copy whose sizes
// are left to a data descriptor. The first extracts through UnzipMember; the
// second is refused (4) without leaving a file when only its local header is
// known (the legacy methods have nothing to stop at), and extracts with the
// CRC and sizes its directory record gives.
inline void CheckSizesInHeaderAndDeferred(int method, uint16_t flags, const std::string& text,
                                          const std::string& raw) {
  testing_support::TempDir dir;
  testing_support::ZipEntrySpec plain;
  plain.name = "plain.txt";
  plain.data = text;
  plain.method = static_cast<uint16_t>(method);
  plain.raw = raw;
  plain.flags = flags;
  testing_support::ZipEntrySpec deferred = plain;
  deferred.name = "deferred.txt";
  deferred.dataDescriptor = true;
  testing_support::ZipBuilder builder;
  builder.Add(plain).Add(deferred).WriteTo(dir.File("built.zip"));
  EXPECT_EQ(archive::UnzipMember(dir.File("built.zip"), dir.File(plain.name), 0x20, builder.HeaderOffsets()[0], {}, 0), 0);
  EXPECT_EQ(testing_support::ReadFile(dir.File(plain.name)), plain.data);
  EXPECT_EQ(archive::UnzipMember(dir.File("built.zip"), dir.File("deferred.txt"), 0x20, builder.HeaderOffsets()[1], {}, 0), 4);
  EXPECT_FALSE(testing_support::FileExists(dir.File("deferred.txt")));
  const archive::RecordedValues recorded{testing_support::Crc32Of(text), raw.size(), text.size()};
  EXPECT_EQ(archive::UnzipMember(dir.File("built.zip"), dir.File("deferred.txt"), 0x20, builder.HeaderOffsets()[1], {},
                                 0, recorded),
            0);
  EXPECT_EQ(testing_support::ReadFile(dir.File("deferred.txt")), text);
}

}  // namespace legacy_harness
