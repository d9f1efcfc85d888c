// fretfile-cli delete ARCHIVE ENTRY...: deletes entries of an archive
// through the archive-update component and the compression library,
// unattended. Each ENTRY is an entry's name as the archive stores it, taken
// as given ("*", "[" and spaces are characters of the name; a name that
// begins with "--" follows a "--"). Prints "processed N", and the
// component's last message on standard error. Exit 0 when entries were
// deleted, 1 when none were, 2 for bad usage.
#include <cstdio>
#include <string>
#include <vector>

#include "cli_command.h"
#include "cli_edit_common.h"
#include "cli_index_follow.h"
#include "update/component/zip_updater.h"

namespace {

constexpr const char* kUsage = "ARCHIVE ENTRY... [--temp-dir DIR] [--no-index] [--]";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "fretfile-cli delete: %s\nusage: fretfile-cli delete %s\n", problem.c_str(), kUsage);
  return 2;
}

int RunDelete(const std::vector<std::string>& given) {
  // An archive of a collection has its indexes follow the change.
  std::vector<std::string> args = given;
  const cli::IndexFollowing following(args);
  cli::EditArguments arguments;
  std::string problem;
  if (!cli::ParseEditArguments(args, arguments, problem)) return Usage(problem);
  if (arguments.names.empty()) return Usage("an archive and at least one entry are needed");
  return cli::RunEdit(
      arguments, [&](fretfile::TZipUpdater& updater) { return updater.Delete(arguments.names); },
      [&](const cli::EditArguments& done) { following.AfterChange("delete", done.archive); });
}

const cli::CliCommandRegistration kRegistration({"delete", kUsage, RunDelete});

}  // namespace
