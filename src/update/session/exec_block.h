// The parameter block of one ZipPackExec call, built from the component's
// settings: every text the block points at is a copy owned by the block,
// released with it after the call.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "update/zippack_abi.h"

namespace fretfile {

class TZipUpdater;

// One line of FSpecArgs as a source line record of the newer block:
//   ">name"  recurse into folders whatever the block says;
//   "|name"  never recurse;
//   "name<password"  encrypt this one with its own password;
//   "name<"  do not encrypt this one.
struct FileSpecLine {
  std::string pattern;
  std::optional<std::string> password;
  uint32_t encrypt = 0;
  uint16_t recurse = 0;
  uint16_t literal = 0;
};
// One line of FSpecArgs as a source line. A line that names an
// existing file (literal) is that file, whatever characters its name holds:
// "*", "?", "[", "<", "|" and a leading ">" are then no markers and no
// pattern, and the block's recursion, encryption and password apply.
// Any other line is read with its markers: a leading ">" or "|" sets the
// recursion, a "<" the encryption and the password after it.
FileSpecLine ParseFileSpecLine(const std::string& line, uint32_t blockEncrypt, uint16_t blockRecurse,
                               const std::string& blockPassword, bool literal = false);
// Whether the line names an existing regular file, taken as the library
// takes it: relative to rootDir when it is relative and rootDir is set.
bool LineNamesFile(const std::string& line, const std::string& rootDir);

class ExecBlock {
 public:
  // The newer block for a library of version 151 or later, else the older;
  // caller is what the library hands back to callback in every record.
  // Throws std::length_error when the older block cannot name every line.
  ExecBlock(const TZipUpdater& updater, const std::string& target, int32_t version, void* caller,
            zippack::ZipCallback callback);
  ExecBlock(const ExecBlock&) = delete;
  ExecBlock& operator=(const ExecBlock&) = delete;

  void* Address();

 private:
  // A NUL-terminated copy that lives as long as the block.
  char* Text(const std::string& text);
  char* TextOrNone(const std::string& text) { return text.empty() ? nullptr : Text(text); }
  template <typename Block>
  void FillHead(Block& block, const TZipUpdater& updater, const std::string& target, void* caller,
                zippack::ZipCallback callback);
  void FillNewer(const TZipUpdater& updater, int32_t version);
  void FillOlder(const TZipUpdater& updater);

  std::vector<std::unique_ptr<char[]>> texts_;
  std::unique_ptr<zippack::ZipExecParams> newer_;
  std::unique_ptr<zippack::ZipExecParamsOlder> older_;
  std::vector<zippack::ZipFileSpec> specs_;
  std::vector<char*> excludes_;
};

}  // namespace fretfile
