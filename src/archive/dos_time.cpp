#include "archive/dos_time.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

namespace archive {

std::optional<std::time_t> DosDateTimeToUnix(uint32_t dosDateTime) {
  const uint32_t date = dosDateTime >> 16;
  const uint32_t time = dosDateTime & 0xFFFF;
  std::tm local{};
  local.tm_year = static_cast<int>((date >> 9) + 1980 - 1900);
  local.tm_mon = static_cast<int>((date >> 5) & 15) - 1;
  local.tm_mday = static_cast<int>(date & 31);
  local.tm_hour = static_cast<int>(time >> 11);
  local.tm_min = static_cast<int>((time >> 5) & 63);
  local.tm_sec = static_cast<int>((time & 31) * 2);
  local.tm_isdst = -1;  // whatever daylight saving time says for that day
  // Windows refuses such a date rather than rolling it over; so do we.
  if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1 || local.tm_hour > 23 || local.tm_min > 59 ||
      local.tm_sec > 59) {
    return std::nullopt;
  }
  const std::time_t result = std::mktime(&local);
  if (result == static_cast<std::time_t>(-1)) return std::nullopt;
  return result;
}

uint32_t UnixToDosDateTime(std::time_t moment) {
  constexpr uint32_t kEarliest = (0u << 9 | 1u << 5 | 1u) << 16;
  constexpr uint32_t kLatest = (127u << 9 | 12u << 5 | 31u) << 16 | (23u << 11 | 59u << 5 | 29u);
  std::tm local{};
  if (::localtime_r(&moment, &local) == nullptr) return kEarliest;
  const int year = local.tm_year + 1900;
  if (year < 1980) return kEarliest;
  if (year > 2107) return kLatest;
  const auto date = static_cast<uint32_t>((year - 1980) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
  // A leap second (tm_sec 60) still fits the format's 0..29 two-second steps.
  const auto time = static_cast<uint32_t>(local.tm_hour << 11 | local.tm_min << 5 | std::min(local.tm_sec, 59) / 2);
  return date << 16 | time;
}

bool SetFileWriteTime(int fd, uint32_t dosDateTime) {
  const auto when = DosDateTimeToUnix(dosDateTime);
  if (!when) return false;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = *when;
  times[1].tv_nsec = 0;
  return ::futimens(fd, times) == 0;
}

}  // namespace archive
