// Keeping the indexes in step with a change the program made to one archive
// of the collection (an add, a rename, a delete, a save), without the full
// rebuild: kest.idx gets that archive's lines anew, kest.lyrics its songs.
#pragma once

#include <string>

namespace fretfile {

// After archivePath (in appDir, ending in '/') was changed, created or
// removed: replaces its lines in appDir's kest.idx, where a rebuild would
// put them and as a rebuild would write them (IndexRebuild::FollowArchive),
// records its new stamp, and reads its songs into kest.lyrics again
// (UpdateLyricsOfArchive). Each index that does not exist is left to the
// rebuild; an archive outside appDir's "*.zip" changes nothing. Both are
// attempted; then the first failure is thrown (platform::IoError or
// LyricsError), the index it is about left as it was.
void UpdateIndexOfArchive(const std::string& appDir, const std::string& archivePath);

}  // namespace fretfile
