#include "archive/memory_extraction.h"

#include "archive/unzip_steps.h"

namespace archive {

MemoryExtractor::MemoryExtractor() : state_(std::make_unique<ExtractionState>()) {
  state_->pumpMessages = false;
}

MemoryExtractor::~MemoryExtractor() = default;

bool MemoryExtractor::Open(const std::string& archiveName) {
  Close();
  return state_->archive.Open(archiveName, platform::FileAccess::Read, platform::FileShare::Shared) == 0;
}

void MemoryExtractor::Close() { state_->archive.Close(); }

int MemoryExtractor::Extract(uint32_t headerOffset, const RecordedValues& recorded, size_t limit, std::string& bytes) {
  ExtractionState& state = *state_;
  bytes.clear();
  if (!state.archive.IsOpen()) return kUnzipInputFailed;
  // The directory's sizes are checked first: an entry too large is not
  // decompressed at all.
  if (recorded.uncompressedSize > limit) return kUnzipWriteFailed;
  zip::LocalHeader header;
  if (!ReadLocalHeader(state, headerOffset, header)) return kUnzipCorrupt;
  if ((header.flags & zip::kFlagDataDescriptor) != 0) {
    header.crc = recorded.crc;
    header.compressedSize = recorded.compressedSize;
    header.uncompressedSize = recorded.uncompressedSize;
  }
  if (!IsSupportedMethod(header.method)) return kUnzipUnsupportedMethod;
  if ((header.flags & zip::kFlagEncrypted) != 0) return kUnzipEncrypted;
  if (header.uncompressedSize > limit) return kUnzipWriteFailed;

  state.flags = header.flags;
  state.compressedSize = ExtractionSize(header.compressedSize);
  state.uncompressedSize = ExtractionSize(header.uncompressedSize);
  state.compressedRead = 0;
  state.ResetInput();
  if (!state.archive.Seek(static_cast<int64_t>(header.DataOffset(headerOffset)))) return kUnzipInputFailed;

  // The window stays allocated from one entry to the next (zeroed for each).
  struct OutputScope {
    ExtractionState& state;
    ~OutputScope() { state.memoryOutput = nullptr; }
  } outputScope{state};
  state.PrepareWindow();
  state.writeFailed = false;
  state.endOfInput = false;
  state.abortFlag = false;
  state.notify = nullptr;
  state.keyCode = 0;
  state.lastPercentage = 0;
  state.memoryOutput = &bytes;
  state.memoryLimit = limit;
  state.crc = 0xFFFFFFFFu;
  const int result = Decompress(state, header.method);
  if (result != kDecodeOk) {
    bytes.clear();
    return result;
  }
  if ((state.crc ^ 0xFFFFFFFFu) != header.crc) {
    bytes.clear();
    return kUnzipCrcMismatch;
  }
  return kUnzipOk;
}

}  // namespace archive
