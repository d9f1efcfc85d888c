// Finding songs by their words in kest.lyrics (lyrics_database.h).
//
// A query is words, all of which must occur (in the artist, the title or
// the text), in any order; a word ending in "*" matches as a prefix; text
// in double quotes is a phrase, its words in that order. Case and accents
// do not matter. Hits come best first by FTS5's bm25 ranking.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "index/string_grid_cells.h"

namespace fretfile {

inline constexpr const char* kNoLyricsIndexMessage = "No lyrics index exists. Rebuild the index first.";

// A query that breaks the rules; what() says what is wrong.
class LyricsQueryError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The query in the full-text engine's syntax: every word and phrase quoted
// (so "and", "or", "near" and punctuation are words like any other), a
// prefix marked. Throws LyricsQueryError for an empty query, one without a
// letter or digit, an unclosed quote or a "*" that follows no word.
std::string ToFtsQuery(std::string_view query);

struct LyricsHit {
  std::string artist;  // the grid's cells: the names' bytes, "_" read as space
  std::string title;
  int line = -1;         // the first line of the text that matches (from 0), or -1 (a match in the names only)
  std::string lineText;  // that line, in UTF-8
};

// The hits of the query in appDir's kest.lyrics, best first; at most
// `limit` of them (0: all). Throws LyricsQueryError for a bad query, and
// LyricsError (lyrics_database.h) when there is no index or it cannot be
// read; check LyricsIndexExists first to tell the user how to make one.
bool LyricsIndexExists(const std::string& appDir);
std::vector<LyricsHit> FindLyrics(const std::string& appDir, std::string_view query, size_t limit = 0);

// The hits into the grid as a search fills it: the headers, then one row
// per hit (artist, song title), at least two rows.
void FillGridWithLyricsHits(const std::vector<LyricsHit>& hits, StringGridCells& grid);

}  // namespace fretfile
