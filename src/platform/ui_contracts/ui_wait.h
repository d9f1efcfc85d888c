// Waiting for another thread without stopping the user-interface thread:
// on that thread the wait dispatches events (and so serves the calls
// workers make into it, platform/ui_contracts/ui_calls.h) until it is woken.
#pragma once

#include <condition_variable>
#include <mutex>

namespace platform {

class UiWaiter {
 public:
  // Returns once Wake has been called (at once when it already was).
  void Wait();
  // Any thread.
  void Wake();

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
  bool done_ = false;
};

}  // namespace platform
