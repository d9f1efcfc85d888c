// File > Find in Lyrics...: the songs whose words match a query fill the
// grid as a search's hits do, and a hit opened in a viewer shows its first
// matching line selected.
#include "index/lyrics_query.h"
#include "index/search.h"
#include "platform/gui/dialogs.h"
#include "ui/form_main.h"
#include "ui/lyrics_dialog.h"
#include "ui/viewer_window.h"
#include "ui/wait_cursor.h"

namespace fretfile {

void TFormMain::FindInLyrics1Click() {
  // Refused as a search is while another search or a rebuild runs.
  if (searchRunning_ || RebuildRunning()) return;
  if (!CollectionChosen()) return;
  if (!LyricsIndexExists(AppDir_)) {
    platform::ShowMessage(kNoLyricsIndexMessage);
    return;
  }
  const std::optional<std::string> query = AskLyricsQuery(this, lastLyricsQuery_);
  if (!query) return;
  lastLyricsQuery_ = *query;

  std::vector<LyricsHit> hits;
  {
    const ApplicationWaitCursor waitCursor;
    try {
      hits = FindLyrics(AppDir_, *query);
    } catch (const LyricsQueryError& error) {
      platform::ShowMessage(error.what());
      return;
    }
  }
  StringGrid->Model()->BeginReset();
  FillGridWithLyricsHits(hits, StringGrid->Cells());
  StringGrid->Model()->EndReset();
  StringGrid->SetRow(1);
  SetStatusText(QString::fromStdString(SearchStatusText(hits.size())));
  lyricsHits_ = std::move(hits);
}

void TFormMain::ShowLyricsLine(TViewerWindow& viewer, int row, const std::string& artist, const std::string& song) {
  // The grid holds the lyrics hits only until a search fills it again;
  // the row's texts tell.
  if (row < 1 || static_cast<size_t>(row) > lyricsHits_.size()) return;
  const LyricsHit& hit = lyricsHits_[static_cast<size_t>(row) - 1];
  if (hit.artist != artist || hit.title != song || hit.line < 0 || viewer.Memo == nullptr) return;
  viewer.Memo->SelectLine(hit.line);
}

}  // namespace fretfile
