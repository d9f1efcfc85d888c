#include "ui/program_arguments.h"

#include <filesystem>
#include <system_error>

#include "platform/posix/paths.h"

namespace fretfile {
namespace {

constexpr const char* kCollectionOption = "--collection";

ProgramArguments Failed(std::string error) {
  ProgramArguments result;
  result.request = ProgramArguments::Request::Error;
  result.error = std::move(error);
  return result;
}

// The named folder made absolute, or the reason it cannot serve.
ProgramArguments NamedFolder(const std::string& named) {
  if (named.empty()) return Failed("the collection folder's name is empty");
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(named, error);
  if (error || !std::filesystem::exists(absolute, error)) return Failed("no such folder: " + named);
  if (!std::filesystem::is_directory(absolute, error)) return Failed("not a folder: " + named);
  ProgramArguments result;
  result.collection = platform::WithTrailingSeparator(absolute.lexically_normal().string());
  return result;
}

}  // namespace

ProgramArguments ParseProgramArguments(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "--version") return {ProgramArguments::Request::Version, {}, {}};
    if (arg == "--help" || arg == "-h") return {ProgramArguments::Request::Help, {}, {}};
  }

  std::string named;
  bool haveFolder = false;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string folder;
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
      continue;
    } else if (!optionsEnded && arg == kCollectionOption) {
      if (i + 1 >= args.size()) return Failed("--collection needs a folder");
      folder = args[++i];
    } else if (!optionsEnded && arg.starts_with(std::string(kCollectionOption) + "=")) {
      folder = arg.substr(std::string(kCollectionOption).size() + 1);
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      return Failed("unknown option: " + arg);
    } else {
      folder = arg;
    }
    if (haveFolder) return Failed("only one collection folder can be named");
    haveFolder = true;
    named = folder;
  }
  if (!haveFolder) return {};
  return NamedFolder(named);
}

std::string ProgramUsage() {
  return "usage: fretfile [--collection DIR | DIR]\n"
         "       fretfile --version | --help\n"
         "\n"
         "Browse the songs kept in the zip archives of a collection folder.\n"
         "\n"
         "  --collection DIR, DIR  use DIR as the collection folder: its archives,\n"
         "                         and the program's kest.idx, kest.ini and temp/\n"
         "  --version              print the program's name and version\n"
         "  --help                 print this help\n"
         "\n"
         "Without DIR, a program whose own folder holds archives or kest.idx uses\n"
         "that folder. Any other uses the folder chosen before with\n"
         "File > Choose Collection Folder..., or asks for one; the choice is\n"
         "remembered in $XDG_CONFIG_HOME/fretfile/fretfile.conf\n"
         "(~/.config/fretfile/fretfile.conf by default).\n";
}

}  // namespace fretfile
