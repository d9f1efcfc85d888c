// Storing a saved song into its archive: the archive-update component the
// main window owns, with the window's stored settings, and the archive part
// of a viewer's "Save".
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

void TFormMain::StoreInArchive(const std::string& archivePath, const std::string& filePath) {
  ZipUpdater->SetZipFileName(archivePath);
  // Exactly this one file: a line left by an Add that ended early may
  // belong to another archive.
  ZipUpdater->FSpecArgs = {filePath};
  try {
    ZipUpdater->Add();
  } catch (...) {
    platform::ShowMessage(kAddFailedMessage);
  }
}

}  // namespace fretfile
