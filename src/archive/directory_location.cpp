#include "archive/directory_location.h"

namespace archive {
namespace {

// The shared-mode file as a source of bytes at given offsets.
struct SharedFileSource {
  platform::SharedFile& file;
  bool ReadAt(int64_t offset, uint8_t* out, size_t count) {
    return offset >= 0 && file.Seek(offset) && file.Read(out, count) == static_cast<ssize_t>(count);
  }
};

}  // namespace

int64_t FindEndRecordBackwards(platform::SharedFile& file, int64_t fileSize, zip::EndRecord& record) {
  SharedFileSource source{file};
  return FindEndRecordIn(source, fileSize, record);
}

std::optional<DirectoryLocation> LocateDirectory(platform::SharedFile& file, int64_t endRecordOffset,
                                                 const zip::EndRecord& record) {
  SharedFileSource source{file};
  return LocateDirectoryIn(source, endRecordOffset, record);
}

}  // namespace archive
