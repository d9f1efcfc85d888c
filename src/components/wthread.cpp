#include "components/wthread.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "platform/ui_contracts/ui_calls.h"

namespace fretfile {

struct TWinThread::ThreadRecord {
  TWinThreadInfo info;
  std::thread thread;
  // Lets a suspended worker run on; stays set, so a release that comes
  // before the worker waits for it is not lost.
  EventObject release{EventObject::Mode::ManualReset};
  // Set as the last act of the thread's start routine.
  EventObject ended{EventObject::Mode::ManualReset};
  // A worker whose Spawn failed: it ends without running its procedure.
  std::atomic<bool> cancelled{false};
  // For a watcher: the worker it waits for.
  RecordPtr watched;
};

namespace {

constexpr int kServePollMs = 2;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Lock() ... Unlock() on every way out.
class LockGuard {
 public:
  explicit LockGuard(TWinThread& owner) : owner_(owner) { owner_.Lock(); }
  ~LockGuard() { owner_.Unlock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  TWinThread& owner_;
};

}  // namespace

TWinThread::TWinThread() = default;

TWinThread::~TWinThread() {
  destroying_ = true;
  try {
    WaitForThreads(-1);
  } catch (...) {
    // The lock failed; the watchers are still waited for below.
  }
  // A watcher ends right after its worker (it no longer raises
  // ThreadTerminate); it may still be handing over an exception.
  for (auto it = watchers_.rbegin(); it != watchers_.rend(); ++it) {
    WaitServing((*it)->ended, -1);
    if ((*it)->thread.joinable()) (*it)->thread.join();
  }
  // Workers whose watcher could not be started were joined by Spawn;
  // anything left is joined here so no std::thread is destroyed running.
  for (auto& worker : workers_) {
    WaitServing(worker->ended, -1);
    if (worker->thread.joinable()) worker->thread.join();
  }
}

TThreadHandle TWinThread::Spawn(intptr_t value) {
  if (!ThreadProc) return 0;
  LockGuard guard(*this);

  auto worker = std::make_shared<ThreadRecord>();
  // The handle is fixed before the thread exists, so the thread's own copy
  // of its record carries it.
  worker->info = TWinThreadInfo{this, ThreadProc, value, NextHandle(), &startEvent_, true};
  workers_.push_back(worker);
  startEvent_.Reset();
  try {
    worker->thread = std::thread([this, worker] { ThreadStart(worker); });
  } catch (const std::system_error&) {
    RemoveWorker(worker);
    throw std::runtime_error("Could not create thread");
  }
  if (!startEvent_.Wait(TimeOut_)) {
    CancelWorker(worker);
    RemoveWorker(worker);
    throw std::runtime_error("[A] Spawn event not triggered");
  }

  auto watcher = std::make_shared<ThreadRecord>();
  auto watch = [this, worker](TWinThread&, const TWinThreadParam&) { return WatchThread(worker); };
  watcher->info =
      TWinThreadInfo{this, watch, reinterpret_cast<intptr_t>(&worker->info), NextHandle(), &startEvent_, false};
  watcher->watched = worker;
  watchers_.push_back(watcher);
  startEvent_.Reset();
  try {
    watcher->thread = std::thread([this, watcher] { ThreadStart(watcher); });
  } catch (const std::system_error&) {
    watchers_.pop_back();
    CancelWorker(worker);
    RemoveWorker(worker);
    throw std::runtime_error("Could not create thread 2");
  }
  if (!startEvent_.Wait(TimeOut_)) {
    // The worker has not run its procedure: it ends at once when released
    // cancelled. The watcher, whenever it gets to run, waits for it and
    // removes its record as usual; it is joined at destruction.
    worker->cancelled = true;
    worker->release.Set();
    throw std::runtime_error("[B] Spawn event not triggered");
  }
  worker->release.Set();
  return worker->info.Handle;
}

void TWinThread::ThreadStart(const RecordPtr& record) {
  const TWinThreadInfo info = record->info;
  const TWinThreadParam param{info.Owner, info.Param, info.Handle};
  info.StartEvent->Set();
  if (info.Suspend) record->release.Wait();
  if (!record->cancelled) {
    try {
      info.Proc(*info.Owner, param);
    } catch (...) {
      HandOverException(info, std::current_exception());
    }
  }
  lock_.AbandonIfOwned();
  record->ended.Set();
}

void TWinThread::HandOverException(const TWinThreadInfo& info, std::exception_ptr error) {
  if (!ThreadException) return;
  try {
    platform::RunOnUiThread([&] {
      if (ThreadException) ThreadException(*this, info, error);
    });
  } catch (...) {
    // A failing handler must not keep the thread from ending normally.
  }
}

int32_t TWinThread::WatchThread(const RecordPtr& worker) {
  const TWinThreadInfo info = worker->info;
  // The worker's record leaves the list however the steps below end, or
  // WaitForThreads would wait for it forever.
  struct RemoveOnExit {
    TWinThread& owner;
    const RecordPtr& worker;
    ~RemoveOnExit() {
      try {
        owner.RemoveWorker(worker);
      } catch (...) {
      }
    }
  } removeOnExit{*this, worker};

  try {
    worker->thread.join();
  } catch (const std::system_error&) {
    throw std::runtime_error("Wait for thread failed");
  }
  const bool killed = killed_;
  if (!destroying_ && ThreadTerminate && !worker->cancelled && (!killed || CallOnKill_)) {
    platform::RunOnUiThread([&] {
      // Checked again here: destruction may have begun while this call
      // waited for the user-interface thread.
      if (destroying_ || !ThreadTerminate) return;
      ThreadTerminate(*this, TWinThreadParam{info.Owner, info.Param, info.Handle});
    });
  }
  return 0;
}

void TWinThread::RemoveWorker(const RecordPtr& worker) {
  LockGuard guard(*this);
  workers_.erase(std::remove(workers_.begin(), workers_.end(), worker), workers_.end());
}

void TWinThread::CancelWorker(const RecordPtr& worker) {
  worker->cancelled = true;
  worker->release.Set();
  if (worker->thread.joinable()) worker->thread.join();
}

TWaitResult TWinThread::WaitForThreads(int timeoutMs) {
  LockGuard guard(*this);
  const std::vector<RecordPtr> waiting = workers_;
  const int64_t deadline = timeoutMs < 0 ? -1 : NowMs() + timeoutMs;
  for (const auto& worker : waiting) {
    if (!WaitServing(worker->ended, deadline)) return TWaitResult::wrTimeout;
  }
  return TWaitResult::wrSignaled;
}

bool TWinThread::WaitServing(EventObject& event, int64_t deadlineMs) {
  const bool serve = platform::IsUiThread();
  for (;;) {
    if (serve) platform::ServeUiCalls();
    int slice = serve ? kServePollMs : -1;
    if (deadlineMs >= 0) {
      const int64_t left = deadlineMs - NowMs();
      if (left <= 0) return event.IsSet();
      if (slice < 0 || left < slice) slice = static_cast<int>(left);
    }
    if (event.Wait(slice)) return true;
  }
}

void TWinThread::Lock() {
  if (lock_.Lock() != OwnedMutex::LockResult::Granted) throw std::runtime_error("Could not obtain lock mutex");
}

void TWinThread::Unlock() { lock_.Unlock(); }

void TWinThread::SafeExec(intptr_t value) {
  platform::RunOnUiThread([&] {
    if (SafeExecCode) SafeExecCode(value);
  });
}

size_t TWinThread::WorkerCount() {
  LockGuard guard(*this);
  return workers_.size();
}

}  // namespace fretfile
