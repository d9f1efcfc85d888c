// The session with the compression library libzippack.so: loading it
// (process-wide, shared by every component), handing it the parameter block
// of one Add or of one delete or rename of entries, and answering its
// call-backs. The only part of the component
// that knows the library's interface (update/zippack_abi.h).
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "update/component/updater_types.h"

namespace zippack {
template <bool kAddress32>
struct BasicZipCallbackRec;
using ZipCallbackRec = BasicZipCallbackRec<false>;
}  // namespace zippack

namespace fretfile {

class TZipUpdater;
struct UpdaterStatus;

class ZipPackSession {
 public:
  // The library. Load reports why it failed; a library lacking either entry
  // point is released again at once, so nothing ever calls through a
  // missing one.
  static void Load(TZipUpdater& component);
  static void Unload();
  static bool Loaded();
  // The library's version; the library is loaded for the call when it is
  // not loaded; 0 when it cannot be.
  static int32_t Version(TZipUpdater& component);
  // Whether the loaded library deletes and renames entries (it has
  // ZipPackEdit, which libraries before 170 lack).
  static bool CanEdit();

  // One call of the loaded library. status takes what the library reports
  // (its messages, its total) and gives CancelRequested.
  ZipPackSession(TZipUpdater& component, UpdaterStatus& status) : component_(component), status_(status) {}
  ZipPackSession(const ZipPackSession&) = delete;
  ZipPackSession& operator=(const ZipPackSession&) = delete;

  // Hands the library the block for target; what ZipPackExec returns (the
  // files processed, -1 for a block it refused) goes to ProcessedCount. An
  // exception an event handler threw inside a call-back is thrown again
  // here, once the library has returned.
  void Run(const std::string& target, int32_t version);
  // Hands the library a delete (newNames empty) or a rename of the entries
  // of ZipFileName; what ZipPackEdit returns goes to ProcessedCount. Only
  // with a library that CanEdit.
  void RunEdit(int32_t operation, const std::vector<std::string>& names, const std::vector<std::string>& newNames);

  // The answer to one call-back record; nonzero asks the library to stop.
  int32_t Answer(zippack::ZipCallbackRec& record);

 private:
  // Calls an entry point with the block, with this session answering its
  // call-backs.
  void Call(int32_t (*entryPoint)(void*), void* block);
  void Act(zippack::ZipCallbackRec& record, const std::string& name);
  void Progress(ProgressType type, const std::string& name, int32_t size);
  void AnswerMessage(const zippack::ZipCallbackRec& record, const std::string& name);
  void AnswerNewName(zippack::ZipCallbackRec& record, const std::string& name);
  void AnswerPassword(zippack::ZipCallbackRec& record, const std::string& name);
  void AnswerCrcError(zippack::ZipCallbackRec& record, const std::string& name);
  void AnswerOverwrite(zippack::ZipCallbackRec& record, const std::string& name);
  void AnswerSkipped(const zippack::ZipCallbackRec& record, const std::string& name);
  void AnswerFileComment(zippack::ZipCallbackRec& record, const std::string& name);
  void NoteLibraryCode(int32_t code);
  // Keeps the first error of a call-back and asks the library to stop: it
  // must not unwind through the library.
  void Fail();

  TZipUpdater& component_;
  UpdaterStatus& status_;
  std::exception_ptr CallbackError_;
};

}  // namespace fretfile
