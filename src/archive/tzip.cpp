#include "archive/tzip.h"

#include <sys/stat.h>

#include <cstring>

#include "archive/buffered_reader.h"
#include "archive/little_endian.h"
#include "platform/io_error.h"
#include "platform/shared_file.h"

namespace fretfile {
namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr uint32_t kEndOfCentralDirSignature = 0x06054B50;
// A central header's fixed part after its signature. Its name, extra field
// and comment are not skipped by their lengths: they are read on in 4-byte
// steps like any other data the walk does not know.
constexpr uint64_t kCentralHeaderRest = 42;

// Little-endian fields. A field cut short by the end of the file keeps the
// bytes that were there and zeros for the rest.
class FieldReader {
 public:
  explicit FieldReader(BufferedReader& reader) : reader_(reader) {}

  bool Read32(uint32_t& value) {
    uint8_t bytes[4] = {};
    const size_t got = reader_.Read(bytes, 4);
    value = archive::Get32(bytes);
    return got == 4;
  }
  uint16_t Get16() {
    uint8_t bytes[2] = {};
    reader_.Read(bytes, 2);
    return archive::Get16(bytes);
  }
  uint32_t Get32() {
    uint8_t bytes[4] = {};
    reader_.Read(bytes, 4);
    return archive::Get32(bytes);
  }

 private:
  BufferedReader& reader_;
};

// Reads the rest of a local header (after its signature) and moves past
// its name, extra field and data.
ZipFile ReadLocalHeader(BufferedReader& reader) {
  FieldReader fields(reader);
  ZipFile entry;
  entry.Version = fields.Get16();
  entry.Flags = fields.Get16();
  entry.PackMethod = fields.Get16();
  entry.FileTime = fields.Get16();
  entry.FileDate = fields.Get16();
  entry.Crc = fields.Get32();
  const uint32_t compressedSize = fields.Get32();
  entry.CompressedSize = static_cast<int32_t>(compressedSize);
  entry.Size = fields.Get32();
  entry.FileNameLength = fields.Get16();
  entry.ExtraLength = fields.Get16();

  char name[TZipFile::kNameBufferSize];
  const size_t stored = std::min<size_t>(entry.FileNameLength, sizeof name);
  const size_t got = reader.Read(name, stored);
  const void* zero = std::memchr(name, 0, got);
  entry.FileName.assign(name, zero ? static_cast<const char*>(zero) - name : got);
  reader.Skip(entry.FileNameLength - stored);

  reader.Skip(entry.ExtraLength);
  // The size field is taken as unsigned: a value with the top bit set is a
  // large entry (or garbage), never a step backwards, so the walk always
  // moves forward.
  reader.Skip(compressedSize);
  return entry;
}

}  // namespace

void TZipFile::ReadEntries(const std::string& path) {
  entries_.clear();
  platform::SharedFile file;
  if (const int error = file.Open(path, platform::FileAccess::Read, platform::FileShare::DenyAll); error != 0) {
    throw platform::IoError(error, "Cannot open file " + path);
  }
  BufferedReader reader(file);
  FieldReader fields(reader);
  // Every pass consumes at least the 4 signature bytes, and reading stops at
  // the end of the file, so the loop ends on any input.
  uint32_t signature = 0;
  while (fields.Read32(signature)) {
    if (signature == kLocalHeaderSignature) {
      entries_.push_back(ReadLocalHeader(reader));
      if (OnReadFile) OnReadFile(entries_.back());
    } else if (signature == kCentralHeaderSignature) {
      reader.Skip(kCentralHeaderRest);
    } else if (signature == kEndOfCentralDirSignature) {
      break;
    }
  }
}

void TZipFile::SetFileName(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) == 0) FileName_ = path;
  ReadEntries(path);
}

}  // namespace fretfile
