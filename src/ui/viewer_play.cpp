#include "ui/viewer_play.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QFontMetricsF>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cmath>

#include "songbook/viewer_settings.h"
#include "ui/viewer_window.h"

namespace fretfile {
namespace {

constexpr std::array<int, 17> kZoomSizes = {6, 7, 8, 9, 10, 11, 12, 14, 16, 18, 20, 24, 28, 32, 36, 42, 48};
static_assert(kZoomSizes.front() == songbook::kSmallestZoom && kZoomSizes.back() == songbook::kLargestZoom);

}  // namespace

ViewerZoom::ViewerZoom(QPlainTextEdit* memo) : QObject(memo), memo_(memo) {
  points_ = songbook::RememberedZoom(kActualSize);
  QFont font = memo_->font();
  font.setPointSize(points_);
  memo_->setFont(font);
  // The box zooms with the wheel only when read-only; a viewer always does.
  memo_->viewport()->installEventFilter(this);
}

void ViewerZoom::Step(int steps) {
  // The size at or after the current one in the row, moved by the steps.
  const auto at = std::lower_bound(kZoomSizes.begin(), kZoomSizes.end(), points_);
  long index = at - kZoomSizes.begin();
  // A remembered size between two of the row: the one above is the first step up.
  if (steps > 0 && (at == kZoomSizes.end() || *at != points_)) --steps;
  index = std::clamp<long>(index + steps, 0, static_cast<long>(kZoomSizes.size()) - 1);
  SetPointSize(kZoomSizes[static_cast<size_t>(index)]);
}

void ViewerZoom::SetPointSize(int points) {
  if (points == points_) return;
  points_ = points;
  QFont font = memo_->font();
  font.setPointSize(points_);
  memo_->setFont(font);
  // The size is a convenience: one that cannot be remembered still applies.
  if (!songbook::RememberZoom(points_)) qWarning("Unable to remember the viewer's text size");
}

bool ViewerZoom::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::Wheel) return QObject::eventFilter(watched, event);
  auto* wheel = static_cast<QWheelEvent*>(event);
  if (!(wheel->modifiers() & Qt::ControlModifier)) return false;
  wheelAngle_ += wheel->angleDelta().y();
  const int steps = wheelAngle_ / 120;
  wheelAngle_ -= steps * 120;
  if (steps != 0) Step(steps);
  return true;
}

// The timer's tick: often enough for the eye to see a glide.
constexpr int kTickMilliseconds = 25;

AutoScroll::AutoScroll(TViewerMemo* memo, std::string archivePath, std::string entryName)
    : QObject(memo), memo_(memo), archivePath_(std::move(archivePath)), entryName_(std::move(entryName)) {
  speed_ = songbook::RememberedScrollSpeed(archivePath_, entryName_, kDefaultSpeed);
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(kTickMilliseconds);
  connect(&timer_, &QTimer::timeout, this, &AutoScroll::Tick);
  memo_->installEventFilter(this);
  memo_->viewport()->installEventFilter(this);
}

void AutoScroll::Toggle() {
  if (Running()) {
    Stop();
    return;
  }
  QScrollBar* bar = memo_->verticalScrollBar();
  if (bar->value() >= bar->maximum()) return;  // nothing below to bring up
  sinceTick_.start();
  timer_.start();
  emit RunningChanged(true);
}

void AutoScroll::Stop() {
  if (!Running()) return;
  timer_.stop();
  emit RunningChanged(false);
}

void AutoScroll::Faster() { SetSpeed(std::max(speed_ + 1, static_cast<int>(std::lround(speed_ * 1.25)))); }

void AutoScroll::Slower() { SetSpeed(std::min(speed_ - 1, static_cast<int>(std::lround(speed_ / 1.25)))); }

void AutoScroll::SetSpeed(int linesPerMinute) {
  linesPerMinute = std::clamp(linesPerMinute, songbook::kSlowestScroll, songbook::kFastestScroll);
  if (linesPerMinute == speed_) return;
  speed_ = linesPerMinute;
  if (!songbook::RememberScrollSpeed(archivePath_, entryName_, speed_)) {
    qWarning("Unable to remember the song's scroll speed");
  }
}

qreal AutoScroll::LineHeight() const {
  // The scroll bar counts the lines the box shows (a wrapped line is
  // several); all are as high as the first.
  const QTextBlock block = memo_->document()->firstBlock();
  const int lines = block.layout() != nullptr ? block.layout()->lineCount() : 0;
  if (lines <= 0) return QFontMetricsF(memo_->font()).lineSpacing();
  return memo_->document()->documentLayout()->blockBoundingRect(block).height() / lines;
}

void AutoScroll::Tick() {
  const qint64 elapsed = sinceTick_.restart();
  Advance(static_cast<qreal>(elapsed) * speed_ * LineHeight() / 60000.0);
}

void AutoScroll::Advance(qreal pixels) {
  QScrollBar* bar = memo_->verticalScrollBar();
  const qreal line = std::max<qreal>(1, LineHeight());
  lift_ += pixels;
  while (lift_ >= line && bar->value() < bar->maximum()) {
    lift_ -= line;
    bar->setValue(bar->value() + 1);
  }
  if (bar->value() >= bar->maximum()) {
    // The last line is in sight: the text stands as the scroll bar puts it
    // (the box, a little lower again, may have a line more to go).
    lift_ = 0;
    memo_->SetLift(0);
    bar->setValue(bar->maximum());
    Stop();
    return;
  }
  memo_->SetLift(static_cast<int>(lift_));
}

bool AutoScroll::eventFilter(QObject* watched, QEvent* event) {
  // The key or click still does what it does; it also pauses.
  if (Running() && (event->type() == QEvent::KeyPress || event->type() == QEvent::MouseButtonPress)) Stop();
  return QObject::eventFilter(watched, event);
}

}  // namespace fretfile
