#include "update/span/volume_names.h"

#include "platform/drives/drives.h"

namespace fretfile {
namespace {

constexpr int kDigits = 3;
const std::string kLabelPrefix = "PKBACK# ";

// Where the extension of the path's name starts (its last dot), or the end.
size_t ExtensionStart(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.find_last_of('.');
  return dot == std::string::npos || dot < nameStart ? path.size() : dot;
}

bool AllDigits(const std::string& text) {
  if (text.size() != kDigits) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

std::string VolumeDigits(int32_t volume) { return std::to_string(1001 + volume).substr(1, kDigits); }

std::string VolumeLabelOf(int32_t volume) { return kLabelPrefix + VolumeDigits(volume); }

int32_t LabelNumber(const std::string& label, int32_t fallback) {
  const size_t at = kLabelPrefix.size();
  if (label.size() < at + kDigits || !AllDigits(label.substr(at, kDigits))) return fallback;
  return std::stoi(label.substr(at, kDigits));
}

std::string NumberedVolumeName(const std::string& target, int32_t volume) {
  const size_t at = ExtensionStart(target);
  return target.substr(0, at) + VolumeDigits(volume) + target.substr(at);
}

std::string RenumberedVolumeName(const std::string& name, int32_t volume) {
  const size_t at = ExtensionStart(name);
  const size_t slash = name.find_last_of('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t cut = at >= nameStart + kDigits ? at - kDigits : nameStart;
  return name.substr(0, cut) + VolumeDigits(volume) + name.substr(at);
}

int32_t VolumeOfName(const std::string& name) {
  const size_t at = ExtensionStart(name);
  const size_t slash = name.find_last_of('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (at < nameStart + kDigits || !AllDigits(name.substr(at - kDigits, kDigits))) return -1;
  const int32_t digits = std::stoi(name.substr(at - kDigits, kDigits));
  return digits == 0 ? -1 : digits - 1;
}

bool NumberedDrive(int driveType) { return driveType == platform::kDriveFixed || driveType == platform::kDriveRemote; }

std::string FirstVolumeOf(const std::string& target) {
  if (!NumberedDrive(platform::DriveType(platform::DriveRootOf(target)))) return {};
  return NumberedVolumeName(target, 0);
}

}  // namespace fretfile
