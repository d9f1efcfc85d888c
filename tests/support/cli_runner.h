// Runs fretfile-cli (or a copy of it) as the child process a user would
// start, with its standard output and error caught in files.
#pragma once

#include <string>

#include "support/temp_dir.h"

namespace testing_support {

struct CliOutcome {
  int exitCode;  // -1 when it did not exit normally
  std::string out;
  std::string err;
};

// The tool of this build: tests live in <build>/tests, the tool in <build>/tools.
std::string BuiltCliPath();

// Runs cli with the arguments as a shell would take them (quote paths).
CliOutcome RunCli(const std::string& cli, const std::string& arguments, const TempDir& scratch);

}  // namespace testing_support
