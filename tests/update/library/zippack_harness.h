// Drives libzippack.so the way the archive-update component does: one
// filled parameter block per call, a call-back that records every action and
// answers through a test's function; and reads every archive it writes with
// libzip (an independent reader) and with the program's own reader.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/libzip_reader.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "update/zippack_abi.h"

namespace zippack_test {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;
using testing_support::ZipBuilder;
using testing_support::ZipEntrySpec;

struct Event {
  int32_t action = 0;
  int32_t errorCode = 0;
  int32_t size = 0;
  std::string text;
  std::string initialComment;  // action 12
};

struct SpecLine {
  SpecLine(std::string spec, std::string rootDir = {}, uint16_t recurse = 0, uint32_t encrypt = 0,
           std::optional<std::string> password = {})
      : spec(std::move(spec)), rootDir(std::move(rootDir)), recurse(recurse), encrypt(encrypt),
        password(std::move(password)) {}
  std::string spec;
  std::string rootDir;
  uint16_t recurse;
  uint32_t encrypt;
  std::optional<std::string> password;
};

class Exec {
 public:
  explicit Exec(std::string archive) : archive_(std::move(archive)) {}
  Exec& Add(SpecLine line) {
    specs_.push_back(std::move(line));
    return *this;
  }
  Exec& Add(const std::string& spec) { return Add(SpecLine(spec)); }

  // The block's settings, as the component's stored settings give them.
  int level = 9;
  bool update = false, freshen = false, move = false, hidden = false, dirEntries = false, dirNames = false,
       latestTime = false, forceDos = false, encrypt = false;
  std::optional<std::string> password, comment, tempDir;
  std::string storeSuffixes = ".gif:.png:.z:.zip:.zoo:.arc:.lzh:.arj:.taz:.tgz:.lha";
  std::vector<std::string> excludes;
  // Answers a call-back (fills the record) and returns what the call-back
  // returns: nonzero stops the library.
  std::function<int32_t(zippack::ZipCallbackRec&)> answer;

  int32_t Run();
  // A delete (newNames empty) or a rename of the archive's entries through
  // ZipPackEdit, with the same call-back, answer and tempDir.
  int32_t RunEdit(int32_t operation, const std::vector<std::string>& names,
                  const std::vector<std::string>& newNames = {});
  std::vector<Event> events;
  // The texts of action 4 with a nonzero code, and the codes.
  std::vector<std::string> Errors() const;
  std::vector<int32_t> ErrorCodes() const;
  std::vector<Event> Of(int32_t action) const;

 private:
  static int32_t Callback(zippack::ZipCallbackRec* record);
  std::string archive_;
  std::vector<SpecLine> specs_;
};

// A call-back answer giving these texts to these actions (7 names, 8
// passwords, 12 comments) and going on.
std::function<int32_t(zippack::ZipCallbackRec&)> Answering(std::map<int32_t, std::string> texts);

int32_t LibraryVersion();
// Calls ZipPackExec with any block (for blocks the library must refuse).
int32_t CallWithBlock(void* block);
// Calls ZipPackEdit with any block.
int32_t CallEditWithBlock(void* block);

using testing_support::Find;
using testing_support::NamesOf;
using testing_support::ReadWithLibzip;
using testing_support::ZipContent;

// Each entry's bytes in the file (local header, name, extra field, data and
// descriptor) by entry name, as the program's own reader finds the entries;
// and the bytes in front of the first entry.
std::map<std::string, std::string> EntryBytes(const std::string& path, std::string* stub = nullptr);

// Temporary files of the library left in a folder.
std::vector<std::string> StrayTemps(const std::string& folder);
void SetModified(const std::string& path, std::time_t when);

}  // namespace zippack_test
