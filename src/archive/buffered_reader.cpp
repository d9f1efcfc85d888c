#include "archive/buffered_reader.h"

#include <algorithm>
#include <cstring>

namespace archive {

BufferedReader::BufferedReader(platform::SharedFile& file)
    : file_(file), buffer_(kBufferSize), fileSize_(file.Size()) {}

size_t BufferedReader::Read(void* out, size_t count) {
  auto* bytes = static_cast<uint8_t*>(out);
  size_t done = 0;
  while (done < count) {
    if (bufferPos_ == bufferLen_ && !Fill()) break;
    const size_t chunk = std::min(count - done, bufferLen_ - bufferPos_);
    std::memcpy(bytes + done, buffer_.data() + bufferPos_, chunk);
    bufferPos_ += chunk;
    done += chunk;
  }
  return done;
}

size_t BufferedReader::Peek(void* out, size_t count) {
  while (bufferLen_ - bufferPos_ < count && TopUp()) {
  }
  const size_t available = std::min(count, bufferLen_ - bufferPos_);
  std::memcpy(out, buffer_.data() + bufferPos_, available);
  return available;
}

bool BufferedReader::TopUp() {
  if (exhausted_ || (bufferLen_ == buffer_.size() && bufferPos_ == 0)) return false;
  const size_t kept = bufferLen_ - bufferPos_;
  std::memmove(buffer_.data(), buffer_.data() + bufferPos_, kept);
  bufferStart_ += bufferPos_;
  bufferPos_ = 0;
  bufferLen_ = kept;
  const uint64_t readFrom = bufferStart_ + kept;
  if (fileSize_ < 0 || readFrom >= static_cast<uint64_t>(fileSize_) || !file_.Seek(static_cast<int64_t>(readFrom))) {
    exhausted_ = true;
    return false;
  }
  const ssize_t got = file_.Read(buffer_.data() + kept, buffer_.size() - kept);
  if (got <= 0) {
    exhausted_ = true;
    return false;
  }
  bufferLen_ += static_cast<size_t>(got);
  return true;
}

void BufferedReader::Skip(uint64_t count) {
  const uint64_t left = bufferLen_ - bufferPos_;
  if (count <= left) {
    bufferPos_ += static_cast<size_t>(count);
    return;
  }
  // Beyond the buffer: drop it and start the next fill at the new position.
  bufferStart_ = Position() + count;
  bufferPos_ = 0;
  bufferLen_ = 0;
}

bool BufferedReader::Fill() {
  if (exhausted_) return false;
  bufferStart_ += bufferPos_;
  bufferPos_ = 0;
  bufferLen_ = 0;
  if (fileSize_ < 0 || bufferStart_ >= static_cast<uint64_t>(fileSize_)) {
    exhausted_ = true;
    return false;
  }
  if (!file_.Seek(static_cast<int64_t>(bufferStart_))) {
    exhausted_ = true;
    return false;
  }
  const ssize_t got = file_.Read(buffer_.data(), buffer_.size());
  if (got <= 0) {
    exhausted_ = true;
    return false;
  }
  bufferLen_ = static_cast<size_t>(got);
  return true;
}

}  // namespace archive
