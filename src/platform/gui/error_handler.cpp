#include "platform/gui/error_handler.h"

#include "platform/gui/dialogs.h"

namespace platform {

void ReportError(const std::exception& error) { ShowErrorBox(std::string(error.what()) + "."); }

void ReportUnknownError() { ShowErrorBox("Unknown error."); }

bool RunReportingErrors(const std::function<void()>& action) {
  try {
    action();
    return true;
  } catch (const std::exception& error) {
    ReportError(error);
  } catch (...) {
    ReportUnknownError();
  }
  return false;
}

FretfileApplication::FretfileApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // No display name: Qt would append it to every window title the window
  // manager shows ("First_Song.txt by Some Band — Fretfile 1.5").
  setApplicationName(kApplicationTitle);
}

bool FretfileApplication::notify(QObject* receiver, QEvent* event) {
  bool handled = false;
  RunReportingErrors([&] { handled = QApplication::notify(receiver, event); });
  return handled;
}

}  // namespace platform
