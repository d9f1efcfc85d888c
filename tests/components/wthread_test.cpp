#include "components/wthread.h"

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "components/owned_mutex.h"
#include "platform/ui_contracts/ui_calls.h"

using fretfile::TThreadHandle;
using fretfile::TWaitResult;
using fretfile::TWinThread;
using fretfile::TWinThreadInfo;
using fretfile::TWinThreadParam;

namespace {

// The test's own thread is the user-interface thread of a QCoreApplication,
// so calls from workers into it really cross threads.
class WinThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QCoreApplication::instance() == nullptr) app_ = std::make_unique<QCoreApplication>(argc_, argv_);
    uiThread_ = std::this_thread::get_id();
  }
  void TearDown() override { app_.reset(); }

  // Serves workers' calls until done() holds.
  template <typename Done>
  static void ServeUntil(Done done) {
    while (!done()) {
      platform::ServeUiCalls();
      std::this_thread::yield();
    }
  }

  std::thread::id uiThread_;

 private:
  static inline int argc_ = 1;
  static inline char arg0_[] = "wthread_test";
  static inline char* argv_[] = {arg0_, nullptr};
  std::unique_ptr<QCoreApplication> app_;
};

}  // namespace

TEST_F(WinThreadTest, SpawnWithoutProcedureDoesNothing) {
  TWinThread threads;
  EXPECT_EQ(threads.Spawn(1), 0u);
  EXPECT_EQ(threads.WorkerCount(), 0u);
  EXPECT_EQ(threads.WaitForThreads(0), TWaitResult::wrSignaled);
}

TEST_F(WinThreadTest, WorkerGetsItsValueAndHandle) {
  TWinThread threads;
  std::atomic<intptr_t> param{0};
  std::atomic<TThreadHandle> handle{0};
  std::atomic<TWinThread*> sender{nullptr};
  threads.ThreadProc = [&](TWinThread& s, const TWinThreadParam& info) {
    sender = &s;
    param = info.Param;
    handle = info.Handle;
    return 0;
  };
  const TThreadHandle spawned = threads.Spawn(77);
  EXPECT_NE(spawned, 0u);
  EXPECT_EQ(threads.WaitForThreads(-1), TWaitResult::wrSignaled);
  EXPECT_EQ(param, 77);
  EXPECT_EQ(handle, spawned);
  EXPECT_EQ(sender, &threads);
}

TEST_F(WinThreadTest, EscapedErrorReachesThreadExceptionOnceOnTheUiThread) {
  TWinThread threads;
  threads.ThreadProc = [](TWinThread&, const TWinThreadParam&) -> int32_t { throw std::runtime_error("boom"); };
  struct Call {
    std::thread::id thread;
    std::string message;
    intptr_t param;
    TThreadHandle handle;
  };
  std::vector<Call> calls;
  threads.ThreadException = [&](TWinThread&, const TWinThreadInfo& info, std::exception_ptr error) {
    Call call{std::this_thread::get_id(), {}, info.Param, info.Handle};
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      call.message = e.what();
    }
    calls.push_back(call);
  };
  const TThreadHandle handle = threads.Spawn(5);
  threads.WaitForThreads(-1);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].thread, uiThread_);
  EXPECT_EQ(calls[0].message, "boom");
  EXPECT_EQ(calls[0].param, 5);
  EXPECT_EQ(calls[0].handle, handle);

  // Without a handler nothing is shown and the component stays usable.
  threads.ThreadException = nullptr;
  threads.Spawn(6);
  threads.WaitForThreads(-1);
  std::atomic<bool> ran{false};
  threads.ThreadProc = [&](TWinThread&, const TWinThreadParam&) {
    ran = true;
    return 0;
  };
  threads.Spawn(7);
  threads.WaitForThreads(-1);
  EXPECT_TRUE(ran);
  EXPECT_EQ(calls.size(), 1u);
}

TEST_F(WinThreadTest, TwoWorkersRunAtOnceAndEachEndIsReported) {
  TWinThread threads;
  std::atomic<int> started{0};
  threads.ThreadProc = [&](TWinThread&, const TWinThreadParam&) {
    // Neither worker ends before both run: they really run side by side.
    ++started;
    while (started < 2) std::this_thread::yield();
    return 0;
  };
  std::vector<std::pair<intptr_t, TThreadHandle>> ended;
  std::vector<std::thread::id> endedOn;
  threads.ThreadTerminate = [&](TWinThread&, const TWinThreadParam& info) {
    ended.emplace_back(info.Param, info.Handle);
    endedOn.push_back(std::this_thread::get_id());
    return 0;
  };
  const TThreadHandle first = threads.Spawn(1);
  const TThreadHandle second = threads.Spawn(2);
  EXPECT_NE(first, second);
  EXPECT_EQ(threads.WaitForThreads(-1), TWaitResult::wrSignaled);
  EXPECT_EQ(started, 2);
  ServeUntil([&] { return ended.size() == 2; });
  ServeUntil([&] { return threads.WorkerCount() == 0; });
  std::sort(ended.begin(), ended.end());
  EXPECT_EQ(ended, (std::vector<std::pair<intptr_t, TThreadHandle>>{{1, first}, {2, second}}));
  for (const auto& id : endedOn) EXPECT_EQ(id, uiThread_);
}

TEST_F(WinThreadTest, WaitForThreadsTimesOutWhileAWorkerRuns) {
  TWinThread threads;
  std::atomic<bool> finish{false};
  threads.ThreadProc = [&](TWinThread&, const TWinThreadParam&) {
    while (!finish) std::this_thread::yield();
    return 0;
  };
  threads.Spawn(0);
  EXPECT_EQ(threads.WaitForThreads(0), TWaitResult::wrTimeout);
  finish = true;
  EXPECT_EQ(threads.WaitForThreads(-1), TWaitResult::wrSignaled);
}

TEST_F(WinThreadTest, SafeExecRunsOnTheUiThreadBeforeTheWorkerGoesOn) {
  TWinThread threads;
  std::vector<intptr_t> values;
  std::thread::id ranOn;
  threads.SafeExecCode = [&](intptr_t value) {
    values.push_back(value);
    ranOn = std::this_thread::get_id();
  };
  std::atomic<size_t> seenByWorker{0};
  threads.ThreadProc = [&](TWinThread& owner, const TWinThreadParam&) {
    owner.SafeExec(42);
    seenByWorker = values.size();
    return 0;
  };
  threads.Spawn(0);
  threads.WaitForThreads(-1);
  EXPECT_EQ(values, (std::vector<intptr_t>{42}));
  EXPECT_EQ(ranOn, uiThread_);
  EXPECT_EQ(seenByWorker, 1u);
}

TEST_F(WinThreadTest, DestructionServesAWorkerThatWaitsForTheUiThread) {
  std::vector<intptr_t> served;
  std::atomic<int> terminated{0};
  {
    TWinThread threads;
    threads.SafeExecCode = [&](intptr_t value) { served.push_back(value); };
    threads.ThreadTerminate = [&](TWinThread&, const TWinThreadParam&) {
      ++terminated;
      return 0;
    };
    threads.ThreadProc = [](TWinThread& owner, const TWinThreadParam&) {
      // Asks the user-interface thread for something only once that thread
      // is blocked in the destructor.
      while (!owner.Destroying()) std::this_thread::yield();
      owner.SafeExec(9);
      return 0;
    };
    threads.Spawn(0);
  }
  EXPECT_EQ(served, (std::vector<intptr_t>{9}));
  EXPECT_EQ(terminated, 0) << "no end is reported once destruction has begun";
}

TEST_F(WinThreadTest, LockIsReentrantOnItsOwnThread) {
  TWinThread threads;
  threads.ThreadProc = [](TWinThread&, const TWinThreadParam&) { return 0; };
  threads.Lock();
  threads.Lock();
  // Spawn takes the lock again on this thread.
  EXPECT_NE(threads.Spawn(0), 0u);
  threads.Unlock();
  threads.Unlock();
  threads.WaitForThreads(-1);
}

TEST(OwnedMutex, ForeignUnlockIsRefusedAndAbandonmentIsReportedOnce) {
  fretfile::OwnedMutex mutex;
  ASSERT_EQ(mutex.Lock(), fretfile::OwnedMutex::LockResult::Granted);
  bool foreignUnlock = true;
  std::thread([&] { foreignUnlock = mutex.Unlock(); }).join();
  EXPECT_FALSE(foreignUnlock);
  EXPECT_TRUE(mutex.Unlock());
  EXPECT_FALSE(mutex.Unlock()) << "already released";

  std::thread([&] {
    mutex.Lock();
    mutex.AbandonIfOwned();  // what a thread ending with the lock held does
  }).join();
  EXPECT_EQ(mutex.Lock(), fretfile::OwnedMutex::LockResult::Abandoned);
  EXPECT_EQ(mutex.Lock(), fretfile::OwnedMutex::LockResult::Granted);
  EXPECT_TRUE(mutex.Unlock());
}
