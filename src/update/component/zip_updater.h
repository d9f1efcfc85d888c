// TZipUpdater: the archive-update component. It writes files into a zip
// archive through the external compression library libzippack.so, keeps the
// list of the archive's central-directory entries, and reports progress,
// questions and errors through its events.
//
// The component is a front over parts with one job each:
//   updater_settings.h   the published properties (TZipUpdater is one)
//   updater_events.h     the events (TZipUpdater is one)
//   updater_status.h     what the last Add did and said
//   directory_list.h     the archive's directory list
//   ../session/          the library: loading it, the parameter block, the
//                        call-back's answers
//   ../span/             the drive and its volumes, the span writer, the
//                        format dialog's run
//   ../sfx/              the self-extractor's stub writer
// The front holds the parts that live as long as it (the directory list,
// the volumes, the format run) and makes the others for one operation.
//
// The component knows no widgets: a message box, the password dialog and
// the busy cursor go through platform/ui_contracts/prompts.h. It runs on the
// user-interface thread; after every call-back the application's pending
// events are dispatched, so the window stays live and can set
// CancelRequested.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "update/component/directory_list.h"
#include "update/component/updater_error.h"
#include "update/component/updater_events.h"
#include "update/component/updater_settings.h"
#include "update/component/updater_status.h"
#include "update/component/updater_types.h"
#include "update/span/disk_volumes.h"
#include "update/span/format_run.h"

namespace platform {
class SharedFile;
}

namespace fretfile {

class TZipUpdater : public QObject, public UpdaterSettings, public UpdaterEvents {
 public:
  using ProgressType = fretfile::ProgressType;
  using TNotifyEvent = fretfile::TNotifyEvent;
  using TProgressEvent = fretfile::TProgressEvent;
  using TMessageEvent = fretfile::TMessageEvent;
  using TSetNewNameEvent = fretfile::TSetNewNameEvent;
  using TNewNameEvent = fretfile::TNewNameEvent;
  using TCRC32ErrorEvent = fretfile::TCRC32ErrorEvent;
  using TPasswordErrorEvent = fretfile::TPasswordErrorEvent;
  using TExtractOverwriteEvent = fretfile::TExtractOverwriteEvent;
  using TExtractSkippedEvent = fretfile::TExtractSkippedEvent;
  using TCopyZipOverwriteEvent = fretfile::TCopyZipOverwriteEvent;
  using TGetNextDiskEvent = fretfile::TGetNextDiskEvent;
  using TStatusDiskEvent = fretfile::TStatusDiskEvent;
  using TFileCommentEvent = fretfile::TFileCommentEvent;

  // ownerWindow: the window message boxes belong to, handed to the library
  // unless Unattended (an opaque handle; none for a tool without windows).
  explicit TZipUpdater(void* ownerWindow = nullptr);
  ~TZipUpdater() override;
  TZipUpdater(const TZipUpdater&) = delete;
  TZipUpdater& operator=(const TZipUpdater&) = delete;

  // Stores the name, then reads the directory again; refused while an Add
  // runs.
  void SetZipFileName(const std::string& name);

  // --- run-time state ------------------------------------------------------------
  void* OwnerWindow() const { return OwnerWindow_; }
  int32_t ProcessedCount() const { return Status_.ProcessedCount; }  // files or entries the last operation processed
  int32_t LastErrCode() const { return Status_.LastErrCode; }
  int32_t LastFullErrCode() const { return Status_.LastFullErrCode; }
  const std::string& LastMessage() const { return Status_.LastMessage; }
  // Returned to the library by every call-back: set, it asks the library
  // to stop. Add clears it when it starts and when it ends.
  bool CancelRequested() const { return Status_.CancelRequested; }
  void SetCancelRequested(bool cancel) { Status_.CancelRequested = cancel; }
  bool InOperation() const { return Status_.InOperation; }
  int32_t ReportedTotal() const { return Status_.ReportedTotal; }

  // --- operations ------------------------------------------------------------------
  // Adds the files of FSpecArgs to the archive ZipFileName through the
  // library. Read ProcessedCount, LastErrCode and LastMessage afterwards;
  // the directory list is current when ProcessedCount is above 0. FSpecArgs
  // and FSpecArgsExcl are empty after every Add that reached the library.
  void Add();

  // Deletes the named entries of ZipFileName, or gives one entry a new
  // name, through the library (names are the raw bytes the archive stores;
  // "/" and "\" are the same). Like Add: refused while another operation
  // of this component runs (11048) or while another program writes the
  // archive (11049); ProcessedCount (the entries deleted or renamed, also
  // returned), LastErrCode and LastMessage are set afterwards; OnProgress
  // and OnMessage are raised from the library's call-backs, CancelRequested
  // is honoured, and the directory list is read again after a change. A
  // name the archive lacks is reported, and the others still go.
  int32_t Delete(const std::vector<std::string>& entryNames);
  int32_t Rename(const std::string& oldName, const std::string& newName);

  // The directory list of ZipFileName (directory_list.h). Never throws for
  // a bad archive: failures are reported and leave an empty list and an
  // empty ZipFileName. Raises OnDirUpdate.
  void List();
  size_t Count() const { return Directory_.Entries.size(); }
  const ZipDirEntry& DirEntry(size_t index) const { return *Directory_.Entries.at(index); }
  int32_t DirOnlySkipped() const { return Directory_.DirOnlySkipped; }
  const std::string& ArchiveComment() const { return Directory_.ArchiveComment; }
  int64_t StubOffset() const { return Directory_.StubOffset; }
  bool OffsetMismatch() const { return Directory_.OffsetMismatch; }
  int64_t CentralDirOffset() const { return Directory_.CentralDirOffset; }
  int64_t EndRecordOffset() const { return Directory_.EndRecordOffset; }
  int64_t ArchiveEnd() const { return Directory_.ArchiveEnd; }
  int64_t ArchiveFileSize() const { return Directory_.ArchiveFileSize; }
  bool IsMultiDisk() const { return Directory_.IsMultiDisk; }
  int32_t DiskNumber() const { return Volumes_.DiskNumber; }
  int32_t CurrentDisk() const { return Volumes_.CurrentDisk; }
  const std::string& WorkingName() const { return Volumes_.WorkingName; }
  const std::string& DriveRoot() const { return Volumes_.DriveRoot; }
  const std::string& VolumeLabel() const { return Volumes_.VolumeLabel; }
  // Finds the end record of WorkingName and copies its 22 bytes into
  // record. With raise, a failure throws EZipUpdater; otherwise it is
  // reported (when the file cannot be opened) and the result is false.
  bool FindEndRecord(uint8_t (&record)[22], bool raise) { return Directory_.FindEndRecord(record, raise); }
  // Converts a name from or to the OEM code page when the last central
  // header read asks for it (its host system and version, and CodePage).
  std::string ConvertName(const std::string& text, bool toOem) const { return Directory_.ConvertName(text, toOem); }

  // --- disk spanning (span/) ------------------------------------------------------------
  // Copies the finished temporary archive source onto the volumes of target:
  // numbered files on a fixed drive (target "Set.zip" gives "Set001.zip",
  // "Set002.zip", ...), one volume per disk labelled "PKBACK# 001", ... on a
  // removable one. 0, or -7 (a numbered error), -8 (no memory), -9 (any
  // other error) once reported; a failed write removes what it wrote.
  int32_t WriteSpan(const std::string& source, const std::string& target);
  // Shows the format dialog for the disk in DriveIndex and returns the
  // format call's result (platform/drives/format_dialog.h).
  int32_t RunFormat();
  // OnProgress is raised for each block written or copied while this is set.
  bool ProgressOn = false;
  int32_t DriveIndex() const { return Volumes_.DriveIndex; }
  int64_t VolumeFree() const { return Volumes_.VolumeFree; }
  int64_t VolumeTotal() const { return Volumes_.VolumeTotal; }
  // The format dialog: the dialog while it is open, 0 running / 1 dialog
  // found / 2 finished, the format call's result (-3 until it returns), and
  // whether Start is still to be pressed by itself.
  platform::FormatDialogControls* FormatDialog() const { return Format_.Dialog(); }
  int32_t FormatState() const { return Format_.State(); }
  int32_t FormatResult() const { return Format_.Result(); }
  bool AutoStart() const { return Format_.AutoStart(); }

  // --- the library (session/) --------------------------------------------------------------
  // Process-wide, shared by every component. LoadZipPack reports why it
  // failed.
  void LoadZipPack();
  static void UnloadZipPack();
  static bool ZipPackLoaded();
  // The library's version; the library is loaded for the call when it is
  // not loaded; 0 when it cannot be.
  int32_t LibraryVersion();

  // --- messages -----------------------------------------------------------------------------------
  // The program's text for a message number, or defaultText.
  static std::string MessageText(int32_t number, const std::string& defaultText);
  // Sets LastMessage and LastErrCode, shows the text unless Unattended, and
  // raises OnMessage with ErrCode 0.
  void ReportMessage(int32_t number, const std::string& detail);
  void ReportException(const EZipUpdater& error);

  // A new name for a temporary archive in TempDir (or the system's
  // temporary folder); empty when none can be made. Empty arguments mean
  // "zip" and ".zip".
  std::string MakeTempFileName(std::string prefix, std::string extension);
  static std::string AppendSlash(const std::string& path) { return fretfile::AppendSlash(path); }

  // The password prompts the library's password request uses
  // (password_prompts.cpp). Both return an empty text when nothing usable
  // was entered. With confirmation the password is asked twice and must be
  // entered the same both times.
  std::string PasswordWithConfirmation();
  std::string PasswordOnce();

  // --- the self-extractor (sfx/sfx_stub_writer.h) ----------------------------------------------
  int32_t CreateSfxStub();
  int32_t ReplaceStubIcon(platform::SharedFile& target, int64_t stubSize);
  int32_t CopyBlocks(platform::SharedFile& source, platform::SharedFile& target, int64_t count);
  int32_t DeleteWithShell(const std::string& name, DeleteOpts howToDelete);

 private:
  // The steps of Add.
  // Steps 2 to 5: whether the request can be carried out, and the archive
  // the library writes (ZipFileName, or a temporary one to be spanned).
  bool CheckRequest(std::string& target, std::string& spanTemporary);
  // Step 7: the stub of a new self-extracting archive; false when it failed
  // (reported).
  bool PrepareNewSfx(bool& newSfx);
  // Steps 9 to 12 with a loaded library.
  void RunLibrary(const std::string& target, const std::string& spanTemporary, bool loadedHere);
  void StorePrompted(const std::string& password);
  // Delete and Rename: one ZipPackEdit call (zip_updater_edit.cpp).
  int32_t Edit(int32_t operation, const std::vector<std::string>& names, const std::vector<std::string>& newNames);
  // Runs the library's call; an error it throws is reported with message
  // `failure`, and a block the library refused leaves ProcessedCount 0.
  void CallLibrary(int32_t failure, const std::function<void()>& call);
  // True when another party holds the archive locked for writing.
  static bool ArchiveHeldElsewhere(const std::string& path);

  void* OwnerWindow_;
  UpdaterStatus Status_;
  DiskVolumes Volumes_{*this};
  DirectoryList Directory_{*this, Volumes_};
  FormatRun Format_;
};

}  // namespace fretfile
