// fretfile-cli add ARCHIVE FILE... [options]: adds files to an archive
// through the archive-update component and the compression library
// (beside the tool, or where an installed tool finds it), unattended.
// Prints "processed N", and the component's last message on standard
// error. Exit 0 when files were processed, 1 when none were, 2 for bad
// usage. A new ARCHIVE named *.exe becomes a self-extracting archive,
// with the stub SFXSTUB.BIN the stub search finds and the --sfx-*
// settings. With --span the archive is written as a new spanned set (on a
// fixed drive "Set.zip" becomes "Set001.zip", ...; a simulated removable
// drive, set up by the file FRETFILE_SIMULATED_DRIVES names, would need a
// disk prompt, which unattended is refused). An ARCHIVE in a collection
// folder has its lines in kest.idx and its songs in kest.lyrics brought up
// to date afterwards, unless --no-index is given (cli_index_follow.h).

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli_command.h"
#include "cli_index_follow.h"
#include "platform/drives/drives.h"
#include "update/component/zip_updater.h"

namespace {

constexpr const char* kUsage =
    "ARCHIVE FILE... [--level N] [--update] [--freshen] [--move] [--dir-names] [--recurse] [--root DIR] "
    "[--password P] [--temp-dir DIR] [--sfx-caption T] [--sfx-message T] [--sfx-default-dir DIR] "
    "[--sfx-command CMD] [--sfx-ask-files] [--sfx-overwrite confirm|always|never] [--span [--max-volume BYTES]] "
    "[--no-index]";
// The library takes a password of at most this many characters; a longer
// one would be cut without a word, and the archive would not open with it.
constexpr size_t kLongestPassword = 81;

int Usage(const std::string& problem) {
  std::fprintf(stderr, "fretfile-cli add: %s\nusage: fretfile-cli add %s\n", problem.c_str(), kUsage);
  return 2;
}

bool ParseOverwrite(const std::string& text, fretfile::OvrOpts& mode) {
  const char* const names[] = {"confirm", "always", "never"};  // in OvrOpts order
  for (uint8_t value = fretfile::OvrConfirm; value <= fretfile::OvrNever; ++value) {
    if (text != names[value]) continue;
    mode = static_cast<fretfile::OvrOpts>(value);
    return true;
  }
  return false;
}

bool ParseLevel(const std::string& text, int32_t& level) {
  if (text.size() != 1 || text[0] < '0' || text[0] > '9') return false;
  level = text[0] - '0';
  return true;
}

bool ParseVolumeSize(const std::string& text, int32_t& size) {
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const long long value = std::stoll(text);
  if (value < 1 || value > INT32_MAX) return false;
  size = static_cast<int32_t>(value);
  return true;
}

int RunAdd(const std::vector<std::string>& arguments) {
  std::vector<std::string> args = arguments;
  const cli::IndexFollowing following(args);
  if (const std::string problem = platform::LoadSimulatedDrivesFromEnvironment(); !problem.empty()) {
    return Usage(problem);
  }
  fretfile::TZipUpdater updater;
  updater.Unattended = true;
  std::vector<std::string> positional;
  bool options = true;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!options || !arg.starts_with("--")) {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options = false;
      continue;
    }
    const auto flag = [&](fretfile::AddOptsEnum option) { updater.AddOptions.Include(option); };
    if (arg == "--update") {
      flag(fretfile::AddUpdate);
    } else if (arg == "--freshen") {
      flag(fretfile::AddFreshen);
    } else if (arg == "--move") {
      flag(fretfile::AddMove);
    } else if (arg == "--dir-names") {
      flag(fretfile::AddDirNames);
    } else if (arg == "--recurse") {
      flag(fretfile::AddRecurseDirs);
    } else if (arg == "--span") {
      flag(fretfile::AddDiskSpan);
    } else if (arg == "--sfx-ask-files") {
      updater.SFXOptions.Include(fretfile::SFXAskFiles);
    } else if (arg == "--sfx-caption" || arg == "--sfx-message" || arg == "--sfx-default-dir" ||
               arg == "--sfx-command" || arg == "--sfx-overwrite") {
      if (i + 1 >= args.size()) return Usage(arg + " needs a value");
      const std::string& value = args[++i];
      if (arg == "--sfx-caption") {
        updater.SFXCaption = value;
      } else if (arg == "--sfx-message") {
        updater.SFXMessage = value;
      } else if (arg == "--sfx-default-dir") {
        updater.SFXDefaultDir = value;
      } else if (arg == "--sfx-command") {
        // A command given is a command to run once the files are out.
        updater.SFXCommandLine = value;
        updater.SFXOptions.Include(fretfile::SFXAutoRun);
      } else if (!ParseOverwrite(value, updater.SFXOverWriteMode)) {
        return Usage("--sfx-overwrite takes confirm, always or never");
      }
    } else if (arg == "--level" || arg == "--root" || arg == "--password" || arg == "--temp-dir" ||
               arg == "--max-volume") {
      if (i + 1 >= args.size()) return Usage(arg + " needs a value");
      const std::string& value = args[++i];
      if (arg == "--level") {
        if (!ParseLevel(value, updater.AddCompLevel)) return Usage("the level is a number from 0 to 9");
      } else if (arg == "--max-volume") {
        if (!ParseVolumeSize(value, updater.MaxVolumeSize)) return Usage("a volume holds 1 to 2147483647 bytes");
      } else if (arg == "--root") {
        updater.SetRootDir(value);
      } else if (arg == "--password") {
        if (value.empty() || value.size() > kLongestPassword) {
          return Usage("a password has 1 to " + std::to_string(kLongestPassword) + " characters");
        }
        updater.SetPassword(value);
        flag(fretfile::AddEncrypt);
      } else {
        updater.TempDir = value;
      }
    } else {
      return Usage("unknown option " + arg);
    }
  }
  if (positional.size() < 2) return Usage("an archive and at least one file are needed");
  if (updater.MaxVolumeSize > 0 && !updater.AddOptions.Contains(fretfile::AddDiskSpan)) {
    return Usage("--max-volume goes with --span");
  }

  updater.SetZipFileName(positional[0]);
  updater.FSpecArgs.assign(positional.begin() + 1, positional.end());
  updater.Add();
  std::printf("processed %d\n", updater.ProcessedCount());
  // The files are added whatever happens to the indexes.
  if (updater.ProcessedCount() > 0) following.AfterChange("add", positional[0]);
  if (!updater.LastMessage().empty()) std::fprintf(stderr, "%s\n", updater.LastMessage().c_str());
  return updater.ProcessedCount() > 0 ? 0 : 1;
}

const cli::CliCommandRegistration kRegistration({"add", kUsage, RunAdd});

}  // namespace
