#include "platform/gui/desktop_open.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform {

int ShellOpenDocument(const std::string& path) {
  const QString local = QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size()));
  return QDesktopServices::openUrl(QUrl::fromLocalFile(local)) ? 42 : 31;
}

}  // namespace platform
