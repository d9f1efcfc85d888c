#include "components/owned_mutex.h"

namespace fretfile {

OwnedMutex::LockResult OwnedMutex::Lock() {
  const auto me = std::this_thread::get_id();
  std::unique_lock lock(mutex_);
  if (depth_ > 0 && owner_ == me) {
    ++depth_;
    return LockResult::Granted;
  }
  released_.wait(lock, [this] { return depth_ == 0; });
  if (abandoned_) {
    // Reported once; the mutex itself is free again for the next waiter.
    abandoned_ = false;
    lock.unlock();
    released_.notify_one();
    return LockResult::Abandoned;
  }
  owner_ = me;
  depth_ = 1;
  return LockResult::Granted;
}

bool OwnedMutex::Unlock() {
  {
    std::lock_guard lock(mutex_);
    if (depth_ == 0 || owner_ != std::this_thread::get_id()) return false;
    if (--depth_ > 0) return true;
    owner_ = {};
  }
  released_.notify_one();
  return true;
}

void OwnedMutex::AbandonIfOwned() {
  {
    std::lock_guard lock(mutex_);
    if (depth_ == 0 || owner_ != std::this_thread::get_id()) return;
    depth_ = 0;
    owner_ = {};
    abandoned_ = true;
  }
  released_.notify_one();
}

}  // namespace fretfile
