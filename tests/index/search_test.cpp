#include "index/search.h"

#include <gtest/gtest.h>

#include <random>

using fretfile::FillGridWithHits;
using fretfile::IndexText;
using fretfile::SearchQuery;
using fretfile::SplitIndexLine;
using fretfile::StringGridCells;

namespace {

struct Row {
  std::string artist, song;
  bool operator==(const Row&) const = default;
};

std::vector<Row> Search(const std::string& index, const SearchQuery& query, int* rowCount = nullptr) {
  StringGridCells grid;
  const size_t hits = FillGridWithHits(IndexText::FromBytes(index), grid, query);
  std::vector<Row> rows;
  for (size_t r = 1; r <= hits; ++r) {
    rows.push_back({std::string(grid.Cell(0, static_cast<int>(r))), std::string(grid.Cell(1, static_cast<int>(r)))});
  }
  if (rowCount != nullptr) *rowCount = grid.RowCount();
  return rows;
}

const std::string kIndex =
    "Some Band<>First Song.txt\r\n"
    "Some Band<>live/Second Song.txt\r\n"
    "Dr. Hook<>First Song.txt\r\n"
    "Other<>Mr. Jones.txt\r\n"
    "Bandit<>Run.mp3\r\n";

}  // namespace

TEST(SplitIndexLine, SplitsAtTheFirstSeparatorAndTheEntrysFirstDot) {
  auto f = SplitIndexLine("Dr. Hook<>Mr. Jones.txt");
  EXPECT_EQ(f.artist, "Dr. Hook");
  EXPECT_EQ(f.entry, "Mr. Jones.txt");
  EXPECT_EQ(f.title, "Mr");
  EXPECT_EQ(f.extension, " Jones.txt");
  f = SplitIndexLine("a<>b<>c.d");
  EXPECT_EQ(f.artist, "a");
  EXPECT_EQ(f.title, "b<>c");
}

TEST(SplitIndexLine, ALineWithoutSeparatorHasAnEmptyArtistAndLosesItsFirstCharacter) {
  auto f = SplitIndexLine("xSong.txt");
  EXPECT_EQ(f.artist, "");
  EXPECT_EQ(f.entry, "Song.txt");
  f = SplitIndexLine("<>only.txt");
  EXPECT_EQ(f.artist, "");
  EXPECT_EQ(f.entry, "only.txt");
  EXPECT_EQ(SplitIndexLine("").entry, "");
}

TEST(SplitIndexLine, EntryIsCutTo255CharactersAndMayHaveNoDot) {
  const std::string longName(300, 'x');
  auto f = SplitIndexLine("A<>" + longName + ".txt");
  EXPECT_EQ(f.entry.size(), 255u);
  EXPECT_EQ(f.title.size(), 255u);
  EXPECT_EQ(f.extension, "");
  f = SplitIndexLine("A<>README");
  EXPECT_EQ(f.title, "README");
  EXPECT_EQ(f.extension, "");
  EXPECT_EQ(f.shownEntry(), "README");
}

TEST(Search, BothBoxesEmptyListEveryLineInFileOrder) {
  int rows = 0;
  const auto hits = Search(kIndex, {}, &rows);
  ASSERT_EQ(hits.size(), 5u);
  EXPECT_EQ(rows, 6);
  EXPECT_EQ(hits[0], (Row{"Some Band", "First Song.txt"}));
  EXPECT_EQ(hits[1], (Row{"Some Band", "live/Second Song.txt"}));
  EXPECT_EQ(hits[4], (Row{"Bandit", "Run.mp3"}));
}

TEST(Search, NoHitsLeaveTheHeaderAndOneEmptyRow) {
  StringGridCells grid;
  EXPECT_EQ(FillGridWithHits(IndexText::FromBytes(kIndex), grid, {"nobody", "", false, false}), 0u);
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_EQ(grid.Cell(0, 0), "Artist Name");
  EXPECT_EQ(grid.Cell(1, 0), "Song Title");
  EXPECT_EQ(grid.Cell(0, 1), "");
}

TEST(Search, PartialArtistIgnoresAsciiCaseExactNeedsTheWholeName) {
  EXPECT_EQ(Search(kIndex, {"band", "", false, false}).size(), 3u);
  EXPECT_TRUE(Search(kIndex, {"band", "", true, false}).empty());
  EXPECT_EQ(Search(kIndex, {"some band", "", true, false}).size(), 2u);
  EXPECT_TRUE(Search(kIndex, {"Some_Band", "", false, false}).empty());
}

TEST(Search, TitleIsTheEntryBeforeItsFirstDot) {
  EXPECT_EQ(Search(kIndex, {"", "Mr", false, true}), (std::vector<Row>{{"Other", "Mr. Jones.txt"}}));
  EXPECT_TRUE(Search(kIndex, {"", "Mr. Jones", false, true}).empty());
  EXPECT_TRUE(Search(kIndex, {"", "Jones", false, false}).empty());
  EXPECT_EQ(Search(kIndex, {"", "first song", false, true}).size(), 2u);
  // A title query never looks at the extension.
  EXPECT_TRUE(Search(kIndex, {"", "txt", false, false}).size() == 0u);
}

TEST(Search, CombinedRulesOfTheTwoBoxes) {
  EXPECT_EQ(Search(kIndex, {"hook", "first", false, false}), (std::vector<Row>{{"Dr. Hook", "First Song.txt"}}));
  EXPECT_EQ(Search(kIndex, {"", "First Song", false, true}).size(), 2u);
  EXPECT_EQ(Search(kIndex, {"Some", "First Song", false, true}).size(), 1u);
  EXPECT_EQ(Search(kIndex, {"Some Band", "", true, false}).size(), 2u);
  EXPECT_EQ(Search(kIndex, {"Some Band", "second", true, false}).size(), 1u);
  // An exact test against an empty box asks for an empty name.
  EXPECT_TRUE(Search(kIndex, {"", "", true, false}).empty());
  EXPECT_TRUE(Search(kIndex, {"", "", false, true}).empty());
  EXPECT_EQ(Search("<>.txt\r\n", {"", "", true, true}).size(), 1u);
}

TEST(Search, AnArtistWithADotShowsTheEntryAloneInColumnOne) {
  EXPECT_EQ(Search(kIndex, {"dr.", "", false, false}), (std::vector<Row>{{"Dr. Hook", "First Song.txt"}}));
}

TEST(Search, LettersOutsideAsciiCompareExactly) {
  const std::string index = "\xC3\x89mile<>Chanson.txt\r\n";  // "Émile" in UTF-8
  EXPECT_EQ(Search(index, {"\xC3\x89MILE", "", false, false}).size(), 1u);
  EXPECT_TRUE(Search(index, {"\xC3\xA9mile", "", false, false}).empty());  // "émile"
}

// Entry names keep their archive's bytes in the index; what the user types
// (UTF-8) finds them as they are shown, and the rows keep the bytes.
TEST(Search, NamesInEveryEncodingAreFoundAsTheyAreShown) {
  const std::string index =
      "Bj\xC3\xB6rk<>J\x94ga.txt\r\n"          // UTF-8 artist, CP437 entry
      "Ren\xE9<>Caf\xE9 Song.txt\r\n"           // Windows-1252 artist and entry
      "Other<>Caf\xC3\xA9 Song.txt\r\n"         // UTF-8 entry
      "Other<>Caf\x82 Song.txt\r\n"              // CP437 entry
      "Other<>Cafe Song.txt\r\n";
  EXPECT_EQ(Search(index, {"bj\xC3\xB6rk", "j\xC3\xB6ga", false, true}),
            (std::vector<Row>{{"Bj\xC3\xB6rk", "J\x94ga.txt"}}));
  EXPECT_EQ(Search(index, {"ren\xC3\xA9", "", true, false}).size(), 1u);
  const std::vector<Row> cafe = Search(index, {"", "caf\xC3\xA9 song", false, true});
  EXPECT_EQ(cafe, (std::vector<Row>{{"Ren\xE9", "Caf\xE9 Song.txt"},
                                    {"Other", "Caf\xC3\xA9 Song.txt"},
                                    {"Other", "Caf\x82 Song.txt"}}));
  // The bytes themselves are not what is matched, and case is folded for
  // ASCII letters only.
  EXPECT_TRUE(Search(index, {"", "J\x94ga", false, false}).empty());
  EXPECT_TRUE(Search(index, {"", "J\xC3\x96GA", false, false}).empty());  // "JÖGA"
}

TEST(Search, IdenticalLinesGiveIdenticalRows) {
  EXPECT_EQ(Search("A<>b.txt\r\nA<>b.txt\r\n", {}).size(), 2u);
}

TEST(Search, ASecondSearchReplacesEveryRowOfTheFirst) {
  StringGridCells grid;
  const IndexText index = IndexText::FromBytes(kIndex);
  FillGridWithHits(index, grid, {});
  ASSERT_EQ(grid.RowCount(), 6);
  EXPECT_EQ(FillGridWithHits(index, grid, {"hook", "", false, false}), 1u);
  EXPECT_EQ(grid.RowCount(), 2);
  grid.SetRowCount(6);
  EXPECT_EQ(grid.Cell(0, 5), "");
}

TEST(Search, QueryChangesDuringTheSearchApplyToTheLinesStillToCome) {
  StringGridCells grid;
  int line = 0;
  const fretfile::SearchCallbacks callbacks{[&] { return ++line == 3; },
                                            [] { return SearchQuery{"hook", "", false, false}; }};
  // Lines 1 and 2 match the empty query; from line 3 on only "hook" does.
  EXPECT_EQ(FillGridWithHits(IndexText::FromBytes(kIndex), grid, {}, callbacks), 3u);
  EXPECT_EQ(grid.Cell(0, 3), "Dr. Hook");
}

TEST(Search, ArbitraryBytesNeverBreakTheSplitOrTheMatch) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    std::string bytes(random() % 4000, '\0');
    for (auto& c : bytes) c = static_cast<char>("<>._aZ\r\n\xff\x01 "[random() % 12]);
    StringGridCells grid;
    const size_t hits = FillGridWithHits(IndexText::FromBytes(bytes), grid, {"a", "", false, false});
    EXPECT_EQ(grid.RowCount(), static_cast<int>(std::max<size_t>(2, hits + 1)));
  }
}

TEST(StringGridCells, CellsOutsideTheGridAreEmptyAndIgnored) {
  StringGridCells grid;
  grid.SetCell(5, 5, "x");
  grid.SetCell(-1, 0, "x");
  EXPECT_EQ(grid.Cell(5, 5), "");
  grid.SetCell(1, 1, "kept");
  grid.SetRowCount(10);
  EXPECT_EQ(grid.Cell(1, 1), "kept");
  grid.ClearCells();
  EXPECT_EQ(grid.RowCount(), 10);
  EXPECT_EQ(grid.Cell(1, 1), "");
}

// The search scans the text for the rarer query text and matches only the
// lines that hold it. Whatever the bytes, it must list exactly the lines a
// plain line-by-line match lists, in the same order, including lines cut at
// the scan's 64 KB stretches and a last line without an ending.
TEST(Search, ScanningForTheQueryTextFindsWhatMatchingEveryLineFinds) {
  std::mt19937 random(11);
  const char* const pieces[] = {"<>", ".", "\r\n", "\r", "\n", "ab", "AB", "b", "a.B", "x", " ", "\xE9", "\x82",
                                "\xC3\xA9"};
  const SearchQuery queries[] = {{"ab", "", false, false},       {"", "b", false, false},  {"a", "B", false, false},
                                 {"AB", "b", true, false},       {"x", "ab", false, true}, {"", "a.b", false, false},
                                 {"b", "", true, true},          {"ab\r", "", false, false},
                                 {"\xC3\xA9", "", false, false}, {"x", "b\xC3\xA9", false, false}};
  for (int round = 0; round < 60; ++round) {
    std::string bytes;
    const size_t size = round % 10 == 0 ? 150000 + random() % 1000 : random() % 3000;
    while (bytes.size() < size) bytes += pieces[random() % std::size(pieces)];
    const IndexText index = IndexText::FromBytes(bytes);
    for (const SearchQuery& query : queries) {
      const fretfile::PreparedQuery prepared(query);
      std::vector<Row> expected;
      for (size_t i = 0; i < index.LineCount(); ++i) {
        const auto fields = SplitIndexLine(index.LineAt(i));
        if (prepared.Matches(fields)) expected.push_back({std::string(fields.artist), std::string(fields.entry)});
      }
      ASSERT_EQ(Search(bytes, query), expected) << "round " << round << " query " << query.artist << "/" << query.song;
    }
  }
}
