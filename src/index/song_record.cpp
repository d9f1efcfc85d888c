#include "index/song_record.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "archive/crc32.h"
#include "index/collection.h"
#include "index/hit_lookup.h"
#include "platform/posix/positional_io.h"
#include "platform/posix/replace_file.h"
#include "platform/posix/shared_file.h"

namespace fretfile {
namespace {

constexpr const char* kRecordFolder = ".fretfile-records";
constexpr const char* kRecordSuffix = ".record";
constexpr const char* kDraftSuffix = ".draft";
constexpr const char* kRecordHeading = "fretfile song record 1\n";
// A record holds three names and two numbers; anything larger is not one.
constexpr int64_t kLongestRecord = 1 << 20;
// Drafts and songs are text: a runaway file is not read whole.
constexpr int64_t kLongestDraft = 256 << 20;

uint32_t CrcOf(const std::string& bytes) {
  return archive::Crc32(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::optional<std::string> PathOf(const std::string& appDir, const std::string& entryName, const char* suffix) {
  // The entry's path below temp/ (checked there), mirrored below the folder.
  const auto song = TempPathOf(appDir, entryName);
  if (!song) return std::nullopt;
  const std::string temp = TempFolderOf(appDir) + "/";
  return temp + kRecordFolder + "/" + song->substr(temp.size()) + suffix;
}

// Names are bytes, whatever they hold, so files are reached through the
// system's calls, not through a layer that would read them as text.
bool WriteWhole(const std::string& path, const std::string& bytes) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
  return !error && platform::ReplaceFileContents(path, bytes);
}

std::optional<std::string> ReadWhole(const std::string& path, int64_t cap) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st{};
  std::optional<std::string> bytes;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= cap) {
    std::string text(static_cast<size_t>(st.st_size), '\0');
    if (platform::ReadFullyAt(fd, 0, text.data(), text.size())) bytes = std::move(text);
  }
  ::close(fd);
  return bytes;
}

std::string Field(const char* name, const std::string& value) {
  return std::string(name) + " " + std::to_string(value.size()) + "\n" + value + "\n";
}

std::string FormatRecord(const SongRecord& record) {
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08x", static_cast<unsigned>(record.crc));
  return kRecordHeading + Field("archive", record.archivePath) + Field("entry", record.entryName) +
         Field("artist", record.artist) + "crc " + crc + "\nsize " + std::to_string(record.size) + "\n";
}

// Reads "<name> <number>\n" at `at`: at most mostDigits digits of the base.
bool TakeNumber(const std::string& text, size_t& at, const std::string& name, int base, size_t mostDigits,
                uint64_t& value) {
  const std::string head = name + " ";
  if (text.compare(at, head.size(), head) != 0) return false;
  const size_t lineEnd = text.find('\n', at);
  if (lineEnd == std::string::npos) return false;
  const std::string digits = text.substr(at + head.size(), lineEnd - at - head.size());
  const char* allowed = base == 16 ? "0123456789abcdef" : "0123456789";
  if (digits.empty() || digits.size() > mostDigits || digits.find_first_not_of(allowed) != std::string::npos) {
    return false;
  }
  value = std::stoull(digits, nullptr, base);
  at = lineEnd + 1;
  return true;
}

// Reads "<name> <length>\n<bytes>\n" at `at`.
bool TakeField(const std::string& text, size_t& at, const std::string& name, std::string& value) {
  uint64_t length = 0;
  if (!TakeNumber(text, at, name, 10, 9, length)) return false;
  if (length > text.size() || at > text.size() - length || at + length >= text.size() || text[at + length] != '\n') {
    return false;
  }
  value = text.substr(at, length);
  at += length + 1;
  return true;
}

std::optional<SongRecord> ParseRecord(const std::string& text) {
  if (!text.starts_with(kRecordHeading)) return std::nullopt;
  size_t at = std::char_traits<char>::length(kRecordHeading);
  SongRecord record;
  uint64_t crc = 0;
  if (!TakeField(text, at, "archive", record.archivePath) || !TakeField(text, at, "entry", record.entryName) ||
      !TakeField(text, at, "artist", record.artist) || !TakeNumber(text, at, "crc", 16, 16, crc) || crc > 0xFFFFFFFF ||
      !TakeNumber(text, at, "size", 10, 16, record.size) || at != text.size()) {
    return std::nullopt;
  }
  record.crc = static_cast<uint32_t>(crc);
  return record;
}

}  // namespace

std::optional<std::string> ReadSongFile(const std::string& path) { return ReadWhole(path, kLongestDraft); }

int WriteSongFile(const std::string& path, const std::string& bytes) {
  platform::SharedFile file;
  if (const int error = file.Open(path, platform::FileAccess::Write, platform::FileShare::DenyAll,
                                  platform::FileCreation::CreateOrTruncate);
      error != 0) {
    return error;
  }
  if (const int error = file.Write(bytes.data(), bytes.size()); error != 0) return error;
  return file.Close();
}

bool SongRecord::Holds(const std::string& bytes) const { return bytes.size() == size && CrcOf(bytes) == crc; }

void SongRecord::Set(const std::string& bytes) {
  crc = CrcOf(bytes);
  size = bytes.size();
}

bool WriteSongRecord(const std::string& appDir, const SongRecord& record) {
  const auto path = PathOf(appDir, record.entryName, kRecordSuffix);
  return path && WriteWhole(*path, FormatRecord(record));
}

std::optional<SongRecord> ReadSongRecord(const std::string& appDir, const std::string& entryName) {
  const auto path = PathOf(appDir, entryName, kRecordSuffix);
  if (!path) return std::nullopt;
  const auto text = ReadWhole(*path, kLongestRecord);
  if (!text) return std::nullopt;
  auto record = ParseRecord(*text);
  // A record is the record of the entry whose place it has.
  if (record && record->entryName != entryName) return std::nullopt;
  return record;
}

bool WriteSongDraft(const std::string& appDir, const std::string& entryName, const std::optional<std::string>& text) {
  const auto path = PathOf(appDir, entryName, kDraftSuffix);
  if (!path) return false;
  if (!text) return ::unlink(path->c_str()) == 0 || errno == ENOENT;
  return WriteWhole(*path, *text);
}

void RemoveSongRecord(const std::string& appDir, const std::string& entryName) {
  for (const char* suffix : {kRecordSuffix, kDraftSuffix}) {
    if (const auto path = PathOf(appDir, entryName, suffix)) ::unlink(path->c_str());
  }
}

std::vector<UnstoredEdit> FindUnstoredEdits(const std::string& appDir) {
  std::vector<UnstoredEdit> edits;
  if (appDir.empty()) return edits;
  const std::filesystem::path folder = TempFolderOf(appDir) + "/" + kRecordFolder;
  std::error_code error;
  std::vector<std::string> paths;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    const std::string path = it->path().string();
    if (it->is_regular_file(error) && path.ends_with(kRecordSuffix)) paths.push_back(path);
  }
  for (const std::string& path : paths) {
    const auto text = ReadWhole(path, kLongestRecord);
    const auto record = text ? ParseRecord(*text) : std::nullopt;
    if (!record) continue;
    // Only the record in the entry's own place counts.
    const auto own = PathOf(appDir, record->entryName, kRecordSuffix);
    if (!own || *own != path) continue;
    UnstoredEdit edit{*record, {}, false};
    if (const auto draft = PathOf(appDir, record->entryName, kDraftSuffix)) {
      if (auto drafted = ReadWhole(*draft, kLongestDraft)) {
        edit.text = std::move(*drafted);
        edit.fromDraft = true;
      }
    }
    if (!edit.fromDraft) {
      const auto song = TempPathOf(appDir, record->entryName);
      auto inTemp = song ? ReadWhole(*song, kLongestDraft) : std::nullopt;
      if (!inTemp) continue;
      edit.text = std::move(*inTemp);
    }
    if (!record->Holds(edit.text)) edits.push_back(std::move(edit));
  }
  std::sort(edits.begin(), edits.end(),
            [](const UnstoredEdit& a, const UnstoredEdit& b) { return a.record.entryName < b.record.entryName; });
  return edits;
}

}  // namespace fretfile
