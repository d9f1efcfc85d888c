// fretfile-cli: the command-line companion of Fretfile. It runs the same
// core code as the program on a collection folder or an archive.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli_command.h"
#include "platform/program_version.h"

namespace cli {

static std::vector<CliCommand>& MutableCommands() {
  static std::vector<CliCommand> commands;
  return commands;
}

CliCommandRegistration::CliCommandRegistration(CliCommand command) { MutableCommands().push_back(command); }

const std::vector<CliCommand>& Commands() { return MutableCommands(); }

}  // namespace cli

static void PrintUsage(FILE* out) {
  std::fprintf(out, "usage: fretfile-cli COMMAND [ARGS]\n       fretfile-cli --version | --help\n\ncommands:\n");
  for (const auto& command : cli::Commands()) std::fprintf(out, "  %s %s\n", command.name, command.usage);
}

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintUsage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("fretfile-cli (Fretfile) %s\n", platform::kProgramVersion);
    return 0;
  }
  const std::vector<std::string> args(argv + 2, argv + argc);
  for (const auto& command : cli::Commands()) {
    if (command.name != std::string(argv[1])) continue;
    // --help (or -h) among the options, before any "--", asks for the usage.
    for (const std::string& arg : args) {
      if (arg == "--") break;
      if (arg == "--help" || arg == "-h") {
        std::printf("usage: fretfile-cli %s %s\n", command.name, command.usage);
        return std::fflush(stdout) == 0 ? 0 : 1;
      }
    }
    return command.run(args);
  }
  std::fprintf(stderr, "fretfile-cli: unknown command '%s'\n", argv[1]);
  PrintUsage(stderr);
  return 2;
}
