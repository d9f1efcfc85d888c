// MS-DOS file attributes on a POSIX file system.
//   0x01 read-only: a file without write permission (setting it clears the
//        write bits, clearing it gives the owner write permission back);
//   0x02 hidden: a name that starts with '.';
//   0x10 directory; 0x20 archive: every regular file.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrSystem = 0x04;
inline constexpr uint32_t kAttrVolumeId = 0x08;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;

// Attributes of an existing path, or -1 when it does not exist.
int64_t GetFileAttributes(const std::string& path);
// Applies the read-only bit (the only one a file can change here).
bool SetFileAttributes(const std::string& path, uint32_t attributes);
// Whether the path names a regular file (through links); false when it
// cannot be looked at.
bool IsFile(const std::string& path);

}  // namespace platform
