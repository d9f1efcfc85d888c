// Helpers shared by the benchmark programs (each bench/*.cpp is its own
// program, so they live in this header).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>

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

// Song-like text: lines of three to ten chords and words, CR LF after each.
inline std::string SongText(size_t bytes, uint32_t seed) {
  static const char* const words[] = {"love", "river", "night", "road", "home", "heart", "rain", "light", "C",
                                      "G",    "Am",    "F",     "Dm",   "E7",   "walk",  "sing", "slow",  "down"};
  std::mt19937 random(seed);
  std::string text;
  text.reserve(bytes + 64);
  while (text.size() < bytes) {
    const int count = 3 + static_cast<int>(random() % 8);
    for (int i = 0; i < count; ++i) {
      if (i > 0) text += ' ';
      text += words[random() % std::size(words)];
    }
    text += "\r\n";
  }
  text.resize(bytes);
  return text;
}

}  // namespace bench
