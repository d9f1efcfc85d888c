// A millisecond counter with the 32-bit wrap-around of a tick count.
#pragma once

#include <chrono>
#include <cstdint>

namespace platform {

inline uint32_t GetTickCount() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace platform
