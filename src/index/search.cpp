#include "index/search.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "archive/display_name.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

namespace {

// Whether a name, as the user sees it, equals or contains an upper-cased
// query. Plain ASCII is compared as it is; a name with other bytes is read
// in the encoding the display rule gives `shownAs` (the name itself, or the
// whole entry a title is part of) first.
bool NameMatches(std::string_view name, std::string_view shownAs, bool exact, const std::string& upperQuery) {
  if (!exact && upperQuery.empty()) return true;
  if (!archive::HasHighByte(name)) {
    return exact ? EqualsIgnoringAsciiCase(name, upperQuery) : ContainsIgnoringAsciiCase(name, upperQuery);
  }
  const std::string shown = archive::NameToUtf8(name, archive::NameEncodingOf(shownAs));
  return exact ? EqualsIgnoringAsciiCase(shown, upperQuery) : ContainsIgnoringAsciiCase(shown, upperQuery);
}

}  // namespace

bool PreparedQuery::Matches(const IndexLineFields& fields) const {
  return NameMatches(fields.artist, fields.artist, exactArtist_, artist_) &&
         NameMatches(fields.title, fields.shownEntry(), exactSong_, song_);
}

void WriteGridHeaders(StringGridCells& grid) {
  grid.SetCell(0, 0, "Artist Name");
  grid.SetCell(1, 0, "Song Title");
}

namespace {

// ---------------------------------------------------------------------------
// Scanning the index text
//
// A search with a query text (an artist or a title to contain or to equal)
// can only hit lines that hold that text somewhere, in any case. So rather
// than splitting every line, the whole text is scanned for the query text,
// sixteen bytes at a time, and only the lines where it turns up are split
// and matched. Of the two texts the scan takes the one that turns up less
// often in a sample of the index.

constexpr size_t kStretch = 64 * 1024;  // the scan's step between callbacks
constexpr size_t kSample = 256 * 1024;  // the sample that decides the scan's text

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// The first CR or LF in [p, end), or end.
const char* FindLineEnd(const char* p, const char* end) {
#ifdef __SSE2__
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  for (; end - p >= 16; p += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int ends = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
    if (ends != 0) return p + __builtin_ctz(static_cast<unsigned>(ends));
  }
#endif
  while (p < end && !IsLineEnd(*p)) ++p;
  return p;
}

// The first byte from 0x80 up in [p, end), or end.
const char* FindHighByte(const char* p, const char* end) {
#ifdef __SSE2__
  for (; end - p >= 16; p += 16) {
    const int high = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    if (high != 0) return p + __builtin_ctz(static_cast<unsigned>(high));
  }
#endif
  while (p < end && static_cast<unsigned char>(*p) < 0x80) ++p;
  return p;
}

const char* FoundOr(const char* found, const char* otherwise) { return found != nullptr ? found : otherwise; }

// Past the line ending (CR LF, CR or LF) at `lineEnd`.
const char* SkipLineEnding(const char* lineEnd, const char* end) {
  if (lineEnd == end) return end;
  return lineEnd + ((*lineEnd == '\r' && lineEnd + 1 < end && lineEnd[1] == '\n') ? 2 : 1);
}

// Where the line holding p starts: after the last CR or LF before p, but
// not before `floor` (a line start).
const char* LineStartOf(const char* p, const char* floor) {
  while (p > floor && !IsLineEnd(p[-1])) --p;
  return p;
}

// An upper-cased query text, found in any ASCII case.
class TextFinder {
 public:
  explicit TextFinder(std::string upper) : upper_(std::move(upper)) {}

  size_t size() const { return upper_.size(); }

  // The first place in [p, end) where the text starts, or nullptr.
  const char* Find(const char* p, const char* end) const {
    const size_t n = upper_.size();
    if (n == 0 || static_cast<size_t>(end - p) < n) return nullptr;
    const char* const last = end - n;  // the last possible start
#ifdef __SSE2__
    // Sixteen starts at a time: the first and the last byte of the text,
    // each in either case, must both be there.
    const unsigned char first = static_cast<unsigned char>(upper_.front());
    const unsigned char final = static_cast<unsigned char>(upper_.back());
    const __m128i firstUpper = _mm_set1_epi8(static_cast<char>(first));
    const __m128i firstLower = _mm_set1_epi8(static_cast<char>(LowerOf(first)));
    const __m128i finalUpper = _mm_set1_epi8(static_cast<char>(final));
    const __m128i finalLower = _mm_set1_epi8(static_cast<char>(LowerOf(final)));
    for (; last - p >= 15; p += 16) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n - 1));
      const __m128i firstOk = _mm_or_si128(_mm_cmpeq_epi8(a, firstUpper), _mm_cmpeq_epi8(a, firstLower));
      const __m128i finalOk = _mm_or_si128(_mm_cmpeq_epi8(b, finalUpper), _mm_cmpeq_epi8(b, finalLower));
      unsigned candidates = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(firstOk, finalOk)));
      while (candidates != 0) {
        const char* const at = p + __builtin_ctz(candidates);
        if (EqualsIgnoringAsciiCase(std::string_view(at, n), upper_)) return at;
        candidates &= candidates - 1;
      }
    }
#endif
    for (; p <= last; ++p) {
      if (EqualsIgnoringAsciiCase(std::string_view(p, n), upper_)) return p;
    }
    return nullptr;
  }

  // How often the text turns up in [p, end).
  size_t Count(const char* p, const char* end) const {
    size_t count = 0;
    while ((p = Find(p, end)) != nullptr) {
      ++count;
      ++p;
    }
    return count;
  }

 private:
  static unsigned char LowerOf(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }
  std::string upper_;
};

// The query text the scan looks for: the rarer of the two in a sample of
// the text (the longer on a tie), or none when both are empty.
std::optional<TextFinder> ScanTextFor(const SearchQuery& query, const char* begin, const char* end) {
  std::optional<TextFinder> artist, song;
  if (!query.artist.empty()) artist.emplace(AsciiUpper(query.artist));
  if (!query.song.empty()) song.emplace(AsciiUpper(query.song));
  if (!artist || !song) return artist ? artist : song;
  const char* const sampleEnd = begin + std::min<size_t>(kSample, static_cast<size_t>(end - begin));
  const size_t artistCount = artist->Count(begin, sampleEnd);
  const size_t songCount = song->Count(begin, sampleEnd);
  if (artistCount != songCount) return artistCount < songCount ? artist : song;
  return artist->size() >= song->size() ? artist : song;
}

// Fills the grid's rows as the search finds its hits.
class HitRows {
 public:
  HitRows(StringGridCells& grid, const std::shared_ptr<const std::string>& bytes) : grid_(grid), bytes_(bytes) {}

  void Add(const IndexLineFields& fields) {
    const int row = static_cast<int>(hits_ + 1);
    if (row + 1 > grid_.RowCount()) grid_.SetRowCount(row + 1);
    grid_.SetCellView(0, row, fields.artist, bytes_);
    grid_.SetCellView(1, row, fields.shownEntry(), bytes_);
    ++hits_;
  }
  size_t hits() const { return hits_; }

 private:
  StringGridCells& grid_;
  const std::shared_ptr<const std::string>& bytes_;
  size_t hits_ = 0;
};

}  // namespace

size_t FillGridWithHits(const IndexText& index, StringGridCells& grid, const SearchQuery& query,
                        const SearchCallbacks& callbacks) {
  grid.ClearCells();
  grid.SetRowCount(2);
  WriteGridHeaders(grid);

  const auto& bytes = index.Bytes();
  const char* const begin = bytes->data();
  const char* const end = begin + bytes->size();
  HitRows rows(grid, bytes);
  PreparedQuery prepared(query);
  std::optional<TextFinder> scan = ScanTextFor(query, begin, end);
  // Lets the caller run between lines; the query is read again when it may
  // have changed.
  auto between = [&] {
    if (!callbacks.between || !callbacks.between() || !callbacks.currentQuery) return;
    const SearchQuery current = callbacks.currentQuery();
    prepared = PreparedQuery(current);
    scan = ScanTextFor(current, begin, end);
  };

  const char* line = begin;  // always the start of a line
  while (line < end) {
    between();  // before every line, or every stretch of lines that are scanned
    if (!scan) {
      // Nothing to look for: every line is split and matched, one by one.
      const char* const lineEnd = FindLineEnd(line, end);
      const IndexLineFields fields = SplitIndexLine(std::string_view(line, static_cast<size_t>(lineEnd - line)));
      if (prepared.Matches(fields)) rows.Add(fields);
      line = SkipLineEnding(lineEnd, end);
      continue;
    }
    // A stretch of whole lines, scanned for the query text; only the lines
    // that hold it are split and matched.
    const char* const stretchEnd =
        SkipLineEnding(FindLineEnd(line + std::min<size_t>(kStretch, static_cast<size_t>(end - line)), end), end);
    // A line with bytes from 0x80 up may show the text without holding its
    // bytes (a name in CP437, say), so it is matched as well. Each search
    // runs on from where it found its last place, once that line is done.
    const char* text = FoundOr(scan->Find(line, stretchEnd), stretchEnd);
    const char* high = FindHighByte(line, stretchEnd);
    for (;;) {
      const char* const at = std::min(text, high);
      if (at == stretchEnd) break;
      const char* const start = LineStartOf(at, line);
      const char* const lineEnd = FindLineEnd(at, stretchEnd);
      const IndexLineFields fields = SplitIndexLine(std::string_view(start, static_cast<size_t>(lineEnd - start)));
      if (prepared.Matches(fields)) rows.Add(fields);
      line = SkipLineEnding(lineEnd, stretchEnd);
      if (text < line) text = FoundOr(scan->Find(line, stretchEnd), stretchEnd);
      if (high < line) high = FindHighByte(line, stretchEnd);
    }
    line = stretchEnd;
  }
  grid.SetRowCount(static_cast<int>(rows.hits() + 1 < 2 ? 2 : rows.hits() + 1));
  return rows.hits();
}

std::string SearchStatusText(size_t hits) { return "The query returned " + std::to_string(hits) + " results"; }

}  // namespace fretfile
