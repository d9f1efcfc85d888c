#include "ui/form2.h"

#include <QApplication>
#include <QDir>
#include <QFileIconProvider>
#include <QFontMetrics>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "index/collection.h"
#include "platform/gui/error_handler.h"
#include "platform/gui/mounted_volumes.h"
#include "platform/posix/io_error.h"
#include "platform/posix/paths.h"
#include "ui/string_grid.h"

namespace fretfile {
namespace {

constexpr const char* kFileMask = "*.*";
constexpr int kPathRole = Qt::UserRole;

QFont DialogFont() {
  QFont font = QApplication::font();
  font.setFamily(QStringLiteral("MS Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

QString PathText(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
std::string PathBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

const QFileIconProvider& IconProvider() {
  static const QFileIconProvider provider;
  return provider;
}

}  // namespace

TForm2::TForm2(std::string appDir, QWidget* parent) : QDialog(parent), AppDir_(std::move(appDir)) {
  setObjectName(QStringLiteral("Form2"));
  setWindowTitle(QStringLiteral("External Viewer"));
  setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFont(DialogFont());
  setFixedSize(389, 248);
  move(228, 62);
  CreateControls();

  // Until kest.ini names another, the lists show the current directory.
  std::error_code error;
  const std::string current = std::filesystem::current_path(error).string();
  platform::RunReportingErrors([&] { SetDirectory(error ? std::string("/") : current); });
  Edit1->setText(QString::fromLatin1(kFileMask));
  platform::RunReportingErrors([this] { FormCreate(); });
}

void TForm2::CreateControls() {
  Label1 = new QLabel(QStringLiteral("Viewer"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  QFont bold = DialogFont();
  bold.setBold(true);
  Label1->setFont(bold);
  Label1->adjustSize();
  Label1->move(6, 11);

  Edit1 = new QLineEdit(this);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setGeometry(55, 9, 153, 21);

  DriveComboBox1 = new QComboBox(this);
  DriveComboBox1->setObjectName(QStringLiteral("DriveComboBox1"));
  DriveComboBox1->setGeometry(55, 39, 154, 19);
  driveRoots_ = platform::MountedVolumeRoots();
  for (const std::string& root : driveRoots_) DriveComboBox1->addItem(PathText(root), PathText(root));
  connect(DriveComboBox1, &QComboBox::activated, this, [this](int index) {
    if (index < 0 || static_cast<size_t>(index) >= driveRoots_.size()) return;
    const std::string root = driveRoots_[static_cast<size_t>(index)];
    if (!platform::RunReportingErrors([&] { SetDirectory(root); })) SelectDriveOf(directory_);
  });

  DirectoryListBox1 = new QListWidget(this);
  DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
  DirectoryListBox1->setGeometry(55, 64, 154, 118);
  DirectoryListBox1->setIconSize(QSize(16, 16));
  connect(DirectoryListBox1, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
    const std::string path = PathBytes(item->data(kPathRole).toString());
    platform::RunReportingErrors([&] { SetDirectory(path); });
  });

  FileListBox1 = new QListWidget(this);
  FileListBox1->setObjectName(QStringLiteral("FileListBox1"));
  FileListBox1->setGeometry(215, 9, 145, 172);
  FileListBox1->setIconSize(QSize(16, 16));
  FileListBox1->setUniformItemSizes(true);
  connect(FileListBox1, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
    Edit1->setText(item != nullptr ? item->text() : QString::fromLatin1(kFileMask));
  });

  Label2 = new QLabel(this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setGeometry(8, 192, 369, 13);

  BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
  BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
  BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
  BitBtn1->setGeometry(88, 216, 75, 25);
  BitBtn1->setDefault(true);
  connect(BitBtn1, &QPushButton::clicked, this, [this] {
    platform::RunReportingErrors([this] { BitBtn1Click(); });
    accept();
  });

  BitBtn2 = new QPushButton(QStringLiteral("Cancel"), this);
  BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
  BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
  BitBtn2->setGeometry(240, 216, 75, 25);
  connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

void TForm2::FormCreate() {
  if (!SettingsFileExists(AppDir_)) return;
  const ViewerSetting stored = ReadViewerSetting(AppDir_);
  SetDirectory(stored.path);
  Edit1->setText(ToQString(stored.name));
}

void TForm2::BitBtn1Click() {
  WriteViewerSetting(AppDir_, ViewerSetting{platform::WithTrailingSeparator(directory_), ToBytes(Edit1->text())});
}

void TForm2::SetDirectory(const std::string& path) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) throw platform::IoError(error.value());
  const std::string normal = platform::WithoutTrailingSeparator(absolute.lexically_normal().string());
  if (!std::filesystem::is_directory(normal, error)) throw platform::IoError(error ? error.value() : ENOENT);
  if (!QDir(PathText(normal)).isReadable()) throw platform::IoError(EACCES);

  directory_ = normal;
  FillDirectoryList();
  FillFileList();
  ShowDirectoryInLabel();
  SelectDriveOf(directory_);
  Edit1->setText(QString::fromLatin1(kFileMask));
}

void TForm2::FillDirectoryList() {
  // The folders from the root down to the chosen one, then the chosen one's
  // subfolders, each indented by its depth.
  DirectoryListBox1->clear();
  std::vector<std::string> chain;
  for (std::string at = directory_;; at = platform::FolderOf(at)) {
    chain.insert(chain.begin(), at);
    if (at.size() <= 1) break;  // the root (paths here are absolute)
  }
  const QIcon folder = IconProvider().icon(QAbstractFileIconProvider::Folder);
  auto addItem = [&](const std::string& path, size_t depth) {
    const std::string label = path == "/" ? path : platform::NameOf(path);
    auto* item = new QListWidgetItem(folder, QString(static_cast<qsizetype>(depth * 2), QLatin1Char(' ')) +
                                                 PathText(label));
    item->setData(kPathRole, PathText(path));
    DirectoryListBox1->addItem(item);
  };
  for (size_t i = 0; i < chain.size(); ++i) addItem(chain[i], i);
  DirectoryListBox1->setCurrentRow(static_cast<int>(chain.size()) - 1);

  const QDir dir(PathText(directory_));
  const QStringList subfolders = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
  const std::string prefix = platform::WithTrailingSeparator(directory_);
  for (const QString& name : subfolders) addItem(prefix + PathBytes(name), chain.size());
}

void TForm2::FillFileList() {
  FileListBox1->blockSignals(true);
  FileListBox1->clear();
  const QDir dir(PathText(directory_));
  // The mask "*.*" takes every file, with or without a dot in its name.
  const QFileInfoList files = dir.entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase);
  const QFontMetrics metrics(FileListBox1->font());
  for (const QFileInfo& file : files) {
    auto* item = new QListWidgetItem(IconProvider().icon(file), file.fileName());
    item->setSizeHint(QSize(metrics.horizontalAdvance(file.fileName()) + 24, 16));
    FileListBox1->addItem(item);
  }
  FileListBox1->blockSignals(false);
}

void TForm2::ShowDirectoryInLabel() {
  const QFontMetrics metrics(Label2->font());
  Label2->setText(metrics.elidedText(PathText(directory_), Qt::ElideMiddle, Label2->width()));
}

void TForm2::SelectDriveOf(const std::string& path) {
  const std::string root = platform::VolumeRootOf(driveRoots_, path);
  const int index = DriveComboBox1->findData(PathText(root));
  DriveComboBox1->setCurrentIndex(index);
}

}  // namespace fretfile
