#include "support/cli_runner.h"

#include <sys/wait.h>
#include <unistd.h>

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

pid_t StartCliWithErrorPipe(const std::string& cli, const std::vector<std::string>& arguments, int& errors) {
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) return -1;
  std::vector<char*> argv{const_cast<char*>(cli.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(pipeEnds[1], 2);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    ::execv(cli.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(pipeEnds[1]);
  if (child < 0) {
    ::close(pipeEnds[0]);
    return -1;
  }
  errors = pipeEnds[0];
  return child;
}

}  // namespace testing_support
