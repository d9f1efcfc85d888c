#include "index/index_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/posix/close_later.h"
#include "platform/posix/io_error.h"

namespace fretfile {
namespace {

constexpr size_t kWriteBufferSize = 64 * 1024;
// Copied lines go through a buffer of this size where the kernel cannot
// copy them itself.
constexpr size_t kCopyBlock = 1024 * 1024;
// The system is asked to start writing the new index back to disk every
// this many bytes.
constexpr uint64_t kWriteBackStep = 2 * 1024 * 1024;
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

void AppendIndexLine(std::string& out, std::string_view archivePart, std::string_view entryPart) {
  out.append(archivePart);
  out.append(kIndexSeparator);
  out.append(entryPart);
  out.append("\r\n");
}

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
  writtenBack_ = 0;
}

void IndexWriter::WriteLine(std::string_view archivePart, std::string_view entryPart) {
  if (!file_.IsOpen()) throw platform::IoError(EBADF, "I/O error 103");
  AppendIndexLine(buffer_, archivePart, entryPart);
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

void IndexWriter::CopyFrom(int sourceFd, uint64_t offset, uint64_t length) {
  if (!file_.IsOpen()) throw platform::IoError(EBADF, "I/O error 103");
  Flush();
  // In the kernel, without the bytes passing through here, a step at a
  // time so that the writing back of each overlaps the copy of the next...
  auto from = static_cast<off64_t>(offset);
  while (length > 0) {
    const size_t step = static_cast<size_t>(std::min<uint64_t>(kWriteBackStep, length));
    const ssize_t copied = ::copy_file_range(sourceFd, &from, file_.fd(), nullptr, step, 0);
    if (copied < 0 && errno == EINTR) continue;
    if (copied < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) break;
    if (copied < 0) throw platform::IoError(errno);
    if (copied == 0) throw platform::IoError(EIO);  // the old index ends before its lines do
    length -= static_cast<uint64_t>(copied);
    written_ += static_cast<uint64_t>(copied);
    if (written_ - writtenBack_ >= kWriteBackStep) StartWriteBack();
  }
  // ...or, where it cannot, through a buffer.
  std::string block;
  while (length > 0) {
    const size_t count = static_cast<size_t>(std::min<uint64_t>(kCopyBlock, length));
    block.resize(count);
    const ssize_t got = ::pread(sourceFd, block.data(), count, from);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw platform::IoError(errno);
    if (got == 0) throw platform::IoError(EIO);
    if (const int error = file_.Write(block.data(), static_cast<size_t>(got)); error != 0) {
      throw platform::IoError(error);
    }
    from += got;
    length -= static_cast<uint64_t>(got);
    written_ += static_cast<uint64_t>(got);
    if (written_ - writtenBack_ >= kWriteBackStep) StartWriteBack();
  }
}

void IndexWriter::StartWriteBack() {
#ifdef SYNC_FILE_RANGE_WRITE
  // Advice only: a failure changes nothing, the flush at the end still
  // writes everything.
  ::sync_file_range(file_.fd(), static_cast<off64_t>(writtenBack_), static_cast<off64_t>(written_ - writtenBack_),
                    SYNC_FILE_RANGE_WRITE);
#endif
  writtenBack_ = written_;
}

void IndexWriter::Flush() {
  if (buffer_.empty()) return;
  const int error = file_.Write(buffer_.data(), buffer_.size());
  buffer_.clear();
  if (error != 0) throw platform::IoError(error);
  if (written_ - writtenBack_ >= kWriteBackStep) StartWriteBack();
}

void IndexWriter::Close() {
  if (!file_.IsOpen()) return;
  // The index being replaced, held open across the rename: the kernel frees
  // its blocks when the last descriptor goes, which need not be waited for.
  int replaced = -1;
  try {
    Flush();
    if (::fsync(file_.fd()) != 0 && errno != EINVAL) throw platform::IoError(errno);
    if (const int error = file_.Close(); error != 0) throw platform::IoError(error);
    replaced = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) throw platform::IoError(errno);
  } catch (...) {
    if (replaced >= 0) ::close(replaced);
    Abandon();
    throw;
  }
  platform::CloseLater(replaced);
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
