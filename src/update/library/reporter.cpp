#include "update/library/reporter.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace zippack {
namespace {

// Copies text into a field of `room` bytes, cut to leave room for the NUL.
void PutText(char* field, size_t room, const std::string& text) {
  const size_t length = std::min(text.size(), room - 1);
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

// The answer the caller left in the text field, up to its NUL or the end of
// the field (a caller that filled all of it is taken at its word).
std::string TakeText(const char* field, size_t room) { return std::string(field, ::strnlen(field, room)); }

int32_t Clamp32(uint64_t value) {
  return static_cast<int32_t>(std::min<uint64_t>(value, std::numeric_limits<int32_t>::max()));
}

}  // namespace

Reporter::Reporter(ZipCallback callback, void* ownerWindow, void* caller, bool verbose)
    : callback_(callback), ownerWindow_(ownerWindow), caller_(caller), verbose_(verbose) {}

ZipCallbackRec Reporter::Record(const std::string& text) const {
  ZipCallbackRec record{};
  record.OwnerWindow = ownerWindow_;
  record.Caller = caller_;
  record.Version = kComponentVersion;
  PutText(record.Text, sizeof record.Text, text);
  return record;
}

bool Reporter::Call(ZipCallbackRec& record, int32_t action) {
  if (cancelled_) return false;
  record.ActionCode = action;
  if (callback_ == nullptr) {
    record.ErrorCode = 0;  // nobody to answer a question
    return true;
  }
  if (callback_(&record) != 0) cancelled_ = true;
  return !cancelled_;
}

bool Reporter::Message(MessageCode code, const std::string& subject, const std::string& detail) {
  auto record = Record(MessageText(code, subject, detail));
  record.ErrorCode = code;
  if (code != kInformation) errorReported_ = true;
  return Call(record, kActionMessage);
}

bool Reporter::Verbose(const std::string& text) { return !verbose_ || Message(kInformation, text); }

bool Reporter::Tell(int32_t action, uint64_t size, const std::string& text) {
  auto record = Record(text);
  record.Size = Clamp32(size);
  return Call(record, action);
}

bool Reporter::TotalFiles(uint64_t count) { return Tell(kActionTotalFiles, count); }
bool Reporter::TotalSize(uint64_t bytes) { return Tell(kActionTotalSize, bytes); }
bool Reporter::NewFile(const std::string& name, uint64_t size) { return Tell(kActionNewFile, size, name); }
bool Reporter::BytesDone(uint64_t bytes) { return Tell(kActionProgress, bytes); }

bool Reporter::EndOfBatch() { return Tell(kActionEndOfBatch, 0); }
bool Reporter::KeepAlive() { return Tell(kActionNone, 0); }

std::optional<std::string> Reporter::AskEntryName(const std::string& name) {
  auto record = Record(name);
  if (!Call(record, kActionNewName) || record.ErrorCode != 1) return std::nullopt;
  return TakeText(record.Text, sizeof record.Text);
}

std::string Reporter::AskPassword(const std::string& forFile) {
  auto record = Record(forFile);
  record.ErrorCode = 1;  // ask twice: the password encrypts, a typing error would lock the file away
  record.Size = 1;       // first time asked
  if (!Call(record, kActionPassword) || record.ErrorCode != 1) return {};
  return TakeText(record.Text, sizeof record.Text);
}

std::optional<std::string> Reporter::AskComment(const std::string& name, const std::string& initial) {
  // The name ends before the initial comment, which begins at its fixed place.
  auto record = Record({});
  PutText(record.Text, kInitialCommentInText, name);
  PutText(record.Text + kInitialCommentInText, sizeof record.Text - kInitialCommentInText, initial);
  record.Size = Clamp32(initial.size());
  if (!Call(record, kActionFileComment) || record.ErrorCode != 1) return std::nullopt;
  return TakeText(record.Text, sizeof record.Text);
}

}  // namespace zippack
