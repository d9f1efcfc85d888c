#include "archive/extraction_state.h"

#include <algorithm>
#include <cstring>

#include "archive/crc32.h"
#include "platform/posix/tick_count.h"
#include "platform/ui_contracts/key_state.h"
#include "platform/ui_contracts/message_pump.h"

namespace archive {
namespace {

TickSource g_tickSource = nullptr;

}  // namespace

ExtractionState& TheExtractionState() {
  static ExtractionState state;
  return state;
}

void SetTickSourceForTesting(TickSource source) { g_tickSource = source; }

uint32_t CurrentTick() { return g_tickSource != nullptr ? g_tickSource() : platform::GetTickCount(); }

void ExtractionState::PrepareWindow() {
  if (!windowStorage) windowStorage = std::make_unique<uint8_t[]>(kWindowSize + kWindowSlack);
  window = windowStorage.get();
  std::memset(window, 0, kWindowSize + kWindowSlack);
  windowPosition = 0;
}

void ExtractionState::ReleaseWindow() {
  windowStorage.reset();
  window = nullptr;
  windowPosition = 0;
}

void ExtractionState::ReadInputBlock() {
  inputPosition = 0;
  if (compressedSize + 2 < compressedRead) {
    // The entry's data has been read past its end already: read nothing more,
    // the buffer's old contents serve as filler.
    endOfInput = true;
    if (inputLast < 0) inputLast = kInputSize - 1;
    return;
  }
  PumpMessages();
  ReportProgress();
  const ssize_t count = ReadArchive(input, kInputSize);
  if (count <= 0) {
    endOfInput = true;
    inputLast = kInputSize - 1;
    return;
  }
  compressedRead += count;
  inputLast = static_cast<int32_t>(count) - 1;
}

ssize_t ExtractionState::ReadArchive(uint8_t* to, uint32_t count) {
  if (readAheadPosition == readAheadLength) {
    // The blocks stop once they have read 2 bytes past the entry's data, so
    // nothing beyond one more block is ever needed.
    const int64_t reachable = compressedSize + 2 + kInputSize - readAheadFetched;
    const uint32_t want = static_cast<uint32_t>(std::clamp<int64_t>(reachable, count, kReadAheadSize));
    const ssize_t got = archive.Read(readAhead, want);
    if (got <= 0) return got;
    readAheadPosition = 0;
    readAheadLength = static_cast<uint32_t>(got);
    readAheadFetched += got;
  }
  const uint32_t n = std::min(count, readAheadLength - readAheadPosition);
  std::memcpy(to, readAhead + readAheadPosition, n);
  readAheadPosition += n;
  return n;
}

bool ExtractionState::FlushWindow(uint32_t n) {
  if (n > kWindowSize || window == nullptr) return false;
  return FlushBytes(window, n);
}

bool ExtractionState::FlushBytes(const uint8_t* data, size_t n) {
  if (writeFailed) return false;
  if (n == 0) return true;
  crc = Crc32Update(crc, data, n);
  if (memoryOutput != nullptr) {
    if (n > memoryLimit - std::min(memoryLimit, memoryOutput->size())) {
      writeFailed = true;
    } else {
      memoryOutput->append(reinterpret_cast<const char*>(data), n);
    }
  } else if (output.Write(data, n) != 0) {
    writeFailed = true;
  }
  return !writeFailed;
}

void ExtractionState::PumpMessages() {
  lastPumpTime = CurrentTick();
  if (pumpMessages) platform::ProcessMessages();
}

void ExtractionState::ReportProgress() {
  if (compressedSize <= 0) return;
  int64_t percentage = compressedRead * 100 / compressedSize;
  if (percentage > 100) percentage = 100;
  if (percentage == lastPercentage) return;
  lastPercentage = static_cast<int16_t>(percentage);
  if (notify) {
    uint16_t word = static_cast<uint16_t>(percentage);
    notify(keyCode, &word);
    abortFlag = word == 0xFFFF;
  } else if (keyCode != 0) {
    abortFlag = platform::IsKeyDown(keyCode);
  }
}

}  // namespace archive
