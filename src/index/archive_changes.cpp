#include "index/archive_changes.h"

#include <optional>
#include <unordered_set>

#include "components/find_file.h"
#include "index/collection.h"
#include "index/index_stamps.h"
#include "platform/posix/paths.h"

namespace fretfile {

ArchiveChanges FindChangedArchives(const std::string& appDir) {
  TFindFile finder;
  finder.SetDirectory(appDir);
  finder.SetFilter("*.zip");
  finder.Execute();
  ArchiveChanges changes;
  const std::optional<FileIdentity> index = IdentityOf(IndexPathOf(appDir));
  const std::optional<IndexStamps> stamps = index ? LoadIndexStamps(appDir, *index) : std::nullopt;
  changes.indexKnown = stamps.has_value();
  if (!stamps) {
    for (const std::string& path : finder.Files()) changes.changed.push_back(platform::NameOf(path));
    return changes;
  }
  const auto byName = stamps->ByName();
  std::unordered_set<std::string_view> listed;
  for (const std::string& path : finder.Files()) {
    std::string name = platform::NameOf(path);
    const auto known = byName.find(name);
    if (known == byName.end()) {
      changes.added.push_back(std::move(name));
      continue;
    }
    listed.insert(known->first);
    if (StampOf(path) != stamps->archives[known->second].stamp) changes.changed.push_back(std::move(name));
  }
  for (const ArchiveLines& lines : stamps->archives) {
    if (!listed.contains(lines.name)) changes.removed.push_back(lines.name);
  }
  return changes;
}

std::string ChangedArchivesStatus(const ArchiveChanges& changes) {
  const size_t count = changes.Count();
  if (count == 0) return {};
  if (!changes.indexKnown) return "The index may not match the archives. Rebuild Index reads every archive.";
  return std::to_string(count) + (count == 1 ? " archive" : " archives") +
         " changed since the index was built. Rebuild Index reads only those.";
}

}  // namespace fretfile
