// The events of TZipUpdater: each handler gets the component as Sender, and
// an event is raised only when a handler is assigned.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "update/component/updater_types.h"

namespace fretfile {

class TZipUpdater;

using TNotifyEvent = std::function<void(TZipUpdater& Sender)>;
using TProgressEvent = std::function<void(TZipUpdater& Sender, ProgressType ProgrType, const std::string& Filename,
                                          int32_t FileSize)>;
using TMessageEvent = std::function<void(TZipUpdater& Sender, int32_t ErrCode, const std::string& Message)>;
using TSetNewNameEvent = std::function<void(TZipUpdater& Sender, std::string& OldFileName, bool& IsChanged)>;
using TNewNameEvent = std::function<void(TZipUpdater& Sender, int32_t SeqNo, const ZipDirEntry& ZipEntry)>;
using TCRC32ErrorEvent = std::function<void(TZipUpdater& Sender, const std::string& ForFile, uint32_t FoundCRC,
                                            uint32_t ExpectedCRC, bool& DoExtract)>;
using TPasswordErrorEvent = std::function<void(TZipUpdater& Sender, std::string& NewPassword,
                                               const std::string& ForFile, uint32_t& RepeatCount)>;
using TExtractOverwriteEvent =
    std::function<void(TZipUpdater& Sender, const std::string& ForFile, bool IsOlder, bool& DoOverwrite)>;
using TExtractSkippedEvent = std::function<void(TZipUpdater& Sender, const std::string& ForFile,
                                                UnZipSkipTypes SkipType, int32_t ExtError)>;
using TCopyZipOverwriteEvent = std::function<void(TZipUpdater& Sender, const std::string& ForFile, bool& DoOverwrite)>;
using TGetNextDiskEvent = std::function<void(TZipUpdater& Sender, int32_t DiskSeqNo, int32_t DiskTotal,
                                             const std::string& Drive, bool& AbortAction)>;
using TStatusDiskEvent = std::function<void(TZipUpdater& Sender, int32_t PreviousDisk, const std::string& PreviousFile,
                                            TZipDiskStatus Status, TZipDiskAction& Action)>;
using TFileCommentEvent = std::function<void(TZipUpdater& Sender, const std::string& ForFile,
                                             std::string& FileComment, bool& IsChanged)>;

// The handlers, in their published order. TZipUpdater is one.
struct UpdaterEvents {
  TNotifyEvent OnDirUpdate;
  TProgressEvent OnProgress;
  TMessageEvent OnMessage;
  TSetNewNameEvent OnSetNewName;
  TNewNameEvent OnNewName;
  TCRC32ErrorEvent OnCRC32Error;
  TPasswordErrorEvent OnPasswordError;
  TExtractOverwriteEvent OnExtractOverwrite;
  TExtractSkippedEvent OnExtractSkipped;
  TCopyZipOverwriteEvent OnCopyZipOverwrite;  // no operation of this program raises it
  TGetNextDiskEvent OnGetNextDisk;
  TStatusDiskEvent OnStatusDisk;
  TFileCommentEvent OnFileComment;
};

}  // namespace fretfile
