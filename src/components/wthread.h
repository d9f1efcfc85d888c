// TWinThread: runs a procedure (ThreadProc) on a worker thread and pairs
// every worker with a watcher thread that waits for its end and tidies up.
// What the threads hand back to the user-interface thread (an exception
// that escaped a thread, a worker's end, a piece of code to run there) is
// carried over synchronously with platform::RunOnUiThread: the sending
// thread waits until the user-interface thread has handled it.
//
// Whatever waits for workers on the user-interface thread (WaitForThreads,
// the destructor) keeps serving those calls while it waits, so a worker
// that waits for the user-interface thread never deadlocks with it. A
// worker can therefore always be waited for and nothing is ever ended by
// force.
#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "components/event_object.h"
#include "components/owned_mutex.h"

namespace fretfile {

class TWinThread;

// Identifies a thread the component started; 0 is no thread.
using TThreadHandle = uint64_t;

// What a thread procedure receives.
struct TWinThreadParam {
  TWinThread* Owner = nullptr;
  intptr_t Param = 0;
  TThreadHandle Handle = 0;
};

using TWinThreadEvent = std::function<int32_t(TWinThread& Sender, const TWinThreadParam& ThreadInfo)>;

// The bookkeeping record of one thread.
struct TWinThreadInfo {
  TWinThread* Owner = nullptr;
  TWinThreadEvent Proc;     // ThreadProc for a worker, WatchThread for a watcher
  intptr_t Param = 0;       // worker: the value given to Spawn; watcher: address of the worker's record
  TThreadHandle Handle = 0;
  EventObject* StartEvent = nullptr;
  bool Suspend = false;     // a worker waits after its start signal until Spawn releases it
};

using TWinThreadException =
    std::function<void(TWinThread& Sender, const TWinThreadInfo& ThreadInfo, std::exception_ptr E)>;
using TSafeExecCode = std::function<void(intptr_t Param)>;

enum class TWaitResult { wrSignaled, wrTimeout };

class TWinThread : public QObject {
 public:
  TWinThread();
  // Waits for every worker (serving their calls into the user-interface
  // thread meanwhile), then for every watcher. ThreadTerminate is no longer
  // raised once destruction has begun.
  ~TWinThread() override;
  TWinThread(const TWinThread&) = delete;
  TWinThread& operator=(const TWinThread&) = delete;

  // Starts a worker running ThreadProc with value; returns its handle, or 0
  // without doing anything when ThreadProc has no handler. Throws
  // std::runtime_error "Could not create thread", "[A] Spawn event not
  // triggered", "Could not create thread 2" or "[B] Spawn event not
  // triggered"; a failed Spawn leaves no thread running the procedure and
  // no record behind for the worker.
  TThreadHandle Spawn(intptr_t value);

  // Waits until every worker has ended or timeoutMs has passed (-1: no
  // limit). On the user-interface thread, workers' calls into it are served
  // while waiting.
  TWaitResult WaitForThreads(int timeoutMs);

  // Throws std::runtime_error "Could not obtain lock mutex" when the lock is
  // not granted normally (a lock abandoned by an ended thread included).
  virtual void Lock();
  virtual void Unlock();

  // Called by a worker: runs SafeExecCode(value) on the user-interface
  // thread and returns when it has finished. An error it raises comes back
  // to the caller.
  void SafeExec(intptr_t value);

  // Creation flags and stack size of a worker, kept as published settings:
  // std::thread starts every thread with the platform's defaults.
  int32_t Attributes() const { return Attributes_; }
  void SetAttributes(int32_t attributes) { Attributes_ = attributes; }
  int32_t StackSize() const { return StackSize_; }
  void SetStackSize(int32_t stackSize) { StackSize_ = stackSize; }
  // Whether ThreadTerminate is raised also for a worker marked as killed.
  bool CallOnKill() const { return CallOnKill_; }
  void SetCallOnKill(bool callOnKill) { CallOnKill_ = callOnKill; }
  // Milliseconds Spawn waits for each start signal; -1 waits without limit.
  int32_t TimeOut() const { return TimeOut_; }
  void SetTimeOut(int32_t timeOut) { TimeOut_ = timeOut; }

  // Run on the user-interface thread.
  TSafeExecCode SafeExecCode;
  TWinThreadException ThreadException;
  TWinThreadEvent ThreadTerminate;
  // Run on each worker.
  TWinThreadEvent ThreadProc;

  bool Destroying() const { return destroying_; }
  // Nothing in the program marks a worker as killed; the flag is published
  // for CallOnKill.
  bool Killed() const { return killed_; }
  // Workers whose records are still in the worker list.
  size_t WorkerCount();

 private:
  struct ThreadRecord;
  using RecordPtr = std::shared_ptr<ThreadRecord>;

  void ThreadStart(const RecordPtr& record);
  int32_t WatchThread(const RecordPtr& worker);
  void HandOverException(const TWinThreadInfo& info, std::exception_ptr error);
  void RemoveWorker(const RecordPtr& worker);
  // Tells a worker that has not been released to end without running its
  // procedure, and waits for it.
  static void CancelWorker(const RecordPtr& worker);
  // Waits for an event; on the user-interface thread it serves workers'
  // calls meanwhile. False when the deadline (if any) passed first.
  static bool WaitServing(EventObject& event, int64_t deadlineMs);
  TThreadHandle NextHandle() { return ++lastHandle_; }

  int32_t Attributes_ = 0;
  bool CallOnKill_ = false;
  int32_t StackSize_ = 0;
  int32_t TimeOut_ = -1;

  std::atomic<bool> destroying_{false};
  std::atomic<bool> killed_{false};
  EventObject startEvent_{EventObject::Mode::AutoReset};
  OwnedMutex lock_;
  std::vector<RecordPtr> workers_;
  std::vector<RecordPtr> watchers_;
  TThreadHandle lastHandle_ = 0;
};

}  // namespace fretfile
