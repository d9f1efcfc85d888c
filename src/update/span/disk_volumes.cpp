// The component's disks and drives: checking the drive of DriveRoot,
// asking for a disk, and moving between the volumes of a set while its
// directory is read. Fixed and network drives hold numbered volume files and
// are never asked for; removable drives (the simulated ones of
// platform/drives.h) are asked for by prompt or OnGetNextDisk, and each
// answer of OK stands for the user changing the disk.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/drives.h"
#include "platform/prompts.h"
#include "update/component/updater_messages.h"
#include "update/component/zip_updater.h"
#include "update/span/volume_names.h"

namespace fretfile {
namespace {

using Display = EZipUpdater::Display;

constexpr size_t kLongestLabel = 255;

bool Numbered(int driveType) { return driveType == platform::kDriveFixed || driveType == platform::kDriveRemote; }

std::string Text(int32_t number, const std::string& defaultText,
                 std::initializer_list<msg::FormatArgument> arguments) {
  return msg::FormatText(TZipUpdater::MessageText(number, defaultText), arguments);
}

bool IsFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

}  // namespace

bool TZipUpdater::CheckDrive() {
  VolumeTotal_ = 0;
  VolumeLabel_.clear();
  if (DriveRoot_.empty() || DriveRoot_[0] != '/') throw EZipUpdater(msg::kInvalidDrive, DriveRoot_);
  if (!platform::DriveExists(DriveRoot_)) throw EZipUpdater(msg::kDriveAbsent, DriveRoot_);
  int error = 0;
  if (const auto volume = platform::ReadVolumeInformation(DriveRoot_, error)) {
    VolumeLabel_ = volume->label.substr(0, kLongestLabel);
    VolumeSerial_ = volume->serial;
    DiskFreeSpace(3);
    return VolumeTotal_ != -1;
  }
  // An unformatted disk is usable when it is going to be formatted.
  return error == platform::kVolumeGeneralFailure && AddOptions.Contains(AddDiskSpanErase);
}

void TZipUpdater::DiskFreeSpace(int which) {
  int64_t free = -1;
  int64_t total = -1;
  platform::DiskSpace(DriveRoot_, free, total);
  if ((which & 1) != 0) VolumeFree_ = free;
  if ((which & 2) != 0) VolumeTotal_ = total;
}

int TZipUpdater::AskForDisk() {
  const int type = platform::DriveType(DriveRoot_);
  platform::PromptAnswer answer = platform::PromptAnswer::Ok;
  while ((answer == platform::PromptAnswer::Ok && !CheckDrive()) || NewDiskNeeded_) {
    if (Numbered(type)) {
      NewDiskNeeded_ = false;
      break;
    }
    if (Unattended) throw EZipUpdater(msg::kDiskWhileUnattended, Display::Yes);
    platform::PromptIcon icon = platform::PromptIcon::None;
    std::string text;
    if (CurrentDisk_ < 0) {
      text = MessageText(msg::kInsertLastDisk, "Please insert last disk in set");
      icon = platform::PromptIcon::Stop;
    } else if (InOperation_) {
      // While writing, the number of disks is an estimate from the size of
      // the archive and of the disk in the drive.
      int64_t volumeSize = VolumeTotal_;
      if (MaxVolumeSize > 0) volumeSize = std::min<int64_t>(volumeSize, MaxVolumeSize);
      DiskNumber_ = CurrentDisk_;
      if (volumeSize > 0) {
        const int64_t estimate = (ArchiveEnd_ + 4 + KeepFreeOnDisk1) / volumeSize;
        DiskNumber_ = static_cast<int32_t>(std::clamp<int64_t>(estimate, DiskNumber_, INT32_MAX - 1));
        text = Text(msg::kInsertVolumeOf, "Please insert disk volume %.1d of %.1d",
                    {int64_t{CurrentDisk_} + 1, int64_t{DiskNumber_} + 1});
      } else {
        text = Text(msg::kInsertVolume, "Please insert disk volume %.1d", {int64_t{CurrentDisk_} + 1});
      }
    } else {
      text = Text(msg::kInsertVolumeOf, "Please insert disk volume %.1d of %.1d",
                  {int64_t{CurrentDisk_} + 1, int64_t{DiskNumber_} + 1});
    }
    text += Text(msg::kInDrive, "\r\nin drive: %s", {DriveRoot_});
    if (OnGetNextDisk) {
      bool abort = false;
      OnGetNextDisk(*this, CurrentDisk_ + 1, DiskNumber_ + 1, platform::DriveName(DriveRoot_), abort);
      answer = abort ? platform::PromptAnswer::Cancel : platform::PromptAnswer::Ok;
    } else {
      answer = platform::PromptQuestion({"", text, platform::PromptButtons::OkCancel, icon, 0});
    }
    NewDiskNeeded_ = false;
    if (answer == platform::PromptAnswer::Ok) platform::ChangeDisk(DriveRoot_);
  }
  if (answer != platform::PromptAnswer::Ok) throw EZipUpdater(msg::kCancelled, Display::No);
  return type;
}

void TZipUpdater::SwitchDisk(int32_t volume) {
  Archive_.Close();
  CurrentDisk_ = volume;
  bool failed = false;
  for (;;) {
    int type = platform::kDriveUnknown;
    if (failed) {
      if (Numbered(platform::DriveType(DriveRoot_))) throw EZipUpdater(msg::kCannotOpen, Display::Yes);
      ReportMessage(msg::kCannotOpen, "");
    }
    do {
      NewDiskNeeded_ = true;
      type = AskForDisk();
    } while (!IsRightVolume(type));
    if (Archive_.Open(WorkingName_, platform::FileAccess::Read, platform::FileShare::Shared) == 0) return;
    failed = true;
  }
}

bool TZipUpdater::IsRightVolume(int driveType) {
  if (Numbered(driveType)) {
    WorkingName_ = RenumberedVolumeName(WorkingName_, CurrentDisk_);
    return true;
  }
  return VolumeLabel_ == VolumeLabelOf(CurrentDisk_);
}

// On a fixed or network drive a set may be named by any of its volumes (or
// by the name it was written to, whose first volume then stands for it):
// the end record is on the last one, the first that has one.
void TZipUpdater::FindSetEnd(uint8_t (&record)[22]) {
  const bool numbered = Numbered(platform::DriveType(DriveRoot_));
  if (numbered && !IsFile(WorkingName_)) WorkingName_ = NumberedVolumeName(WorkingName_, 0);
  try {
    FindEndRecord(record, true);
  } catch (const EZipUpdater& error) {
    const bool noEnd = error.MessageNumber == msg::kNoEndRecord || error.MessageNumber == msg::kFirstDiskOfSet ||
                       error.MessageNumber == msg::kDiskOfSet || error.MessageNumber == msg::kNotLastDisk;
    const int32_t given = VolumeOfName(WorkingName_);
    if (!numbered || !noEnd || given < 0) throw;
    for (int32_t volume = given + 1; volume < kMostVolumes; ++volume) {
      const std::string next = RenumberedVolumeName(WorkingName_, volume);
      if (!IsFile(next)) break;
      WorkingName_ = next;
      if (FindEndRecord(record, false)) return;
    }
    throw;
  }
}

}  // namespace fretfile
