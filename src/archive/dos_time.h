// MS-DOS packed date and time (the form zip headers keep) as file times.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>

namespace archive {

// The moment a packed DOS date and time (date in the high 16 bits, time in
// the low 16) names, read as local time; nothing for an impossible date.
std::optional<std::time_t> DosDateTimeToUnix(uint32_t dosDateTime);

// The packed DOS date and time of a moment, in local time, seconds rounded
// down to even; moments before 1980 give 1980-01-01 00:00:00 and moments
// after 2107 give 2107-12-31 23:59:58, the range the format can hold.
uint32_t UnixToDosDateTime(std::time_t moment);

// Sets the last-write time of an open file (access time left alone).
bool SetFileWriteTime(int fd, uint32_t dosDateTime);

}  // namespace archive
