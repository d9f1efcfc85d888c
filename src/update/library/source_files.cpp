#include "update/library/source_files.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace zippack {
namespace {

// Folders deeper than this below a source line's folder are not entered.
constexpr int kMaxDepth = 256;

bool HasWildcard(const std::string& text) { return text.find_first_of("*?[") != std::string::npos; }

bool Matches(const std::string& pattern, const std::string& text) {
  return ::fnmatch(pattern.c_str(), text.c_str(), 0) == 0;
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The names in a folder, sorted, without "." and "..".
std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

class Expansion {
 public:
  Expansion(const AddRequest& request, Reporter& reporter, const FileIdentity& archive)
      : request_(request), reporter_(reporter), archive_(archive) {}

  void ExpandLine(size_t index) {
    const SourceLine& line = request_.sources[index];
    line_ = index;
    recurse_ = line.recurse;
    rootPrefix_ = line.rootDir;
    while (rootPrefix_.size() > 1 && rootPrefix_.back() == '/') rootPrefix_.pop_back();
    if (!rootPrefix_.empty() && rootPrefix_.back() != '/') rootPrefix_ += '/';

    std::string path = line.pattern;
    if (path.empty()) return;
    if (path.front() != '/' && !rootPrefix_.empty()) path = rootPrefix_ + path;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
    const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);

    const size_t before = files_.size();
    if (!line.literal && HasWildcard(leaf)) {
      ancestors_.clear();
      Walk(folder, leaf, 0);
      if (files_.size() == before) reporter_.Message(kFileNotFound, line.pattern);
      return;
    }
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
      reporter_.Message(kFileNotFound, line.pattern, errno == ENOENT ? std::string() : std::strerror(errno));
    } else if (S_ISREG(st.st_mode)) {
      Take(path, st, false);
    } else if (!S_ISDIR(st.st_mode)) {
      reporter_.Message(kNotAFile, line.pattern);
    } else if (recurse_) {
      if (Excluded(path, EntryNameFor(path, true))) return;
      if (WantFolderEntries()) Take(path, st, true);
      ancestors_.assign(1, {st.st_dev, st.st_ino});
      Walk(path, "*", 0);
    } else if (WantFolderEntries()) {
      Take(path, st, true);
    } else {
      reporter_.Message(kFolderWithoutRecursion, line.pattern);
    }
  }

  std::vector<SourceFile> Take() { return std::move(files_); }

 private:
  bool WantFolderEntries() const { return request_.dirEntries && !request_.junkDirNames; }

  void Walk(const std::string& folder, const std::string& pattern, int depth) {
    if (depth > kMaxDepth || reporter_.Cancelled()) return;
    for (const std::string& name : ListFolder(folder)) {
      if (name.front() == '.' && !request_.hiddenFiles) continue;
      const std::string path = Join(folder, name);
      struct stat st{};
      if (::lstat(path.c_str(), &st) != 0) continue;
      // A link counts as what it points to, but links to folders are not
      // followed: they could lead anywhere, including back up the tree.
      if (S_ISLNK(st.st_mode) && (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))) continue;
      const bool matches = Matches(pattern, name);
      if (S_ISREG(st.st_mode)) {
        if (matches) Take(path, st, false);
      } else if (S_ISDIR(st.st_mode)) {
        if (Excluded(path, EntryNameFor(path, true))) continue;
        if (matches && WantFolderEntries()) Take(path, st, true);
        if (recurse_ && EnterOnce(st)) {
          Walk(path, pattern, depth + 1);
          ancestors_.pop_back();
        }
      }
    }
  }

  // The named check against walking in circles (a bind mount of a folder
  // inside itself): a folder already on the way down is not entered again.
  bool EnterOnce(const struct stat& st) {
    const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
    if (std::find(ancestors_.begin(), ancestors_.end(), id) != ancestors_.end()) return false;
    ancestors_.push_back(id);
    return true;
  }

  std::string EntryNameFor(const std::string& path, bool folder) const {
    std::string name;
    if (request_.junkDirNames) {
      name = BaseName(path);
    } else if (!rootPrefix_.empty() && path.compare(0, rootPrefix_.size(), rootPrefix_) == 0) {
      name = path.substr(rootPrefix_.size());
    } else {
      name = path;
    }
    name = NormalisedEntryPath(name);
    if (folder && !name.empty()) name += '/';
    return name;
  }

  bool Excluded(const std::string& path, const std::string& entryName) const {
    std::string bare = entryName;
    if (!bare.empty() && bare.back() == '/') bare.pop_back();
    const std::string base = BaseName(path);
    return std::any_of(request_.excludes.begin(), request_.excludes.end(), [&](const std::string& pattern) {
      return Matches(pattern, bare) || Matches(pattern, base) || Matches(pattern, path);
    });
  }

  void Take(const std::string& path, const struct stat& st, bool folder) {
    if (archive_.valid && st.st_dev == archive_.device && st.st_ino == archive_.inode) return;
    SourceFile file;
    file.entryName = EntryNameFor(path, folder);
    if (Excluded(path, file.entryName)) return;
    if (file.entryName.empty()) {
      reporter_.Message(kInvalidEntryName, path);
      return;
    }
    file.path = path;
    file.isFolder = folder;
    file.mode = st.st_mode;
    file.size = folder ? 0 : static_cast<uint64_t>(st.st_size);
    file.modified = st.st_mtime;
    file.source = line_;
    files_.push_back(std::move(file));
  }

  const AddRequest& request_;
  Reporter& reporter_;
  FileIdentity archive_;
  std::vector<SourceFile> files_;
  std::vector<std::pair<dev_t, ino_t>> ancestors_;
  size_t line_ = 0;
  bool recurse_ = false;
  std::string rootPrefix_;
};

}  // namespace

std::string NormalisedEntryPath(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t end = std::min(path.find('/', start), path.size());
    const std::string part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string name;
  for (const std::string& part : parts) name += name.empty() ? part : "/" + part;
  return name;
}

std::vector<SourceFile> ExpandSources(const AddRequest& request, Reporter& reporter, const FileIdentity& archive) {
  Expansion expansion(request, reporter, archive);
  for (size_t i = 0; i < request.sources.size() && !reporter.Cancelled(); ++i) expansion.ExpandLine(i);
  return expansion.Take();
}

bool IsAcceptableEntryName(const std::string& name) {
  if (name.empty() || name.size() > 0xFFFF || name.front() == '/' || name.find('\0') != std::string::npos) return false;
  std::string inner = name;
  if (inner.back() == '/') inner.pop_back();
  return !inner.empty() && NormalisedEntryPath(inner) == inner;
}

}  // namespace zippack
