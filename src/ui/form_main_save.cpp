// Storing a saved song into its archive: the archive-update component the
// main window owns, with the window's stored settings, and the archive part
// of a viewer's "Save".
#include "index/collection.h"
#include "index/saved_song.h"
#include "platform/gui/dialogs.h"
#include "ui/form_main.h"
#include "update/zip_updater.h"

namespace fretfile {

inline constexpr const char* kAddFailedMessage = "Error in Add; Fatal DLL Exception in mainunit";


void TFormMain::CreateZipUpdater() {
  ZipUpdater = new TZipUpdater(this);
  ZipUpdater->setObjectName(QStringLiteral("ZipUpdater"));
  ZipUpdater->Verbose = false;
  ZipUpdater->Trace = false;
  ZipUpdater->AddCompLevel = 9;
  ZipUpdater->AddOptions = {AddUpdate};
  ZipUpdater->ExtrOptions = {};
  ZipUpdater->Unattended = true;
  ZipUpdater->SFXPath = "SfxStub.bin";
  ZipUpdater->SFXOverWriteMode = OvrConfirm;
  ZipUpdater->SFXCaption = "Self-extracting Archive";
  ZipUpdater->KeepFreeOnDisk1 = 0;
  ZipUpdater->SetVersionInfo("1.60 L");
  ZipUpdater->AddStoreSuffixes = {assGIF, assPNG, assZ,   assZIP, assZOO, assARC,
                                  assLZH, assARJ, assTAZ, assTGZ, assLHA};
  AddComponent(ZipUpdater);
}

void TFormMain::DestroyZipUpdater() {
  if (ZipUpdater == nullptr) return;
  RemoveComponent(ZipUpdater);
  delete ZipUpdater;
  ZipUpdater = nullptr;
}

bool TFormMain::ArchiveFree() {
  if (!ArchiveBusy()) return true;
  platform::ShowMessage(kArchiveBusyText);
  return false;
}

bool TFormMain::StoreInArchive(const std::string& archivePath, const std::string& entryName,
                               const std::string& filePath, const std::string& content) {
  ZipUpdater->SetZipFileName(archivePath);
  // Exactly this one file: a line left by an Add that ended early may
  // belong to another archive.
  ZipUpdater->FSpecArgs = {filePath};
  // The song goes back under exactly its entry's name, folders included:
  // it was extracted below temp/ with its folders, so names are taken
  // relative to temp/ with their folders, for this one Add.
  const std::string keptRoot = ZipUpdater->RootDir();
  const AddOpts keptOptions = ZipUpdater->AddOptions;
  ZipUpdater->SetRootDir(TempFolderOf(AppDir_) + "/");
  ZipUpdater->AddOptions.Include(AddDirNames);
  struct Restore {
    TZipUpdater& updater;
    const std::string& root;
    AddOpts options;
    ~Restore() {
      updater.SetRootDir(root);
      updater.AddOptions = options;
    }
  } restore{*ZipUpdater, keptRoot, keptOptions};
  try {
    ZipUpdater->Add();
  } catch (...) {
    platform::ShowMessage(kAddFailedMessage);
    return false;
  }
  // The component runs unattended and says nothing; a save that did not
  // reach the archive must not look like one that did.
  if (!ArchiveEntryHolds(archivePath, entryName, content)) {
    std::string text = "The song was not stored in its archive " + archivePath + ".";
    if (!ZipUpdater->LastMessage().empty()) text += "\n" + ZipUpdater->LastMessage();
    text += "\nYour edit is kept in " + filePath + ".";
    platform::ShowMessage(text);
    return false;
  }
  return true;
}

}  // namespace fretfile
