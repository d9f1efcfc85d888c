#include "platform/drives/drives.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <system_error>

namespace platform {
namespace fs = std::filesystem;
namespace {

struct DiskState {
  std::string folder;
  std::string label;
  int64_t size = 0;
  int64_t other = 0;  // bytes used by something other than the files
  bool formatted = true;
};

struct DriveState {
  std::string name;
  std::string mount;      // lexically normal, no trailing separator
  int inserted = -1;      // index into g_disks
  std::vector<int> changes;
  size_t nextChange = 0;
};

std::mutex g_mutex;
std::vector<DiskState> g_disks;
std::vector<DriveState> g_drives;

std::string Normal(const std::string& path) {
  std::error_code error;
  std::string normal = fs::absolute(path, error).lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}

bool Under(const std::string& path, const std::string& folder) {
  return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                            (folder == "/" || path[folder.size()] == '/'));
}

// The simulated drive a path lies on (the caller holds the lock).
DriveState* SimulatedDriveOf(const std::string& path) {
  const std::string normal = Normal(path);
  for (DriveState& drive : g_drives) {
    if (Under(normal, drive.mount)) return &drive;
  }
  return nullptr;
}

int64_t FolderBytes(const std::string& folder) {
  int64_t bytes = 0;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code sizeError;
    if (it->is_regular_file(sizeError)) {
      const auto size = it->file_size(sizeError);
      if (!sizeError) bytes += static_cast<int64_t>(size);
    }
  }
  return bytes;
}

// Points the drive's mount path at the disk in it, or removes it with no disk.
bool Remount(const DriveState& drive) {
  std::error_code error;
  if (drive.inserted < 0) {
    fs::remove(drive.mount, error);
    return !error;
  }
  const std::string swap = drive.mount + ".change";
  fs::remove(swap, error);
  fs::create_symlink(Normal(g_disks[static_cast<size_t>(drive.inserted)].folder), swap, error);
  if (error) return false;
  fs::rename(swap, drive.mount, error);
  return !error;
}

void RemoveLocked() {
  for (const DriveState& drive : g_drives) {
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(drive.mount, error))) fs::remove(drive.mount, error);
  }
  g_drives.clear();
  g_disks.clear();
}

int DiskIndex(const std::string& folder) {
  const std::string normal = Normal(folder);
  for (size_t i = 0; i < g_disks.size(); ++i) {
    if (g_disks[i].folder == normal) return static_cast<int>(i);
  }
  return -1;
}

DiskState* InsertedDisk(DriveState& drive) {
  return drive.inserted < 0 ? nullptr : &g_disks[static_cast<size_t>(drive.inserted)];
}

// The mount point of the file system that holds path: the highest folder
// above it on the same device.
std::string FileSystemRoot(const std::string& path) {
  fs::path at = fs::path(Normal(path));
  struct stat info {};
  while (::stat(at.c_str(), &info) != 0) {
    if (at == at.root_path() || at.empty()) return "/";
    at = at.parent_path();
  }
  const dev_t device = info.st_dev;
  while (at != at.root_path()) {
    const fs::path parent = at.parent_path();
    struct stat above {};
    if (::stat(parent.c_str(), &above) != 0 || above.st_dev != device) break;
    at = parent;
  }
  return at.string();
}

std::string WithSeparator(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

bool ParseBytes(const std::string& text, int64_t& value) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  value = std::stoll(text);
  return true;
}

}  // namespace

std::string SetUpSimulatedDrives(const std::vector<SimulatedDisk>& disks, const std::vector<SimulatedDrive>& drives) {
  std::lock_guard lock(g_mutex);
  RemoveLocked();
  const auto refuse = [](const std::string& why) {
    RemoveLocked();
    return why;
  };
  for (const SimulatedDisk& disk : disks) {
    std::error_code error;
    if (!fs::is_directory(disk.folder, error)) return refuse("no such disk folder: " + disk.folder);
    if (disk.size < 0 || (disk.free && (*disk.free < 0 || *disk.free > disk.size))) {
      return refuse("the free space must lie between 0 and the size: " + disk.folder);
    }
    if (DiskIndex(disk.folder) >= 0) return refuse("a disk is described twice: " + disk.folder);
    DiskState state;
    state.folder = Normal(disk.folder);
    state.label = disk.label;
    state.size = disk.size;
    state.formatted = disk.formatted;
    if (disk.free) state.other = std::max<int64_t>(0, disk.size - *disk.free - FolderBytes(state.folder));
    g_disks.push_back(state);
  }
  for (const SimulatedDrive& drive : drives) {
    DriveState state;
    state.name = drive.name;
    state.mount = Normal(drive.mount);
    std::error_code error;
    const auto status = fs::symlink_status(state.mount, error);
    if (fs::exists(status) && !fs::is_symlink(status)) {
      return refuse("the mount path exists and is not a link: " + drive.mount);
    }
    state.inserted = drive.inserted.empty() ? -1 : DiskIndex(drive.inserted);
    if (!drive.inserted.empty() && state.inserted < 0) return refuse("not a disk: " + drive.inserted);
    for (const std::string& folder : drive.changes) {
      const int index = DiskIndex(folder);
      if (index < 0) return refuse("not a disk: " + folder);
      state.changes.push_back(index);
    }
    g_drives.push_back(state);
    if (!Remount(g_drives.back())) return refuse("cannot mount the drive on " + drive.mount);
  }
  return {};
}

void RemoveSimulatedDrives() {
  std::lock_guard lock(g_mutex);
  RemoveLocked();
}

std::string LoadSimulatedDrives(const std::string& descriptionFile) {
  std::ifstream in(descriptionFile);
  if (!in) return "cannot read " + descriptionFile;
  std::vector<SimulatedDisk> disks;
  std::vector<SimulatedDrive> drives;
  bool describingDisk = false;
  int lineNumber = 0;
  for (std::string line; std::getline(in, line);) {
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t equals = line.find('=');
    const std::string where = descriptionFile + ":" + std::to_string(lineNumber) + ": ";
    if (equals == std::string::npos) return where + "not key=value";
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    int64_t bytes = 0;
    if (key == "disk") {
      disks.push_back({value, {}, SimulatedDisk{}.size, std::nullopt, true});
      describingDisk = true;
    } else if (key == "drive") {
      const size_t blank = value.find(' ');
      if (blank == std::string::npos || blank == 0) return where + "drive=NAME MOUNT";
      drives.push_back({value.substr(0, blank), value.substr(blank + 1), {}, {}});
      describingDisk = false;
    } else if (describingDisk && key == "label") {
      disks.back().label = value;
    } else if (describingDisk && (key == "size" || key == "free")) {
      if (!ParseBytes(value, bytes)) return where + "not a number of bytes";
      if (key == "size") {
        disks.back().size = bytes;
      } else {
        disks.back().free = bytes;
      }
    } else if (describingDisk && key == "unformatted") {
      disks.back().formatted = value != "1";
    } else if (!describingDisk && !drives.empty() && key == "inserted") {
      drives.back().inserted = value;
    } else if (!describingDisk && !drives.empty() && key == "change") {
      drives.back().changes.push_back(value);
    } else {
      return where + "unexpected key " + key;
    }
  }
  const std::string problem = SetUpSimulatedDrives(disks, drives);
  return problem.empty() ? problem : descriptionFile + ": " + problem;
}

std::string LoadSimulatedDrivesFromEnvironment() {
  const char* file = std::getenv(kSimulatedDrivesVariable);
  if (file == nullptr || *file == '\0') return {};
  return LoadSimulatedDrives(file);
}

std::string DriveRootOf(const std::string& path) {
  {
    std::lock_guard lock(g_mutex);
    if (const DriveState* drive = SimulatedDriveOf(path)) return WithSeparator(drive->mount);
  }
  return WithSeparator(FileSystemRoot(fs::path(Normal(path)).parent_path().string()));
}

int DriveType(const std::string& root) {
  std::lock_guard lock(g_mutex);
  for (const DriveState& drive : g_drives) {
    if (Normal(root) == drive.mount) return kDriveRemovable;
  }
  std::error_code error;
  return fs::is_directory(root, error) ? kDriveFixed : kDriveUnknown;
}

bool DriveExists(const std::string& root) { return DriveType(root) != kDriveUnknown; }

std::string DriveName(const std::string& root) {
  std::lock_guard lock(g_mutex);
  for (const DriveState& drive : g_drives) {
    if (Normal(root) == drive.mount) return drive.name;
  }
  return root;
}

int DriveIndex(const std::string& root) {
  std::lock_guard lock(g_mutex);
  for (size_t i = 0; i < g_drives.size(); ++i) {
    if (Normal(root) == g_drives[i].mount) return static_cast<int>(i);
  }
  return -1;
}

std::optional<VolumeInformation> ReadVolumeInformation(const std::string& root, int& error) {
  {
    std::lock_guard lock(g_mutex);
    for (DriveState& drive : g_drives) {
      if (Normal(root) != drive.mount) continue;
      const DiskState* disk = InsertedDisk(drive);
      if (disk == nullptr) {
        error = kVolumeNotReady;
        return std::nullopt;
      }
      if (!disk->formatted) {
        error = kVolumeGeneralFailure;
        return std::nullopt;
      }
      return VolumeInformation{disk->label, static_cast<uint32_t>(std::hash<std::string>{}(disk->folder))};
    }
  }
  struct statvfs info {};
  if (::statvfs(root.c_str(), &info) != 0) {
    error = kVolumeNotReady;
    return std::nullopt;
  }
  return VolumeInformation{"", static_cast<uint32_t>(info.f_fsid)};
}

void DiskSpace(const std::string& root, int64_t& free, int64_t& total) {
  free = total = -1;
  {
    std::lock_guard lock(g_mutex);
    for (DriveState& drive : g_drives) {
      if (Normal(root) != drive.mount) continue;
      const DiskState* disk = InsertedDisk(drive);
      if (disk == nullptr || !disk->formatted) return;
      total = disk->size;
      free = std::max<int64_t>(0, disk->size - disk->other - FolderBytes(disk->folder));
      return;
    }
  }
  struct statvfs info {};
  if (::statvfs(root.c_str(), &info) != 0) return;
  free = static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
  total = static_cast<int64_t>(info.f_blocks) * static_cast<int64_t>(info.f_frsize);
}

bool SetVolumeLabel(const std::string& root, const std::string& label) {
  std::lock_guard lock(g_mutex);
  for (DriveState& drive : g_drives) {
    if (Normal(root) != drive.mount) continue;
    DiskState* disk = InsertedDisk(drive);
    if (disk == nullptr || !disk->formatted) return false;
    disk->label = label;
    return true;
  }
  return false;
}

void ChangeDisk(const std::string& root) {
  std::lock_guard lock(g_mutex);
  for (DriveState& drive : g_drives) {
    if (Normal(root) != drive.mount) continue;
    drive.inserted = drive.nextChange < drive.changes.size() ? drive.changes[drive.nextChange++] : -1;
    Remount(drive);
    return;
  }
}

std::optional<std::string> SimulatedDiskLabel(const std::string& folder) {
  std::lock_guard lock(g_mutex);
  const int index = DiskIndex(folder);
  if (index < 0) return std::nullopt;
  return g_disks[static_cast<size_t>(index)].label;
}

int FormatDisk(int driveIndex, const std::string& label, bool quick, bool startupDisk) {
  std::lock_guard lock(g_mutex);
  if (driveIndex < 0 || static_cast<size_t>(driveIndex) >= g_drives.size()) return -3;
  DiskState* disk = InsertedDisk(g_drives[static_cast<size_t>(driveIndex)]);
  if (disk == nullptr) return -1;
  std::error_code error;
  for (fs::directory_iterator it(disk->folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code removeError;
    fs::remove_all(it->path(), removeError);
    if (removeError) return -1;
  }
  if (error) return -1;
  disk->formatted = true;
  disk->label = label;
  if (!quick) disk->other = 0;
  if (startupDisk) {
    std::ofstream system(disk->folder + "/" + kStartupFile, std::ios::binary);
    system << "Fretfile simulated system file\n";
    if (!system) return -1;
  }
  return 0;
}

bool DiskInDrive(int driveIndex, int64_t& size, std::string& label, std::string& driveName) {
  std::lock_guard lock(g_mutex);
  if (driveIndex < 0 || static_cast<size_t>(driveIndex) >= g_drives.size()) return false;
  DriveState& drive = g_drives[static_cast<size_t>(driveIndex)];
  driveName = drive.name;
  const DiskState* disk = InsertedDisk(drive);
  if (disk == nullptr) return false;
  size = disk->size;
  label = disk->label;
  return true;
}

}  // namespace platform
