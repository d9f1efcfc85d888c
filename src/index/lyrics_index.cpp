#include "index/lyrics_index.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "archive/display_name.h"
#include "archive/memory_extraction.h"
#include "archive/zip_find.h"
#include "index/collection.h"
#include "index/lyrics_database.h"
#include "index/rebuild.h"
#include "index/replace_all.h"
#include "index/search.h"
#include "index/song_text.h"
#include "platform/find_files.h"
#include "platform/paths.h"

namespace fretfile {
namespace {

// A central directory holds at most this many entries for the index: far
// more than any song archive, and a bound on a damaged directory's walk.
constexpr int kMostEntries = 1 << 20;
constexpr uint16_t kFolderAttribute = 0x10;
constexpr uint16_t kEncryptedFlag = 0x0001;

// Thrown to leave a build whose stop was asked for.
struct LyricsStopped {};

// What tells an archive changed: its size and modification time.
struct ArchiveStamp {
  int64_t size = 0;
  int64_t mtime = 0;  // nanoseconds
  bool operator==(const ArchiveStamp&) const = default;
};

std::optional<ArchiveStamp> StampOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return ArchiveStamp{static_cast<int64_t>(info.st_size),
                      static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

// A song's text as the index keeps it, in UTF-8 with its lines as the
// viewer shows them: every line break (CR LF, CR, LF) one line feed. A
// song in UTF-8 only has its line breaks rewritten (most songs, and much
// faster than decoding); any other goes through the viewer's rule.
void LyricsTextOf(const std::string& bytes, std::string& text) {
  text.clear();
  if (!archive::IsUtf8(bytes)) {
    const QByteArray decoded = DecodeSong(bytes).text.toUtf8();
    text.assign(decoded.constData(), static_cast<size_t>(decoded.size()));
    return;
  }
  text.reserve(bytes.size());
  const char* p = bytes.data();
  const char* const end = p + bytes.size();
  while (p < end) {
    const char* const cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(end - p)));
    if (cr == nullptr) {
      text.append(p, end);
      break;
    }
    text.append(p, cr);
    text.push_back('\n');
    p = cr + 1;
    if (p < end && *p == '\n') ++p;
  }
}

bool IsFolderName(std::string_view name) { return !name.empty() && (name.back() == '/' || name.back() == '\\'); }

// One transaction on the index, with the statements a build repeats.
class LyricsWriter {
 public:
  explicit LyricsWriter(const std::string& appDir)
      : db_(LyricsPathOf(appDir), LyricsDatabase::Mode::Write),
        begin_(db_) {
    db_.CreateTables();
    findArchive_.emplace(db_, "SELECT id, size, mtime FROM archives WHERE name = ?");
    listArchives_.emplace(db_, "SELECT id, name FROM archives");
    addArchive_.emplace(db_, "INSERT INTO archives(name, size, mtime) VALUES(?, ?, ?)");
    dropLyrics_.emplace(db_, "DELETE FROM lyrics WHERE rowid IN (SELECT id FROM songs WHERE archive = ?)");
    dropSongs_.emplace(db_, "DELETE FROM songs WHERE archive = ?");
    dropArchive_.emplace(db_, "DELETE FROM archives WHERE id = ?");
    addSong_.emplace(db_, "INSERT INTO songs(archive, artist, title) VALUES(?, ?, ?)");
    addLyrics_.emplace(db_, "INSERT INTO lyrics(rowid, artist, title, text) VALUES(?, ?, ?, ?)");
  }

  // The archive's row and the stamp it was read with.
  std::optional<std::pair<int64_t, ArchiveStamp>> Known(const std::string& name) {
    findArchive_->BindBlob(0, name);
    std::optional<std::pair<int64_t, ArchiveStamp>> known;
    if (findArchive_->Step()) {
      known.emplace(findArchive_->Int(0), ArchiveStamp{findArchive_->Int(1), findArchive_->Int(2)});
    }
    findArchive_->Reset();
    return known;
  }

  std::map<std::string, int64_t> AllArchives() {
    std::map<std::string, int64_t> all;
    while (listArchives_->Step()) all.emplace(std::string(listArchives_->Bytes(1)), listArchives_->Int(0));
    listArchives_->Reset();
    return all;
  }

  // Drops the archive and its songs.
  void Forget(int64_t archiveId) {
    dropLyrics_->Bind(0, archiveId).Run();
    dropSongs_->Bind(0, archiveId).Run();
    dropArchive_->Bind(0, archiveId).Run();
  }

  // Reads the archive's songs in under a new row.
  void Read(const std::string& path, const ArchiveStamp& stamp, const std::function<bool()>& stopRequested) {
    const std::string fileName = platform::NameOf(path);
    addArchive_->BindBlob(0, fileName).Bind(1, stamp.size).Bind(2, stamp.mtime).Run();
    const int64_t archiveId = sqlite3_last_insert_rowid(db_.handle());
    // The artist as the grid shows it: the file name without ".zip", "_"
    // read as space; and as the user reads it.
    const std::string artistCell = ReplaceAll(IndexRebuild::ArchiveBase(fileName), "_", " ");
    const std::string artistShown = archive::DisplayName(artistCell);

    // An archive that cannot be read holds no songs for the index; it is
    // read again once it changes.
    if (!extractor_.Open(path)) return;
    archive::ZipSearchRec rec;
    int result = archive::ZipFindFirst(path, rec);
    for (int entries = 0; result == archive::kZipFindFound && entries < kMostEntries;
         result = archive::ZipFindNext(rec), ++entries) {
      if (stopRequested && stopRequested()) {
        archive::ZipFindClose(rec);
        throw LyricsStopped{};
      }
      const std::string_view name(rec.FileName, ::strnlen(rec.FileName, sizeof rec.FileName));
      if ((rec.Attributes & kFolderAttribute) != 0 || IsFolderName(name)) continue;
      if ((rec.Flags & kEncryptedFlag) != 0 || !archive::IsSupportedMethod(rec.PackMethod)) continue;
      if (rec.Size > kLongestLyrics) continue;
      const archive::RecordedValues recorded{rec.Crc, rec.CompressedSize, rec.Size};
      if (extractor_.Extract(rec.HeaderOffset, recorded, kLongestLyrics, bytes_) != archive::kUnzipOk) continue;
      if (std::memchr(bytes_.data(), 0, std::min(bytes_.size(), kTextProbeLength)) != nullptr) continue;
      // The title as the grid shows it: the whole entry name as the index
      // line holds it, "_" read as space.
      const std::string titleCell = ReplaceAll(std::string(name.substr(0, kMaxEntryLength)), "_", " ");
      addSong_->Bind(0, archiveId).BindBlob(1, artistCell).BindBlob(2, titleCell).Run();
      const int64_t songId = sqlite3_last_insert_rowid(db_.handle());
      LyricsTextOf(bytes_, text_);
      addLyrics_->Bind(0, songId)
          .BindText(1, artistShown)
          .BindText(2, archive::DisplayName(titleCell))
          .BindText(3, text_)
          .Run();
    }
    archive::ZipFindClose(rec);
    extractor_.Close();
  }

  void Commit() { begin_.Commit(db_); }

 private:
  // BEGIN IMMEDIATE on construction; rolled back unless committed.
  struct Transaction {
    explicit Transaction(LyricsDatabase& db) : db(db) { db.Exec("BEGIN IMMEDIATE"); }
    ~Transaction() {
      if (open) sqlite3_exec(db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void Commit(LyricsDatabase&) {
      db.Exec("COMMIT");
      open = false;
    }
    LyricsDatabase& db;
    bool open = true;
  };

  LyricsDatabase db_;
  Transaction begin_;
  // Finalized before the database closes (members go in reverse order).
  std::optional<LyricsStatement> findArchive_, listArchives_, addArchive_, dropLyrics_, dropSongs_, dropArchive_,
      addSong_, addLyrics_;
  archive::MemoryExtractor extractor_;
  std::string bytes_;
  std::string text_;
};

}  // namespace

bool UpdateLyricsIndex(const std::string& appDir, const std::vector<std::string>& archives,
                       const LyricsProgress& progress) {
  try {
    LyricsWriter writer(appDir);
    std::map<std::string, int64_t> gone = writer.AllArchives();
    for (const std::string& path : archives) {
      if (progress.stopRequested && progress.stopRequested()) return false;
      const std::string name = platform::NameOf(path);
      const std::optional<ArchiveStamp> stamp = StampOf(path);
      if (!stamp) continue;  // gone since the listing: its songs go too
      gone.erase(name);
      const auto known = writer.Known(name);
      if (known && known->second == *stamp) continue;
      if (progress.reading) progress.reading(name);
      if (known) writer.Forget(known->first);
      writer.Read(path, *stamp, progress.stopRequested);
    }
    for (const auto& [name, id] : gone) writer.Forget(id);
    writer.Commit();
    return true;
  } catch (const LyricsStopped&) {
    return false;
  }
}

void UpdateLyricsOfArchive(const std::string& appDir, const std::string& archivePath) {
  std::error_code error;
  if (!std::filesystem::exists(LyricsPathOf(appDir), error)) return;
  const std::string name = platform::NameOf(archivePath);
  if (platform::WithTrailingSeparator(platform::FolderOf(archivePath)) != appDir ||
      !platform::WildcardMatch("*.zip", name)) {
    return;
  }
  LyricsWriter writer(appDir);
  if (const auto known = writer.Known(name)) writer.Forget(known->first);
  if (const std::optional<ArchiveStamp> stamp = StampOf(archivePath)) writer.Read(archivePath, *stamp, {});
  writer.Commit();
}

}  // namespace fretfile
