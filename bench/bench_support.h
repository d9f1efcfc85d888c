// Helpers shared by the benchmark programs (each bench/*.cpp is its own
// program, so they live in this header).
#pragma once

#include <chrono>

namespace bench {

// Wall-clock seconds on the steady clock.
inline double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Runs `once` (returns false on failure) until at least `minimum` seconds of
// `clock` have passed; returns the runs per second, or -1 as soon as a run
// fails.
template <typename Clock, typename Once>
double RunsPerSecond(double minimum, Clock clock, Once once) {
  int runs = 0;
  const double start = clock();
  double elapsed = 0;
  do {
    if (!once()) return -1;
    ++runs;
    elapsed = clock() - start;
  } while (elapsed < minimum);
  return runs / elapsed;
}

}  // namespace bench
