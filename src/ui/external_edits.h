// Songs handed to another program (the external viewer, or the desktop's
// program for the file's type), watched for changes the user makes there,
// so that they can go back into their archive.
//
// Editors save in two ways: some rewrite the file in place, others write a
// new file and rename it over the old one, which ends a watch on the file
// itself. So both the file and its folder are watched, every change is let
// settle for a moment (an editor writes in steps), and then each watched
// file is read and compared with what its archive holds.
//
// A change is reported once: it stays unanswered, whatever else the
// program writes meanwhile, until the window's question is answered. Stored,
// the watch goes on from the stored text; declined, it ends; a new opening
// of the same entry replaces it.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <string>
#include <vector>

#include "index/song_document.h"

namespace fretfile {

class ExternalEdits : public QObject {
  Q_OBJECT
 public:
  explicit ExternalEdits(QObject* parent = nullptr);

  // Watches song.tempPath from now on; song.saved holds what its archive
  // holds. A watch of the same file ends.
  void Watch(const SongDocument& song);
  void Unwatch(const std::string& tempPath);
  void UnwatchAll();
  bool Watches(const std::string& tempPath) const;

  struct Change {
    SongDocument song;
    std::string bytes;  // the file as the other program left it
  };
  std::vector<Change> Unanswered() const;
  // The window's answers.
  void Stored(const std::string& tempPath, const std::string& bytes);
  void Declined(const std::string& tempPath) { Unwatch(tempPath); }

  // Reads every watched file now; done by itself once a change has settled.
  void CheckNow();

 signals:
  // A watched file holds a change that is not answered yet.
  void ChangeWaiting();

 private:
  struct Watched {
    SongDocument song;
    bool unanswered = false;
    std::string bytes;
  };
  void WatchPaths();

  QFileSystemWatcher watcher_;
  QTimer settle_;
  std::vector<Watched> songs_;
};

}  // namespace fretfile
