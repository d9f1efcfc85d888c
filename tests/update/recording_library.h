// The stand-in compression library (update/recording) in a folder of its
// own as libzippack.so, to be named by DLLDirectory, with what it recorded
// read back. Tests run one at a time in a test program, so the library's
// settings are environment variables of the process.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace testing_support {

class RecordingLibrary {
 public:
  using Call = std::map<std::string, std::string>;

  // variant: "" (whole), "_noexec" or "_noversion".
  explicit RecordingLibrary(const std::string& variant = "") {
    std::filesystem::copy_file(std::string(RECORDING_ZIPPACK_DIR) + "/librecordingzippack" + variant + ".so",
                               folder_.File("libzippack.so"));
    ::setenv("RECORDING_ZIPPACK_LOG", folder_.File("log").c_str(), 1);
  }
  ~RecordingLibrary() {
    for (const char* name : {"RECORDING_ZIPPACK_LOG", "RECORDING_ZIPPACK_VERSION", "RECORDING_ZIPPACK_RESULT",
                             "RECORDING_ZIPPACK_CALLBACKS"}) {
      ::unsetenv(name);
    }
  }
  RecordingLibrary(const RecordingLibrary&) = delete;
  RecordingLibrary& operator=(const RecordingLibrary&) = delete;

  // The folder for DLLDirectory (without a trailing separator).
  std::string Folder() const { return folder_.path().substr(0, folder_.path().size() - 1); }
  std::string LibraryPath() const { return folder_.File("libzippack.so"); }

  void SetVersion(int version) { ::setenv("RECORDING_ZIPPACK_VERSION", std::to_string(version).c_str(), 1); }
  void SetResult(int result) { ::setenv("RECORDING_ZIPPACK_RESULT", std::to_string(result).c_str(), 1); }
  void SetCallbacks(const std::string& actions) { ::setenv("RECORDING_ZIPPACK_CALLBACKS", actions.c_str(), 1); }

  // One record per ZipPackExec call, in order: each line "key value".
  std::vector<Call> Calls() const {
    std::vector<Call> calls;
    std::istringstream lines(FileExists(folder_.File("log")) ? ReadFile(folder_.File("log")) : "");
    for (std::string line; std::getline(lines, line);) {
      const size_t space = line.find(' ');
      const std::string key = line.substr(0, space);
      if (key == "exec") calls.emplace_back();
      if (!calls.empty()) calls.back()[key] = space == std::string::npos ? "" : line.substr(space + 1);
    }
    return calls;
  }

 private:
  TempDir folder_;
};

}  // namespace testing_support
