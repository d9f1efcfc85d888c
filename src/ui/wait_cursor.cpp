#include "ui/wait_cursor.h"

#include <QGuiApplication>
#include <QPixmap>

namespace fretfile {

QCursor DatabaseWaitCursor() {
  static const QPixmap pixmap(QStringLiteral(":/fretfile/dbwait.xpm"));
  return QCursor(pixmap, 15, 15);
}

bool ApplicationShowsDatabaseWait() {
  const QCursor* cursor = QGuiApplication::overrideCursor();
  return cursor != nullptr && cursor->shape() == Qt::BitmapCursor &&
         cursor->pixmap().cacheKey() == DatabaseWaitCursor().pixmap().cacheKey();
}

ApplicationWaitCursor::ApplicationWaitCursor() { QGuiApplication::setOverrideCursor(DatabaseWaitCursor()); }

ApplicationWaitCursor::~ApplicationWaitCursor() { QGuiApplication::restoreOverrideCursor(); }

}  // namespace fretfile
