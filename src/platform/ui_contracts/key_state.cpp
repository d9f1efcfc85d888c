#include "platform/ui_contracts/key_state.h"

#include <array>
#include <atomic>

namespace platform {
namespace {
std::array<std::atomic<bool>, 256> g_keys{};
}

bool IsKeyDown(int virtualKey) {
  return virtualKey >= 0 && virtualKey < 256 && g_keys[static_cast<size_t>(virtualKey)].load(std::memory_order_relaxed);
}

void SetKeyDown(int virtualKey, bool down) {
  if (virtualKey >= 0 && virtualKey < 256) g_keys[static_cast<size_t>(virtualKey)].store(down, std::memory_order_relaxed);
}

void ReleaseAllKeys() {
  for (auto& key : g_keys) key.store(false, std::memory_order_relaxed);
}

}  // namespace platform
