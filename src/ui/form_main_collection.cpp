// Choosing the collection folder: File > Choose Collection Folder..., and
// the switch of the window to another folder.
#include <QFile>
#include <cstdlib>
#include <vector>

#include "index/collection.h"
#include "index/collection_choice.h"
#include "platform/gui/dialogs.h"
#include "platform/posix/paths.h"
#include "ui/external_edits.h"
#include "ui/form2.h"
#include "ui/form_main.h"
#include "ui/viewer_window.h"

namespace fretfile {
namespace {

constexpr const char* kChooserTitle = "Choose the folder that holds your song archives";
constexpr const char* kCloseViewersQuestion =
    "Choosing another collection folder closes the viewer windows; changes not saved in them are lost. Go on?";

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  return home != nullptr && *home != '\0' ? std::string(home) : std::string(1, platform::kSeparator);
}

}  // namespace

void TFormMain::ChooseCollectionFolder1Click() {
  // The collection stays as it is while a search, a rebuild or an opening
  // uses it (the menu item is off during the first two).
  if (searchRunning_ || opening_ || RebuildRunning()) return;
  if (!ArchiveFree()) return;
  const auto chosen = platform::ChooseFolder(kChooserTitle, AppDir_.empty() ? HomeFolder() : AppDir_);
  if (!chosen || chosen->empty()) return;
  const std::string folder = platform::WithTrailingSeparator(*chosen);
  if (folder != AppDir_) {
    if (!CloseViewerWindows()) return;
    SetCollection(folder);
  }
  RememberCollectionFolder(folder);
}

void TFormMain::SetCollection(std::string appDir) {
  AppDir_ = std::move(appDir);
  ViewerCommand_.clear();
  StringGridCells& cells = StringGrid->Cells();
  cells.ClearCells();
  cells.SetRowCount(2);
  // The start-up once more, on the new folder: temp/, headers, kest.ini.
  FormCreate();
  // Songs of the old collection are no longer watched.
  externalEdits_->UnwatchAll();
  // The viewer chooser starts afresh on the new kest.ini.
  delete Form2;
  Form2 = nullptr;
  if (!AppDir_.empty()) {
    Form2 = new TForm2(AppDir_, this);
    SetStatusText(QStringLiteral("Collection folder: ") + QFile::decodeName(QByteArray::fromStdString(AppDir_)));
    NoticeChangedArchives();
    OfferUnstoredEdits();
  }
}

bool TFormMain::CollectionChosen() {
  if (!AppDir_.empty()) return true;
  platform::ShowMessage(kNoCollectionText);
  return false;
}

bool TFormMain::CloseViewerWindows() {
  // The viewers show files of the old collection's temp/, where their
  // "Save" could no longer find them.
  std::vector<TViewerWindow*> viewers;
  for (QObject* component : Components()) {
    if (auto* viewer = qobject_cast<TViewerWindow*>(component)) viewers.push_back(viewer);
  }
  if (viewers.empty()) return true;
  if (platform::AskYesNo(kCloseViewersQuestion) != platform::Answer::Yes) return false;
  for (TViewerWindow* viewer : viewers) DisposeOfViewer(viewer);
  return true;
}

}  // namespace fretfile
