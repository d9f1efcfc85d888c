#include "platform/gui/key_state_filter.h"

#include <QApplication>
#include <QKeyEvent>

#include "platform/ui_contracts/key_state.h"

namespace platform {

int VirtualKeyFromQt(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Escape: return 27;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Space: return 32;
    default: break;
  }
  if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)) return qtKey;
  return 0;
}

void KeyStateFilter::Install() {
  static KeyStateFilter* installed = nullptr;
  if (installed != nullptr || qApp == nullptr) return;
  installed = new KeyStateFilter(qApp);
  qApp->installEventFilter(installed);
}

bool KeyStateFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (!key->isAutoRepeat()) {
      if (const int code = VirtualKeyFromQt(key->key()); code != 0) SetKeyDown(code, event->type() == QEvent::KeyPress);
    }
  } else if (event->type() == QEvent::ApplicationDeactivate) {
    ReleaseAllKeys();
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace platform
