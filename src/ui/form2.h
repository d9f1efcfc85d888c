// Form2: the external viewer chooser. A small modal dialog with a file-name
// box, a drive selector, a directory list and a file list; OK stores the
// chosen directory and file name in kest.ini (section "Ext Viewers", keys
// "Path" and "Name"). It is created once, hidden, at start-up and reused:
// its controls keep whatever state the previous showing left.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <string>
#include <vector>

namespace fretfile {

class TForm2 : public QDialog {
  Q_OBJECT
 public:
  // appDir: the folder of kest.ini, ending in '/'. Runs FormCreate, whose
  // errors go to the general error handler.
  explicit TForm2(std::string appDir, QWidget* parent = nullptr);

  void FormCreate();
  // OK: writes "Path" then "Name"; throws "Unable to write to <file>".
  void BitBtn1Click();

  // The chosen directory of DirectoryListBox1 (no trailing '/' except "/").
  const std::string& Directory() const { return directory_; }
  // Moves the directory list (and the drive selector, Label2 and the file
  // list with it) to path; throws platform::IoError when path names no
  // readable directory, leaving everything as it was.
  void SetDirectory(const std::string& path);

  QLabel* Label1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QComboBox* DriveComboBox1 = nullptr;
  QListWidget* DirectoryListBox1 = nullptr;
  QListWidget* FileListBox1 = nullptr;
  QLabel* Label2 = nullptr;
  QPushButton* BitBtn1 = nullptr;
  QPushButton* BitBtn2 = nullptr;

 private:
  void CreateControls();
  void FillDirectoryList();
  void FillFileList();
  void ShowDirectoryInLabel();
  void SelectDriveOf(const std::string& path);

  std::string AppDir_;
  std::string directory_;
  std::vector<std::string> driveRoots_;
};

}  // namespace fretfile
