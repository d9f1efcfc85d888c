// The search: Enter in a query box or the Search button.
#include <filesystem>
#include <optional>

#include "index/search.h"
#include "platform/gui/dialogs.h"
#include "platform/message_pump.h"
#include "ui/form_main.h"
#include "ui/wait_cursor.h"

namespace fretfile {
namespace {

// Clears a flag on every way out of the search.
class RunningFlag {
 public:
  explicit RunningFlag(bool& flag) : flag_(flag) { flag_ = true; }
  ~RunningFlag() { flag_ = false; }
  RunningFlag(const RunningFlag&) = delete;
  RunningFlag& operator=(const RunningFlag&) = delete;

 private:
  bool& flag_;
};

}  // namespace

void TFormMain::EnableButtons(bool enabled) {
  Searchbutton->setEnabled(enabled);
  indexbutton->setEnabled(enabled);
  Exitbutton->setEnabled(enabled);
}

void TFormMain::SearchButtonClick() {
  // Enter in a query box reaches here whatever the buttons' state: a search
  // asked for while one runs, or while a rebuild asks or writes, is refused.
  if (searchRunning_ || RebuildRunning()) return;

  const std::string path = AppDir_ + kIndexFileName;
  std::error_code missing;
  if (!std::filesystem::exists(path, missing)) {
    platform::ShowMessage("No index file exists.");
    return;
  }

  RunningFlag running(searchRunning_);
  // The buttons come back on every way out, a failed load included.
  struct ButtonsBack {
    TFormMain* form;
    ~ButtonsBack() { form->EnableButtons(true); }
  };
  std::optional<ButtonsBack> buttonsBack;
  {
    ApplicationWaitCursor waitCursor;
    EnableButtons(false);
    buttonsBack.emplace(ButtonsBack{this});

    const IndexText index = IndexText::Load(path);

    StringGridCells& cells = StringGrid->Cells();
    cells.ClearCells();
    cells.SetRowCount(2);
    WriteGridHeaders(cells);
    StringGrid->Model()->Refresh();
    StringGrid->repaint();
    StringGrid->setUpdatesEnabled(false);
    struct PaintingBack {
      StringGridView* grid;
      ~PaintingBack() { grid->setUpdatesEnabled(true); }
    } paintingBack{StringGrid};

    const auto readQuery = [this] {
      return SearchQuery{ToBytes(Artistname->text()), ToBytes(Songname->text()), ExactArt->isChecked(),
                         ExactSong->isChecked()};
    };
    // The event loop runs between lines (at most every 10 ms), so the window
    // stays responsive; the model is told of the rows only at the end.
    StringGrid->Model()->BeginReset();
    size_t hits = 0;
    try {
      hits = FillGridWithHits(index, cells, readQuery(),
                              SearchCallbacks{[] { return platform::ProcessMessages(); }, readQuery});
    } catch (...) {
      StringGrid->Model()->EndReset();
      throw;
    }
    StringGrid->Model()->EndReset();
    if (StringGrid->Cells().RowCount() > 1) StringGrid->SetRow(1);
    SetStatusText(QString::fromStdString(SearchStatusText(hits)));
  }
}

}  // namespace fretfile
