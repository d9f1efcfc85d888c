// fretfile-cli rename ARCHIVE OLD NEW: gives an entry of an archive a new
// name through the archive-update component and the compression library,
// unattended. OLD is the entry's name as the archive stores it, NEW its new
// name, both taken as given ("*", "[" and spaces are characters of the
// name; a name that begins with "--" follows a "--"). Prints "processed N",
// and the component's last message on standard error. An archive in a
// collection folder with a kest.idx has its lines there, and its songs in
// kest.lyrics, brought up to date unless --no-index. Exit 0 when the
// entry was renamed, 1 when it was not, 2 for bad usage.
#include <cstdio>
#include <string>
#include <vector>

#include "cli_command.h"
#include "cli_edit_common.h"
#include "cli_index_follow.h"
#include "update/component/zip_updater.h"

namespace {

constexpr const char* kUsage = "ARCHIVE OLD NEW [--temp-dir DIR] [--no-index] [--]";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "fretfile-cli rename: %s\nusage: fretfile-cli rename %s\n", problem.c_str(), kUsage);
  return 2;
}

int RunRename(const std::vector<std::string>& given) {
  // An archive of a collection has its indexes follow the change.
  std::vector<std::string> args = given;
  const cli::IndexFollowing following(args);
  cli::EditArguments arguments;
  std::string problem;
  if (!cli::ParseEditArguments(args, arguments, problem)) return Usage(problem);
  if (arguments.names.size() != 2) return Usage("an archive, the entry's name and its new name are needed");
  return cli::RunEdit(
      arguments, [&](fretfile::TZipUpdater& updater) { return updater.Rename(arguments.names[0], arguments.names[1]); },
      [&](const cli::EditArguments& done) { following.AfterChange("rename", done.archive); });
}

const cli::CliCommandRegistration kRegistration({"rename", kUsage, RunRename});

}  // namespace
