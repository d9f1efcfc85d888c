// Where an archive's central directory lies (locate_directory.h), on a file
// the central-directory iteration or the local-header walker already holds
// open through the shared-mode file layer.
#pragma once

#include <cstdint>
#include <optional>

#include "archive/locate_directory.h"
#include "archive/zip_format.h"
#include "platform/posix/shared_file.h"

namespace archive {

// The offset of the end record nearest the end of the file (-1 when there is
// none or the file cannot be read) and its fields.
int64_t FindEndRecordBackwards(platform::SharedFile& file, int64_t fileSize, zip::EndRecord& record);

// The directory's real start for the end record at endRecordOffset, or
// nothing when no plausible directory is there.
std::optional<DirectoryLocation> LocateDirectory(platform::SharedFile& file, int64_t endRecordOffset,
                                                 const zip::EndRecord& record);

}  // namespace archive
