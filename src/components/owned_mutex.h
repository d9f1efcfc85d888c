// The lock of TWinThread: a mutex in the Windows sense. The owning thread
// may take it again (each Lock needs its Unlock), an Unlock by a thread that
// does not own it is refused instead of corrupting the mutex, and a mutex
// left behind by a thread that ended while owning it is reported to the
// next taker as abandoned.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

namespace fretfile {

class OwnedMutex {
 public:
  enum class LockResult { Granted, Abandoned };

  // Waits without limit. On Abandoned the caller does not hold the mutex.
  LockResult Lock();
  // False when the calling thread does not own the mutex.
  bool Unlock();
  // Called by a thread as it ends: a mutex it still owns is released and
  // marked abandoned.
  void AbandonIfOwned();

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  std::thread::id owner_;
  unsigned depth_ = 0;
  bool abandoned_ = false;
};

}  // namespace fretfile
