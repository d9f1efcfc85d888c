#include "update/span/disk_volumes.h"

#include <algorithm>

#include "platform/drives/drives.h"
#include "platform/ui_contracts/prompts.h"
#include "update/component/updater_messages.h"
#include "update/component/zip_updater.h"
#include "update/span/volume_names.h"

namespace fretfile {
namespace {

using Display = EZipUpdater::Display;

constexpr size_t kLongestLabel = 255;

std::string Text(int32_t number, const std::string& defaultText,
                 std::initializer_list<msg::FormatArgument> arguments) {
  return msg::FormatText(TZipUpdater::MessageText(number, defaultText), arguments);
}

}  // namespace

bool DiskVolumes::CheckDrive() {
  VolumeTotal = 0;
  VolumeLabel.clear();
  if (DriveRoot.empty() || DriveRoot[0] != '/') throw EZipUpdater(msg::kInvalidDrive, DriveRoot);
  if (!platform::DriveExists(DriveRoot)) throw EZipUpdater(msg::kDriveAbsent, DriveRoot);
  int error = 0;
  if (const auto volume = platform::ReadVolumeInformation(DriveRoot, error)) {
    VolumeLabel = volume->label.substr(0, kLongestLabel);
    VolumeSerial = volume->serial;
    DiskFreeSpace(3);
    return VolumeTotal != -1;
  }
  // An unformatted disk is usable when it is going to be formatted.
  return error == platform::kVolumeGeneralFailure && component_.AddOptions.Contains(AddDiskSpanErase);
}

void DiskVolumes::DiskFreeSpace(int which) {
  int64_t free = -1;
  int64_t total = -1;
  platform::DiskSpace(DriveRoot, free, total);
  if ((which & 1) != 0) VolumeFree = free;
  if ((which & 2) != 0) VolumeTotal = total;
}

std::string DiskVolumes::DiskPrompt(bool& lastDisk) {
  lastDisk = CurrentDisk < 0;
  if (lastDisk) return TZipUpdater::MessageText(msg::kInsertLastDisk, "Please insert last disk in set");
  if (!component_.InOperation()) {
    return Text(msg::kInsertVolumeOf, "Please insert disk volume %.1d of %.1d",
                {int64_t{CurrentDisk} + 1, int64_t{DiskNumber} + 1});
  }
  // While writing, the number of disks is an estimate from the size of the
  // archive and of the disk in the drive.
  int64_t volumeSize = VolumeTotal;
  if (component_.MaxVolumeSize > 0) volumeSize = std::min<int64_t>(volumeSize, component_.MaxVolumeSize);
  DiskNumber = CurrentDisk;
  if (volumeSize <= 0) return Text(msg::kInsertVolume, "Please insert disk volume %.1d", {int64_t{CurrentDisk} + 1});
  const int64_t estimate = (component_.ArchiveEnd() + 4 + component_.KeepFreeOnDisk1) / volumeSize;
  DiskNumber = static_cast<int32_t>(std::clamp<int64_t>(estimate, DiskNumber, INT32_MAX - 1));
  return Text(msg::kInsertVolumeOf, "Please insert disk volume %.1d of %.1d",
              {int64_t{CurrentDisk} + 1, int64_t{DiskNumber} + 1});
}

int DiskVolumes::AskForDisk(bool& newDiskNeeded) {
  const int type = platform::DriveType(DriveRoot);
  platform::PromptAnswer answer = platform::PromptAnswer::Ok;
  while ((answer == platform::PromptAnswer::Ok && !CheckDrive()) || newDiskNeeded) {
    if (NumberedDrive(type)) {
      newDiskNeeded = false;
      break;
    }
    if (component_.Unattended) throw EZipUpdater(msg::kDiskWhileUnattended, Display::Yes);
    bool lastDisk = false;
    const std::string text = DiskPrompt(lastDisk) + Text(msg::kInDrive, "\r\nin drive: %s", {DriveRoot});
    if (component_.OnGetNextDisk) {
      bool abort = false;
      component_.OnGetNextDisk(component_, CurrentDisk + 1, DiskNumber + 1, platform::DriveName(DriveRoot), abort);
      answer = abort ? platform::PromptAnswer::Cancel : platform::PromptAnswer::Ok;
    } else {
      const auto icon = lastDisk ? platform::PromptIcon::Stop : platform::PromptIcon::None;
      answer = platform::PromptQuestion({"", text, platform::PromptButtons::OkCancel, icon, 0});
    }
    newDiskNeeded = false;
    if (answer == platform::PromptAnswer::Ok) platform::ChangeDisk(DriveRoot);
  }
  if (answer != platform::PromptAnswer::Ok) throw EZipUpdater(msg::kCancelled, Display::No);
  return type;
}

void DiskVolumes::SwitchDisk(int32_t volume) {
  Archive.Close();
  CurrentDisk = volume;
  bool failed = false;
  for (;;) {
    int type = platform::kDriveUnknown;
    if (failed) {
      if (NumberedDrive(platform::DriveType(DriveRoot))) throw EZipUpdater(msg::kCannotOpen, Display::Yes);
      component_.ReportMessage(msg::kCannotOpen, "");
    }
    do {
      bool newDiskNeeded = true;
      type = AskForDisk(newDiskNeeded);
    } while (!IsRightVolume(type));
    if (Archive.Open(WorkingName, platform::FileAccess::Read, platform::FileShare::Shared) == 0) return;
    failed = true;
  }
}

bool DiskVolumes::IsRightVolume(int driveType) {
  if (NumberedDrive(driveType)) {
    WorkingName = RenumberedVolumeName(WorkingName, CurrentDisk);
    return true;
  }
  return VolumeLabel == VolumeLabelOf(CurrentDisk);
}

}  // namespace fretfile
