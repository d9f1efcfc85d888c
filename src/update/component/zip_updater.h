// TZipUpdater: the archive-update component. It writes files into a zip
// archive by handing a parameter block to the external compression library
// libzippack.so (zippack_abi.h) and answering the library's call-backs; it
// keeps the list of the archive's central-directory entries, and reports
// progress, questions and errors through its events.
//
// The component knows no widgets: a message box, the password dialog and
// the busy cursor go through platform/prompts.h. It runs on the
// user-interface thread; after every call-back the application's pending
// events are dispatched, so the window stays live and can set
// CancelRequested.
//
// Where the code lives: properties, Add and the messages in zip_updater.cpp;
// the parameter block in exec_block.cpp; the call-back in
// zippack_callback.cpp; the library in zippack_library.cpp; the directory
// list in directory_list.cpp; the password prompts in password_prompts.cpp;
// the self-extractor's stub, header and icon in sfx_stub.cpp;
// writing a spanned archive onto volumes in disk_span.cpp, the disks and
// drives in disk_volumes.cpp, the format dialog's thread in format_thread.cpp.
#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/format_dialog.h"
#include "platform/shared_file.h"
#include "update/component/updater_types.h"
#include "update/zippack_abi.h"

namespace archive {
class BufferedReader;
}

namespace fretfile {

// An error of the component, with its message number.
class EZipUpdater : public std::runtime_error {
 public:
  enum class Display : uint8_t { No = 0, Yes = 1 };
  // The text of the number as it stands.
  EZipUpdater(int32_t number, Display display);
  // The text of the number with its conversion filled by the argument;
  // shown when reported.
  EZipUpdater(int32_t number, int32_t argument);
  EZipUpdater(int32_t number, const std::string& argument);

  uint8_t DisplayFlag;      // 1: shown in a message box when reported, unless unattended
  int32_t MessageNumber;
};

class TZipUpdater : public QObject {
 public:
  using ProgressType = zippack::ProgressType;
  using TNotifyEvent = std::function<void(TZipUpdater& Sender)>;
  using TProgressEvent = std::function<void(TZipUpdater& Sender, ProgressType ProgrType,
                                            const std::string& Filename, int32_t FileSize)>;
  using TMessageEvent = std::function<void(TZipUpdater& Sender, int32_t ErrCode, const std::string& Message)>;
  using TSetNewNameEvent = std::function<void(TZipUpdater& Sender, std::string& OldFileName, bool& IsChanged)>;
  using TNewNameEvent = std::function<void(TZipUpdater& Sender, int32_t SeqNo, const ZipDirEntry& ZipEntry)>;
  using TCRC32ErrorEvent = std::function<void(TZipUpdater& Sender, const std::string& ForFile, uint32_t FoundCRC,
                                              uint32_t ExpectedCRC, bool& DoExtract)>;
  using TPasswordErrorEvent = std::function<void(TZipUpdater& Sender, std::string& NewPassword,
                                                 const std::string& ForFile, uint32_t& RepeatCount)>;
  using TExtractOverwriteEvent = std::function<void(TZipUpdater& Sender, const std::string& ForFile, bool IsOlder,
                                                    bool& DoOverwrite)>;
  using TExtractSkippedEvent = std::function<void(TZipUpdater& Sender, const std::string& ForFile,
                                                  UnZipSkipTypes SkipType, int32_t ExtError)>;
  using TCopyZipOverwriteEvent =
      std::function<void(TZipUpdater& Sender, const std::string& ForFile, bool& DoOverwrite)>;
  using TGetNextDiskEvent = std::function<void(TZipUpdater& Sender, int32_t DiskSeqNo, int32_t DiskTotal,
                                               const std::string& Drive, bool& AbortAction)>;
  using TStatusDiskEvent = std::function<void(TZipUpdater& Sender, int32_t PreviousDisk,
                                              const std::string& PreviousFile, TZipDiskStatus Status,
                                              TZipDiskAction& Action)>;
  using TFileCommentEvent = std::function<void(TZipUpdater& Sender, const std::string& ForFile,
                                               std::string& FileComment, bool& IsChanged)>;

  inline static const std::string kVersionText = "1.60 L";

  // ownerWindow: the window message boxes belong to, handed to the library
  // unless Unattended (an opaque handle; none for a tool without windows).
  explicit TZipUpdater(void* ownerWindow = nullptr);
  ~TZipUpdater() override;
  TZipUpdater(const TZipUpdater&) = delete;
  TZipUpdater& operator=(const TZipUpdater&) = delete;

  // --- published properties, in their published order ---------------------
  bool Verbose = false;      // also enables the "Temporary zipfile: " message
  bool Trace = false;        // also forces the block's verbose flag; 10601 on loading
  int32_t AddCompLevel = 9;  // 0 stores
  AddOpts AddOptions;
  std::string ExtrBaseDir;   // kept for the stored settings; nothing here extracts
  ExtrOpts ExtrOptions;
  SFXOpts SFXOptions{SFXCheckSize};
  std::vector<std::string> FSpecArgs;  // what Add adds, one specification per line
  bool Unattended = false;   // no message box, no password dialog, no disk prompt
  const std::string& ZipFileName() const { return ZipFileName_; }
  void SetZipFileName(const std::string& name);  // stores, then reads the directory again
  const std::string& Password() const { return Password_; }
  void SetPassword(const std::string& password);  // at most 255 characters kept
  std::string SFXPath = "SfxStub.bin";
  const std::string& DLLDirectory() const { return DLLDirectory_; }
  void SetDLLDirectory(const std::string& directory);  // one trailing separator dropped
  OvrOpts SFXOverWriteMode = OvrConfirm;
  std::string SFXCaption = "Self-extracting Archive";
  std::string SFXDefaultDir;
  std::string SFXCommandLine;
  std::string SFXMessage;
  std::string TempDir;        // folder of the temporary archive; MakeTempFileName ends it in a separator
  int32_t KeepFreeOnDisk1 = 0;
  int32_t MaxVolumeSize = 0;
  int32_t MinFreeVolumeSize = 65536;
  bool ConfirmErase = true;
  CodePageOpts CodePage = cpAuto;
  DeleteOpts HowToDelete = htdAllowUndo;
  const std::string& VersionInfo() const { return kVersionText; }
  void SetVersionInfo(const std::string&) {}  // always reads "1.60 L"
  // The stub's icon, held as the bytes of an icon file (.ico); empty for
  // none. The setter copies the bytes given.
  const std::string& SFXIcon() const { return SFXIcon_; }
  void SetSFXIcon(const std::string& icon) { SFXIcon_ = icon; }
  AddStoreExts AddStoreSuffixes{assGIF, assPNG, assZ,   assZIP, assZOO, assARC,
                                assLZH, assARJ, assTAZ, assTGZ, assLHA};
  uint32_t PasswordReqCount() const { return PasswordReqCount_; }
  void SetPasswordReqCount(uint32_t count);  // 15 at most
  std::vector<std::string> FSpecArgsExcl;
  bool UseDirOnlyEntries = false;
  const std::string& RootDir() const { return RootDir_; }
  void SetRootDir(const std::string& directory);  // ends in a separator unless empty

  // --- events: raised only when assigned --------------------------------------
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

  // --- run-time state ------------------------------------------------------------
  void* OwnerWindow() const { return OwnerWindow_; }
  int32_t ProcessedCount() const { return ProcessedCount_; }  // files the last Add processed
  int32_t LastErrCode() const { return LastErrCode_; }
  int32_t LastFullErrCode() const { return LastFullErrCode_; }
  const std::string& LastMessage() const { return LastMessage_; }
  // Returned to the library by every call-back: set, it asks the library
  // to stop. Add clears it when it starts and when it ends.
  bool CancelRequested() const { return CancelRequested_; }
  void SetCancelRequested(bool cancel) { CancelRequested_ = cancel; }
  bool InOperation() const { return InOperation_; }
  int32_t ReportedTotal() const { return ReportedTotal_; }

  // --- operations ------------------------------------------------------------------
  // Adds the files of FSpecArgs to the archive ZipFileName through the
  // library. Read ProcessedCount, LastErrCode and LastMessage afterwards;
  // the directory list is current when ProcessedCount is above 0. FSpecArgs
  // and FSpecArgsExcl are empty after every Add that reached the library.
  void Add();

  // The directory list of ZipFileName (directory_list.cpp). Never throws
  // for a bad archive: failures are reported and leave an empty list and
  // an empty ZipFileName.
  void List();
  size_t Count() const { return ZipContents_.size(); }
  const ZipDirEntry& DirEntry(size_t index) const { return *ZipContents_.at(index); }
  int32_t DirOnlySkipped() const { return DirOnlySkipped_; }
  const std::string& ArchiveComment() const { return ArchiveComment_; }
  int64_t StubOffset() const { return StubOffset_; }
  bool OffsetMismatch() const { return OffsetMismatch_; }
  int64_t CentralDirOffset() const { return CentralDirOffset_; }
  int64_t EndRecordOffset() const { return EndRecordOffset_; }
  int64_t ArchiveEnd() const { return ArchiveEnd_; }
  int64_t ArchiveFileSize() const { return ArchiveFileSize_; }
  bool IsMultiDisk() const { return IsMultiDisk_; }
  int32_t DiskNumber() const { return DiskNumber_; }
  int32_t CurrentDisk() const { return CurrentDisk_; }
  const std::string& WorkingName() const { return WorkingName_; }
  const std::string& DriveRoot() const { return DriveRoot_; }
  const std::string& VolumeLabel() const { return VolumeLabel_; }

  // --- disk spanning -----------------------------------------------------------------
  // Copies the finished temporary archive source onto the volumes of target:
  // numbered files on a fixed drive (target "Set.zip" gives "Set001.zip",
  // "Set002.zip", ...), one volume per disk labelled "PKBACK# 001", ... on a
  // removable one. 0, or -7 (a numbered error), -8 (no memory), -9 (any
  // other error) once reported; a failed write removes what it wrote.
  int32_t WriteSpan(const std::string& source, const std::string& target);
  // Shows the format dialog for the disk in DriveIndex and returns the
  // format call's result (platform/format_dialog.h).
  int32_t RunFormat();
  // OnProgress is raised for each block written or copied while this is set.
  bool ProgressOn = false;
  // One entry of the archive being spread: where its local header went.
  struct EntryRecord {
    std::string name;         // the first 255 characters
    uint64_t sourceOffset;    // of its local header in the temporary archive
    int32_t volume = 0;
    int64_t offset = 0;       // of its local header on that volume
  };
  int32_t DriveIndex() const { return DriveIndex_; }
  int64_t VolumeFree() const { return VolumeFree_; }
  int64_t VolumeTotal() const { return VolumeTotal_; }
  // The format dialog: the dialog while it is open, 0 running / 1 dialog
  // found / 2 finished, the format call's result (-3 until it returns), and
  // whether Start is still to be pressed by itself.
  platform::FormatDialogControls* FormatDialog() const { return FormatDialog_; }
  int32_t FormatState() const { return FormatState_; }
  int32_t FormatResult() const { return FormatResult_; }
  bool AutoStart() const { return AutoStart_; }

  // Finds the end record of WorkingName and copies its 22 bytes into
  // record. With raise, a failure throws EZipUpdater; otherwise it is
  // reported (when the file cannot be opened) and the result is false.
  bool FindEndRecord(uint8_t (&record)[22], bool raise);
  // Converts a name from or to the OEM code page when the last central
  // header read asks for it (its host system and version, and CodePage).
  std::string ConvertName(const std::string& text, bool toOem) const;

  // The library (zippack_library.cpp); process-wide, shared by every
  // component. LoadZipPack reports why it failed.
  void LoadZipPack();
  static void UnloadZipPack();
  static bool ZipPackLoaded();
  // The library's version; the library is loaded for the call when it is
  // not loaded; 0 when it cannot be.
  int32_t LibraryVersion();

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
  static std::string AppendSlash(const std::string& path);

  // The extensions stored without compression, ".gif:.png:..."; empty for
  // an empty set.
  std::string StoreSuffixList() const;

  // The password prompts the library's password request uses
  // (password_prompts.cpp). Both return an empty text when nothing usable
  // was entered. With confirmation the password is asked twice and must be
  // entered the same both times.
  std::string PasswordWithConfirmation();
  std::string PasswordOnce();

  // The call-back's answer to one record (zippack_callback.cpp).
  int32_t Callback(zippack::ZipCallbackRec& record);

  // The self-extractor (sfx_stub.cpp). CreateSfxStub writes the stub
  // program, the self-extractor's header and an empty end record into the
  // new archive ZipFileName; 0 or an error code: -1 the target cannot be
  // created, -2 a copy or write fell short, -3 the stub cannot be opened,
  // -9 a text too long or no stub found, -10 to -12 from ReplaceStubIcon.
  // Nothing is left of a target it could not finish.
  int32_t CreateSfxStub();
  // Puts SFXIcon into the icon resource of a stub that is a PE program, the
  // first stubSize bytes of target: 0 done, -10 no such resource or not a
  // PE program, -11 the file failed, -12 SFXIcon is not a 766-byte icon file.
  int32_t ReplaceStubIcon(platform::SharedFile& target, int64_t stubSize);
  // Copies count bytes, or to the end of source with -1, in 8192-byte
  // blocks, raising OnProgress (ProgrType 1) per block while ProgressOn is
  // set; 0, or -2 when a read or write fails or the source ends before
  // count bytes.
  int32_t CopyBlocks(platform::SharedFile& source, platform::SharedFile& target, int64_t count);
  // Deletes a file through the shell: htdAllowUndo moves it to the
  // desktop's trash, htdFinal removes it. 0 done, -1 no such file, 1 it
  // could not be removed.
  int32_t DeleteWithShell(const std::string& name, DeleteOpts howToDelete);

 private:
  void RunLibrary(const std::string& target, int32_t version);
  bool Spanning() const { return AddOptions.Contains(AddDiskSpan) || AddOptions.Contains(AddDiskSpanErase); }
  // ZipPackExec of the loaded library (zippack_library.cpp).
  static int32_t ExecZipPackWith(void* block);
  void StorePrompted(const std::string& password);
  // Disks and drives (disk_volumes.cpp). CheckDrive: whether the drive of
  // DriveRoot is usable; reads the label, serial number and space.
  bool CheckDrive();
  // bit 1: VolumeFree; bit 2: VolumeTotal.
  void DiskFreeSpace(int which);
  // Prompts until a usable disk is in the drive; the drive's type.
  int AskForDisk();
  // Opens volume n of the set being read.
  void SwitchDisk(int32_t volume);
  bool IsRightVolume(int driveType);
  // FindEndRecord of WorkingName; on a fixed drive it goes on from an
  // earlier volume of a set to the last one.
  void FindSetEnd(uint8_t (&record)[22]);

  // Writing the volumes (disk_span.cpp).
  // The copy itself; throws what ends it.
  void CopySpan();
  // Writes count bytes to the volumes; with keep above 0 a new volume is
  // begun first when the current one has less than keep bytes free.
  void DiskWrite(const uint8_t* bytes, int64_t count, int64_t keep);
  // One attempt at opening the volume CurrentDisk (a prompt answered No or
  // Retry leaves it closed).
  void OpenVolume(int64_t keep);
  // Stamps the volume with the source's date and closes it.
  void CloseVolume();
  void CopyToVolumes(archive::BufferedReader& source, std::vector<uint8_t>& buffer, uint64_t count,
                     int32_t shortRead);
  void RemoveWrittenVolumes();
  // Whether an existing volume file may be overwritten (false: another
  // disk is wanted); throws on Cancel.
  bool AskToOverwrite(const std::string& name);
  // Returns for a retry; throws on Cancel.
  void AskForSpace(const std::string& name);
  // Raises OnProgress when assigned.
  void Progress(ProgressType type, const std::string& name, int64_t size);
  void ClearList();
  // Reads the central directory the end record describes; returns how far
  // the directory really is from where the record says.
  int64_t ReadDirectory(const uint8_t (&endRecord)[22]);
  // The self-extractor's stub file by the search of CreateSfxStub; SFXPath
  // keeps the last name tried. False when none is there.
  bool FindSfxStub();
  int32_t WriteSfxTarget(const std::string& header);
  uint8_t SfxFlags() const;

  void* OwnerWindow_;
  std::string ZipFileName_;
  std::string Password_;
  std::string DLLDirectory_;
  uint32_t PasswordReqCount_ = 1;
  std::string RootDir_;
  std::string SFXIcon_;

  int32_t ProcessedCount_ = 0;
  int32_t LastErrCode_ = 0;
  int32_t LastFullErrCode_ = 0;
  std::string LastMessage_;
  bool CancelRequested_ = false;
  bool InOperation_ = false;
  int32_t ReportedTotal_ = 0;
  // A prompted password may be kept in Password only while this is set;
  // the call-back clears it while it asks for the library.
  bool StorePassword_ = true;
  // An exception an event handler threw inside a call-back: kept until the
  // library returns, since it must not unwind through the library.
  std::exception_ptr CallbackError_;

  // The directory list and what reading it found.
  std::vector<std::unique_ptr<ZipDirEntry>> ZipContents_;
  platform::SharedFile Archive_;  // open during a directory read only
  int32_t DirOnlySkipped_ = 0;
  std::string ArchiveComment_;
  int64_t StubOffset_ = 0;
  bool OffsetMismatch_ = false;
  int64_t CentralDirOffset_ = 0;
  int64_t EndRecordOffset_ = 0;
  int64_t ArchiveEnd_ = 0;
  int64_t ArchiveFileSize_ = 0;
  bool IsMultiDisk_ = false;
  int32_t DiskNumber_ = 0;
  int32_t CurrentDisk_ = 0;
  std::string WorkingName_;
  std::string DriveRoot_;
  std::string VolumeLabel_;
  int64_t VolumeFree_ = 0;
  int64_t VolumeTotal_ = 0;
  uint32_t VolumeSerial_ = 0;

  // The spanning state.
  int32_t DriveIndex_ = -1;
  int64_t BytesOnVolume_ = 0;
  bool NewDiskNeeded_ = false;
  platform::SharedFile OutputHandle_;  // the volume being written; none between volumes
  std::string OutputName_;
  std::string SpanTarget_;
  std::filesystem::file_time_type SourceDate_{};
  TZipDiskStatus DiskStatus_ = 0;
  TZipDiskAction DiskAction_ = zdaOk;
  std::vector<EntryRecord> EntryTable_;
  // The volume files this write made on a fixed or network drive, to be
  // removed when it fails.
  std::vector<std::string> WrittenVolumes_;

  // The format dialog (format_thread.cpp).
  platform::FormatDialogControls* FormatDialog_ = nullptr;
  std::atomic<int32_t> FormatState_{0};
  std::atomic<int32_t> FormatResult_{-3};
  std::atomic<bool> AutoStart_{false};
  friend struct FormatHookAccess;
  uint8_t HostSystem_ = 0;
  uint8_t MadeByVersion_ = 0;
};

}  // namespace fretfile
