// The general error handler: an error that escapes an event handler ends
// that handler, is shown in an error box ("the message." titled with the
// application title), and the program goes on.
#pragma once

#include <QApplication>
#include <exception>
#include <functional>

namespace platform {

// Shows the error box for an exception (its message followed by a full stop).
void ReportError(const std::exception& error);
void ReportUnknownError();

// Runs an action and reports what it throws; returns false when it threw.
bool RunReportingErrors(const std::function<void()>& action);

// The application object: no exception crosses Qt's event loop.
class FretfileApplication : public QApplication {
 public:
  FretfileApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace platform
