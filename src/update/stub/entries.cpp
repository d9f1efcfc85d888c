#include "update/stub/entries.h"

#include "archive/unzip_member.h"
#include "archive/zip_find.h"
#include "archive/zip_format.h"

namespace sfxstub {

Listing ReadEntries(const std::string& archivePath) {
  Listing listing;
  archive::ZipSearchRec rec;
  int walk = archive::ZipFindFirst(archivePath, rec);
  // No entry at all still is a readable (empty) archive.
  listing.readable = walk >= 0;
  for (; walk == archive::kZipFindFound; walk = archive::ZipFindNext(rec)) {
    listing.entries.push_back({rec.FileName, rec.HeaderOffset, rec.CompressedSize, rec.Size, rec.Attributes, rec.Crc});
  }
  listing.complete = walk != archive::kZipFindTooLarge;
  archive::ZipFindClose(rec);
  return listing;
}

bool EntriesInside(const std::vector<Entry>& entries, uint64_t fileSize) {
  for (const Entry& entry : entries) {
    const uint64_t least = uint64_t{entry.headerOffset} + archive::zip::kLocalHeaderLength + entry.compressedSize;
    if (least > fileSize) return false;
  }
  return true;
}

std::string ResultText(int result) {
  switch (result) {
    case archive::kUnzipCrcMismatch: return "its data is damaged (CRC mismatch)";
    case archive::kUnzipWriteFailed: return "the file cannot be written";
    case archive::kUnzipInputFailed: return "the archive cannot be read";
    case archive::kUnzipCorrupt: return "its data is damaged";
    case archive::kUnzipAborted: return "aborted";
    case archive::kUnzipUnsupportedMethod: return "its compression method is not supported";
    case archive::kUnzipEncrypted: return "it is encrypted";
    default: return "error " + std::to_string(result);
  }
}

}  // namespace sfxstub
