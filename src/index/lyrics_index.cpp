#include "index/lyrics_index.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "archive/display_name.h"
#include "archive/memory_extraction.h"
#include "archive/zip_find.h"
#include "archive/zip_format.h"
#include "index/collection.h"
#include "index/index_stamps.h"
#include "index/lyrics_database.h"
#include "index/rebuild.h"
#include "index/replace_all.h"
#include "index/search.h"
#include "index/song_text.h"
#include "platform/posix/file_attributes.h"
#include "platform/posix/find_files.h"
#include "platform/posix/paths.h"

namespace fretfile {
namespace {

// A central directory holds at most this many entries for the index: far
// more than any song archive, and a bound on a damaged directory's walk.
constexpr int kMostEntries = 1 << 20;

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

// An entry as the archive's central directory gives it: its name's bytes
// and every field its reading depends on. An entry whose record is the
// same as when it was read reads the same (its text is checked against the
// CRC), so it is not read again. The local header's offset is not among
// them: a rewrite of the archive moves entries it leaves as they were.
struct EntryRecord {
  std::string name;
  uint32_t crc = 0;
  int64_t size = 0;
  int64_t packedSize = 0;
  int method = 0;
  int flags = 0;

  auto operator<=>(const EntryRecord&) const = default;
};

// One entry as the index takes it: a song, or an entry read and left out.
struct SongRow {
  EntryRecord entry;
  bool isSong = false;
  std::string titleCell;   // the entry name as the grid shows it
  std::string titleShown;  // and as the user reads it
  std::string text;        // UTF-8, lines ending in '\n'
};

// Goes through the central directory of the archive at `path`,
// handing `visit` every entry that may be a song by what the directory
// says (see the header); `visit` returns false to stop the walk.
void WalkCandidates(const std::string& path,
                    const std::function<bool(const archive::ZipSearchRec&, EntryRecord&&)>& visit) {
  struct CloseAtEnd {
    archive::ZipSearchRec rec;
    ~CloseAtEnd() { archive::ZipFindClose(rec); }
  } open;
  archive::ZipSearchRec& rec = open.rec;
  int result = archive::ZipFindFirst(path, rec);
  for (int entries = 0; result == archive::kZipFindFound && entries < kMostEntries;
       result = archive::ZipFindNext(rec), ++entries) {
    const std::string_view name(rec.FileName, ::strnlen(rec.FileName, sizeof rec.FileName));
    if ((rec.Attributes & platform::kAttrDirectory) != 0 || IsFolderName(name)) continue;
    if ((rec.Flags & archive::zip::kFlagEncrypted) != 0 || !archive::IsSupportedMethod(rec.PackMethod)) continue;
    if (rec.Size > kLongestLyrics) continue;
    EntryRecord entry{std::string(name), rec.Crc, rec.Size, rec.CompressedSize, rec.PackMethod, rec.Flags};
    if (!visit(rec, std::move(entry))) return;
  }
}

// Reads one entry the walk handed over: a song when it extracts with its
// CRC right and its first kTextProbeLength bytes hold no zero byte.
SongRow ReadEntry(const archive::ZipSearchRec& rec, EntryRecord&& entry, archive::MemoryExtractor& extractor,
                  std::string& bytes) {
  SongRow row;
  row.entry = std::move(entry);
  const archive::RecordedValues recorded{rec.Crc, rec.CompressedSize, rec.Size};
  if (extractor.Extract(rec.HeaderOffset, recorded, kLongestLyrics, bytes) != archive::kUnzipOk) return row;
  if (std::memchr(bytes.data(), 0, std::min(bytes.size(), kTextProbeLength)) != nullptr) return row;
  row.isSong = true;
  // The title as the grid shows it: the whole entry name as the index line
  // holds it, "_" read as space.
  row.titleCell = ReplaceAll(row.entry.name.substr(0, kMaxEntryLength), "_", " ");
  row.titleShown = archive::DisplayName(row.titleCell);
  LyricsTextOf(bytes, row.text);
  return row;
}

// Reads the entries of one archive (see the header for what counts as a
// song), handing each read, song or not, to `take`, which returns false to
// stop the reading; `wanted`, when given, picks the entries to read. An
// archive that cannot be read holds no songs; it is read again once it
// changes.
void ReadSongs(const std::string& path, archive::MemoryExtractor& extractor, const std::function<bool(SongRow&&)>& take,
               const std::function<bool(const EntryRecord&)>& wanted = {}) {
  if (!extractor.Open(path)) return;
  struct CloseAtEnd {
    archive::MemoryExtractor& extractor;
    ~CloseAtEnd() { extractor.Close(); }
  } open{extractor};
  std::string bytes;
  WalkCandidates(path, [&](const archive::ZipSearchRec& rec, EntryRecord&& entry) {
    if (wanted && !wanted(entry)) return true;
    return take(ReadEntry(rec, std::move(entry), extractor, bytes));
  });
}

// The songs read ahead of the index, handed from the reading thread to the
// writing one in batches, in archive order. At most kQueuedBytes of text
// wait, so memory stays bounded whatever the collection's size.
class SongQueue {
 public:
  static constexpr size_t kBatchBytes = 256 * 1024;
  static constexpr size_t kQueuedBytes = 4 * 1024 * 1024;

  struct Batch {
    std::vector<SongRow> songs;
    size_t bytes = 0;
    bool lastOfArchive = false;
    // With the archive's last batch: the rows of the index that no entry of
    // the archive took any more (KnownEntries), to be dropped.
    std::vector<int64_t> leftOver;
  };

  // The reader: waits for room; false once the writer has given up.
  bool Push(Batch batch) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return cancelled_ || queuedBytes_ < kQueuedBytes; });
    if (cancelled_) return false;
    queuedBytes_ += batch.bytes;
    batches_.push_back(std::move(batch));
    changed_.notify_all();
    return true;
  }
  // The reader has ended, with the error that ended it if one did.
  void Finish(std::exception_ptr error) {
    std::lock_guard lock(mutex_);
    finished_ = true;
    error_ = error;
    changed_.notify_all();
  }
  // The writer: the next batch; rethrows the reader's error.
  Batch Pop() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !batches_.empty() || finished_; });
    if (batches_.empty()) {
      if (error_) std::rethrow_exception(error_);
      throw LyricsError("The lyrics index lost the songs it read");  // the reader ended early: a fault
    }
    Batch batch = std::move(batches_.front());
    batches_.pop_front();
    queuedBytes_ -= batch.bytes;
    changed_.notify_all();
    return batch;
  }
  void Cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> batches_;
  size_t queuedBytes_ = 0;
  bool cancelled_ = false;
  bool finished_ = false;
  std::exception_ptr error_;
};

// Reads the archives on a thread of its own, so that extracting and
// decoding the songs overlaps the indexing of the ones before.
// What the reader reads of one archive: all of it, or, of an archive the
// index already holds, only the entries none of whose rows match (each row
// taken by one entry, an entry name listed twice taking two).
struct ArchiveToRead {
  std::string path;
  std::multimap<EntryRecord, int64_t> knownRows;
};

class SongReader {
 public:
  explicit SongReader(std::vector<ArchiveToRead> archives)
      : archives_(std::move(archives)), thread_([this] { Run(); }) {}
  ~SongReader() {
    queue_.Cancel();
    thread_.join();
  }
  SongReader(const SongReader&) = delete;
  SongReader& operator=(const SongReader&) = delete;

  SongQueue& Queue() { return queue_; }

 private:
  void Run() {
    try {
      archive::MemoryExtractor extractor;
      for (ArchiveToRead& archive : archives_) {
        SongQueue::Batch batch;
        bool goOn = true;
        std::multimap<EntryRecord, int64_t>& rows = archive.knownRows;
        const auto notKnown = [&](const EntryRecord& entry) {
          const auto row = rows.find(entry);
          if (row == rows.end()) return true;
          rows.erase(row);
          return false;
        };
        ReadSongs(
            archive.path, extractor,
            [&](SongRow&& row) {
              batch.bytes += row.entry.name.size() + row.text.size() + row.titleCell.size() + row.titleShown.size();
              batch.songs.push_back(std::move(row));
              if (batch.bytes < SongQueue::kBatchBytes) return true;
              goOn = queue_.Push(std::move(batch));
              batch = {};
              return goOn;
            },
            notKnown);
        for (const auto& [entry, row] : rows) batch.leftOver.push_back(row);
        batch.lastOfArchive = true;
        if (!goOn || !queue_.Push(std::move(batch))) break;
      }
      queue_.Finish(nullptr);
    } catch (...) {
      queue_.Finish(std::current_exception());
    }
  }

  std::vector<ArchiveToRead> archives_;
  SongQueue queue_;
  std::thread thread_;  // last: it starts once the rest is there
};

// One transaction on the index, with the statements a build repeats.
class LyricsWriter {
 public:
  // Write makes the file when missing and starts one of another layout
  // anew; Update leaves such a file alone, and then the writer is not
  // current() and must not be used.
  explicit LyricsWriter(const std::string& appDir, LyricsDatabase::Mode mode = LyricsDatabase::Mode::Write)
      : db_(LyricsPathOf(appDir), mode) {
    if (!db_.current()) return;
    begin_.emplace(db_);
    db_.CreateTables();
    findArchive_.emplace(db_, "SELECT id, size, mtime FROM archives WHERE name = ?");
    listArchives_.emplace(db_, "SELECT id, name FROM archives");
    addArchive_.emplace(db_, "INSERT INTO archives(name, size, mtime) VALUES(?, ?, ?)");
    dropLyrics_.emplace(db_, "DELETE FROM lyrics WHERE rowid IN (SELECT id FROM songs WHERE archive = ?)");
    dropSongs_.emplace(db_, "DELETE FROM songs WHERE archive = ?");
    dropLeftOuts_.emplace(db_, "DELETE FROM left_out WHERE archive = ?");
    dropArchive_.emplace(db_, "DELETE FROM archives WHERE id = ?");
    addSong_.emplace(db_,
                     "INSERT INTO songs(archive, artist, title, entry, crc, size, packed_size, method, flags)"
                     " VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)");
    addLeftOut_.emplace(db_,
                        "INSERT INTO left_out(archive, entry, crc, size, packed_size, method, flags)"
                        " VALUES(?, ?, ?, ?, ?, ?, ?)");
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
    dropLeftOuts_->Bind(0, archiveId).Run();
    dropArchive_->Bind(0, archiveId).Run();
  }

  // The entries the archive's rows were read from, each with its row: a
  // song's id, or a left-out entry's (negated, so that the two kinds share
  // one map). An entry name the archive holds twice has a row for each.
  std::multimap<EntryRecord, int64_t> KnownEntries(int64_t archiveId) {
    std::multimap<EntryRecord, int64_t> known;
    for (const char* sql : {"SELECT id, entry, crc, size, packed_size, method, flags FROM songs WHERE archive = ?",
                            "SELECT -id, entry, crc, size, packed_size, method, flags FROM left_out"
                            " WHERE archive = ?"}) {
      LyricsStatement select(db_, sql);
      select.Bind(0, archiveId);
      while (select.Step()) {
        EntryRecord entry{
            std::string(select.Bytes(1)),    static_cast<uint32_t>(select.Int(2)), select.Int(3), select.Int(4),
            static_cast<int>(select.Int(5)), static_cast<int>(select.Int(6))};
        known.emplace(std::move(entry), select.Int(0));
      }
    }
    return known;
  }

  // Drops one row KnownEntries gave.
  void DropEntry(int64_t row) {
    if (row > 0) {
      LyricsStatement(db_, "DELETE FROM lyrics WHERE rowid = ?").Bind(0, row).Run();
      LyricsStatement(db_, "DELETE FROM songs WHERE id = ?").Bind(0, row).Run();
    } else {
      LyricsStatement(db_, "DELETE FROM left_out WHERE id = ?").Bind(0, -row).Run();
    }
  }

  // Takes up a known archive again, its stamp now `stamp`; its rows are
  // then changed with DropEntry and Add.
  void ResumeArchive(int64_t archiveId, const std::string& path, const ArchiveStamp& stamp) {
    LyricsStatement(db_, "UPDATE archives SET size = ?, mtime = ? WHERE id = ?")
        .Bind(0, stamp.size)
        .Bind(1, stamp.mtime)
        .Bind(2, archiveId)
        .Run();
    SetArchive(archiveId, path);
  }

  // A new row for the archive, whose songs follow with Add.
  void StartArchive(const std::string& path, const ArchiveStamp& stamp) {
    const std::string fileName = platform::NameOf(path);
    addArchive_->BindBlob(0, fileName).Bind(1, stamp.size).Bind(2, stamp.mtime).Run();
    SetArchive(sqlite3_last_insert_rowid(db_.handle()), path);
  }

  void Add(const SongRow& row) {
    const EntryRecord& entry = row.entry;
    if (!row.isSong) {
      addLeftOut_->Bind(0, archiveId_)
          .BindBlob(1, entry.name)
          .Bind(2, entry.crc)
          .Bind(3, entry.size)
          .Bind(4, entry.packedSize)
          .Bind(5, entry.method)
          .Bind(6, entry.flags)
          .Run();
      return;
    }
    addSong_->Bind(0, archiveId_)
        .BindBlob(1, artistCell_)
        .BindBlob(2, row.titleCell)
        .BindBlob(3, entry.name)
        .Bind(4, entry.crc)
        .Bind(5, entry.size)
        .Bind(6, entry.packedSize)
        .Bind(7, entry.method)
        .Bind(8, entry.flags)
        .Run();
    const int64_t songId = sqlite3_last_insert_rowid(db_.handle());
    addLyrics_->Bind(0, songId).BindText(1, artistShown_).BindText(2, row.titleShown).BindText(3, row.text).Run();
  }

  bool current() const { return db_.current(); }
  void Commit() { begin_->Commit(db_); }

 private:
  // The archive the rows that follow belong to.
  void SetArchive(int64_t archiveId, const std::string& path) {
    const std::string fileName = platform::NameOf(path);
    archiveId_ = archiveId;
    // The artist as the grid shows it: the file name without ".zip", "_"
    // read as space; and as the user reads it.
    artistCell_ = ReplaceAll(IndexRebuild::ArchiveBase(fileName), "_", " ");
    artistShown_ = archive::DisplayName(artistCell_);
  }

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
  std::optional<Transaction> begin_;
  // Finalized before the database closes (members go in reverse order).
  std::optional<LyricsStatement> findArchive_, listArchives_, addArchive_, dropLyrics_, dropSongs_, dropLeftOuts_,
      dropArchive_, addSong_, addLeftOut_, addLyrics_;
  int64_t archiveId_ = 0;
  std::string artistCell_;
  std::string artistShown_;
};

}  // namespace

bool UpdateLyricsIndex(const std::string& appDir, const std::vector<std::string>& archives,
                       const LyricsProgress& progress) {
  const auto stop = [&] { return progress.stopRequested && progress.stopRequested(); };
  LyricsWriter writer(appDir);
  // What to read: the archives that are new or changed since the last build.
  struct Change {
    std::string path;
    ArchiveStamp stamp;
    std::optional<int64_t> known;
  };
  std::vector<Change> changes;
  std::map<std::string, int64_t> gone = writer.AllArchives();
  for (const std::string& path : archives) {
    const std::string name = platform::NameOf(path);
    const std::optional<ArchiveStamp> stamp = StampOf(path);
    if (!stamp) continue;  // gone since the listing: its songs go too
    gone.erase(name);
    const auto known = writer.Known(name);
    if (known && known->second == *stamp) continue;
    changes.push_back({path, *stamp, known ? std::optional<int64_t>(known->first) : std::nullopt});
  }
  for (const auto& [name, id] : gone) writer.Forget(id);

  // Of an archive the index holds, the songs of entries listed as they
  // were read keep their rows; only the other entries are read.
  std::vector<ArchiveToRead> toRead;
  for (const Change& change : changes) {
    toRead.push_back({change.path, change.known ? writer.KnownEntries(*change.known)
                                                : std::multimap<EntryRecord, int64_t>{}});
  }
  SongReader reader(std::move(toRead));
  for (const Change& change : changes) {
    if (stop()) return false;
    if (progress.reading) progress.reading(platform::NameOf(change.path));
    if (change.known) {
      writer.ResumeArchive(*change.known, change.path, change.stamp);
    } else {
      writer.StartArchive(change.path, change.stamp);
    }
    for (bool last = false; !last;) {
      SongQueue::Batch batch = reader.Queue().Pop();
      for (const SongRow& song : batch.songs) {
        if (stop()) return false;
        writer.Add(song);
      }
      for (const int64_t row : batch.leftOver) writer.DropEntry(row);
      last = batch.lastOfArchive;
    }
  }
  writer.Commit();
  return true;
}

void UpdateLyricsOfArchive(const std::string& appDir, const std::string& archivePath, ArchiveReading reading) {
  std::error_code error;
  if (!std::filesystem::exists(LyricsPathOf(appDir), error)) return;
  const std::string name = platform::NameOf(archivePath);
  if (platform::WithTrailingSeparator(platform::FolderOf(archivePath)) != appDir ||
      !platform::WildcardMatch("*.zip", name)) {
    return;
  }
  LyricsWriter writer(appDir, LyricsDatabase::Mode::Update);
  if (!writer.current()) return;  // another layout: the rebuild starts it anew
  const std::optional<ArchiveStamp> stamp = StampOf(archivePath);
  auto known = writer.Known(name);
  if (known && (!stamp || reading == ArchiveReading::Whole)) {
    writer.Forget(known->first);
    known.reset();
  }
  if (!stamp) {
    writer.Commit();
    return;
  }
  archive::MemoryExtractor extractor;
  const auto add = [&](SongRow&& row) {
    writer.Add(row);
    return true;
  };
  if (!known) {
    writer.StartArchive(archivePath, *stamp);
    ReadSongs(archivePath, extractor, add);
    writer.Commit();
    return;
  }
  // The entries listed as they were read keep their rows, one row for each
  // (an entry name listed twice has two); the others are read, and the
  // rows no entry took any more go.
  writer.ResumeArchive(known->first, archivePath, *stamp);
  std::multimap<EntryRecord, int64_t> rows = writer.KnownEntries(known->first);
  const auto keepsItsRow = [&](const EntryRecord& entry) {
    const auto row = rows.find(entry);
    if (row == rows.end()) return false;
    rows.erase(row);
    return true;
  };
  ReadSongs(archivePath, extractor, add, [&](const EntryRecord& entry) { return !keepsItsRow(entry); });
  for (const auto& [entry, row] : rows) writer.DropEntry(row);
  writer.Commit();
}

}  // namespace fretfile
