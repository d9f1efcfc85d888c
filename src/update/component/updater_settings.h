// The published properties of TZipUpdater, in their published order: a
// plain value with the few rules its setters keep (lengths, separators,
// limits). TZipUpdater is one, so the window, fretfile-cli and the tests set
// them on the component as always; the component's parts read them through
// a const reference.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "update/component/updater_types.h"

namespace fretfile {

class UpdaterSettings {
 public:
  inline static const std::string kVersionText = "1.60 L";

  bool Verbose = false;      // also enables the "Temporary zipfile: " message
  bool Trace = false;        // also forces the block's verbose flag; 10601 on loading
  int32_t AddCompLevel = 9;  // 0 stores
  AddOpts AddOptions;
  std::string ExtrBaseDir;   // kept for the stored settings; nothing here extracts
  ExtrOpts ExtrOptions;
  SFXOpts SFXOptions{SFXCheckSize};
  std::vector<std::string> FSpecArgs;  // what Add adds: one file name or pattern per line
  bool Unattended = false;   // no message box, no password dialog, no disk prompt
  // Set through TZipUpdater::SetZipFileName, which also reads the directory.
  const std::string& ZipFileName() const { return ZipFileName_; }
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

  // The extensions stored without compression, ".gif:.png:..."; empty for
  // an empty set.
  std::string StoreSuffixList() const;
  // Whether an Add spreads the archive over volumes.
  bool Spanning() const { return AddOptions.Contains(AddDiskSpan) || AddOptions.Contains(AddDiskSpanErase); }

 protected:
  std::string ZipFileName_;

 private:
  std::string Password_;
  std::string DLLDirectory_;
  uint32_t PasswordReqCount_ = 1;
  std::string RootDir_;
  std::string SFXIcon_;
};

// The path ending in a separator.
std::string AppendSlash(const std::string& path);

}  // namespace fretfile
