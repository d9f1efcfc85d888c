// fretfile-cli transpose FILE SEMITONES: writes the chord sheet FILE with
// every chord moved by SEMITONES (negative: down) to standard output; every
// byte that is not part of a chord comes out as it went in. Exit 0 when it
// is written, 1 when FILE cannot be read or the output not written, 2 for
// bad usage.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli_command.h"
#include "songbook/chords.h"

namespace {

// A whole number, with an optional sign.
bool ParseSemitones(const std::string& text, int& semitones) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  const auto [end, error] = std::from_chars(first, last, semitones);
  return error == std::errc() && end == last && first != last;
}

int RunTranspose(const std::vector<std::string>& args) {
  int semitones = 0;
  if (args.size() != 2 || !ParseSemitones(args[1], semitones)) {
    std::fprintf(stderr, "usage: fretfile-cli transpose FILE SEMITONES\n");
    return 2;
  }
  std::ifstream in(args[0], std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.is_open() || in.bad()) {
    std::fprintf(stderr, "fretfile-cli: cannot read %s: %s\n", args[0].c_str(), std::strerror(errno));
    return 1;
  }
  const std::string out = songbook::TransposeBytes(bytes, semitones);
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "fretfile-cli: cannot write the output: %s\n", std::strerror(errno));
    return 1;
  }
  return 0;
}

const cli::CliCommandRegistration kRegistration({"transpose", "FILE SEMITONES", RunTranspose});

}  // namespace
