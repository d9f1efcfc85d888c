#include "update/library/messages.h"

namespace zippack {
namespace {

const char* TextOf(MessageCode code) {
  switch (code) {
    case kInformation: return "";
    case kFileNotFound: return "file not found";
    case kFileUnreadable: return "cannot read file, skipped";
    case kNotAFile: return "not a regular file, skipped";
    case kFolderWithoutRecursion: return "folder named without recursion, skipped";
    case kInvalidEntryName: return "invalid entry name, skipped";
    case kDuplicateEntryName: return "entry name given twice, skipped";
    case kNoPassword: return "no password given, skipped";
    case kFileChanged: return "file changed while it was being added, skipped";
    case kArchiveReadOnly: return "archive is read-only, not changed";
    case kArchiveInUse: return "archive is in use by another program, not changed";
    case kArchiveUnreadable: return "cannot read archive, not changed";
    case kArchiveDamaged: return "archive is damaged, not changed";
    case kArchiveSpanned: return "archive spans several disks and cannot be updated";
    case kArchiveChanged: return "archive was changed by another program, not changed";
    case kTempFileFailed: return "cannot create the temporary archive";
    case kWriteFailed: return "cannot write the new archive, the archive is unchanged";
    case kReplaceFailed: return "cannot put the new archive in place, the archive is unchanged";
    case kMoveDeleteFailed: return "added, but cannot delete the file";
    case kInternalError: return "internal error, the archive is unchanged";
    case kEntryNotFound: return "no such entry in the archive";
    case kEntryNameTaken: return "the archive has an entry of that name already, not renamed";
    case kInvalidNewName: return "invalid new entry name, not renamed";
  }
  return "error";
}

}  // namespace

std::string MessageText(MessageCode code, const std::string& subject, const std::string& detail) {
  std::string text = TextOf(code);
  if (!subject.empty()) text += text.empty() ? subject : ": " + subject;
  if (!detail.empty()) text += " (" + detail + ")";
  return text;
}

}  // namespace zippack
