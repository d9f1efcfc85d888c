// Runs fretfile-cli (or a copy of it) as the child process a user would
// start, with its standard output and error caught in files.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

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

// Starts cli with the arguments, without a shell, its standard error going
// into a pipe: its reading end is put in errors (the caller closes it), so
// a test can read the progress, or leave the pipe full to hold the child
// still. The child's process id; the test waits for it.
pid_t StartCliWithErrorPipe(const std::string& cli, const std::vector<std::string>& arguments, int& errors);

}  // namespace testing_support
