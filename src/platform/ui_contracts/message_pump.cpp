#include "platform/ui_contracts/message_pump.h"

#include <QCoreApplication>
#include <QThread>

#include "platform/posix/tick_count.h"

namespace platform {
namespace {

bool OnUiThread() {
  auto* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

thread_local uint32_t t_lastPass = 0;

}  // namespace

bool ProcessMessagesNow() {
  if (!OnUiThread()) return false;
  t_lastPass = GetTickCount();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  return true;
}

bool ProcessMessages() {
  if (static_cast<uint32_t>(GetTickCount() - t_lastPass) < 10) return false;
  return ProcessMessagesNow();
}

}  // namespace platform
