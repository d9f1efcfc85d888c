// Helpers shared by the benchmark programs (each bench/*.cpp is its own
// program, so they live in this header).
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern char** environ;

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

struct ProcessTimes {
  double wall = 0;  // seconds
  double cpu = 0;   // user + system seconds of the program
  bool ok = false;  // ran and exited with 0
};

// Runs a program (a path, or a name looked up on PATH) to its end, its
// standard output going to `stdoutPath` and its errors to /dev/null; with
// `cLocale`, under LC_ALL=C. It is spawned without a copy of this process's
// memory, so its figures are its own.
inline ProcessTimes RunProgram(const std::vector<std::string>& argv, const std::string& stdoutPath,
                               bool cLocale = false) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> envText;
  for (char** e = environ; *e != nullptr; ++e) envText.emplace_back(*e);
  if (cLocale) envText.emplace_back("LC_ALL=C");
  std::vector<char*> env;
  for (auto& e : envText) env.push_back(e.data());
  env.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  ProcessTimes times;
  const double start = Now();
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, args[0], &actions, nullptr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return times;
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  times.wall = Now() - start;
  times.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
              static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
  times.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return times;
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
