// kest.lyrics, the lyrics index: an SQLite database beside the archives.
//
//   archives(id, name, size, mtime)   every archive read, as it was then
//   songs(id, archive, artist, title, one row per song: the artist and the
//         entry, crc, size,           title as the grid's cells hold them
//         packed_size, method, flags) (the names' bytes, "_" read as space),
//                                     and the entry it was read from as the
//                                     archive's directory gave it (its name's
//                                     bytes and the fields its reading
//                                     depends on)
//   left_out(id, archive, entry, crc, the entries that were read and found
//            size, packed_size,       not to be songs (not text, a wrong
//            method, flags)           CRC, ...), so that an unchanged one is
//                                     not read again
//   lyrics(artist, title, text)       the full-text table (FTS5), rowid =
//                                     songs.id: the names as the user sees
//                                     them and the song's text, in UTF-8
//
// The full-text table's tokenizer folds case and removes diacritics, so
// "cafe" finds "Café". Changes are made in one transaction: SQLite's atomic
// commit keeps the previous index whole when a build fails or is killed.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace fretfile {

// An error of the lyrics index, naming the file.
class LyricsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class LyricsStatement;

class LyricsDatabase {
 public:
  enum class Mode { Read, Write, Update };
  // Opens the database at `path`. Write creates it and its tables when
  // missing (an unreadable file or one of another layout is started anew);
  // Read opens an existing one and throws LyricsError when it is not a
  // lyrics index of this layout. Update opens an existing one too, but
  // leaves a file that is not of this layout as it is, closed, with
  // current() false: it is the next build's to start anew.
  LyricsDatabase(const std::string& path, Mode mode);
  // ":memory:" for a database of one's own in memory.
  ~LyricsDatabase();
  LyricsDatabase(const LyricsDatabase&) = delete;
  LyricsDatabase& operator=(const LyricsDatabase&) = delete;

  sqlite3* handle() const { return db_; }
  // False when an Update found a file of another layout (and left it).
  bool current() const { return db_ != nullptr; }
  const std::string& path() const { return path_; }
  void Exec(const char* sql);
  // Throws LyricsError with the database's message, naming the file.
  [[noreturn]] void Fail(const std::string& what) const;

  // Creates the tables when missing.
  void CreateTables();

 private:
  void Open(Mode mode);
  void OpenFile(int flags);
  // The file's user_version; -1 when it is not a database at all.
  int ReadLayoutVersion();
  void Close();

  sqlite3* db_ = nullptr;
  std::string path_;
};

// A prepared statement; columns and parameters count from 0.
class LyricsStatement {
 public:
  LyricsStatement(LyricsDatabase& db, const char* sql);
  ~LyricsStatement();
  LyricsStatement(const LyricsStatement&) = delete;
  LyricsStatement& operator=(const LyricsStatement&) = delete;

  // Text and blobs are bound without a copy: they must stay as they are
  // until the statement has run (Run, or the last Step).
  LyricsStatement& Bind(int index, int64_t value);
  LyricsStatement& BindText(int index, std::string_view text);
  LyricsStatement& BindBlob(int index, std::string_view bytes);
  // True while a row is there; throws on an error (a bad query among them).
  bool Step();
  // Step() to the end, then Reset().
  void Run();
  void Reset();

  int64_t Int(int column) const;
  std::string_view Bytes(int column) const;

 private:
  LyricsDatabase& db_;
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace fretfile
