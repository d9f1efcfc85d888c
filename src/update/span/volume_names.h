// The names of the volumes of a spanned set. On a removable drive every
// volume carries the target's name and its disk a label "PKBACK# 001",
// "PKBACK# 002", ...; on a fixed or network drive volume n is a file of its
// own, the target's name with the same three digits before its extension.
#pragma once

#include <cstdint>
#include <string>

namespace fretfile {

// Volumes 1 to 999: the digits of a thousandth would name the first again.
inline constexpr int32_t kMostVolumes = 999;

// Whether a drive of this type (platform/drives/drives.h) holds a set as numbered
// volume files, never asked for: fixed and network drives.
bool NumberedDrive(int driveType);

// The three digits of volume n (0-based): the last three of 1001 + n.
std::string VolumeDigits(int32_t volume);
// "PKBACK# " and the digits.
std::string VolumeLabelOf(int32_t volume);
// The number a label carries in its three characters after "PKBACK# "
// (positions 9 to 11), or fallback when they are not a number.
int32_t LabelNumber(const std::string& label, int32_t fallback);
// The target with the digits of volume n inserted before its extension:
// "/songs/Set.zip" gives "/songs/Set001.zip" for volume 0.
std::string NumberedVolumeName(const std::string& target, int32_t volume);
// A volume's name with its three characters before the extension replaced
// by the digits of volume n: "/songs/Set001.zip" gives "/songs/Set002.zip"
// for volume 1.
std::string RenumberedVolumeName(const std::string& name, int32_t volume);
// The volume a numbered name stands for (0-based), or -1 when the three
// characters before its extension are not digits.
int32_t VolumeOfName(const std::string& name);
// The first volume of a set named target on a fixed or network drive; empty
// for a target on any other drive.
std::string FirstVolumeOf(const std::string& target);

}  // namespace fretfile
