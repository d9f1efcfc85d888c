#include "archive/copy_stored.h"

#include <algorithm>

namespace archive {

int CopyStored(ExtractionState& state) {
  while (state.compressedRead < state.compressedSize && !state.abortFlag) {
    const auto chunk = static_cast<size_t>(
        std::min<int64_t>(state.compressedSize - state.compressedRead, ExtractionState::kWindowSize));
    if (state.archive.Read(state.window, chunk) != static_cast<ssize_t>(chunk)) return kDecodeInputEnded;
    if (!state.FlushWindow(static_cast<uint32_t>(chunk))) return kDecodeWriteFailed;
    state.compressedRead += static_cast<int64_t>(chunk);
    state.PumpMessages();
    state.ReportProgress();
  }
  return state.abortFlag ? kDecodeAborted : kDecodeOk;
}

}  // namespace archive
