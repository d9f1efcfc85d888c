// The demo collection in demo/ is made from the song texts in demo/songs/:
// one archive per artist folder, one stored entry per song file, and a
// kest.idx listing them. This test rebuilds both in memory and compares them
// with the committed files; run it with FRETFILE_REGENERATE_DEMO=1 to write
// them anew after editing a song.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "index/replace_all.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace fs = std::filesystem;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::WriteFile;
using testing_support::ZipBuilder;
using testing_support::ZipEntrySpec;

namespace {

const std::string kDemo = std::string(FRETFILE_SOURCE_DIR) + "/demo/";

std::vector<std::string> SortedFilesBelow(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) names.push_back(fs::relative(entry.path(), folder).generic_string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void CheckOrRegenerate(const std::string& path, const std::string& expected) {
  if (std::getenv("FRETFILE_REGENERATE_DEMO") != nullptr) {
    WriteFile(path, expected);
    return;
  }
  ASSERT_TRUE(FileExists(path)) << path;
  EXPECT_TRUE(ReadFile(path) == expected) << path << " differs from demo/songs; regenerate it";
}

}  // namespace

TEST(DemoCollection, ArchivesAndIndexMatchTheSongTexts) {
  std::vector<std::string> artists;
  for (const auto& entry : fs::directory_iterator(kDemo + "songs")) {
    if (entry.is_directory()) artists.push_back(entry.path().filename().string());
  }
  std::sort(artists.begin(), artists.end());
  ASSERT_GE(artists.size(), 6u);

  std::string index;
  for (const auto& artist : artists) {
    ZipBuilder archive;
    for (const auto& song : SortedFilesBelow(kDemo + "songs/" + artist)) {
      ZipEntrySpec entry;
      entry.name = song;
      entry.data = ReadFile(kDemo + "songs/" + artist + "/" + song);
      archive.Add(entry);
      index += fretfile::ReplaceAll(artist, "_", " ") + "<>" + fretfile::ReplaceAll(song, "_", " ") + "\r\n";
    }
    CheckOrRegenerate(kDemo + artist + ".zip", archive.Build());
  }
  CheckOrRegenerate(kDemo + "kest.idx", index);
}
