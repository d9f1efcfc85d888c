#include "cli_edit_common.h"

#include <cstdio>

#include "update/component/zip_updater.h"

namespace cli {

bool ParseEditArguments(const std::vector<std::string>& args, EditArguments& out, std::string& problem) {
  std::vector<std::string> positional;
  bool options = true;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!options || !arg.starts_with("--")) {
      positional.push_back(arg);
    } else if (arg == "--") {
      options = false;
    } else if (arg == "--temp-dir") {
      if (i + 1 >= args.size()) {
        problem = "--temp-dir needs a value";
        return false;
      }
      out.tempDir = args[++i];
    } else {
      problem = "unknown option " + arg;
      return false;
    }
  }
  if (positional.empty()) {
    problem = "an archive is needed";
    return false;
  }
  out.archive = positional.front();
  out.names.assign(positional.begin() + 1, positional.end());
  return true;
}

int RunEdit(const EditArguments& arguments, const std::function<int32_t(fretfile::TZipUpdater&)>& change,
            const std::function<void(const EditArguments&)>& afterChange) {
  fretfile::TZipUpdater updater;
  updater.Unattended = true;
  updater.TempDir = arguments.tempDir;
  // As for add: an archive whose directory cannot be listed leaves no name,
  // and the change is refused with the list's reason.
  updater.SetZipFileName(arguments.archive);
  change(updater);
  std::printf("processed %d\n", updater.ProcessedCount());
  if (updater.ProcessedCount() > 0) afterChange(arguments);
  if (!updater.LastMessage().empty()) std::fprintf(stderr, "%s\n", updater.LastMessage().c_str());
  return updater.ProcessedCount() > 0 ? 0 : 1;
}

}  // namespace cli
