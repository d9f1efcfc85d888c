// The library's call-back: it reports progress and messages, asks for new
// names, passwords and comments, and after each call lets the application
// dispatch its pending events. Whatever it returns asks the library to stop
// (nonzero) or go on.
#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include "platform/message_pump.h"
#include "update/component/zip_updater.h"
#include "update/session/exec_block.h"

namespace fretfile {
namespace {

using zippack::ZipCallbackRec;

// Answers written into the record's text end with a NUL inside its 512
// bytes, so at most 511 characters.
constexpr size_t kLongestAnswer = zippack::kCallbackTextSize - 1;
constexpr size_t kLongestPasswordAnswer = 80;

// The components whose Add is in the library now. A record naming any
// other caller is not ours to answer.
std::vector<TZipUpdater*>& Active() {
  static std::vector<TZipUpdater*> active;
  return active;
}

int32_t ZipPackCallback(ZipCallbackRec* record) {
  if (record == nullptr) return 1;
  auto* caller = static_cast<TZipUpdater*>(record->Caller);
  if (std::find(Active().begin(), Active().end(), caller) == Active().end()) return 1;
  return caller->Callback(*record);
}

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

void TZipUpdater::RunLibrary(const std::string& target, int32_t version) {
  ExecBlock block(*this, target, version, &ZipPackCallback);
  Active().push_back(this);
  struct Inactive {
    TZipUpdater* self;
    ~Inactive() { std::erase(Active(), self); }
  } inactive{this};
  CallbackError_ = nullptr;
  ProcessedCount_ = ExecZipPackWith(block.Address());
  if (CallbackError_) {
    std::exception_ptr error = CallbackError_;
    CallbackError_ = nullptr;
    std::rethrow_exception(error);
  }
  // A spanned Add: the library has built the temporary archive, which now
  // goes onto the volumes of ZipFileName.
  if (ProcessedCount_ > 0 && Spanning() && WriteSpan(target, ZipFileName_) != 0) ProcessedCount_ = 0;
}

int32_t TZipUpdater::Callback(ZipCallbackRec& r) {
  try {
    const std::string name = NameOf(r);
    switch (r.ActionCode) {
      case zippack::kActionNewFile:
        if (OnProgress) OnProgress(*this, zippack::kProgressNewFile, name, r.Size);
        break;
      case zippack::kActionProgress:
        if (OnProgress) OnProgress(*this, zippack::kProgressUpdate, "", r.Size);
        break;
      case zippack::kActionEndOfBatch:
        if (OnProgress) OnProgress(*this, zippack::kProgressEndOfBatch, "", 0);
        break;
      case zippack::kActionMessage:
        LastMessage_ = name;
        if (r.ErrorCode != 0) {
          LastErrCode_ = r.ErrorCode & 0xFF;
          LastFullErrCode_ = r.ErrorCode;
        }
        if (OnMessage) OnMessage(*this, r.ErrorCode, name);
        break;
      case zippack::kActionTotalFiles:
        if (OnProgress) OnProgress(*this, zippack::kProgressTotalFiles, "", r.Size);
        break;
      case zippack::kActionTotalSize:
        ReportedTotal_ = r.Size;
        if (OnProgress) OnProgress(*this, zippack::kProgressTotalSize, "", r.Size);
        break;
      case zippack::kActionNewName:
        if (OnSetNewName) {
          std::string newName = name;
          bool changed = false;
          OnSetNewName(*this, newName, changed);
          if (changed) PutText(r, newName, kLongestAnswer);
          r.ErrorCode = changed ? 1 : 0;
        }
        break;
      case zippack::kActionPassword: {
        // A password entered for the library is the library's: it is not
        // kept in Password.
        StorePassword_ = false;
        struct StoreAgain {
          bool& flag;
          ~StoreAgain() { flag = true; }
        } storeAgain{StorePassword_};
        auto repeatCount = static_cast<uint32_t>(r.Size);
        std::string password;
        if (OnPasswordError) {
          OnPasswordError(*this, password, name, repeatCount);
        } else {
          password = (r.ErrorCode & 1) != 0 ? PasswordWithConfirmation() : PasswordOnce();
        }
        if (!password.empty()) {
          PutText(r, password, kLongestPasswordAnswer);
          r.ErrorCode = 1;
        } else {
          r.ErrorCode = 0;
          repeatCount = 0;
        }
        r.Size = static_cast<int32_t>(std::min<uint32_t>(repeatCount, 15));
        break;
      }
      case zippack::kActionCrcError:
        if (OnCRC32Error) {
          bool extract = true;
          OnCRC32Error(*this, name, static_cast<uint32_t>(r.ErrorCode), static_cast<uint32_t>(r.Size), extract);
          r.ErrorCode = extract ? 1 : 0;
        } else {
          r.ErrorCode = 2;
        }
        break;
      case zippack::kActionOverwrite:
        if (OnExtractOverwrite) {
          bool overwrite = (r.Size & 0xFF) != 0;
          OnExtractOverwrite(*this, name, (r.ErrorCode & 1) != 0, overwrite);
          r.Size = overwrite ? 1 : 0;
        }
        break;
      case zippack::kActionSkipped:
        if (r.ErrorCode != 0) {
          LastErrCode_ = r.ErrorCode & 0xFF;
          LastFullErrCode_ = r.ErrorCode;
        }
        if (OnExtractSkipped) OnExtractSkipped(*this, name, static_cast<UnZipSkipTypes>(r.Size & 0xFF), r.ErrorCode);
        break;
      case zippack::kActionFileComment:
        if (OnFileComment) {
          const char initial = r.Text[zippack::kInitialCommentInText];
          std::string comment = initial != '\0' ? std::string(1, initial) : std::string();
          bool changed = false;
          OnFileComment(*this, name, comment, changed);
          PutText(r, changed ? comment : std::string(), kLongestAnswer);
          r.ErrorCode = changed ? 1 : 0;
          r.Size = static_cast<int32_t>(std::min(comment.size(), kLongestAnswer));
        }
        break;
      default:
        break;
    }
  } catch (...) {
    // An event handler failed. The error must not unwind through the
    // library: the library is asked to stop, and Add reports the error once
    // the library has returned.
    if (!CallbackError_) CallbackError_ = std::current_exception();
    CancelRequested_ = true;
  }
  try {
    platform::ProcessMessages();
  } catch (...) {
    if (!CallbackError_) CallbackError_ = std::current_exception();
    CancelRequested_ = true;
  }
  return CancelRequested_ ? 1 : 0;
}

}  // namespace fretfile
