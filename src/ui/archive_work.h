// One archive operation at a time.
//
// An operation on an archive (a save storing a song, an opening extracting
// one) lets the window's events run while it works, so that the window
// stays live; any command can arrive meanwhile. Nothing may start a second
// operation inside the first: a save submitted while one runs waits in line
// and runs when the one before it has ended, and what must wait for all of
// them (disposing of a viewer whose save is on the stack, ending the
// program) is put off until none runs and none waits.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>

namespace fretfile {

class ArchiveWork {
 public:
  ArchiveWork() = default;
  ArchiveWork(const ArchiveWork&) = delete;
  ArchiveWork& operator=(const ArchiveWork&) = delete;

  // True while an operation runs or waits.
  bool Busy() const { return running_ > 0 || !jobs_.empty(); }
  // Operations waiting behind the one that runs.
  size_t Waiting() const { return jobs_.size(); }

  // Marks an operation that runs now, for as long as the mark lives.
  class Running {
   public:
    explicit Running(ArchiveWork& work) : work_(work) { ++work_.running_; }
    ~Running();
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

   private:
    ArchiveWork& work_;
  };

  // Runs the job now when nothing runs, else after the ones before it. An
  // error a job throws is reported by the general error handler; the jobs
  // behind it still run.
  void Submit(std::function<void()> job);
  // Runs the action once no operation runs or waits: now, when none does.
  void WhenIdle(std::function<void()> action);

 private:
  void Drain();

  int running_ = 0;
  bool draining_ = false;
  std::deque<std::function<void()>> jobs_;
  std::deque<std::function<void()>> idle_;
};

}  // namespace fretfile
