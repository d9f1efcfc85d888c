// The drives a drive selector offers: on Linux the mounted volumes, by the
// directory they are mounted on, the root "/" first.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Mount points of the mounted, ready volumes ("/" first, then in the
// system's mount order, each once).
std::vector<std::string> MountedVolumeRoots();

// The entry of roots that holds path: the longest root that is path itself
// or a folder above it; "/" when none other does.
std::string VolumeRootOf(const std::vector<std::string>& roots, const std::string& path);

}  // namespace platform
