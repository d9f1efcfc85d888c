#include "platform/posix/shell.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <filesystem>
#include <system_error>

namespace platform {

int ShellExecuteProgram(const std::string& program, const std::string& argument) {
  if (program.empty()) return 2;
  const QString qProgram = QString::fromLocal8Bit(program.data(), static_cast<qsizetype>(program.size()));
  const QString qArgument = QString::fromLocal8Bit(argument.data(), static_cast<qsizetype>(argument.size()));
  return QProcess::startDetached(qProgram, {qArgument}) ? 33 : 2;
}

bool ShellRemoveTree(const std::string& path, bool allowUndo) {
  if (allowUndo) {
    // The trash lives in the user's data folder; where that folder is
    // missing, Qt would put the file into a "files" folder under the
    // current one instead.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty() || !QDir().mkpath(data)) return false;
    return QFile::moveToTrash(QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size())));
  }
  std::error_code error;
  std::filesystem::remove_all(path, error);
  return !error;
}

}  // namespace platform
