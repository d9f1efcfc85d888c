#include "index/index_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/posix/io_error.h"

namespace fretfile {
namespace {

constexpr size_t kWriteBufferSize = 64 * 1024;
constexpr size_t kLoadPiece = 1024 * 1024;

// Asks for the buffer of a large index to be backed by huge pages where the
// system offers them: tens of megabytes in 4 KiB pages cost thousands of
// page faults.
void AdviseHugePages(std::string& buffer) {
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
  const auto start = reinterpret_cast<uintptr_t>(buffer.data());
  const uintptr_t from = (start + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t to = (start + buffer.capacity()) & ~(kHugePage - 1);
  if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
  (void)buffer;
#endif
}

// Where the line starting at p ends, past its CR, LF or CR LF (or the end).
const char* NextLineStart(const char* p, const char* end) {
  while (p < end && *p != '\r' && *p != '\n') ++p;
  if (p == end) return end;
  return p + ((*p == '\r' && p + 1 < end && p[1] == '\n') ? 2 : 1);
}

}  // namespace

IndexWriter::~IndexWriter() { Abandon(); }

void IndexWriter::Open(const std::string& path) {
  Abandon();
  path_ = path;
  temporaryPath_ = path + ".new";
  file_.OpenOrThrow(temporaryPath_, platform::FileAccess::Write, platform::FileShare::DenyAll,
                    platform::FileCreation::CreateOrTruncate);
  buffer_.clear();
  buffer_.reserve(kWriteBufferSize);
  written_ = 0;
}

void IndexWriter::WriteLine(std::string_view archivePart, std::string_view entryPart) {
  if (!file_.IsOpen()) throw platform::IoError(EBADF, "I/O error 103");
  buffer_.append(archivePart);
  buffer_.append(kIndexSeparator);
  buffer_.append(entryPart);
  buffer_.append("\r\n");
  written_ += archivePart.size() + kIndexSeparator.size() + entryPart.size() + 2;
  if (buffer_.size() >= kWriteBufferSize) Flush();
}

void IndexWriter::WriteBytes(std::string_view bytes) {
  if (!file_.IsOpen()) throw platform::IoError(EBADF, "I/O error 103");
  written_ += bytes.size();
  if (buffer_.size() + bytes.size() < kWriteBufferSize) {
    buffer_.append(bytes);
    return;
  }
  // A large block goes straight to the file, after what is buffered.
  Flush();
  if (const int error = file_.Write(bytes.data(), bytes.size()); error != 0) throw platform::IoError(error);
}

void IndexWriter::Flush() {
  if (buffer_.empty()) return;
  const int error = file_.Write(buffer_.data(), buffer_.size());
  buffer_.clear();
  if (error != 0) throw platform::IoError(error);
}

void IndexWriter::Close() {
  if (!file_.IsOpen()) return;
  try {
    Flush();
    if (::fsync(file_.fd()) != 0 && errno != EINVAL) throw platform::IoError(errno);
    if (const int error = file_.Close(); error != 0) throw platform::IoError(error);
    if (std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) throw platform::IoError(errno);
  } catch (...) {
    Abandon();
    throw;
  }
  temporaryPath_.clear();
}

void IndexWriter::Abandon() {
  buffer_.clear();
  file_.Close();
  if (!temporaryPath_.empty()) {
    ::unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
  }
}

IndexText IndexText::Load(const std::string& path) {
  platform::SharedFile file;
  if (const int error = file.Open(path, platform::FileAccess::Read, platform::FileShare::DenyAll); error != 0) {
    throw platform::IoError(error, "Cannot open file " + path);
  }
  const int64_t size = file.Size();
  if (size < 0) throw platform::IoError(errno, "Cannot open file " + path);
  std::string bytes;
  bytes.reserve(static_cast<size_t>(size));
  AdviseHugePages(bytes);
  // Piece by piece, each piece zero-filled (the string's growth), read and
  // searched for a zero byte while it is still in the cache; reading stops
  // at the first zero byte, which ends the text.
  for (;;) {
    const size_t at = bytes.size();
    const size_t want = std::min(kLoadPiece, static_cast<size_t>(size) - at);
    if (want == 0) break;
    bytes.resize(at + want);
    const ssize_t got = file.Read(bytes.data() + at, want);
    if (got < 0) throw platform::IoError(errno);
    bytes.resize(at + static_cast<size_t>(got));
    if (const void* zero = std::memchr(bytes.data() + at, 0, static_cast<size_t>(got))) {
      bytes.resize(static_cast<size_t>(static_cast<const char*>(zero) - bytes.data()));
      break;
    }
    if (static_cast<size_t>(got) < want) break;
  }
  IndexText text;
  text.bytes_ = std::make_shared<const std::string>(std::move(bytes));
  return text;
}

IndexText IndexText::FromBytes(std::string bytes) {
  // A zero byte ends the text.
  if (const void* zero = std::memchr(bytes.data(), 0, bytes.size())) {
    bytes.resize(static_cast<size_t>(static_cast<const char*>(zero) - bytes.data()));
  }
  IndexText text;
  text.bytes_ = std::make_shared<const std::string>(std::move(bytes));
  return text;
}

void IndexText::FindLineStarts() const {
  if (startsFound_) return;
  startsFound_ = true;
  const char* const begin = bytes_->data();
  const char* const end = begin + bytes_->size();
  // Count first, so the list of starts is allocated once at its final size.
  size_t lines = 0;
  for (const char* p = begin; p < end; p = NextLineStart(p, end)) ++lines;
  starts_.reserve(lines + 1);
  for (const char* p = begin; p < end; p = NextLineStart(p, end)) {
    starts_.push_back(static_cast<uint64_t>(p - begin));
  }
  if (!starts_.empty()) starts_.push_back(bytes_->size());
}

std::string_view IndexText::LineAt(size_t i) const {
  FindLineStarts();
  const char* const data = bytes_->data();
  const uint64_t start = starts_[i];
  uint64_t stop = starts_[i + 1];
  // Lines hold no CR or LF, so what precedes the next start is the ending.
  if (stop > start && data[stop - 1] == '\n') {
    --stop;
    if (stop > start && data[stop - 1] == '\r') --stop;
  } else if (stop > start && data[stop - 1] == '\r') {
    --stop;
  }
  return std::string_view(data + start, stop - start);
}

std::vector<std::string> IndexText::Lines() const {
  std::vector<std::string> lines;
  lines.reserve(LineCount());
  for (size_t i = 0; i < LineCount(); ++i) lines.emplace_back(LineAt(i));
  return lines;
}

}  // namespace fretfile
