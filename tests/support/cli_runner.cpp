#include "support/cli_runner.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

namespace testing_support {

std::string BuiltCliPath() {
  const auto self = std::filesystem::read_symlink("/proc/self/exe");
  return (self.parent_path().parent_path() / "tools" / "fretfile-cli").string();
}

CliOutcome RunCli(const std::string& cli, const std::string& arguments, const TempDir& scratch) {
  const std::string command =
      "'" + cli + "' " + arguments + " >'" + scratch.File("out") + "' 2>'" + scratch.File("err") + "'";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(scratch.File("out")), ReadFile(scratch.File("err"))};
}

}  // namespace testing_support
