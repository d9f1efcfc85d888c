// The library's call-back: it reports progress and messages, asks for new
// names, passwords and comments, and after each call lets the application
// dispatch its pending events. Whatever it returns asks the library to stop
// (nonzero) or go on.
#include <QScopeGuard>
#include <algorithm>
#include <cstring>

#include "platform/ui_contracts/message_pump.h"
#include "update/component/zip_updater.h"
#include "update/session/zippack_session.h"
#include "update/zippack_abi.h"

namespace fretfile {
namespace {

using zippack::ZipCallbackRec;

// Answers written into the record's text end with a NUL inside its 512
// bytes, so at most 511 characters.
constexpr size_t kLongestAnswer = zippack::kCallbackTextSize - 1;
constexpr size_t kLongestPasswordAnswer = 80;
constexpr uint32_t kMostPasswordRequests = 15;

// The record's text as a name: up to its NUL within the 512 bytes, without
// trailing blanks and control characters.
std::string NameOf(const ZipCallbackRec& record) {
  const char* text = record.Text;
  size_t length = 0;
  while (length < zippack::kCallbackTextSize && text[length] != '\0') ++length;
  while (length > 0 && static_cast<unsigned char>(text[length - 1]) <= ' ') --length;
  return std::string(text, length);
}

void PutText(ZipCallbackRec& record, const std::string& text, size_t longest) {
  const size_t length = std::min({text.size(), longest, kLongestAnswer});
  std::memcpy(record.Text, text.data(), length);
  record.Text[length] = '\0';
}

}  // namespace

int32_t ZipPackSession::Answer(ZipCallbackRec& r) {
  try {
    Act(r, NameOf(r));
  } catch (...) {
    Fail();
  }
  try {
    platform::ProcessMessages();
  } catch (...) {
    Fail();
  }
  return status_.CancelRequested ? 1 : 0;
}

void ZipPackSession::Fail() {
  // An event handler failed. Add reports the error once the library has
  // returned.
  if (!CallbackError_) CallbackError_ = std::current_exception();
  status_.CancelRequested = true;
}

void ZipPackSession::Act(ZipCallbackRec& r, const std::string& name) {
  switch (r.ActionCode) {
    case zippack::kActionNewFile: return Progress(kProgressNewFile, name, r.Size);
    case zippack::kActionProgress: return Progress(kProgressUpdate, "", r.Size);
    case zippack::kActionEndOfBatch: return Progress(kProgressEndOfBatch, "", 0);
    case zippack::kActionMessage: return AnswerMessage(r, name);
    case zippack::kActionTotalFiles: return Progress(kProgressTotalFiles, "", r.Size);
    case zippack::kActionTotalSize:
      status_.ReportedTotal = r.Size;
      return Progress(kProgressTotalSize, "", r.Size);
    case zippack::kActionNewName: return AnswerNewName(r, name);
    case zippack::kActionPassword: return AnswerPassword(r, name);
    case zippack::kActionCrcError: return AnswerCrcError(r, name);
    case zippack::kActionOverwrite: return AnswerOverwrite(r, name);
    case zippack::kActionSkipped: return AnswerSkipped(r, name);
    case zippack::kActionFileComment: return AnswerFileComment(r, name);
    default: return;
  }
}

void ZipPackSession::Progress(ProgressType type, const std::string& name, int32_t size) {
  if (component_.OnProgress) component_.OnProgress(component_, type, name, size);
}

void ZipPackSession::NoteLibraryCode(int32_t code) {
  if (code == 0) return;
  status_.LastErrCode = code & 0xFF;
  status_.LastFullErrCode = code;
}

void ZipPackSession::AnswerMessage(const ZipCallbackRec& r, const std::string& name) {
  status_.LastMessage = name;
  NoteLibraryCode(r.ErrorCode);
  if (component_.OnMessage) component_.OnMessage(component_, r.ErrorCode, name);
}

void ZipPackSession::AnswerNewName(ZipCallbackRec& r, const std::string& name) {
  if (!component_.OnSetNewName) return;
  std::string newName = name;
  bool changed = false;
  component_.OnSetNewName(component_, newName, changed);
  if (changed) PutText(r, newName, kLongestAnswer);
  r.ErrorCode = changed ? 1 : 0;
}

void ZipPackSession::AnswerPassword(ZipCallbackRec& r, const std::string& name) {
  // A password entered for the library is the library's: it is not kept in
  // Password.
  status_.StorePassword = false;
  const auto storeAgain = qScopeGuard([this] { status_.StorePassword = true; });
  auto repeatCount = static_cast<uint32_t>(r.Size);
  std::string password;
  if (component_.OnPasswordError) {
    component_.OnPasswordError(component_, password, name, repeatCount);
  } else {
    password = (r.ErrorCode & 1) != 0 ? component_.PasswordWithConfirmation() : component_.PasswordOnce();
  }
  if (!password.empty()) {
    PutText(r, password, kLongestPasswordAnswer);
    r.ErrorCode = 1;
  } else {
    r.ErrorCode = 0;
    repeatCount = 0;
  }
  r.Size = static_cast<int32_t>(std::min(repeatCount, kMostPasswordRequests));
}

void ZipPackSession::AnswerCrcError(ZipCallbackRec& r, const std::string& name) {
  if (!component_.OnCRC32Error) {
    r.ErrorCode = 2;
    return;
  }
  bool extract = true;
  component_.OnCRC32Error(component_, name, static_cast<uint32_t>(r.ErrorCode), static_cast<uint32_t>(r.Size),
                          extract);
  r.ErrorCode = extract ? 1 : 0;
}

void ZipPackSession::AnswerOverwrite(ZipCallbackRec& r, const std::string& name) {
  if (!component_.OnExtractOverwrite) return;
  bool overwrite = (r.Size & 0xFF) != 0;
  component_.OnExtractOverwrite(component_, name, (r.ErrorCode & 1) != 0, overwrite);
  r.Size = overwrite ? 1 : 0;
}

void ZipPackSession::AnswerSkipped(const ZipCallbackRec& r, const std::string& name) {
  NoteLibraryCode(r.ErrorCode);
  if (component_.OnExtractSkipped) {
    component_.OnExtractSkipped(component_, name, static_cast<UnZipSkipTypes>(r.Size & 0xFF), r.ErrorCode);
  }
}

void ZipPackSession::AnswerFileComment(ZipCallbackRec& r, const std::string& name) {
  if (!component_.OnFileComment) return;
  const char initial = r.Text[zippack::kInitialCommentInText];
  std::string comment = initial != '\0' ? std::string(1, initial) : std::string();
  bool changed = false;
  component_.OnFileComment(component_, name, comment, changed);
  PutText(r, changed ? comment : std::string(), kLongestAnswer);
  r.ErrorCode = changed ? 1 : 0;
  r.Size = static_cast<int32_t>(std::min(comment.size(), kLongestAnswer));
}

}  // namespace fretfile
