#include "components/event_object.h"

namespace fretfile {

void EventObject::Set() {
  {
    std::lock_guard lock(mutex_);
    signalled_ = true;
  }
  changed_.notify_all();
}

void EventObject::Reset() {
  std::lock_guard lock(mutex_);
  signalled_ = false;
}

bool EventObject::Wait(int timeoutMs) {
  std::unique_lock lock(mutex_);
  if (timeoutMs < 0) {
    changed_.wait(lock, [this] { return signalled_; });
  } else if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return signalled_; })) {
    return false;
  }
  if (autoReset_) signalled_ = false;
  return true;
}

bool EventObject::IsSet() const {
  std::lock_guard lock(mutex_);
  return signalled_;
}

}  // namespace fretfile
