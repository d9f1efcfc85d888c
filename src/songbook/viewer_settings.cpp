#include "songbook/viewer_settings.h"

#include <QByteArray>
#include <QFile>
#include <QSettings>
#include <QString>
#include <QUrl>
#include <filesystem>
#include <memory>
#include <system_error>

#include "platform/posix/paths.h"
#include "platform/posix/user_config.h"

namespace songbook {
namespace {

constexpr const char* kFileName = "viewer.conf";
const QString kZoomKey = QStringLiteral("Viewer/PointSize");

std::unique_ptr<QSettings> Open() {
  const std::string file = ViewerSettingsFile();
  if (file.empty()) return nullptr;
  // Written whole through a new file renamed over the old one, or not at all.
  auto settings = std::make_unique<QSettings>(QFile::decodeName(QByteArray::fromStdString(file)), QSettings::IniFormat);
  settings->setAtomicSyncRequired(true);
  return settings;
}

// The song's key: its archive's file name and entry name, each percent-encoded
// (names are bytes and may hold '/', '|' or any other character).
QString SongKey(const std::string& archivePath, const std::string& entryName) {
  const std::string archive = archivePath.substr(archivePath.rfind(platform::kSeparator) + 1);
  const auto encoded = [](const std::string& name) {
    return QString::fromLatin1(QUrl::toPercentEncoding(QByteArray::fromStdString(name)));
  };
  return QStringLiteral("ScrollSpeed/") + encoded(archive) + u'|' + encoded(entryName);
}

int Remembered(const QString& key, int smallest, int largest, int fallback) {
  const auto settings = Open();
  if (!settings) return fallback;
  bool ok = false;
  const int value = settings->value(key).toInt(&ok);
  return ok && value >= smallest && value <= largest ? value : fallback;
}

bool Remember(const QString& key, int value) {
  const auto settings = Open();
  if (!settings) return false;
  std::error_code ignored;
  std::filesystem::create_directories(platform::UserConfigFolder(), ignored);
  settings->setValue(key, value);
  settings->sync();
  return settings->status() == QSettings::NoError;
}

}  // namespace

std::string ViewerSettingsFile() {
  const std::string folder = platform::UserConfigFolder();
  return folder.empty() ? std::string() : folder + kFileName;
}

int RememberedZoom(int fallback) { return Remembered(kZoomKey, kSmallestZoom, kLargestZoom, fallback); }

bool RememberZoom(int points) { return Remember(kZoomKey, points); }

int RememberedScrollSpeed(const std::string& archivePath, const std::string& entryName, int fallback) {
  return Remembered(SongKey(archivePath, entryName), kSlowestScroll, kFastestScroll, fallback);
}

bool RememberScrollSpeed(const std::string& archivePath, const std::string& entryName, int linesPerMinute) {
  return Remember(SongKey(archivePath, entryName), linesPerMinute);
}

}  // namespace songbook
