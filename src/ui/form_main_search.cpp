// The search: Enter in a query box or the Search button.
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <filesystem>

#include "index/collection.h"
#include "index/search.h"
#include "platform/gui/dialogs.h"
#include "platform/ui_contracts/message_pump.h"
#include "ui/form_main.h"
#include "ui/wait_cursor.h"

namespace fretfile {

void TFormMain::EnableButtons(bool enabled) {
  Searchbutton->setEnabled(enabled);
  indexbutton->setEnabled(enabled);
  Exitbutton->setEnabled(enabled);
  // The menu's Exit ends the program as the button does, so it goes with it;
  // the collection cannot change under a search or a rebuild.
  Exit1->setEnabled(enabled);
  ChooseCollectionFolder1->setEnabled(enabled);
}

void TFormMain::SearchButtonClick() {
  // Enter in a query box reaches here whatever the buttons' state: a search
  // asked for while one runs, or while a rebuild asks or writes, is refused.
  if (searchRunning_ || RebuildRunning()) return;
  if (!CollectionChosen()) return;

  const std::string path = IndexPathOf(AppDir_);
  std::error_code missing;
  if (!std::filesystem::exists(path, missing)) {
    platform::ShowMessage("No index file exists.");
    return;
  }

  // Cleared on every way out of the search.
  const QScopedValueRollback<bool> running(searchRunning_, true);
  // Declared first, so it runs last: the buttons come back after the cursor,
  // on every way out, a failed load included.
  const auto buttonsBack = qScopeGuard([this] { EnableButtons(true); });
  const ApplicationWaitCursor waitCursor;
  EnableButtons(false);

  const IndexText index = IndexText::Load(path);
  lyricsHits_.clear();  // the grid's rows are this search's from now on

  StringGridCells& cells = StringGrid->Cells();
  cells.ClearCells();
  cells.SetRowCount(2);
  WriteGridHeaders(cells);
  StringGrid->Model()->Refresh();
  StringGrid->repaint();

  size_t hits = 0;
  {
    // The event loop runs between lines (at most every 10 ms), so the window
    // stays responsive; the grid is not painted, and the model announces
    // the rows only at the end.
    StringGrid->setUpdatesEnabled(false);
    StringGrid->Model()->BeginReset();
    const auto paintingBack = qScopeGuard([this] {
      StringGrid->Model()->EndReset();
      StringGrid->setUpdatesEnabled(true);
    });
    const auto readQuery = [this] {
      return SearchQuery{ToBytes(Artistname->text()), ToBytes(Songname->text()), ExactArt->isChecked(),
                         ExactSong->isChecked()};
    };
    hits = FillGridWithHits(index, cells, readQuery(),
                            SearchCallbacks{[] { return platform::ProcessMessages(); }, readQuery});
  }
  StringGrid->SetRow(1);
  SetStatusText(QString::fromStdString(SearchStatusText(hits)));
}

}  // namespace fretfile
