// Runs one legacy decompressor (shrink, reduce, implode) the way UnzipMember
// does: over a real file positioned at the compressed data, writing a real
// output file, with a fresh extraction state. Also walks the local headers of
// real archives, so the tests and the benchmark reach every entry of the
// PKZIP archives without depending on the central-directory code.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/extraction_state.h"
#include "support/temp_dir.h"

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

}  // namespace legacy_harness
