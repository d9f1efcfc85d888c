#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

#include "archive/copy_stored.h"
#include "archive/dos_time.h"
#include "archive/explode.h"
#include "archive/inflate.h"
#include "archive/target_prep.h"
#include "archive/unreduce.h"
#include "archive/unshrink.h"
#include "archive/unzip_member.h"
#include "archive/unzip_steps.h"
#include "archive/zip_format.h"
#include "platform/posix/file_attributes.h"
#include "platform/posix/io_error.h"

namespace archive {

// Reads and checks the local header at `offset`, with the sizes a zip64
// extra field gives where the header's own fields hold the marker.
bool ReadLocalHeader(ExtractionState& state, uint32_t offset, zip::LocalHeader& header) {
  uint8_t* h = state.input;
  if (!state.archive.Seek(offset) ||
      state.archive.Read(h, zip::kLocalHeaderLength) != static_cast<ssize_t>(zip::kLocalHeaderLength) ||
      !zip::ParseLocalHeader(h, header)) {
    return false;
  }
  if (header.compressedSize == zip::kZip64Marker32 || header.uncompressedSize == zip::kZip64Marker32) {
    // The extra field (at most 65535 bytes) lies behind the name; a short
    // read leaves the marked sizes as they are.
    std::vector<uint8_t> extra(header.extraLength);
    if (state.archive.Seek(int64_t{offset} + static_cast<int64_t>(zip::kLocalHeaderLength) + header.nameLength)) {
      const ssize_t got = state.archive.Read(extra.data(), extra.size());
      if (got > 0) zip::ApplyZip64Extra(extra.data(), static_cast<size_t>(got), header);
    }
  }
  return true;
}

// A size as the extraction counts it. Sizes beyond what a 64-bit file offset
// holds are damage; the input then ends early, which the decompressor
// reports.
int64_t ExtractionSize(uint64_t size) { return static_cast<int64_t>(std::min<uint64_t>(size, INT64_MAX / 2)); }

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

uint32_t GetBits32(ExtractionState& state) {
  const uint32_t low = state.GetBits(16);
  const uint32_t high = state.GetBits(16);
  return high << 16 | low;
}

// The CRC-32 from the data descriptor behind the data. The descriptor may
// start with its signature or go straight to the CRC; a CRC that happens
// to equal the signature is taken as one (the next field then mismatches).
uint32_t ReadDescriptorCrc(ExtractionState& state, uint16_t method) {
  if (method == 0) {
    state.ResetInput();  // resume right behind the stored data
  } else {
    state.DropBits(state.bitCount % 8);
  }
  const uint32_t first = GetBits32(state);
  return first == zip::kDataDescriptorSignature ? GetBits32(state) : first;
}

namespace {

constexpr uint32_t kStaleBusyMs = 30000;

// Closes what one extraction opened and releases its window, on every way
// out. The output a failed extraction created is removed unless the
// extraction committed it. The busy mark is cleared on every ordinary
// return; an exception escaping a progress receiver (or a failed output
// that cannot be removed) leaves it set, and the next call judges it stale
// after 30 s.
class ExtractionScope {
 public:
  explicit ExtractionScope(ExtractionState& state) : state_(state) { state_.busy = true; }
  ~ExtractionScope() {
    state_.archive.Close();
    state_.output.Close();
    if (!outputPath_.empty()) ::unlink(outputPath_.c_str());
    state_.notify = nullptr;
    state_.ReleaseWindow();
    if (finished_) state_.busy = false;
  }
  ExtractionScope(const ExtractionScope&) = delete;
  ExtractionScope& operator=(const ExtractionScope&) = delete;

  void OutputCreated(const std::string& path) { outputPath_ = path; }

  // Ends the extraction with `result`; a non-zero result removes the output.
  int Finish(int result) {
    finished_ = true;
    return result;
  }
  // Ends with success: the output stays.
  int Commit() {
    outputPath_.clear();
    return Finish(kUnzipOk);
  }
  // Ends a failed decompression: its partial output must go, and when it
  // cannot be removed the caller hears of it as an I/O error instead.
  int FailDecoding(int result) {
    if (::unlink(outputPath_.c_str()) != 0 && errno != ENOENT) {
      const int error = errno;
      outputPath_.clear();
      throw platform::IoError(error);
    }
    outputPath_.clear();
    return Finish(result);
  }

 private:
  ExtractionState& state_;
  std::string outputPath_;
  bool finished_ = false;
};

}  // namespace

int UnzipMember(const std::string& archiveName, const std::string& targetName, uint16_t attributes,
                uint32_t headerOffset, const ProgressNotify& notify, int16_t keyCode,
                const std::optional<RecordedValues>& recorded) {
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
  zip::LocalHeader header;
  if (!ReadLocalHeader(state, headerOffset, header)) return scope.Finish(kUnzipCorrupt);
  const bool deferred = (header.flags & zip::kFlagDataDescriptor) != 0;
  if (deferred && recorded) {
    header.crc = recorded->crc;
    header.compressedSize = recorded->compressedSize;
    header.uncompressedSize = recorded->uncompressedSize;
  } else if (deferred && header.method != 0 && header.compressedSize == 0) {
    header.compressedSize = kUnknownSize;
    header.uncompressedSize = kUnknownSize;
    header.crc = 0;
  }
  if (!IsSupportedMethod(header.method)) return scope.Finish(kUnzipUnsupportedMethod);
  if ((header.flags & zip::kFlagEncrypted) != 0) return scope.Finish(kUnzipEncrypted);

  state.flags = header.flags;
  state.compressedSize = ExtractionSize(header.compressedSize);
  state.uncompressedSize = ExtractionSize(header.uncompressedSize);
  state.compressedRead = 0;
  state.ResetInput();
  if (!state.archive.Seek(static_cast<int64_t>(header.DataOffset(headerOffset)))) {
    return scope.Finish(kUnzipInputFailed);
  }

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
  if (result == kDecodeOk && deferred && !recorded) {
    expectedCrc = ReadDescriptorCrc(state, header.method);
  }
  const uint32_t crc = state.crc ^ 0xFFFFFFFFu;
  state.archive.Close();
  SetFileWriteTime(state.output.fd(), uint32_t{header.date} << 16 | header.time);  // a failure is ignored
  const int closeError = state.output.Close();

  if (result != kDecodeOk) return scope.FailDecoding(result);
  if (closeError != 0) return scope.FailDecoding(kUnzipWriteFailed);
  if (crc != expectedCrc) return scope.Finish(kUnzipCrcMismatch);
  if (state.notify) {
    uint16_t percentage = 100;
    state.notify(state.keyCode, &percentage);
    if (percentage == 0xFFFF) return scope.Finish(kUnzipAborted);
  }
  platform::SetFileAttributes(path, attributes);  // a failure is ignored
  return scope.Commit();
}

}  // namespace archive
