// The archive's entries as the stub lists, checks and extracts them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sfxstub {

struct Entry {
  std::string name;
  uint32_t headerOffset = 0;  // in the program's file
  uint32_t compressedSize = 0;
  uint32_t size = 0;
  uint16_t attributes = 0;
  uint32_t crc = 0;
  bool IsFolder() const { return !name.empty() && name.back() == '/'; }
};

struct Listing {
  bool readable = false;  // false: no central directory could be read
  bool complete = true;   // false: an entry lies beyond what the listing can hold
  std::vector<Entry> entries;
};

Listing ReadEntries(const std::string& archivePath);

// Whether every entry's data can lie inside a file of this size: an archive
// cut short (a download that stopped) fails this before anything is made.
bool EntriesInside(const std::vector<Entry>& entries, uint64_t fileSize);

// Words for a result of the extraction (archive/unzip_member.h).
std::string ResultText(int result);

}  // namespace sfxstub
