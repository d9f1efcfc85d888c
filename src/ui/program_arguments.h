// The program's command line:
//   fretfile [--collection DIR | DIR]   DIR is the collection folder
//   fretfile --version | --help
#pragma once

#include <string>
#include <vector>

namespace fretfile {

struct ProgramArguments {
  enum class Request { Run, Version, Help, Error };
  Request request = Request::Run;
  // The folder named for Run: absolute, ending in the separator; "" for none.
  std::string collection;
  // What is wrong, for Error.
  std::string error;
};

// args: the arguments after the program's name. "--version" or "--help"
// ("-h") anywhere before "--" is answered whatever else is there, so that
// they work before the application object takes out Qt's own options; the
// rest is read once those are out. A named folder must exist.
ProgramArguments ParseProgramArguments(const std::vector<std::string>& args);

// The text of --help.
std::string ProgramUsage();

}  // namespace fretfile
