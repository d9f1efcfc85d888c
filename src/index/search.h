// Matching index lines against a query of artist and song title.
//
// A line "artist<>entry" splits at its first "<>"; the title is the entry up
// to its first "." and the extension the rest. Letters compare without case
// for ASCII a-z only: no locale, so accented letters compare exactly.
//
// The index keeps every name's bytes as its archive holds them: an entry's
// name in UTF-8, CP437 or Windows-1252, an artist in the file system's
// UTF-8. The query is what the user typed, in UTF-8. A name is matched as it
// is shown (archive/display_name.h): a name with bytes from 0x80 up is read
// by the display rule first, so "Björk" finds the CP437 name "Bj\x94rk".
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "index/index_file.h"
#include "index/string_grid_cells.h"

namespace fretfile {

inline constexpr size_t kMaxEntryLength = 255;

struct SearchQuery {
  std::string artist;
  std::string song;
  bool exactArtist = false;
  bool exactSong = false;
};

struct IndexLineFields {
  std::string_view artist;
  std::string_view entry;      // at most 255 characters
  std::string_view title;      // entry up to its first "."
  std::string_view extension;  // entry after its first "." (empty without one)
  // What the grid shows in column 1: title "." extension, which is the
  // entry itself; an entry without "." is shown unchanged.
  std::string_view shownEntry() const { return entry; }
};

IndexLineFields SplitIndexLine(std::string_view line);

// A query prepared for matching many lines: its texts upper-cased once.
// A line is matched as the user sees it: artist and title through the
// display rule of names (the encoding of the title is the one of the whole
// entry the grid shows).
class PreparedQuery {
 public:
  explicit PreparedQuery(const SearchQuery& query);
  bool Matches(const IndexLineFields& fields) const;

 private:
  std::string artist_;
  std::string song_;
  bool exactArtist_;
  bool exactSong_;
};

// ASCII-only upper case of one byte / of a text.
inline unsigned char AsciiUpper(unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c; }
std::string AsciiUpper(std::string_view text);
bool EqualsIgnoringAsciiCase(std::string_view text, std::string_view upperQuery);
bool ContainsIgnoringAsciiCase(std::string_view text, std::string_view upperQuery);

// Runs a search over a loaded index into the grid: resets the grid (every
// cell emptied, two rows, the headers), then one row per hit in file order.
// `between` runs before each line; it returns true when the query may have
// changed (the event loop ran), and then `currentQuery` is asked again, so
// text typed during a search applies to the lines still to come.
// Returns the number of hits.
struct SearchCallbacks {
  std::function<bool()> between;
  std::function<SearchQuery()> currentQuery;
};
size_t FillGridWithHits(const IndexText& index, StringGridCells& grid, const SearchQuery& query,
                        const SearchCallbacks& callbacks = {});

// The grid's header row.
void WriteGridHeaders(StringGridCells& grid);

// "The query returned N results"
std::string SearchStatusText(size_t hits);

}  // namespace fretfile
