// Extracting entries into memory, for reading a song's text without
// writing it anywhere (the lyrics index reads every song of the
// collection).
//
// A MemoryExtractor has its own extraction state, so it runs beside
// UnzipMember (another thread included) and lets no window message run. It
// keeps one archive open for the entries of a walk of its central
// directory. Every extraction is capped: an entry whose text passes the
// limit fails as a failed write, and nothing more than the limit is ever
// held.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "archive/unzip_member.h"

namespace archive {

struct ExtractionState;

class MemoryExtractor {
 public:
  MemoryExtractor();
  ~MemoryExtractor();
  MemoryExtractor(const MemoryExtractor&) = delete;
  MemoryExtractor& operator=(const MemoryExtractor&) = delete;

  // Opens the archive (shared, for reading); false when it cannot.
  bool Open(const std::string& archiveName);
  void Close();

  // Extracts the entry whose local header is at headerOffset into `bytes`
  // (replacing them), checking its CRC against the recorded values of its
  // central-directory record (which also stand in for sizes the local
  // header defers to a data descriptor). Returns a kUnzip* result:
  // kUnzipWriteFailed when the entry holds more than `limit` bytes.
  int Extract(uint32_t headerOffset, const RecordedValues& recorded, size_t limit, std::string& bytes);

 private:
  std::unique_ptr<ExtractionState> state_;
};

}  // namespace archive
