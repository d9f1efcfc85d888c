// The library's numbered messages. Each goes to the caller through call-back
// action 4 with its number as the error code (0 for information), so the
// component can show the text and keep the number. Numbers stay below 256:
// the component keeps the low byte as its error code.
#pragma once

#include <cstdint>
#include <string>

namespace zippack {

enum MessageCode : int32_t {
  kInformation = 0,
  kFileNotFound = 1,
  kFileUnreadable = 2,
  kNotAFile = 3,
  kFolderWithoutRecursion = 4,
  kInvalidEntryName = 5,
  kDuplicateEntryName = 6,
  kNoPassword = 7,
  kFileChanged = 8,
  kArchiveReadOnly = 10,
  kArchiveInUse = 11,
  kArchiveUnreadable = 12,
  kArchiveDamaged = 13,
  kArchiveSpanned = 14,
  kArchiveChanged = 15,
  kTempFileFailed = 20,
  kWriteFailed = 21,
  kReplaceFailed = 22,
  kMoveDeleteFailed = 23,
  kInternalError = 30,
  kEntryNotFound = 40,
  kEntryNameTaken = 41,
  kInvalidNewName = 42,
};

// "<text of code>: <subject>", and " (<detail>)" when a detail is given.
std::string MessageText(MessageCode code, const std::string& subject, const std::string& detail = {});

}  // namespace zippack
