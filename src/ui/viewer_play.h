// What a viewer does for a player: the size of its text (zoom), remembered
// for every viewer, and scrolling by itself at a speed remembered for each
// song (songbook/viewer_settings.h).
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPlainTextEdit>
#include <QTimer>
#include <string>

namespace fretfile {

class TViewerMemo;

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

// Moves the text of a viewer up, a pixel at a time, at the song's speed in
// lines per minute, until its end; a key pressed in the box or a click in it
// pauses.
class AutoScroll : public QObject {
  Q_OBJECT
 public:
  static constexpr int kDefaultSpeed = 20;
  AutoScroll(TViewerMemo* memo, std::string archivePath, std::string entryName);
  bool Running() const { return timer_.isActive(); }
  int Speed() const { return speed_; }
  void Toggle();
  void Stop();
  // A quarter faster or slower (at least a line per minute), remembered for
  // the song.
  void Faster();
  void Slower();
  // Moves the text up by pixels; at the end of the text it stops. The
  // timer's ticks move it by the time since the last one.
  void Advance(qreal pixels);
  // The height of a line of the text box in pixels.
  qreal LineHeight() const;

 signals:
  void RunningChanged(bool running);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SetSpeed(int linesPerMinute);
  void Tick();

  TViewerMemo* memo_;
  std::string archivePath_;
  std::string entryName_;
  int speed_;
  QTimer timer_;
  QElapsedTimer sinceTick_;
  qreal lift_ = 0;  // pixels of the line at the top already moved past
};

}  // namespace fretfile
