// The lyrics index: what a rebuild puts in it, the query rules, the
// incremental rebuild, the update of one archive, fretfile-cli lyrics and
// add, and a killed build.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "index/lyrics_database.h"
#include "index/lyrics_index.h"
#include "index/lyrics_query.h"
#include "index/rebuild.h"
#include "status_log.h"
#include "support/cli_runner.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

using fretfile::FindLyrics;
using fretfile::LyricsHit;
using fretfile::LyricsQueryError;
using testing_support::FileExists;
using testing_support::StatusLog;
using testing_support::TempDir;
using testing_support::ZipBuilder;
using testing_support::ZipEntrySpec;

namespace {

// Runs the program's rebuild (kest.idx, then kest.lyrics) over dir.
StatusLog Rebuild(const TempDir& dir) {
  fretfile::TFindFile finder;
  fretfile::TZipFile zip;
  fretfile::IndexRebuild rebuild(finder, zip);
  StatusLog effects;
  EXPECT_EQ(rebuild.Run(dir.path(), effects, /*ask=*/false), fretfile::RebuildResult::Created);
  return effects;
}

std::set<std::string> Titles(const std::vector<LyricsHit>& hits) {
  std::set<std::string> titles;
  for (const auto& hit : hits) titles.insert(hit.title);
  return titles;
}

std::set<std::string> TitlesFound(const TempDir& dir, const std::string& query) {
  return Titles(FindLyrics(dir.path(), query));
}

const LyricsHit* HitOf(const std::vector<LyricsHit>& hits, const std::string& title) {
  for (const auto& hit : hits) {
    if (hit.title == title) return &hit;
  }
  return nullptr;
}

// An entry whose CRC is wrong.
ZipEntrySpec BrokenEntry() {
  ZipEntrySpec entry;
  entry.name = "Broken.txt";
  entry.data = "heart";
  entry.crcOverride = 1;
  return entry;
}

class LyricsCollection : public ::testing::Test {
 protected:
  void SetUp() override {
    ZipBuilder()
        .Add("Song_One.txt", "First line\r\nMy heart is singing\r\nlast line\r\n")
        .Add("Heart_My.txt", "heart\r\nand then my\r\n")
        .Add("Cafe.txt", "On boit un Caf\xC3\xA9\r\n")
        .Add("Latin.txt", "Un caf\xE9 noir\r\n")  // Windows-1252
        .Add("Deflated.txt", "a deflated heartache\r\n", 8)
        .WriteTo(dir.File("The_Band.zip"));
    ZipBuilder()
        .Add("Moonlight.txt", "nothing here\r\n")
        .Add("Picture.bin", std::string("\x89PNG\0\0 heart", 12))
        .Add("Big.txt", "heart " + std::string(fretfile::kLongestLyrics, ' '), 8)
        .Add(BrokenEntry())
        .Add("Bj\x94rk_Song.txt", "x\r\n")  // a CP437 name
        .Add("Many.txt", "echo echo echo echo\r\n")
        .Add("Once.txt", "one echo among a great many other words of a much longer text\r\n")
        .WriteTo(dir.File("Other.zip"));
  }

  TempDir dir;
};

}  // namespace

TEST_F(LyricsCollection, WordsInAnyOrderPrefixesPhrasesWithoutCaseOrAccentsAndTitles) {
  EXPECT_FALSE(fretfile::LyricsIndexExists(dir.path()));
  const StatusLog effects = Rebuild(dir);
  // The lyrics are read after kest.idx, with the same status texts.
  EXPECT_EQ(effects.Count("Processing The_Band.zip"), 2);
  EXPECT_EQ(effects.log.back(), "Index Created");
  ASSERT_TRUE(fretfile::LyricsIndexExists(dir.path()));

  EXPECT_EQ(TitlesFound(dir, "heart my"), (std::set<std::string>{"Song One.txt", "Heart My.txt"}));
  EXPECT_EQ(TitlesFound(dir, "hear*"), (std::set<std::string>{"Song One.txt", "Heart My.txt", "Deflated.txt"}));
  EXPECT_EQ(TitlesFound(dir, "band heart*"),
            (std::set<std::string>{"Song One.txt", "Heart My.txt", "Deflated.txt"}));

  const std::vector<LyricsHit> phrase = FindLyrics(dir.path(), "\"MY HEART\"");
  ASSERT_EQ(phrase.size(), 1u);
  EXPECT_EQ(phrase[0].artist, "The Band");
  EXPECT_EQ(phrase[0].title, "Song One.txt");
  EXPECT_EQ(phrase[0].line, 1);
  EXPECT_EQ(phrase[0].lineText, "My heart is singing");

  const std::vector<LyricsHit> cafe = FindLyrics(dir.path(), "cafe");
  EXPECT_EQ(Titles(cafe), (std::set<std::string>{"Cafe.txt", "Latin.txt"}));
  ASSERT_NE(HitOf(cafe, "Latin.txt"), nullptr);
  EXPECT_EQ(HitOf(cafe, "Latin.txt")->lineText, "Un caf\xC3\xA9 noir");

  // Words of the names count; such a hit has no line of its own.
  const std::vector<LyricsHit> moon = FindLyrics(dir.path(), "Moonlight");
  ASSERT_EQ(moon.size(), 1u);
  EXPECT_EQ(moon[0].line, -1);
  EXPECT_EQ(TitlesFound(dir, "bjork"), (std::set<std::string>{"Bj\x94rk Song.txt"}));

  // Best first.
  const std::vector<LyricsHit> echo = FindLyrics(dir.path(), "echo");
  ASSERT_EQ(echo.size(), 2u);
  EXPECT_EQ(echo[0].title, "Many.txt");
  EXPECT_EQ(FindLyrics(dir.path(), "echo", 1).size(), 1u);

  // Not text, too large, or failing its CRC: left out.
  EXPECT_EQ(TitlesFound(dir, "heart").count("Picture.bin"), 0u);
  EXPECT_EQ(TitlesFound(dir, "heart").count("Big.txt"), 0u);
  EXPECT_EQ(TitlesFound(dir, "heart").count("Broken.txt"), 0u);
  EXPECT_TRUE(TitlesFound(dir, "nowhere").empty());

  for (const char* bad : {"\"my heart", "*", "   ", "!!! ?"}) {
    EXPECT_THROW(fretfile::ToFtsQuery(bad), LyricsQueryError) << bad;
  }
  // The engine's own operators are words like any other.
  EXPECT_EQ(fretfile::ToFtsQuery("heart OR near* \"a b\"*"), "\"heart\" \"OR\" \"near\"* \"a b\"*");
}

TEST(LyricsRebuild, OnlyChangedAndAddedArchivesAreReadAndRemovedOnesLeave) {
  TempDir dir;
  ZipBuilder().Add("a.txt", "alpha").WriteTo(dir.File("A.zip"));
  ZipBuilder().Add("b.txt", "bravo").WriteTo(dir.File("B.zip"));
  ZipBuilder().Add("c.txt", "charlie").WriteTo(dir.File("C.zip"));
  Rebuild(dir);
  ASSERT_EQ(TitlesFound(dir, "bravo").size(), 1u);

  ZipBuilder().Add("a.txt", "alpha2 delta").WriteTo(dir.File("A.zip"));
  ASSERT_EQ(::unlink(dir.File("B.zip").c_str()), 0);
  ZipBuilder().Add("d.txt", "echo").WriteTo(dir.File("D.zip"));
  const StatusLog effects = Rebuild(dir);
  // kest.idx and the lyrics both read only the changed and new archives.
  EXPECT_EQ(effects.Count("Processing A.zip"), 2);
  EXPECT_EQ(effects.Count("Processing C.zip"), 0);
  EXPECT_EQ(effects.Count("Processing D.zip"), 2);

  EXPECT_TRUE(TitlesFound(dir, "bravo").empty());
  EXPECT_TRUE(TitlesFound(dir, "alpha").empty());
  EXPECT_EQ(TitlesFound(dir, "delta"), (std::set<std::string>{"a.txt"}));
  EXPECT_EQ(TitlesFound(dir, "charlie"), (std::set<std::string>{"c.txt"}));
  EXPECT_EQ(TitlesFound(dir, "echo"), (std::set<std::string>{"d.txt"}));
}

namespace {

class LyricsCli : public ::testing::Test {
 protected:
  testing_support::CliOutcome Run(const std::string& arguments) {
    return testing_support::RunCli(cli_, arguments, scratch_);
  }
  std::string Dir() const { return " --dir '" + dir.path() + "' "; }

  const std::string cli_ = testing_support::BuiltCliPath();
  TempDir scratch_;
  TempDir dir;
};

}  // namespace

TEST_F(LyricsCli, PrintsHitsBestFirstAndTellsABadQueryOrAMissingIndex) {
  ZipBuilder()
      .Add("Song_One.txt", "First line\r\nMy heart\tis singing\r\n")
      .Add("Heart.txt", "heart heart heart\r\n")
      .WriteTo(dir.File("The_Band.zip"));
  auto outcome = Run("lyrics" + Dir() + "heart");
  EXPECT_EQ(outcome.exitCode, 2);
  EXPECT_EQ(outcome.err, std::string(fretfile::kNoLyricsIndexMessage) + "\n");

  ASSERT_EQ(Run("rebuild" + Dir()).exitCode, 0);
  outcome = Run("lyrics" + Dir() + "heart");
  EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "The Band\tHeart.txt\theart heart heart\nThe Band\tSong One.txt\tMy heart is singing\n");
  EXPECT_EQ(outcome.err, "The query returned 2 results\n");

  outcome = Run("lyrics" + Dir() + "--limit 1 '\"my heart\"'");
  EXPECT_EQ(outcome.out, "The Band\tSong One.txt\tMy heart is singing\n");
  outcome = Run("lyrics" + Dir() + "lonely");
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, "The query returned 0 results\n");
  outcome = Run("lyrics" + Dir() + "'\"my heart'");
  EXPECT_EQ(outcome.exitCode, 2);
  EXPECT_NE(outcome.err.find("quote that is not closed"), std::string::npos) << outcome.err;

  // An add of the program updates the archive's songs at once.
  testing_support::WriteFile(scratch_.File("New.txt"), "a zebra\r\n");
  ASSERT_EQ(Run("add '" + dir.File("The_Band.zip") + "' '" + scratch_.File("New.txt") + "'").exitCode, 0);
  outcome = Run("lyrics" + Dir() + "zebra");
  EXPECT_EQ(outcome.out, "The Band\tNew.txt\ta zebra\n");
}

TEST_F(LyricsCli, AKilledBuildLeavesThePreviousIndexUsable) {
  ZipBuilder().Add("Old.txt", "an old song").WriteTo(dir.File("Old.zip"));
  ASSERT_EQ(Run("rebuild" + Dir()).exitCode, 0);
  ASSERT_EQ(::unlink(dir.File("Old.zip").c_str()), 0);
  // Enough archives with long names that the "Processing" lines fill a pipe
  // that is read only through the kest.idx part: the rebuild blocks in the
  // middle of the lyrics, its transaction open, until it is killed.
  constexpr int kArchives = 1000;
  const std::string longName(150, 'x');
  for (int i = 0; i < kArchives; ++i) {
    ZipBuilder().Add("New.txt", "a new song").WriteTo(dir.File(longName + std::to_string(i) + ".zip"));
  }
  int errors = -1;
  const pid_t child = testing_support::StartCliWithErrorPipe(cli_, {"rebuild", "--dir", dir.path()}, errors);
  ASSERT_GE(child, 0);
  // Past the kest.idx part and ten archives into the lyrics.
  FILE* progress = ::fdopen(errors, "r");
  ASSERT_NE(progress, nullptr);
  char line[512];
  for (int lines = 0; lines < kArchives + 10 && std::fgets(line, sizeof line, progress) != nullptr; ++lines) {
  }
  ::kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  std::fclose(progress);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the rebuild ended before it was killed";
  EXPECT_TRUE(FileExists(dir.File("kest.lyrics-journal"))) << "killed outside the lyrics' transaction";

  EXPECT_EQ(TitlesFound(dir, "old"), (std::set<std::string>{"Old.txt"}));
  EXPECT_TRUE(TitlesFound(dir, "new").empty());

  const auto again = Run("rebuild" + Dir());
  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_TRUE(TitlesFound(dir, "old").empty());
  EXPECT_EQ(FindLyrics(dir.path(), "new").size(), static_cast<size_t>(kArchives));
}

namespace {

// Everything kest.lyrics holds of the songs, in an order of its own: each
// song's names, entry and text, each left-out entry, and the count of
// full-text rows (none without its song).
std::multiset<std::string> IndexContents(const TempDir& dir) {
  fretfile::LyricsDatabase db(dir.File("kest.lyrics"), fretfile::LyricsDatabase::Mode::Read);
  std::multiset<std::string> rows;
  fretfile::LyricsStatement songs(db,
                                  "SELECT songs.artist || '|' || songs.title || '|' || songs.entry || '|' ||"
                                  " songs.crc || '|' || songs.size || '|' || lyrics.artist || '|' ||"
                                  " lyrics.title || '|' || lyrics.text FROM songs JOIN lyrics"
                                  " ON lyrics.rowid = songs.id");
  while (songs.Step()) rows.insert("song " + std::string(songs.Bytes(0)));
  fretfile::LyricsStatement leftOut(db, "SELECT entry || '|' || crc || '|' || size FROM left_out");
  while (leftOut.Step()) rows.insert("left out " + std::string(leftOut.Bytes(0)));
  fretfile::LyricsStatement count(db, "SELECT count(*) FROM lyrics");
  EXPECT_TRUE(count.Step());
  rows.insert("full-text rows " + std::to_string(count.Int(0)));
  return rows;
}

std::multiset<std::string> HitsOf(const TempDir& dir, const std::string& query) {
  std::multiset<std::string> hits;
  for (const LyricsHit& hit : FindLyrics(dir.path(), query)) {
    hits.insert(hit.artist + "|" + hit.title + "|" + std::to_string(hit.line) + "|" + hit.lineText);
  }
  return hits;
}

void BuildLyrics(const TempDir& dir, const std::vector<std::string>& archives) {
  std::vector<std::string> paths;
  for (const std::string& name : archives) paths.push_back(dir.File(name));
  ASSERT_TRUE(fretfile::UpdateLyricsIndex(dir.path(), paths));
}

// Overwrites the first `from` in the file with `to`, of the same length.
void OverwriteInPlace(const std::string& path, const std::string& from, const std::string& to) {
  std::string bytes = testing_support::ReadFile(path);
  const size_t at = bytes.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  bytes.replace(at, from.size(), to);
  testing_support::WriteFile(path, bytes);
}

ZipEntrySpec WrongCrcEntry() {
  // A re-read of it with its bytes mended in place would take it in.
  ZipEntrySpec entry;
  entry.name = "Broken.txt";
  entry.data = "broken word";
  entry.crcOverride = testing_support::Crc32Of("mended word");
  return entry;
}

}  // namespace

// Both roads: the update after the program changed an archive, and the
// rebuild after another program did.
TEST(LyricsArchiveUpdate, AChangeRenameOrDeleteReadsOnlyTheChangedEntriesAndGivesWhatAFullBuildGives) {
  for (const bool byRebuild : {false, true}) {
    SCOPED_TRACE(byRebuild ? "rebuild" : "update of one archive");
    TempDir dir;
    const auto band = [](bool changed) {
      ZipBuilder zip;
      if (!changed) {
        zip.Add("Keep.txt", "keep the river\r\n")
            .Add("Change.txt", "old words\r\n")
            .Add("Gone.txt", "gone with the tide\r\n")
            .Add("Move.txt", "move the ocean\r\n");
      } else {
        // Saved, renamed, deleted and added, in another order, so every
        // entry left as it was lies elsewhere in the file.
        zip.Add("Added.txt", "an added lantern\r\n")
            .Add("Change.txt", "new words, longer than before\r\n")
            .Add("Moved.txt", "move the ocean\r\n")
            .Add("Keep.txt", "keep the river\r\n");
      }
      // An entry name held twice, a file that is not text, one failing its CRC.
      return zip.Add("Twice.txt", "twice alpha\r\n")
          .Add("Twice.txt", "twice beta\r\n")
          .Add("Picture.bin", std::string("\x89PNG\0\0 river", 13))
          .Add(WrongCrcEntry());
    };
    band(false).WriteTo(dir.File("The_Band.zip"));
    ZipBuilder().Add("Solo.txt", "solo river song\r\n").WriteTo(dir.File("Solo.zip"));
    BuildLyrics(dir, {"The_Band.zip", "Solo.zip"});

    band(true).WriteTo(dir.File("The_Band.zip"));
    // Bytes the directory still vouches for, changed in place: a read of the
    // kept song would now fail its CRC, one of the left-out entry would pass.
    OverwriteInPlace(dir.File("The_Band.zip"), "keep the river", "KEEP THE WATER");
    OverwriteInPlace(dir.File("The_Band.zip"), "broken word", "mended word");
    ASSERT_EQ(::unlink(dir.File("Solo.zip").c_str()), 0);
    if (byRebuild) {
      BuildLyrics(dir, {"The_Band.zip"});
    } else {
      fretfile::UpdateLyricsOfArchive(dir.path(), dir.File("The_Band.zip"));
      fretfile::UpdateLyricsOfArchive(dir.path(), dir.File("Solo.zip"));
    }

    EXPECT_EQ(TitlesFound(dir, "river"), (std::set<std::string>{"Keep.txt"})) << "an unchanged song was read again";
    EXPECT_TRUE(TitlesFound(dir, "water").empty());
    EXPECT_TRUE(TitlesFound(dir, "mended").empty()) << "an unchanged left-out entry was read again";

    // The same archives, built whole from their sound bytes.
    TempDir fresh;
    band(true).WriteTo(fresh.File("The_Band.zip"));
    BuildLyrics(fresh, {"The_Band.zip"});
    EXPECT_EQ(IndexContents(dir), IndexContents(fresh));
    for (const char* query : {"words", "old", "tide", "ocean", "lantern", "twice", "beta", "band", "solo"}) {
      EXPECT_EQ(HitsOf(dir, query), HitsOf(fresh, query)) << query;
    }

    if (byRebuild) continue;
    // Read whole, the archive gives what its bytes now hold.
    fretfile::UpdateLyricsOfArchive(dir.path(), dir.File("The_Band.zip"), fretfile::ArchiveReading::Whole);
    EXPECT_TRUE(TitlesFound(dir, "river").empty());
    EXPECT_EQ(TitlesFound(dir, "mended"), (std::set<std::string>{"Broken.txt"}));
    EXPECT_EQ(TitlesFound(dir, "twice"), (std::set<std::string>{"Twice.txt"}));
    EXPECT_EQ(FindLyrics(dir.path(), "twice").size(), 2u);
  }
}

TEST(LyricsArchiveUpdate, AFileOfAnotherLayoutOrNoDatabaseIsLeftAsItIsAndABuildStartsItAnew) {
  TempDir dir;
  ZipBuilder().Add("Song.txt", "a lasting melody\r\n").WriteTo(dir.File("Band.zip"));
  const std::string lyrics = dir.File("kest.lyrics");
  {
    // The first layout: songs without their entries.
    fretfile::LyricsDatabase old(lyrics, fretfile::LyricsDatabase::Mode::Write);
    old.Exec(
        "CREATE TABLE archives(id INTEGER PRIMARY KEY, name BLOB NOT NULL UNIQUE, size INTEGER NOT NULL,"
        " mtime INTEGER NOT NULL);"
        "CREATE TABLE songs(id INTEGER PRIMARY KEY, archive INTEGER NOT NULL, artist BLOB NOT NULL,"
        " title BLOB NOT NULL);"
        "CREATE VIRTUAL TABLE lyrics USING fts5(artist, title, text);"
        "INSERT INTO archives VALUES(1, 'Band.zip', 1, 1);"
        "INSERT INTO songs VALUES(1, 1, 'Band', 'Song.txt');"
        "INSERT INTO lyrics(rowid, artist, title, text) VALUES(1, 'Band', 'Song.txt', 'an old melody');"
        "PRAGMA user_version = 1;");
  }
  for (const std::string& before : {testing_support::ReadFile(lyrics), std::string("not a database at all\n")}) {
    testing_support::WriteFile(lyrics, before);
    fretfile::UpdateLyricsOfArchive(dir.path(), dir.File("Band.zip"));
    EXPECT_EQ(testing_support::ReadFile(lyrics), before);
    EXPECT_FALSE(FileExists(lyrics + "-journal"));
    EXPECT_THROW(FindLyrics(dir.path(), "melody"), fretfile::LyricsError);
  }

  BuildLyrics(dir, {"Band.zip"});
  EXPECT_EQ(HitsOf(dir, "melody"), (std::multiset<std::string>{"Band|Song.txt|0|a lasting melody"}));
  ZipBuilder().Add("Song.txt", "a changed melody\r\n").WriteTo(dir.File("Band.zip"));
  fretfile::UpdateLyricsOfArchive(dir.path(), dir.File("Band.zip"));
  EXPECT_EQ(HitsOf(dir, "melody"), (std::multiset<std::string>{"Band|Song.txt|0|a changed melody"}));
}
