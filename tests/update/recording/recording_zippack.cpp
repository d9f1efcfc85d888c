// A stand-in for the compression library, built by the tests: it records
// the parameter block as it receives it, drives call-backs at the
// component and records the answers, and returns a chosen count. It adds
// nothing to any archive. Like a library before 170 it has no ZipPackEdit,
// whatever version it reports.
//
// Set by environment variables, read at every call:
//   RECORDING_ZIPPACK_LOG        file the records are appended to
//   RECORDING_ZIPPACK_VERSION    the version it reports (default 170; 150
//                                or less makes it read the older block)
//   RECORDING_ZIPPACK_RESULT     what ZipPackExec returns (default: the
//                                number of file specifications)
//   RECORDING_ZIPPACK_CALLBACKS  action codes to call back with, in order,
//                                separated by commas (default none)
// Built three times: whole, without ZipPackExec and without
// GetZipPackVersion.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "update/zippack_abi.h"

namespace {

int EnvNumber(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? static_cast<int>(std::strtol(value, nullptr, 0)) : fallback;
}

}  // namespace

#ifndef RECORDING_WITHOUT_EXEC
namespace {

std::string TextOrNull(const char* text) { return text != nullptr ? std::string(text) : "(null)"; }

class Log {
 public:
  Log() {
    const char* path = std::getenv("RECORDING_ZIPPACK_LOG");
    file_ = path != nullptr ? std::fopen(path, "a") : nullptr;
  }
  ~Log() {
    if (file_ != nullptr) std::fclose(file_);
  }
  void operator()(const std::string& key, const std::string& value) {
    if (file_ != nullptr) std::fprintf(file_, "%s %s\n", key.c_str(), value.c_str());
  }
  void operator()(const std::string& key, long long value) { (*this)(key, std::to_string(value)); }

 private:
  FILE* file_;
};

// What each action code is called with: error code, size, text; action 12
// also carries an initial comment character behind the name.
struct CallbackInput {
  int32_t errorCode;
  int32_t size;
  const char* text;
};
const CallbackInput kInputs[] = {
    {0, 0, ""},                                // 0 nothing
    {0, 1234, "songs/a.txt  \x01"},            // 1 a new file (trailing blanks and controls)
    {0, 100, ""},                              // 2 progress
    {0, 0, ""},                                // 3 end of batch
    {0x1234, 0, "library message"},            // 4 a message with its code
    {0, 3, ""},                                // 5 total files
    {0, 999, ""},                              // 6 total size
    {0, 0, "old.txt"},                         // 7 new name
    {1, 20, "secret.txt"},                     // 8 password, asked twice, repeat count 20
    {0xAAAA, 0xBBBB, "crc.txt"},               // 9 CRC error: found, expected
    {1, 1, "over.txt"},                        // 10 overwrite: older, default yes
    {0x205, 3, "skipped.txt"},                 // 11 skipped: error, skip type
    {0, 0, "c.txt"},                           // 12 file comment, initial 'X'
};

std::string AnswerText(const zippack::ZipCallbackRec& record) {
  const void* end = std::memchr(record.Text, 0, sizeof record.Text);
  if (end == nullptr) return "(unterminated)";
  return std::string(record.Text, static_cast<const char*>(end) - record.Text);
}

// Calls back with every listed action; false once the component asked to stop.
template <typename Block>
bool DriveCallbacks(const Block& block, Log& log) {
  const char* list = std::getenv("RECORDING_ZIPPACK_CALLBACKS");
  if (list == nullptr) return true;
  for (const char* at = list; *at != '\0';) {
    char* next = nullptr;
    const long action = std::strtol(at, &next, 10);
    if (next == at) break;
    at = *next == ',' ? next + 1 : next;
    zippack::ZipCallbackRec record{};
    record.OwnerWindow = block.OwnerWindow;
    record.Caller = block.Caller;
    record.Version = zippack::kComponentVersion;
    record.ActionCode = static_cast<int32_t>(action);
    if (action >= 0 && action <= 12) {
      const CallbackInput& input = kInputs[action];
      record.ErrorCode = input.errorCode;
      record.Size = input.size;
      std::strncpy(record.Text, input.text, sizeof record.Text - 1);
      if (action == 12) record.Text[zippack::kInitialCommentInText] = 'X';
    }
    const int32_t stop = block.Callback(&record);
    log("answer" + std::to_string(action),
        std::to_string(record.ErrorCode) + "\t" + std::to_string(record.Size) + "\t" + AnswerText(record));
    if (stop != 0) {
      log("stopped", action);
      return false;
    }
  }
  return true;
}

template <typename Block>
void RecordHead(const Block& b, Log& log) {
  log("owner", b.OwnerWindow != nullptr ? 1 : 0);
  log("caller", b.Caller != nullptr ? 1 : 0);
  log("version", b.Version);
  log("callback", b.Callback != nullptr ? 1 : 0);
  log("trace", b.Trace);
  log("password", TextOrNull(b.Password));
  log("suffixes", TextOrNull(b.StoreSuffixes));
  log("encrypt", b.Encrypt);
  log("hidden", b.HiddenFiles);
  log("volume", b.Volume);
  log("nodirentries", b.NoDirEntries);
  log("verbose", b.Verbose);
  log("quiet", b.Quiet);
  log("level", b.Level);
  log("junkdirnames", b.JunkDirNames);
  log("recurse", b.Recurse);
  log("grow", b.Grow);
  log("forcedos", b.ForceDos);
  log("move", b.Move);
  log("update", b.Update);
  log("freshen", b.Freshen);
  log("latesttime", b.LatestTime);
  log("count", b.SpecCount);
  log("archive", TextOrNull(b.ArchiveName));
  log("end", b.EndMarker);
}

}  // namespace

extern "C" int32_t ZipPackExec(void* params);

int32_t ZipPackExec(void* params) {
  Log log;
  log("exec", "");
  const int version = EnvNumber("RECORDING_ZIPPACK_VERSION", zippack::kComponentVersion);
  bool goOn = true;
  int32_t count = 0;
  if (version >= zippack::kNewerLayoutVersion) {
    const auto& b = *static_cast<const zippack::ZipExecParams*>(params);
    log("layout", "newer");
    RecordHead(b, log);
    log("tempdir", TextOrNull(b.TempDir));
    log("comment", TextOrNull(b.ArchiveComment));
    log("archiveonly", b.ArchiveFilesOnly);
    log("resetarchive", b.ResetArchiveBit);
    for (int32_t i = 0; i < b.SpecCount; ++i) {
      const zippack::ZipFileSpec& s = b.Specs[i];
      log("spec" + std::to_string(i), TextOrNull(s.Source) + "\t" + TextOrNull(s.Password) + "\t" +
                                          std::to_string(s.Encrypt) + "\t" + std::to_string(s.Recurse) + "\t" +
                                          TextOrNull(s.RootDir));
      if (s.Literal != 0) log("literal" + std::to_string(i), s.Literal);
    }
    log("excludes", b.ExcludeCount);
    for (int32_t i = 0; i < b.ExcludeCount; ++i) log("exclude" + std::to_string(i), TextOrNull(b.Excludes[i]));
    count = b.SpecCount;
    goOn = DriveCallbacks(b, log);
  } else {
    const auto& b = *static_cast<const zippack::ZipExecParamsOlder*>(params);
    log("layout", "older");
    RecordHead(b, log);
    for (int32_t i = 0; i < b.SpecCount; ++i) log("name" + std::to_string(i), TextOrNull(b.Names[i]));
    count = b.SpecCount;
    goOn = DriveCallbacks(b, log);
  }
  const int32_t result = goOn ? EnvNumber("RECORDING_ZIPPACK_RESULT", count) : 0;
  log("result", result);
  return result;
}
#endif

#ifndef RECORDING_WITHOUT_VERSION
extern "C" int32_t GetZipPackVersion() {
  return EnvNumber("RECORDING_ZIPPACK_VERSION", zippack::kComponentVersion);
}
#endif
