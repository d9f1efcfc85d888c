// File > Find in Lyrics...: the small dialog that asks for the words to
// look for in the lyrics index (index/lyrics_query.h).
#pragma once

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <functional>
#include <optional>
#include <string>

namespace fretfile {

class TLyricsDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TLyricsDialog(QWidget* parent = nullptr);
  QLabel* Prompt = nullptr;
  QLineEdit* Query = nullptr;
  QDialogButtonBox* Buttons = nullptr;
};

// Shows the dialog with the last query in its box; the query (UTF-8) when
// the user presses OK with words in the box, nothing when cancelled.
std::optional<std::string> AskLyricsQuery(QWidget* parent, const std::string& lastQuery);

// Tests answer the dialog without running it: the responder gets the real,
// filled-in dialog and returns its result (QDialog::Accepted or Rejected),
// as exec() would. An empty responder restores exec().
using LyricsDialogResponder = std::function<int(TLyricsDialog&)>;
void SetLyricsDialogResponder(LyricsDialogResponder responder);

}  // namespace fretfile
