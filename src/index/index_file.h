// kest.idx: one line per entry of every archive of the collection,
//   archive part "<>" entry part CR LF
// with every "_" of both names shown as a space. The rebuild writes it, the
// search loads it whole.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/shared_file.h"

namespace fretfile {

inline constexpr std::string_view kIndexSeparator = "<>";

// Appends one index line, archivePart "<>" entryPart CR LF, the parts as
// given.
void AppendIndexLine(std::string& out, std::string_view archivePart, std::string_view entryPart);

// Writes a new index. The lines go to a temporary file beside the index,
// which replaces the index (an atomic rename) only when Close() succeeds: a
// rebuild that fails half-way, or is abandoned, leaves the previous index
// byte for byte, and a search meanwhile reads the previous complete index.
class IndexWriter {
 public:
  IndexWriter() = default;
  ~IndexWriter();  // abandons an unfinished index
  IndexWriter(const IndexWriter&) = delete;
  IndexWriter& operator=(const IndexWriter&) = delete;

  // Starts a new index for `path`; an unfinished one is abandoned first.
  // Throws platform::IoError ("File access denied", ...) when it cannot.
  void Open(const std::string& path);
  bool IsOpen() const { return file_.IsOpen(); }
  // Writes archivePart "<>" entryPart CR LF; throws platform::IoError when
  // the line cannot be written. The parts are written as given.
  void WriteLine(std::string_view archivePart, std::string_view entryPart);
  // Writes bytes that already are whole lines (copied from an index);
  // throws platform::IoError when they cannot be written.
  void WriteBytes(std::string_view bytes);
  // Writes `length` bytes of the file open at sourceFd, from `offset` on:
  // whole lines of an old index. The kernel copies them where it can.
  // Throws platform::IoError when they cannot be read (EIO when the file
  // ends first) or written.
  void CopyFrom(int sourceFd, uint64_t offset, uint64_t length);
  // How many bytes the new index holds so far.
  uint64_t BytesWritten() const { return written_; }
  // Flushes, closes and puts the new index in place; throws on failure, in
  // which case the previous index stays.
  void Close();
  // Drops the unfinished index (the previous one stays). Never throws.
  void Abandon();

 private:
  void Flush();
  // Has the system start writing what the file holds, so that the flush
  // at the end has less to wait for.
  void StartWriteBack();

  platform::SharedFile file_;
  std::string path_;
  std::string temporaryPath_;
  std::string buffer_;
  uint64_t written_ = 0;
  uint64_t writtenBack_ = 0;  // how far StartWriteBack has gone
};

// The index loaded for one search: the file's bytes (up to a first zero
// byte) and where each line starts and ends. Lines end at CR, LF or CR LF;
// a last line without an ending is a line, an ending at the very end adds
// no empty line. The line starts are found the first time a line is asked
// for (the search scans the bytes and needs none), so an IndexText is not
// for use from two threads at once.
class IndexText {
 public:

  // Loads the file, opened without sharing: fails whenever another party
  // has it open. Throws platform::IoError "Cannot open file <path>" when it
  // cannot be opened, and with the platform's text when it cannot be read.
  static IndexText Load(const std::string& path);
  // Splits bytes already in memory by the same rules.
  static IndexText FromBytes(std::string bytes);

  size_t LineCount() const {
    FindLineStarts();
    return starts_.empty() ? 0 : starts_.size() - 1;
  }
  std::string_view LineAt(size_t i) const;
  std::vector<std::string> Lines() const;
  // The bytes the lines point into; views into them stay valid as long as
  // this pointer is held.
  const std::shared_ptr<const std::string>& Bytes() const { return bytes_; }

 private:
  void FindLineStarts() const;

  std::shared_ptr<const std::string> bytes_;
  // Where each line starts, and one more entry: the end of the text. A line
  // runs to the next start less its ending (CR, LF or CR LF), which the
  // bytes themselves tell: 8 bytes a line.
  mutable std::vector<uint64_t> starts_;
  mutable bool startsFound_ = false;
};

}  // namespace fretfile
