// The collection folder (AppDir): the archives, and beside them the
// program's own files, whose names are fixed here and nowhere else.
//   kest.idx  the index (index_file.h)
//   kest.stamps  what kest.idx was built from (index_stamps.h)
//   kest.lyrics  the lyrics index (lyrics_database.h)
//   kest.ini  the settings: the external viewer, section "Ext Viewers"
//   temp/     where entries are extracted for viewing
// Every function takes the folder ending in the separator.
#pragma once

#include <string>

namespace fretfile {

inline constexpr const char* kIndexFileName = "kest.idx";
inline constexpr const char* kSettingsFileName = "kest.ini";
inline constexpr const char* kLyricsFileName = "kest.lyrics";
inline constexpr const char* kStampsFileName = "kest.stamps";
inline constexpr const char* kTempFolderName = "temp";

std::string IndexPathOf(const std::string& appDir);
std::string SettingsPathOf(const std::string& appDir);
std::string LyricsPathOf(const std::string& appDir);
std::string StampsPathOf(const std::string& appDir);
// appDir + "temp", without a trailing separator.
std::string TempFolderOf(const std::string& appDir);

// The external viewer as kest.ini keeps it: the program's folder (ending in
// the separator) and its file name. The command is the two joined.
struct ViewerSetting {
  std::string path;
  std::string name;
  std::string Command() const { return path + name; }
};

inline constexpr const char* kViewerSection = "Ext Viewers";
// What a key missing from kest.ini reads as (a missing file gives both).
inline constexpr const char* kMissingViewerValue = "Error";

bool SettingsFileExists(const std::string& appDir);
// Reads "Path" and "Name" of the section; each missing one is "Error".
ViewerSetting ReadViewerSetting(const std::string& appDir);
// Writes "Path", then "Name". Throws std::runtime_error "Unable to write to
// <kest.ini's path>" when the file cannot be written (a read-only kest.ini
// included).
void WriteViewerSetting(const std::string& appDir, const ViewerSetting& setting);

}  // namespace fretfile
