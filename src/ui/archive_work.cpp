#include "ui/archive_work.h"

#include "platform/gui/error_handler.h"

namespace fretfile {

ArchiveWork::Running::~Running() {
  --work_.running_;
  work_.Drain();
}

void ArchiveWork::Submit(std::function<void()> job) {
  jobs_.push_back(std::move(job));
  Drain();
}

void ArchiveWork::WhenIdle(std::function<void()> action) {
  idle_.push_back(std::move(action));
  Drain();
}

void ArchiveWork::Drain() {
  // Only the outermost caller drains: a job's own events may submit more,
  // which then wait for it.
  if (draining_ || running_ > 0) return;
  draining_ = true;
  struct Done {
    bool& draining;
    ~Done() { draining = false; }
  } done{draining_};
  while (!jobs_.empty() || !idle_.empty()) {
    if (!jobs_.empty()) {
      const std::function<void()> job = std::move(jobs_.front());
      jobs_.pop_front();
      const Running running(*this);
      platform::RunReportingErrors(job);
    } else {
      const std::function<void()> action = std::move(idle_.front());
      idle_.pop_front();
      platform::RunReportingErrors(action);
    }
  }
}

}  // namespace fretfile
