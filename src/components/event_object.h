// An event in the Windows sense, made of a mutex and a condition variable:
// Set() signals it, a wait returns once it is signalled. An auto-reset
// event lets one wait through and clears itself; a manual-reset event stays
// signalled until Reset(). A Set() before anyone waits is never lost.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace fretfile {

class EventObject {
 public:
  enum class Mode { AutoReset, ManualReset };

  explicit EventObject(Mode mode) : autoReset_(mode == Mode::AutoReset) {}

  void Set();
  void Reset();
  // Waits until signalled; timeoutMs < 0 waits without limit. True when
  // signalled, false when the time ran out.
  bool Wait(int timeoutMs = -1);
  // True if signalled, without waiting (and without consuming an auto reset).
  bool IsSet() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  const bool autoReset_;
  bool signalled_ = false;
};

}  // namespace fretfile
