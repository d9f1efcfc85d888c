#include "index/index_follow.h"

#include <exception>

#include "archive/tzip.h"
#include "components/find_file.h"
#include "index/lyrics_index.h"
#include "index/rebuild.h"

namespace fretfile {

void UpdateIndexOfArchive(const std::string& appDir, const std::string& archivePath) {
  std::exception_ptr failure;
  try {
    TFindFile finder;
    TZipFile zip;
    IndexRebuild rebuild(finder, zip);
    rebuild.FollowArchive(appDir, archivePath);
  } catch (...) {
    failure = std::current_exception();
  }
  // The songs are the lyrics index's own business: a kest.idx that cannot
  // be written does not keep them from it.
  try {
    UpdateLyricsOfArchive(appDir, archivePath);
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace fretfile
