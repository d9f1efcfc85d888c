// Which archives of the collection changed on disk since kest.idx was
// built, told by the stamps (index/index_stamps.h) against a listing of the
// folder and one stat per archive; no archive is read. The window shows the
// result in its status bar at the start and whenever it is activated.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace fretfile {

struct ArchiveChanges {
  // File names: archives new to the index, gone from the folder, or of
  // another size or modification time than their lines were made from.
  std::vector<std::string> added, removed, changed;
  // False when there are no valid stamps (no kest.idx, stamps missing or
  // describing another kest.idx): then every archive listed is in changed.
  bool indexKnown = false;
  size_t Count() const { return added.size() + removed.size() + changed.size(); }
};

// appDir ends in '/'. Archives are its "*.zip", as the rebuild lists them.
ArchiveChanges FindChangedArchives(const std::string& appDir);

// "3 archives changed since the index was built. Rebuild Index reads only
// those." ("1 archive changed ..."); without valid stamps, that the index
// may not match and Rebuild Index reads every archive; empty when nothing
// changed.
std::string ChangedArchivesStatus(const ArchiveChanges& changes);

}  // namespace fretfile
