#include "index/search.h"

#include <algorithm>
#include <cstring>

namespace fretfile {

std::string AsciiUpper(std::string_view text) {
  std::string upper(text);
  for (auto& c : upper) c = static_cast<char>(AsciiUpper(static_cast<unsigned char>(c)));
  return upper;
}

bool EqualsIgnoringAsciiCase(std::string_view text, std::string_view upperQuery) {
  if (text.size() != upperQuery.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (AsciiUpper(static_cast<unsigned char>(text[i])) != static_cast<unsigned char>(upperQuery[i])) return false;
  }
  return true;
}

bool ContainsIgnoringAsciiCase(std::string_view text, std::string_view upperQuery) {
  if (upperQuery.empty() || upperQuery.size() > text.size()) return false;
  const unsigned char first = static_cast<unsigned char>(upperQuery[0]);
  const unsigned char firstLower = first >= 'A' && first <= 'Z' ? static_cast<unsigned char>(first + 32) : first;
  const size_t last = text.size() - upperQuery.size();
  for (size_t i = 0; i <= last; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c != first && c != firstLower) continue;
    if (EqualsIgnoringAsciiCase(text.substr(i, upperQuery.size()), upperQuery)) return true;
  }
  return false;
}

IndexLineFields SplitIndexLine(std::string_view line) {
  IndexLineFields fields;
  const size_t separator = line.find(kIndexSeparator);
  size_t entryStart;
  if (separator == std::string_view::npos) {
    // No "<>": the artist is empty and the entry starts at the second character.
    entryStart = std::min<size_t>(1, line.size());
  } else {
    fields.artist = line.substr(0, separator);
    entryStart = separator + kIndexSeparator.size();
  }
  fields.entry = line.substr(entryStart, kMaxEntryLength);
  const size_t dot = fields.entry.find('.');
  fields.title = fields.entry.substr(0, dot);
  if (dot != std::string_view::npos) fields.extension = fields.entry.substr(dot + 1);
  return fields;
}

PreparedQuery::PreparedQuery(const SearchQuery& query)
    : artist_(AsciiUpper(query.artist)),
      song_(AsciiUpper(query.song)),
      exactArtist_(query.exactArtist),
      exactSong_(query.exactSong) {}

bool PreparedQuery::Matches(const IndexLineFields& fields) const {
  const bool artistOk = exactArtist_ ? EqualsIgnoringAsciiCase(fields.artist, artist_)
                                     : artist_.empty() || ContainsIgnoringAsciiCase(fields.artist, artist_);
  if (!artistOk) return false;
  return exactSong_ ? EqualsIgnoringAsciiCase(fields.title, song_)
                    : song_.empty() || ContainsIgnoringAsciiCase(fields.title, song_);
}

void WriteGridHeaders(StringGridCells& grid) {
  grid.SetCell(0, 0, "Artist Name");
  grid.SetCell(1, 0, "Song Title");
}

size_t FillGridWithHits(const IndexText& index, StringGridCells& grid, const SearchQuery& query,
                        const SearchCallbacks& callbacks) {
  grid.ClearCells();
  grid.SetRowCount(2);
  WriteGridHeaders(grid);

  PreparedQuery prepared(query);
  const auto& bytes = index.Bytes();
  size_t hits = 0;
  for (size_t i = 0; i < index.LineCount(); ++i) {
    if (callbacks.between && callbacks.between() && callbacks.currentQuery) {
      prepared = PreparedQuery(callbacks.currentQuery());
    }
    const IndexLineFields fields = SplitIndexLine(index.LineAt(i));
    if (!prepared.Matches(fields)) continue;
    const int row = static_cast<int>(hits + 1);
    if (row + 1 > grid.RowCount()) {
      grid.SetRowCount(row + 1);
    }
    grid.SetCellView(0, row, fields.artist, bytes);
    grid.SetCellView(1, row, fields.shownEntry(), bytes);
    ++hits;
  }
  grid.SetRowCount(static_cast<int>(hits + 1 < 2 ? 2 : hits + 1));
  return hits;
}

std::string SearchStatusText(size_t hits) { return "The query returned " + std::to_string(hits) + " results"; }

}  // namespace fretfile
