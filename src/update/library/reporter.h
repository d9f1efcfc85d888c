// Everything the library tells or asks its caller goes through the caller's
// call-back: progress, messages, and the questions for entry names,
// passwords and comments. A nonzero return from the call-back asks the
// library to stop; from then on every call here returns false (or no
// answer) without calling back again, and the run unwinds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "update/library/messages.h"
#include "update/zippack_abi.h"

namespace zippack {

class Reporter {
 public:
  // callback may be null (nobody listens; nothing is ever cancelled).
  Reporter(ZipCallback callback, void* ownerWindow, void* caller, bool verbose);

  bool Cancelled() const { return cancelled_; }
  // Whether an error (a message with a nonzero code) has been reported.
  bool ErrorReported() const { return errorReported_; }

  // An error or a notice for the user; code 0 is information.
  bool Message(MessageCode code, const std::string& subject, const std::string& detail = {});
  // Information shown only when the caller asked for a verbose run.
  bool Verbose(const std::string& text);

  bool TotalFiles(uint64_t count);
  bool TotalSize(uint64_t bytes);
  bool NewFile(const std::string& name, uint64_t size);
  bool BytesDone(uint64_t bytes);
  bool EndOfBatch();
  // Lets the caller's user interface breathe during long work that has no
  // progress of its own (copying kept entries); false when it asks to stop.
  bool KeepAlive();

  // The entry name the caller wants instead of `name`, or nothing to keep it.
  std::optional<std::string> AskEntryName(const std::string& name);
  // A password for the file, asked twice for confirmation; empty when none
  // was given.
  std::string AskPassword(const std::string& forFile);
  // The comment for the file's entry; nothing keeps `initial`.
  std::optional<std::string> AskComment(const std::string& name, const std::string& initial);

 private:
  // Calls back with the record filled for `action`; false when the caller
  // asked to stop (or had already).
  bool Call(ZipCallbackRec& record, int32_t action);
  // Calls back with a size (and a text) that needs no answer.
  bool Tell(int32_t action, uint64_t size, const std::string& text = {});
  ZipCallbackRec Record(const std::string& text) const;

  ZipCallback callback_;
  void* ownerWindow_;
  void* caller_;
  bool verbose_;
  bool cancelled_ = false;
  bool errorReported_ = false;
};

}  // namespace zippack
