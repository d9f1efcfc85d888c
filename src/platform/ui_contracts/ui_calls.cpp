#include "platform/ui_contracts/ui_calls.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>

namespace platform {
namespace {

struct PendingCall {
  const std::function<void()>* call = nullptr;
  std::exception_ptr error;
  bool done = false;
};

std::mutex g_mutex;
std::condition_variable g_finished;
std::deque<PendingCall*> g_pending;

}  // namespace

bool IsUiThread() {
  auto* app = QCoreApplication::instance();
  return app == nullptr || QThread::currentThread() == app->thread();
}

void RunOnUiThread(const std::function<void()>& call) {
  if (IsUiThread()) {
    call();
    return;
  }
  PendingCall pending;
  pending.call = &call;
  {
    std::lock_guard lock(g_mutex);
    g_pending.push_back(&pending);
  }
  QMetaObject::invokeMethod(QCoreApplication::instance(), [] { ServeUiCalls(); }, Qt::QueuedConnection);
  std::unique_lock lock(g_mutex);
  g_finished.wait(lock, [&] { return pending.done; });
  if (pending.error) std::rethrow_exception(pending.error);
}

void ServeUiCalls() {
  for (;;) {
    PendingCall* next = nullptr;
    {
      std::lock_guard lock(g_mutex);
      if (g_pending.empty()) return;
      next = g_pending.front();
      g_pending.pop_front();
    }
    try {
      (*next->call)();
    } catch (...) {
      next->error = std::current_exception();
    }
    {
      std::lock_guard lock(g_mutex);
      next->done = true;
    }
    g_finished.notify_all();
  }
}

}  // namespace platform
