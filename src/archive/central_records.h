// The records of a central directory, one after the other, each read whole:
// its fixed part, name, extra field and comment, with the sizes and offset
// its zip64 extra field holds applied. The one reader of central records
// that the update component's directory list, the walker's look-up of
// deferred sizes and the compression library share; where the directory
// starts is for locate_directory.h to say.
//
// The reader works on a source of bytes at given offsets (locate_directory.h
// says what one is) and stops at a bound the caller sets: the end of the
// directory when its recorded size is to be trusted (the compression
// library, which rewrites it), the end of the file when the records are
// counted instead (the directory list, which also goes on to the next
// volume of a set when a volume ends between two records). The directory is
// hostile input: a record is only handed out when all of it lies before the
// bound, and what is short or missing says which part it was, so each
// caller words its own failure.
//
// Bytes come through one window of up to 256 KiB, which holds the longest
// record there can be, so a directory of small records costs one read per
// window, and a small directory no more memory than its size.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "archive/zip_format.h"

namespace archive {

// One record as the reader hands it out; the pointers stay valid until the
// reader's next call.
struct CentralRecord {
  zip::CentralHeader header;  // with its zip64 values applied
  zip::Zip64Outcome zip64 = zip::Zip64Outcome::NotNeeded;
  const uint8_t* bytes = nullptr;  // the whole record: fixed part, name, extra field, comment
  size_t length = 0;
  std::string_view name;
  const uint8_t* extra = nullptr;
  std::string_view comment;
};

enum class CentralRead {
  kRecord,       // a whole record
  kEnd,          // the bound is reached exactly, between two records
  kHeaderShort,  // fewer bytes than a fixed part are left before the bound
  kNoSignature,  // the fixed part does not start a central header
  kNameShort,    // the name, the extra field or the comment runs past the bound
  kExtraShort,
  kCommentShort,
  kUnreadable,  // the source failed to deliver bytes before the bound
};

namespace central_detail {

inline constexpr size_t kWindow = 256 * 1024;
static_assert(kWindow > zip::kCentralHeaderLength + 3 * 0xFFFF, "the window holds the longest record");

}  // namespace central_detail

template <typename Source>
class CentralRecords {
 public:
  // Reads from start up to end (exclusive) of source, which must outlive
  // the reader.
  CentralRecords(Source& source, uint64_t start, uint64_t end) : source_(&source), next_(start), end_(end) {}

  CentralRead Next(CentralRecord& record) {
    if (next_ >= end_) return next_ == end_ ? CentralRead::kEnd : CentralRead::kHeaderShort;
    uint64_t left = end_ - next_;
    if (left < zip::kCentralHeaderLength) return CentralRead::kHeaderShort;
    if (!Load(zip::kCentralHeaderLength)) return CentralRead::kUnreadable;
    zip::CentralHeader header;
    if (!zip::ParseCentralHeader(At(), header)) return CentralRead::kNoSignature;
    left -= zip::kCentralHeaderLength;
    // Each field must lie before the bound, in the order they follow.
    if (header.nameLength > left) return CentralRead::kNameShort;
    left -= header.nameLength;
    if (header.extraLength > left) return CentralRead::kExtraShort;
    left -= header.extraLength;
    if (header.commentLength > left) return CentralRead::kCommentShort;
    const size_t length = header.Length();
    if (!Load(length)) return CentralRead::kUnreadable;

    const uint8_t* bytes = At();
    const uint8_t* name = bytes + zip::kCentralHeaderLength;
    const uint8_t* extra = name + header.nameLength;
    record.zip64 = zip::ApplyZip64Extra(extra, header.extraLength, header);
    record.header = header;
    record.bytes = bytes;
    record.length = length;
    record.name = std::string_view(reinterpret_cast<const char*>(name), header.nameLength);
    record.extra = extra;
    record.comment = std::string_view(reinterpret_cast<const char*>(extra + header.extraLength), header.commentLength);
    next_ += length;
    return CentralRead::kRecord;
  }

  // Where the next record starts.
  uint64_t Position() const { return next_; }

 private:
  // Makes count bytes from next_ on available in the window (the caller has
  // checked that they lie before the bound).
  bool Load(size_t count) {
    if (next_ >= windowStart_ && next_ + count <= windowStart_ + windowLength_) return true;
    const auto length = static_cast<size_t>(std::min<uint64_t>(central_detail::kWindow, end_ - next_));
    if (length < count) return false;
    // Grown as needed: a small directory costs no more than its size.
    if (window_.size() < length) window_.resize(length);
    if (!source_->ReadAt(static_cast<int64_t>(next_), window_.data(), length)) return false;
    windowStart_ = next_;
    windowLength_ = length;
    return true;
  }
  const uint8_t* At() const { return window_.data() + (next_ - windowStart_); }

  Source* source_;
  uint64_t next_;
  uint64_t end_;
  std::vector<uint8_t> window_;
  uint64_t windowStart_ = 0;
  size_t windowLength_ = 0;
};

}  // namespace archive
