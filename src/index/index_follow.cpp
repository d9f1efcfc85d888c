#include "index/index_follow.h"

#include <exception>
#include <system_error>
#include <thread>

#include "archive/tzip.h"
#include "components/find_file.h"
#include "index/lyrics_index.h"
#include "index/rebuild.h"

namespace fretfile {

void UpdateIndexOfArchive(const std::string& appDir, const std::string& archivePath) {
  // The songs are the lyrics index's own business: a kest.idx that cannot
  // be written does not keep them from it. They are read on a thread of
  // their own while kest.idx is copied and flushed, once its update has
  // read the archive (the walker opens it without sharing).
  std::exception_ptr lyricsFailure;
  const auto readSongs = [&] {
    try {
      UpdateLyricsOfArchive(appDir, archivePath);
    } catch (...) {
      lyricsFailure = std::current_exception();
    }
  };
  std::thread songs;
  std::exception_ptr indexFailure;
  try {
    TFindFile finder;
    TZipFile zip;
    IndexRebuild rebuild(finder, zip);
    rebuild.FollowArchive(appDir, archivePath, [&] {
      try {
        songs = std::thread(readSongs);
      } catch (const std::system_error&) {
        // No thread to be had: the songs are read afterwards.
      }
    });
  } catch (...) {
    indexFailure = std::current_exception();
  }
  if (songs.joinable()) {
    songs.join();
  } else {
    readSongs();
  }
  if (indexFailure) std::rethrow_exception(indexFailure);
  if (lyricsFailure) std::rethrow_exception(lyricsFailure);
}

}  // namespace fretfile
