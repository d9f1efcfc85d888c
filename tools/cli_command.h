// fretfile-cli subcommands. Each lives in its own file and registers itself
// with a static CliCommandRegistration, so adding one touches nothing else.
#pragma once

#include <string>
#include <vector>

namespace cli {

struct CliCommand {
  const char* name;
  const char* usage;  // one line: arguments after the command name
  int (*run)(const std::vector<std::string>& args);
};

struct CliCommandRegistration {
  explicit CliCommandRegistration(CliCommand command);
};

const std::vector<CliCommand>& Commands();

}  // namespace cli
