#include "platform/ui_contracts/ui_wait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>

namespace platform {

void UiWaiter::Wait() {
  auto* app = QCoreApplication::instance();
  if (app != nullptr && QThread::currentThread() == app->thread()) {
    for (;;) {
      {
        std::lock_guard lock(mutex_);
        if (done_) return;
      }
      // Wake posts an event, so this returns after it at the latest.
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
  }
  std::unique_lock lock(mutex_);
  woken_.wait(lock, [this] { return done_; });
}

void UiWaiter::Wake() {
  {
    std::lock_guard lock(mutex_);
    done_ = true;
  }
  woken_.notify_all();
  if (auto* app = QCoreApplication::instance()) QMetaObject::invokeMethod(app, [] {}, Qt::QueuedConnection);
}

}  // namespace platform
