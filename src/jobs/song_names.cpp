#include "jobs/song_names.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>

#include "archive/display_name.h"
#include "index/rebuild.h"
#include "index/replace_all.h"
#include "platform/posix/file_attributes.h"
#include "platform/posix/find_files.h"
#include "platform/posix/paths.h"

namespace fretfile {
namespace {

// Longer names are refused by most file systems (and by the format's
// 16-bit length with room to spare).
constexpr size_t kLongestName = 200;

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A name that can be one part of a path, as it is.
bool IsOnePathPart(const std::string& name) {
  return !name.empty() && name.size() <= kLongestName && name != "." && name != ".." &&
         name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool IsFolder(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The files below a folder, hidden ones aside, each folder's in name order.
// Folders reached twice (a link back up) are listed once.
void CollectFiles(const std::string& folder, std::vector<std::string>& files, std::set<std::pair<dev_t, ino_t>>& seen,
                  int depth) {
  struct stat st{};
  if (depth > 32 || ::stat(folder.c_str(), &st) != 0 || !seen.insert({st.st_dev, st.st_ino}).second) return;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = folder + "/" + name;
    if (IsFolder(path)) {
      CollectFiles(path, files, seen, depth + 1);
    } else if (platform::IsFile(path)) {
      files.push_back(path);
    }
  }
}

}  // namespace

std::string ShownName(const std::string& storedName) { return archive::DisplayName(ReplaceAll(storedName, "_", " ")); }

std::vector<CollectionArtist> CollectionArtists(const std::string& appDir) {
  std::vector<CollectionArtist> artists;
  platform::DirectoryFinder finder;
  if (finder.First(appDir, "*.zip", 0)) {
    platform::FoundEntry entry;
    while (finder.Next(entry)) {
      if (entry.name.size() <= 4 || !platform::IsFile(appDir + entry.name)) continue;
      artists.push_back({ArtistOfArchive(appDir + entry.name), appDir + entry.name});
    }
    finder.Close();
  }
  std::stable_sort(artists.begin(), artists.end(), [](const CollectionArtist& a, const CollectionArtist& b) {
    return LowerAscii(a.shown) < LowerAscii(b.shown);
  });
  return artists;
}

std::string ArtistOfArchive(const std::string& archivePath) {
  return ShownName(IndexRebuild::ArchiveBase(platform::NameOf(archivePath)));
}

std::optional<std::string> ArchiveOfArtist(const std::string& appDir, const std::string& typed) {
  const std::string artist = Trimmed(typed);
  for (const CollectionArtist& known : CollectionArtists(appDir)) {
    if (known.shown == artist) return known.archivePath;
  }
  const std::string fileName = ReplaceAll(artist, " ", "_") + ".zip";
  if (artist.empty() || artist.front() == '.' || !IsOnePathPart(fileName)) return std::nullopt;
  return appDir + fileName;
}

std::optional<std::string> EntryNameForTitle(const std::string& title, const std::string& entryName) {
  const std::string part = ReplaceAll(Trimmed(title), " ", "_");
  if (!IsOnePathPart(part)) return std::nullopt;
  const size_t folderEnd = entryName.find_last_of("/\\");
  return (folderEnd == std::string::npos ? std::string() : entryName.substr(0, folderEnd + 1)) + part;
}

std::vector<SongFile> SongFilesOf(const std::vector<std::string>& paths) {
  std::vector<std::string> files;
  std::set<std::pair<dev_t, ino_t>> seen;
  for (const std::string& path : paths) {
    if (IsFolder(path)) {
      CollectFiles(path, files, seen, 0);
    } else if (platform::IsFile(path)) {
      files.push_back(path);
    }
  }
  std::vector<SongFile> songs;
  std::set<std::string> entryNames;
  for (const std::string& file : files) {
    const auto entryName = EntryNameForTitle(platform::NameOf(file));
    if (!entryName || !entryNames.insert(*entryName).second) continue;
    songs.push_back({file, *entryName, ShownName(*entryName)});
  }
  return songs;
}

}  // namespace fretfile
