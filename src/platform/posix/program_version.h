// The program's name and version; the version is the build's project version.
#pragma once

namespace platform {

inline constexpr const char* kProgramVersion = FRETFILE_VERSION;
// What `--version` prints: "Fretfile 1.5".
inline constexpr const char* kProgramVersionText = "Fretfile " FRETFILE_VERSION;

}  // namespace platform
