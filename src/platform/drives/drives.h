// Drives: what a path's drive is, its volume's label and space, and the
// removable disks that Linux has no equivalent of.
//
// Every real path is on a fixed drive (type 3): its root is the mount point
// of the file system that holds it, its space that file system's (statvfs),
// it has no label and it is never formatted.
//
// Removable drives exist only in a simulated drive layer that tests and
// fretfile-cli set up. A simulated drive is mounted on a folder (its mount
// path); a path under the mount path is on that drive, and the drive's root
// is the mount path with a trailing separator. A disk is a folder of its
// own; the disk in the drive is what the mount path shows (the mount path
// is a symbolic link to the disk's folder; with no disk in the drive, the
// mount path does not exist). Each disk has a label, a size, and space used
// by something other than its files; its free space is its size less that
// and the bytes of the files in its folder. A disk may be unformatted.
//
// The disk change: a drive has a script, the disks a user puts in one after
// another. Answering a disk prompt with OK stands for the user having
// changed the disk: ChangeDisk puts the next disk of the script in (and
// leaves the drive empty when the script is used up). The same folder may
// appear several times in a script: it is the same disk, label and all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Drive types as the system reports them.
inline constexpr int kDriveUnknown = 0;
inline constexpr int kDriveRemovable = 2;
inline constexpr int kDriveFixed = 3;
inline constexpr int kDriveRemote = 4;

// Why a volume cannot be read.
inline constexpr int kVolumeNotReady = 21;     // no disk in the drive
inline constexpr int kVolumeGeneralFailure = 31;  // the disk is not formatted

// One disk of the simulated layer.
struct SimulatedDisk {
  std::string folder;   // what the disk holds
  std::string label;
  int64_t size = 1457664;
  // The free space as the disk comes: the bytes neither its files nor this
  // take are used by something else. Empty: everything but the files is free.
  std::optional<int64_t> free;
  bool formatted = true;
};

// One simulated removable drive.
struct SimulatedDrive {
  std::string name;      // "A", say; offered to disk prompts
  std::string mount;     // the folder path that stands for the drive
  std::string inserted;  // folder of the disk in the drive at the start; empty: none
  std::vector<std::string> changes;  // folders of the disks each change puts in, in order
};

// Replaces the simulated layer: every folder a drive names must be one of
// the disks. Mount paths are made symbolic links (an existing mount path
// must be a symbolic link or absent). Returns an empty text, or why the
// set-up was refused (then there are no simulated drives).
std::string SetUpSimulatedDrives(const std::vector<SimulatedDisk>& disks, const std::vector<SimulatedDrive>& drives);
// Removes every simulated drive (and its mount link).
void RemoveSimulatedDrives();

// Reads a description file and sets the layer up from it. Lines are
// "key=value"; blank lines and lines starting with "#" are skipped:
//   disk=FOLDER      a disk; the keys after it describe it:
//   label=TEXT       (the rest of the line, blanks included)
//   size=BYTES
//   free=BYTES
//   unformatted=1
//   drive=NAME MOUNT a drive; the keys after it describe it:
//   inserted=FOLDER  the disk in the drive at the start
//   change=FOLDER    the disk the next change puts in (one line per change)
// Returns an empty text, or what is wrong with the file.
std::string LoadSimulatedDrives(const std::string& descriptionFile);
// The environment variable fretfile-cli reads the description file's path from.
inline constexpr const char* kSimulatedDrivesVariable = "FRETFILE_SIMULATED_DRIVES";
// Loads the file the variable names; nothing to do when it is unset.
std::string LoadSimulatedDrivesFromEnvironment();

// The root of the drive that holds path ("drive of the path" + separator).
std::string DriveRootOf(const std::string& path);
// The type of the drive whose root is given: removable for a simulated
// drive, fixed for an existing real folder, unknown otherwise.
int DriveType(const std::string& root);
// Whether a drive of that root exists (a simulated drive, or a real folder).
bool DriveExists(const std::string& root);
// The drive's name: a simulated drive's own, else the root itself.
std::string DriveName(const std::string& root);
// The number of a simulated drive (for FormatDisk), -1 for any other.
int DriveIndex(const std::string& root);

struct VolumeInformation {
  std::string label;
  uint32_t serial = 0;
};
// The volume in the drive; on failure, error is one of the reasons above.
std::optional<VolumeInformation> ReadVolumeInformation(const std::string& root, int& error);
// Free bytes available and total bytes of the volume; -1 each when unknown.
void DiskSpace(const std::string& root, int64_t& free, int64_t& total);
// Writes the label of the disk in a simulated drive; false for any other
// drive, or with no formatted disk in it.
bool SetVolumeLabel(const std::string& root, const std::string& label);

// The user changed the disk in the drive: the next disk of its script goes
// in. Nothing happens for a drive that is not simulated.
void ChangeDisk(const std::string& root);
// The label of the disk whose folder is given, for tests and tools.
std::optional<std::string> SimulatedDiskLabel(const std::string& folder);

// Formats the disk in simulated drive driveIndex: its folder is emptied and
// its label set. A full format also reclaims the space something else used;
// a startup disk gets the system file kStartupFile. 0 when done, -1 when
// there is no disk to format, -3 when there is no such drive.
inline constexpr const char* kStartupFile = "IO.SYS";
int FormatDisk(int driveIndex, const std::string& label, bool quick, bool startupDisk);
// The size of the disk in simulated drive driveIndex and its label; false
// with no disk in it.
bool DiskInDrive(int driveIndex, int64_t& size, std::string& label, std::string& driveName);

}  // namespace platform
