// A main window over a temporary collection, for the tests of opening hits
// and of the viewer windows: archives are built into the folder, a grid row
// is filled as a search would fill it, and the dialogs are recorded.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "support/config_home.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "ui/dialog_recorder.h"
#include "ui/form_main.h"
#include "ui/viewer_window.h"
#include "update/component/zip_updater.h"

namespace testing_support {

class OpenFixture : public ::testing::Test {
 protected:
  void SetUp() override { MakeForm(); }

  void MakeForm() {
    form = std::make_unique<fretfile::TFormMain>(dir.path());
    UseTheBuiltLibrary();
    form->show();
  }

  // A save stores through the compression library the build made.
  void UseTheBuiltLibrary() { form->ZipUpdater->SetDLLDirectory(FRETFILE_ZIPPACK_DIR); }

  // One grid row as the search shows it, selected.
  void SelectRow(const std::string& artist, const std::string& song) {
    auto& cells = form->StringGrid->Cells();
    cells.SetRowCount(2);
    cells.SetCell(0, 1, artist);
    cells.SetCell(1, 1, song);
    form->StringGrid->Model()->Refresh();
    form->StringGrid->SetRow(1);
  }

  void Open(const std::string& artist, const std::string& song) {
    SelectRow(artist, song);
    form->DBGrid1DblClick();
  }

  fretfile::TViewerWindow* Viewer(int n) const {
    return qobject_cast<fretfile::TViewerWindow*>(form->FindComponent(QStringLiteral("Form%1").arg(n)));
  }

  std::string MemoText(int n) const {
    auto* viewer = Viewer(n);
    return viewer != nullptr && viewer->Memo != nullptr ? viewer->Memo->TextBytes() : std::string("<no viewer>");
  }

  // Lets windows disposed of with deleteLater go.
  static void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

  ConfigHome config;  // first: the window may read the configuration
  TempDir dir;
  DialogRecorder dialogs;
  std::unique_ptr<fretfile::TFormMain> form;
};

}  // namespace testing_support
