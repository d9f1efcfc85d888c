#include "index/lyrics_query.h"

#include <QString>
#include <filesystem>

#include "index/collection.h"
#include "index/lyrics_database.h"
#include "index/search.h"

namespace fretfile {
namespace {

// What highlight() puts around each matching word of the text; characters
// no song text shows.
constexpr char kMarkOpen = '\x01';
constexpr char kMarkClose = '\x02';

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// Whether the term holds a character the tokenizer keeps (a letter or a
// digit); one without any matches nothing and is left out.
bool HasWordCharacter(std::string_view term) {
  const QString text = QString::fromUtf8(term.data(), static_cast<qsizetype>(term.size()));
  for (const QChar c : text) {
    if (c.isLetterOrNumber() || c.isSurrogate()) return true;
  }
  return false;
}

// The first line holding a mark, counted from 0, and its text without marks.
void FindMarkedLine(std::string_view highlighted, LyricsHit& hit) {
  const size_t mark = highlighted.find(kMarkOpen);
  if (mark == std::string_view::npos) return;
  hit.line = 0;
  for (size_t i = 0; i < mark; ++i) hit.line += highlighted[i] == '\n' ? 1 : 0;
  const size_t previous = highlighted.rfind('\n', mark);
  const size_t start = previous == std::string_view::npos ? 0 : previous + 1;
  const size_t end = std::min(highlighted.find('\n', mark), highlighted.size());
  for (const char c : highlighted.substr(start, end - start)) {
    if (c != kMarkOpen && c != kMarkClose) hit.lineText.push_back(c);
  }
}

}  // namespace

std::string ToFtsQuery(std::string_view query) {
  std::string fts;
  size_t i = 0;
  while (i < query.size()) {
    if (IsSpace(query[i])) {
      ++i;
      continue;
    }
    std::string_view term;
    bool prefix = false;
    if (query[i] == '"') {
      const size_t close = query.find('"', i + 1);
      if (close == std::string_view::npos) throw LyricsQueryError("The query has a quote that is not closed.");
      term = query.substr(i + 1, close - i - 1);
      i = close + 1;
      if (i < query.size() && query[i] == '*') {
        prefix = true;
        ++i;
      }
    } else {
      const size_t start = i;
      while (i < query.size() && !IsSpace(query[i]) && query[i] != '"') ++i;
      term = query.substr(start, i - start);
      while (!term.empty() && term.back() == '*') {
        prefix = true;
        term.remove_suffix(1);
      }
      if (term.empty()) throw LyricsQueryError("A \"*\" must end a word, as in love*.");
    }
    if (!HasWordCharacter(term)) continue;
    if (!fts.empty()) fts.push_back(' ');
    fts.push_back('"');
    fts.append(term);
    fts.push_back('"');
    if (prefix) fts.push_back('*');
  }
  if (fts.empty()) throw LyricsQueryError("The query has no word to look for.");
  return fts;
}

bool LyricsIndexExists(const std::string& appDir) {
  std::error_code error;
  return std::filesystem::is_regular_file(LyricsPathOf(appDir), error);
}

std::vector<LyricsHit> FindLyrics(const std::string& appDir, std::string_view query, size_t limit) {
  const std::string fts = ToFtsQuery(query);
  if (!LyricsIndexExists(appDir)) throw LyricsError(kNoLyricsIndexMessage);
  LyricsDatabase db(LyricsPathOf(appDir), LyricsDatabase::Mode::Read);
  // The full-text table drives the join: each hit's song by its rowid.
  LyricsStatement select(db,
                         "SELECT songs.artist, songs.title, highlight(lyrics, 2, char(1), char(2))"
                         " FROM lyrics CROSS JOIN songs ON songs.id = lyrics.rowid"
                         " WHERE lyrics MATCH ? ORDER BY lyrics.rank LIMIT ?");
  select.BindText(0, fts).Bind(1, limit == 0 ? -1 : static_cast<int64_t>(limit));
  std::vector<LyricsHit> hits;
  while (select.Step()) {
    LyricsHit hit;
    hit.artist = select.Bytes(0);
    hit.title = select.Bytes(1);
    FindMarkedLine(select.Bytes(2), hit);
    hits.push_back(std::move(hit));
  }
  return hits;
}

void FillGridWithLyricsHits(const std::vector<LyricsHit>& hits, StringGridCells& grid) {
  grid.ClearCells();
  grid.SetRowCount(static_cast<int>(std::max<size_t>(hits.size() + 1, 2)));
  WriteGridHeaders(grid);
  int row = 1;
  for (const LyricsHit& hit : hits) {
    grid.SetCell(0, row, hit.artist);
    grid.SetCell(1, row, hit.title);
    ++row;
  }
}

}  // namespace fretfile
