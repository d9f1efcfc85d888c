// Records which keys are down, application-wide, for platform::IsKeyDown.
#pragma once

#include <QObject>

namespace platform {

class KeyStateFilter : public QObject {
  Q_OBJECT
 public:
  using QObject::QObject;
  // Installs one filter on the running application (idempotent).
  static void Install();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// The virtual-key code of a Qt key (Escape 27, Enter 13, letters and digits
// their ASCII upper-case code), or 0 for keys the program never asks about.
int VirtualKeyFromQt(int qtKey);

}  // namespace platform
