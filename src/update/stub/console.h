// The stub's conversation: lines to standard output, answers from standard
// input, complaints to standard error.
#pragma once

#include <optional>
#include <string>

namespace sfxstub {

void Say(const std::string& line);
void Complain(const std::string& line);

// Shows the question (no line end) and reads one line of answer, without its
// line end and surrounding blanks; nothing once the input has ended.
std::optional<std::string> Ask(const std::string& question);

}  // namespace sfxstub
