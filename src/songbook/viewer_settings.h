// What the viewer remembers in the user's configuration folder
// (platform/posix/user_config.h), in the file viewer.conf: the size of its
// text, one for every viewer, and the auto-scroll speed of each song.
//
// A value that cannot be read (no configuration folder, no file, a value
// out of range) is the caller's fallback. Writing replaces the file whole
// through a new file renamed over it, so a failure leaves the old one.
#pragma once

#include <string>

namespace songbook {

// The file; "" when the user has no configuration folder.
std::string ViewerSettingsFile();

// The text size of the viewers in points, from kSmallestZoom to kLargestZoom.
inline constexpr int kSmallestZoom = 6;
inline constexpr int kLargestZoom = 48;
int RememberedZoom(int fallback);
// False when it could not be remembered.
bool RememberZoom(int points);

// A song's auto-scroll speed in lines per minute, from kSlowestScroll to
// kFastestScroll. The song is its archive's file name (the folder is left
// out, so that a collection that moves keeps its speeds) and its entry name.
inline constexpr int kSlowestScroll = 2;
inline constexpr int kFastestScroll = 600;
int RememberedScrollSpeed(const std::string& archivePath, const std::string& entryName, int fallback);
bool RememberScrollSpeed(const std::string& archivePath, const std::string& entryName, int linesPerMinute);

}  // namespace songbook
