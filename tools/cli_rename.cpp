// fretfile-cli rename ARCHIVE OLD NEW: gives an entry of an archive a new
// name through the archive-update component and the compression library,
// unattended. OLD is the entry's name as the archive stores it, NEW its new
// name, both taken as given ("*", "[" and spaces are characters of the
// name; a name that begins with "--" follows a "--"). Prints "processed N",
// and the component's last message on standard error. Exit 0 when the
// entry was renamed, 1 when it was not, 2 for bad usage.
#include <cstdio>
#include <string>
#include <vector>

#include "cli_command.h"
#include "cli_edit_common.h"
#include "update/component/zip_updater.h"

namespace {

constexpr const char* kUsage = "ARCHIVE OLD NEW [--temp-dir DIR] [--]";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "fretfile-cli rename: %s\nusage: fretfile-cli rename %s\n", problem.c_str(), kUsage);
  return 2;
}

int RunRename(const std::vector<std::string>& args) {
  cli::EditArguments arguments;
  std::string problem;
  if (!cli::ParseEditArguments(args, arguments, problem)) return Usage(problem);
  if (arguments.names.size() != 2) return Usage("an archive, the entry's name and its new name are needed");
  return cli::RunEdit(
      arguments, [&](fretfile::TZipUpdater& updater) { return updater.Rename(arguments.names[0], arguments.names[1]); },
      // Once the entry has its new name, what follows a change of the
      // archive's songs goes here.
      [](const cli::EditArguments&) {});
}

const cli::CliCommandRegistration kRegistration({"rename", kUsage, RunRename});

}  // namespace
