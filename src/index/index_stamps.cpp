#include "index/index_stamps.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <unordered_set>

#include "index/collection.h"
#include "platform/posix/io_error.h"
#include "platform/posix/replace_file.h"

namespace fretfile {
namespace {

constexpr std::string_view kFirstLine = "fretfile index stamps 1\n";
// Far more than any collection's stamps (a line is about 60 bytes and a
// name): a bound on what a damaged or foreign file makes us read.
constexpr int64_t kLargestStampsFile = 64 << 20;
// A file name has at most 255 bytes on every file system the program runs on.
constexpr uint64_t kLongestName = 4096;

int64_t Nanoseconds(const struct timespec& time) {
  return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

FileIdentity IdentityFrom(const struct stat& info) {
  return FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
                      static_cast<int64_t>(info.st_size), Nanoseconds(info.st_mtim)};
}

// Reads the stamps' text with every step bounds-checked: a damaged file
// gives nullopt, never a read past its end.
class StampsParser {
 public:
  explicit StampsParser(std::string_view text) : text_(text) {}

  bool Literal(std::string_view expected) {
    if (text_.substr(at_, expected.size()) != expected) return false;
    at_ += expected.size();
    return true;
  }
  template <typename Number>
  bool Value(Number& value) {
    const char* const begin = text_.data() + at_;
    const char* const end = text_.data() + text_.size();
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop == begin) return false;
    at_ += static_cast<size_t>(stop - begin);
    return true;
  }
  // value and the character that must follow it.
  template <typename Number>
  bool Field(Number& value, char after) {
    return Value(value) && Literal(std::string_view(&after, 1));
  }
  bool Bytes(uint64_t count, std::string& out) {
    if (count > text_.size() - at_) return false;
    out.assign(text_.substr(at_, static_cast<size_t>(count)));
    at_ += static_cast<size_t>(count);
    return true;
  }
  bool AtEnd() const { return at_ == text_.size(); }

 private:
  std::string_view text_;
  size_t at_ = 0;
};

std::optional<IndexStamps> Parse(std::string_view text) {
  StampsParser parser(text);
  IndexStamps stamps;
  FileIdentity& index = stamps.index;
  uint64_t count = 0;
  if (!parser.Literal(kFirstLine) || !parser.Literal("index ") || !parser.Field(index.device, ' ') ||
      !parser.Field(index.inode, ' ') || !parser.Field(index.size, ' ') || !parser.Field(index.mtime, '\n') ||
      !parser.Literal("archives ") || !parser.Field(count, '\n')) {
    return std::nullopt;
  }
  // Every archive takes at least a dozen bytes of the file.
  if (count > text.size() / 12) return std::nullopt;
  stamps.archives.reserve(static_cast<size_t>(count));
  std::unordered_set<std::string> names;
  uint64_t covered = 0;
  for (uint64_t i = 0; i < count; ++i) {
    ArchiveLines lines;
    uint64_t nameLength = 0;
    if (!parser.Field(lines.stamp.size, ' ') || !parser.Field(lines.stamp.mtime, ' ') ||
        !parser.Field(lines.offset, ' ') || !parser.Field(lines.length, ' ') || !parser.Field(nameLength, ' ') ||
        nameLength == 0 || nameLength > kLongestName || !parser.Bytes(nameLength, lines.name) ||
        !parser.Literal("\n")) {
      return std::nullopt;
    }
    // The ranges follow one another from the start of kest.idx, and a name
    // is a file name, once.
    if (lines.offset != covered || lines.length > static_cast<uint64_t>(index.size) - covered) return std::nullopt;
    if (lines.name.find_first_of(std::string_view("/\0", 2)) != std::string::npos) return std::nullopt;
    if (!names.insert(lines.name).second) return std::nullopt;
    covered += lines.length;
    stamps.archives.push_back(std::move(lines));
  }
  if (covered != static_cast<uint64_t>(index.size) || !parser.Literal("end\n") || !parser.AtEnd()) {
    return std::nullopt;
  }
  return stamps;
}

}  // namespace

std::optional<ArchiveStamp> StampOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return ArchiveStamp{static_cast<int64_t>(info.st_size), Nanoseconds(info.st_mtim)};
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return IdentityFrom(info);
}

std::optional<FileIdentity> IdentityOfOpenFile(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return IdentityFrom(info);
}

std::unordered_map<std::string_view, size_t> IndexStamps::ByName() const {
  std::unordered_map<std::string_view, size_t> byName;
  byName.reserve(archives.size());
  for (size_t i = 0; i < archives.size(); ++i) byName.emplace(archives[i].name, i);
  return byName;
}

std::optional<IndexStamps> LoadIndexStamps(const std::string& appDir, const FileIdentity& index) {
  std::ifstream in(StampsPathOf(appDir), std::ios::binary);
  if (!in) return std::nullopt;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0 || size > kLargestStampsFile) return std::nullopt;
  in.seekg(0);
  std::string text(static_cast<size_t>(size), '\0');
  if (!in.read(text.data(), size)) return std::nullopt;
  std::optional<IndexStamps> stamps = Parse(text);
  if (!stamps || stamps->index != index) return std::nullopt;
  return stamps;
}

void SaveIndexStamps(const std::string& appDir, const IndexStamps& stamps) {
  std::string text(kFirstLine);
  const FileIdentity& index = stamps.index;
  text += "index " + std::to_string(index.device) + ' ' + std::to_string(index.inode) + ' ' +
          std::to_string(index.size) + ' ' + std::to_string(index.mtime) + '\n';
  text += "archives " + std::to_string(stamps.archives.size()) + '\n';
  for (const ArchiveLines& lines : stamps.archives) {
    text += std::to_string(lines.stamp.size) + ' ' + std::to_string(lines.stamp.mtime) + ' ' +
            std::to_string(lines.offset) + ' ' + std::to_string(lines.length) + ' ' +
            std::to_string(lines.name.size()) + ' ';
    text += lines.name;
    text += '\n';
  }
  text += "end\n";
  const std::string path = StampsPathOf(appDir);
  errno = 0;
  if (!platform::ReplaceFileContents(path, text)) {
    const int code = errno != 0 ? errno : EIO;
    throw platform::IoError(code, "Cannot write " + path + ": " + platform::IoErrorText(code));
  }
}

}  // namespace fretfile
