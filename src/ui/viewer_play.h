// What a viewer does for a player: the size of its text (zoom), remembered
// for every viewer, and scrolling by itself at a speed remembered for each
// song (songbook/viewer_settings.h).
#pragma once

#include <QObject>
#include <QPlainTextEdit>
#include <QTimer>
#include <string>

namespace fretfile {

// The text size of a text box: steps through a row of sizes, with Ctrl and
// the mouse wheel too, and remembers the size for the next viewer.
class ViewerZoom : public QObject {
  Q_OBJECT
 public:
  static constexpr int kActualSize = 10;
  // Gives the box the remembered size.
  explicit ViewerZoom(QPlainTextEdit* memo);
  int PointSize() const { return points_; }
  void ZoomIn() { Step(+1); }
  void ZoomOut() { Step(-1); }
  void ActualSize() { SetPointSize(kActualSize); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Step(int steps);
  void SetPointSize(int points);

  QPlainTextEdit* memo_;
  int points_ = kActualSize;
  int wheelAngle_ = 0;  // the wheel's turn not yet made a step (120 is one)
};

// Scrolls the text box up a line at a time, at the song's speed in lines per
// minute, until its end; a key pressed in the box or a click in it pauses.
class AutoScroll : public QObject {
  Q_OBJECT
 public:
  static constexpr int kDefaultSpeed = 20;
  AutoScroll(QPlainTextEdit* memo, std::string archivePath, std::string entryName);
  bool Running() const { return timer_.isActive(); }
  int Speed() const { return speed_; }
  void Toggle();
  void Stop();
  // A quarter faster or slower (at least a line per minute), remembered for
  // the song.
  void Faster();
  void Slower();
  // One line up; at the end of the text it stops.
  void Step();

 signals:
  void RunningChanged(bool running);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SetSpeed(int linesPerMinute);

  QPlainTextEdit* memo_;
  std::string archivePath_;
  std::string entryName_;
  int speed_;
  QTimer timer_;
};

}  // namespace fretfile
