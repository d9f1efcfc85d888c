// Runs the application's event loop until the program quits, as the exit
// tests need. The two-second guard dies with the call, so it can never end
// an event loop of a later test (a modal dialog's, say).
#pragma once

#include <QCoreApplication>
#include <QTimer>

namespace testing_support {

// 0 when the program quit, 1 when the guard ran out first.
inline int RunUntilQuit() {
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  guard.start(2000);
  return QCoreApplication::exec();
}

}  // namespace testing_support
