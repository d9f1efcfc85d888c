#include "update/stub/console.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace sfxstub {
namespace {

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

void Say(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void Complain(const std::string& line) {
  std::fflush(stdout);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
}

std::optional<std::string> Ask(const std::string& question) {
  std::fwrite(question.data(), 1, question.size(), stdout);
  std::fflush(stdout);
  char* buffer = nullptr;
  size_t capacity = 0;
  const ssize_t length = ::getline(&buffer, &capacity, stdin);
  std::string line = length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
  std::free(buffer);
  if (length < 0) {
    // The question's line ends here, as an answer would have ended it.
    std::fputc('\n', stdout);
    std::fflush(stdout);
    return std::nullopt;
  }
  // An answer that came from a file or a pipe shows in the transcript, as
  // a typed one would on a terminal.
  if (::isatty(STDIN_FILENO) == 0) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    if (line.back() != '\n') std::fputc('\n', stdout);
  }
  return Trimmed(line);
}

}  // namespace sfxstub
