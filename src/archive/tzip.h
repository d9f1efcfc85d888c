// TZipFile: walks one zip archive over its local file headers, from the
// first byte to the end, without the central directory and without reading
// any entry's data. Every header found is kept in the entry list and
// reported through OnReadFile; the index rebuild writes one index line per
// report.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fretfile {

// One entry as its local header describes it.
struct ZipFile {
  uint16_t Version = 0;      // version needed to extract
  uint16_t Flags = 0;        // general-purpose bit flags
  uint16_t PackMethod = 0;   // compression method
  uint16_t FileTime = 0;     // MS-DOS packed time
  uint16_t FileDate = 0;     // MS-DOS packed date
  uint32_t Crc = 0;
  int32_t CompressedSize = 0;
  uint32_t Size = 0;
  uint16_t FileNameLength = 0;
  uint16_t ExtraLength = 0;
  // The name field up to its first zero byte, at most kNameBufferSize bytes.
  std::string FileName;
};

using TReadFile = std::function<void(ZipFile)>;

class TZipFile : public QObject {
 public:
  // Names longer than this are cut to it (the walk still moves past them).
  static constexpr size_t kNameBufferSize = 256;

  TZipFile() = default;

  // Walks the archive at path: empties the entry list, then records and
  // reports every local header in file order. The file is opened without
  // sharing; if that fails, throws platform::IoError "Cannot open file
  // <path>" and the list stays empty. A file that is not an archive yields
  // no entries and no error.
  void ReadEntries(const std::string& path);

  // The archive last assigned. Assigning takes the name only if such a file
  // exists, then walks the given name either way (so a missing file ends in
  // the open error and leaves the property as it was).
  const std::string& FileName() const { return FileName_; }
  void SetFileName(const std::string& path);

  int32_t FileCount() const { return static_cast<int32_t>(entries_.size()); }
  const std::vector<ZipFile>& Entries() const { return entries_; }

  // Called once per entry, on the walking thread, after the entry has been
  // added to the list. The handler gets a copy.
  TReadFile OnReadFile;

 private:
  std::string FileName_;
  std::vector<ZipFile> entries_;
};

}  // namespace fretfile
