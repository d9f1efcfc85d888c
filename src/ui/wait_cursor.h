// The database-wait cursor: an hourglass with a small database mark, shown
// while the index is searched or rebuilt.
#pragma once

#include <QCursor>

namespace fretfile {

QCursor DatabaseWaitCursor();
// True when the application-wide cursor is the database-wait cursor.
bool ApplicationShowsDatabaseWait();

// Sets the application-wide cursor to the database-wait cursor and puts the
// remembered one back when destroyed, on every way out.
class ApplicationWaitCursor {
 public:
  ApplicationWaitCursor();
  ~ApplicationWaitCursor();
  ApplicationWaitCursor(const ApplicationWaitCursor&) = delete;
  ApplicationWaitCursor& operator=(const ApplicationWaitCursor&) = delete;
};

}  // namespace fretfile
