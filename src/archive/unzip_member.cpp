#include <unistd.h>

#include <cerrno>

#include "archive/copy_stored.h"
#include "archive/dos_time.h"
#include "archive/little_endian.h"
#include "archive/target_prep.h"
#include "archive/unzip.h"
#include "platform/file_attributes.h"
#include "platform/io_error.h"

namespace archive {
namespace {

constexpr uint32_t kStaleBusyMs = 30000;
constexpr size_t kLocalHeaderLength = 30;

struct LocalHeader {
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t dosDateTime = 0;
  uint32_t crc = 0;
  int64_t compressedSize = 0;
  int64_t uncompressedSize = 0;
  int64_t dataOffset = 0;
};

// Reads and checks the 30-byte local header at `offset`.
bool ReadLocalHeader(ExtractionState& state, uint32_t offset, LocalHeader& header) {
  uint8_t* h = state.input;
  if (!state.archive.Seek(offset) ||
      state.archive.Read(h, kLocalHeaderLength) != static_cast<ssize_t>(kLocalHeaderLength)) {
    return false;
  }
  if (h[0] != 0x50 || h[1] != 0x4B || h[2] != 0x03 || h[3] != 0x04) return false;
  header.flags = Get16(h + 6);
  header.method = Get16(h + 8);
  header.dosDateTime = Get32(h + 10);
  header.crc = Get32(h + 14);
  header.compressedSize = Get32(h + 18);
  header.uncompressedSize = Get32(h + 22);
  header.dataOffset = int64_t{offset} + static_cast<int64_t>(kLocalHeaderLength) + Get16(h + 26) + Get16(h + 28);
  return true;
}

int Decompress(ExtractionState& state, uint16_t method) {
  switch (method) {
    case 0: return CopyStored(state);
    case 1: return Unshrink(state);
    case 2: case 3: case 4: case 5: return Unreduce(state, method);
    case 6: return Explode(state);
    case 8: return Inflate(state);
    default: return kUnzipUnsupportedMethod;
  }
}

// The CRC-32 from the data descriptor behind the data: 4 signature bytes
// (skipped whether they are there or not), then the CRC.
uint32_t ReadDescriptorCrc(ExtractionState& state, uint16_t method) {
  if (method == 0) {
    state.ResetInput();  // resume right behind the stored data
  } else {
    state.DropBits(state.bitCount % 8);
  }
  state.GetBits(16);
  state.GetBits(16);
  const uint32_t low = state.GetBits(16);
  const uint32_t high = state.GetBits(16);
  return high << 16 | low;
}

// Closes what one extraction opened and releases its window. The busy mark
// is cleared on every ordinary return; an exception escaping a progress
// receiver leaves it set (the next call judges it stale after 30 s), while
// the files are still closed and a partial output removed.
class ExtractionScope {
 public:
  explicit ExtractionScope(ExtractionState& state) : state_(state) { state_.busy = true; }
  ~ExtractionScope() {
    state_.archive.Close();
    state_.output.Close();
    if (!finished_ && !outputPath_.empty()) ::unlink(outputPath_.c_str());
    state_.notify = nullptr;
    state_.ReleaseWindow();
    if (finished_) state_.busy = false;
  }
  int Finish(int result) {
    finished_ = true;
    return result;
  }
  void OutputCreated(const std::string& path) { outputPath_ = path; }
  void OutputKept() { outputPath_.clear(); }

 private:
  ExtractionState& state_;
  std::string outputPath_;
  bool finished_ = false;
};

// Removes the output of a failed extraction.
bool DeleteOutput(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

}  // namespace

int UnzipMember(const std::string& archiveName, const std::string& targetName, uint16_t attributes,
                uint32_t headerOffset, const ProgressNotify& notify, int16_t keyCode) {
  ExtractionState& state = TheExtractionState();
  if (state.busy) {
    const uint32_t sincePump = CurrentTick() - state.lastPumpTime;
    if (state.lastPumpTime == 0 || sincePump <= kStaleBusyMs) return kUnzipBusy;
    state.busy = false;  // left behind by an exception long ago
  }
  // Cleared only once the call is known to run: a refused call from inside
  // a running extraction must not undo that extraction's abort request.
  state.abortFlag = false;

  ExtractionScope scope(state);
  state.PrepareWindow();
  state.writeFailed = false;
  if (state.archive.Open(archiveName, platform::FileAccess::Read, platform::FileShare::Shared) != 0) {
    return scope.Finish(kUnzipInputFailed);
  }
  LocalHeader header;
  if (!ReadLocalHeader(state, headerOffset, header)) return scope.Finish(kUnzipCorrupt);
  if ((header.flags & 0x08) != 0 && header.method != 0 && header.compressedSize == 0) {
    header.compressedSize = kUnknownSize;
    header.uncompressedSize = kUnknownSize;
    header.crc = 0;
  }
  if (!IsSupportedMethod(header.method)) return scope.Finish(kUnzipUnsupportedMethod);
  if ((header.flags & 0x01) != 0) return scope.Finish(kUnzipEncrypted);

  state.flags = header.flags;
  state.compressedSize = header.compressedSize;
  state.uncompressedSize = header.uncompressedSize;
  state.compressedRead = 0;
  state.ResetInput();
  if (!state.archive.Seek(header.dataOffset)) return scope.Finish(kUnzipInputFailed);

  std::string path;
  switch (PrepareTarget(targetName, attributes, state.output, path)) {
    case TargetOutcome::Directory: return scope.Finish(kUnzipOk);
    case TargetOutcome::Failed: return scope.Finish(kUnzipWriteFailed);
    case TargetOutcome::File: break;
  }
  scope.OutputCreated(path);

  state.endOfInput = false;
  state.notify = notify;
  state.keyCode = keyCode;
  state.PumpMessages();
  state.lastPercentage = 0;
  if (state.notify) {
    uint16_t percentage = 0;
    state.notify(state.keyCode, &percentage);
  }

  state.crc = 0xFFFFFFFFu;
  const int result = Decompress(state, header.method);
  uint32_t expectedCrc = header.crc;
  if (result == kDecodeOk && (header.flags & 0x08) != 0) expectedCrc = ReadDescriptorCrc(state, header.method);
  const uint32_t crc = state.crc ^ 0xFFFFFFFFu;
  state.archive.Close();
  SetFileWriteTime(state.output.fd(), header.dosDateTime);  // a failure is ignored
  const int closeError = state.output.Close();

  if (result != kDecodeOk || closeError != 0) {
    if (!DeleteOutput(path)) {
      scope.OutputKept();
      throw platform::IoError(errno);
    }
    scope.OutputKept();
    return scope.Finish(result != kDecodeOk ? result : kUnzipWriteFailed);
  }
  if (crc != expectedCrc) {
    DeleteOutput(path);
    scope.OutputKept();
    return scope.Finish(kUnzipCrcMismatch);
  }
  if (state.notify) {
    uint16_t percentage = 100;
    state.notify(state.keyCode, &percentage);
    if (percentage == 0xFFFF) {
      DeleteOutput(path);
      scope.OutputKept();
      return scope.Finish(kUnzipAborted);
    }
  }
  scope.OutputKept();
  platform::SetFileAttributes(path, attributes);  // a failure is ignored
  return scope.Finish(kUnzipOk);
}

}  // namespace archive
