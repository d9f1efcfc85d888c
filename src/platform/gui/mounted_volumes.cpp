#include "platform/gui/mounted_volumes.h"

#include <QStorageInfo>
#include <algorithm>

namespace platform {

std::vector<std::string> MountedVolumeRoots() {
  std::vector<std::string> roots{"/"};
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (!volume.isValid() || !volume.isReady()) continue;
    const std::string root = QFile::encodeName(volume.rootPath()).toStdString();
    if (root.empty() || std::find(roots.begin(), roots.end(), root) != roots.end()) continue;
    roots.push_back(root);
  }
  return roots;
}

std::string VolumeRootOf(const std::vector<std::string>& roots, const std::string& path) {
  std::string best = "/";
  for (const std::string& root : roots) {
    if (root.size() <= best.size()) continue;
    const bool holds = path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                                        (root.back() == '/' || path[root.size()] == '/'));
    if (holds) best = root;
  }
  return best;
}

}  // namespace platform
