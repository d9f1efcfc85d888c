#include "index/lyrics_database.h"

#include <unistd.h>

#include <cerrno>

namespace fretfile {
namespace {

// The layout's number, kept in the database's user_version: a file with
// another number is started anew by a build and left alone by the update
// of one archive. 2: songs know their entries, and left_out is there.
// kCreateTables sets the same number.
constexpr int kLayoutVersion = 2;
// How long a statement waits for another connection (a save's update, say).
constexpr int kBusyTimeoutMs = 5000;

constexpr const char* kCreateTables =
    "CREATE TABLE IF NOT EXISTS archives(id INTEGER PRIMARY KEY, name BLOB NOT NULL UNIQUE,"
    " size INTEGER NOT NULL, mtime INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS songs(id INTEGER PRIMARY KEY, archive INTEGER NOT NULL,"
    " artist BLOB NOT NULL, title BLOB NOT NULL, entry BLOB NOT NULL, crc INTEGER NOT NULL,"
    " size INTEGER NOT NULL, packed_size INTEGER NOT NULL, method INTEGER NOT NULL, flags INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS songs_by_archive ON songs(archive);"
    "CREATE TABLE IF NOT EXISTS left_out(id INTEGER PRIMARY KEY, archive INTEGER NOT NULL,"
    " entry BLOB NOT NULL, crc INTEGER NOT NULL, size INTEGER NOT NULL, packed_size INTEGER NOT NULL,"
    " method INTEGER NOT NULL, flags INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS left_out_by_archive ON left_out(archive);"
    "CREATE VIRTUAL TABLE IF NOT EXISTS lyrics USING fts5(artist, title, text,"
    " tokenize = 'unicode61 remove_diacritics 2');"
    "PRAGMA user_version = 2;";

}  // namespace

LyricsDatabase::LyricsDatabase(const std::string& path, Mode mode) : path_(path) {
  // A constructor that throws runs no destructor: the connection it opened
  // is closed here.
  try {
    Open(mode);
  } catch (...) {
    Close();
    throw;
  }
}

void LyricsDatabase::Open(Mode mode) {
  if (mode == Mode::Update) {
    OpenFile(SQLITE_OPEN_READWRITE);
    // Nothing is written to a file of another layout: its songs lack what an
    // update compares, and a reader refuses it until a build replaces it.
    if (ReadLayoutVersion() != kLayoutVersion) Close();
    return;
  }
  if (mode == Mode::Read) {
    // Read-write without creating: a reader rolls back what a killed build
    // left in its journal.
    OpenFile(SQLITE_OPEN_READWRITE);
    if (ReadLayoutVersion() != kLayoutVersion) {
      Close();
      throw LyricsError("The lyrics index " + path_ + " is not of this program's version. Rebuild the index.");
    }
    return;
  }
  OpenFile(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  int version = -1;
  bool empty = true;
  try {
    LyricsStatement query(*this, "PRAGMA user_version");
    if (query.Step()) version = static_cast<int>(query.Int(0));
    LyricsStatement tables(*this, "SELECT count(*) FROM sqlite_master");
    if (tables.Step()) empty = tables.Int(0) == 0;
  } catch (const LyricsError&) {
    const int code = sqlite3_errcode(db_);
    if (code != SQLITE_NOTADB && code != SQLITE_CORRUPT) throw;
    version = -1;
    empty = false;
  }
  if (version == kLayoutVersion || empty) return;
  // Not a lyrics index of this layout: it is replaced by a new one.
  Close();
  for (const std::string& file : {path_, path_ + "-journal"}) {
    if (::unlink(file.c_str()) != 0 && errno != ENOENT) {
      throw LyricsError("Cannot write lyrics index " + path_ + ": it is not a lyrics index and cannot be removed");
    }
  }
  OpenFile(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
}

LyricsDatabase::~LyricsDatabase() { Close(); }

int LyricsDatabase::ReadLayoutVersion() {
  try {
    LyricsStatement query(*this, "PRAGMA user_version");
    return query.Step() ? static_cast<int>(query.Int(0)) : -1;
  } catch (const LyricsError&) {
    const int code = sqlite3_errcode(db_);
    if (code != SQLITE_NOTADB && code != SQLITE_CORRUPT) throw;
    return -1;
  }
}

void LyricsDatabase::OpenFile(int flags) {
  if (sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    const std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
    Close();
    throw LyricsError("Cannot open lyrics index " + path_ + ": " + message);
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  sqlite3_extended_result_codes(db_, 0);
}

void LyricsDatabase::Close() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
}

void LyricsDatabase::Exec(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string text = message != nullptr ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    throw LyricsError("Lyrics index " + path_ + ": " + text);
  }
}

void LyricsDatabase::Fail(const std::string& what) const {
  throw LyricsError("Lyrics index " + path_ + ": " + what + ": " + sqlite3_errmsg(db_));
}

void LyricsDatabase::CreateTables() { Exec(kCreateTables); }

LyricsStatement::LyricsStatement(LyricsDatabase& db, const char* sql) : db_(db) {
  if (sqlite3_prepare_v2(db_.handle(), sql, -1, &statement_, nullptr) != SQLITE_OK) db_.Fail("cannot prepare");
}

LyricsStatement::~LyricsStatement() { sqlite3_finalize(statement_); }

LyricsStatement& LyricsStatement::Bind(int index, int64_t value) {
  if (sqlite3_bind_int64(statement_, index + 1, value) != SQLITE_OK) db_.Fail("cannot bind");
  return *this;
}

LyricsStatement& LyricsStatement::BindText(int index, std::string_view text) {
  if (sqlite3_bind_text64(statement_, index + 1, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8) !=
      SQLITE_OK) {
    db_.Fail("cannot bind");
  }
  return *this;
}

LyricsStatement& LyricsStatement::BindBlob(int index, std::string_view bytes) {
  // A zero-length blob is bound with a non-null pointer, so it is a blob
  // and not NULL.
  static const char kNothing = 0;
  if (sqlite3_bind_blob64(statement_, index + 1, bytes.empty() ? &kNothing : bytes.data(), bytes.size(),
                          SQLITE_STATIC) != SQLITE_OK) {
    db_.Fail("cannot bind");
  }
  return *this;
}

bool LyricsStatement::Step() {
  const int result = sqlite3_step(statement_);
  if (result == SQLITE_ROW) return true;
  if (result == SQLITE_DONE) return false;
  db_.Fail("cannot read or write");
}

void LyricsStatement::Run() {
  while (Step()) {
  }
  Reset();
}

void LyricsStatement::Reset() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

int64_t LyricsStatement::Int(int column) const { return sqlite3_column_int64(statement_, column); }

std::string_view LyricsStatement::Bytes(int column) const {
  const void* data = sqlite3_column_blob(statement_, column);
  const int size = sqlite3_column_bytes(statement_, column);
  if (data == nullptr || size <= 0) return {};
  return std::string_view(static_cast<const char*>(data), static_cast<size_t>(size));
}

}  // namespace fretfile
