// The drive of the archive and the volume in work: checking the drive,
// asking for a disk, and moving between the volumes of a set while its
// directory is read. Fixed and network drives hold numbered volume files
// and are never asked for; removable drives (the simulated ones of
// platform/drives/drives.h) are asked for by prompt or OnGetNextDisk, and each
// answer of OK stands for the user changing the disk.
//
// The component owns one; the directory read and the span writer share it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/posix/shared_file.h"

namespace fretfile {

class TZipUpdater;

class DiskVolumes {
 public:
  explicit DiskVolumes(TZipUpdater& component) : component_(component) {}
  DiskVolumes(const DiskVolumes&) = delete;
  DiskVolumes& operator=(const DiskVolumes&) = delete;

  // Whether the drive of DriveRoot is usable; reads the label, serial
  // number and space.
  bool CheckDrive();
  // bit 1: VolumeFree; bit 2: VolumeTotal.
  void DiskFreeSpace(int which);
  // Prompts until a usable disk is in the drive, and while newDiskNeeded is
  // set (it is cleared once asked); the drive's type.
  int AskForDisk(bool& newDiskNeeded);
  // Opens volume n of the set being read as Archive.
  void SwitchDisk(int32_t volume);

  std::string DriveRoot;   // drive of the archive, with its separator
  int32_t DriveIndex = -1;  // for the format dialog, 0 = A
  std::string VolumeLabel;  // of the current volume; also the label to write
  uint32_t VolumeSerial = 0;
  int64_t VolumeFree = 0;
  int64_t VolumeTotal = 0;
  int32_t CurrentDisk = 0;  // the volume in work, 0-based
  // The last volume of the set (the disk of the end record); while writing,
  // the estimate the prompts show.
  int32_t DiskNumber = 0;
  // The file actually opened: the archive's name, rewritten by volume
  // changes.
  std::string WorkingName;
  // The file being read: the archive's volume during a directory read, the
  // temporary archive while a span is written; closed otherwise.
  platform::SharedFile Archive;

 private:
  bool IsRightVolume(int driveType);
  // The prompt's text for the disk wanted.
  std::string DiskPrompt(bool& lastDisk);

  TZipUpdater& component_;
};

}  // namespace fretfile
