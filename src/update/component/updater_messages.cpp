#include "update/component/updater_messages.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <vector>

namespace fretfile::msg {
namespace {

struct Entry {
  int32_t number;
  const char* text;
};

// Sorted by number. Where the user is asked to act, the text says how; the
// texts of disk spanning and the self-extractor are here for their code.
constexpr Entry kTable[] = {
    {kAddFailed, "The files could not be added to the archive: "},
    {kNoZipFileName, "No archive to add to: the archive name is empty, or the archive could not be read"},
    {kOutOfMemory, "Not enough memory to read the archive's directory"},
    {kPasswordMismatch, "The two passwords you entered differ; no password was used"},
    {kCopying, "Copying: "},
    {kPasswordUnattendedAdd, "A password is needed to add the files, but no one may be asked for it"},
    {kPasswordUnattendedOnce, "A password is needed, but no one may be asked for it"},
    {kPasswordOk, "OK"},
    {kPasswordCancel, "Cancel"},
    {kPasswordTitle, "Password"},
    {kPasswordPrompt, "Enter the password:"},
    {kPasswordConfirmPrompt, "Enter the password again to confirm it:"},
    {kDirectoryUnreadable, "The archive's central directory cannot be read"},
    {kDirectoryError, "Error while reading the archive's directory: "},
    {kDirectoryMoved,
     "Warning: the archive's central directory is not where the archive says (data in front of the archive?)"},
    {kBytesAfterEnd, "Warning: there are unexpected bytes after the end of the archive"},
    {kNothingToAdd, "Nothing to add: no files were named"},
    {kNoPassword, "The files are to be encrypted, but no password was given"},
    {kSpanWithUpdate, "An archive spread over several disks cannot be freshened or updated"},
    {kSfxCreateFailed, "The self-extracting archive could not be created (error %d)"},
    {kEditFailed, "The archive's entries could not be changed: "},
    {kNothingToEdit, "Nothing to delete or rename: no entries were named"},
    {kLibraryLoaded, "Compression library loaded: "},
    {kNoExecEntry, "The compression library lacks its entry point ZipPackExec"},
    {kNoVersionEntry, "The compression library lacks its entry point GetZipPackVersion"},
    {kLibraryNotLoaded, "The compression library libzippack.so could not be loaded: "},
    {kNoEditEntry,
     "The compression library lacks its entry point ZipPackEdit (it is older than version 170): entries cannot be "
     "deleted or renamed, and nothing was changed"},
    {kSfxTextTooLong, "A self-extractor text is 256 characters or longer"},
    {kSfxStubMissing, "The self-extractor stub file cannot be found"},
    {kCannotOpen, "The archive file cannot be opened"},
    {kCannotOpenReported, "The archive file cannot be opened"},
    {kInvalidDrive, "Invalid drive: %s"},
    {kDriveAbsent, "The drive cannot be used: %s"},
    {kLabelNotWritten, "The disk's label cannot be written"},
    {kNoAnswer, "No answer to the disk prompt"},
    {kCancelled, "Cancelled"},
    {kSeekFailed, "Cannot move to the end of the archive file"},
    {kVolumeNotCreated, "The volume file cannot be created"},
    {kWriteFailed, "Writing the volume failed"},
    {kReadFailed, "Cannot read the end of the archive file"},
    {kLocalHeaderShort, "A local header of the archive is cut short"},
    {kDirectoryEndsEarly, "The archive's central directory ends early"},
    {kLocalHeaderSignature, "A local header of the archive is damaged (no signature)"},
    {kCentralHeaderSignature, "A central header of the archive is damaged (no signature)"},
    {kLocalNameShort, "A file name in a local header is cut short"},
    {kCentralNameShort, "A file name in the central directory is cut short"},
    {kLocalExtraShort, "An extra field in a local header is cut short"},
    {kCentralExtraShort, "An extra field in the central directory is cut short"},
    {kDescriptorShort, "A data descriptor is cut short"},
    {kDataShort, "The data of an entry is cut short"},
    {kCommentShort, "A file comment in the central directory is cut short"},
    {kArchiveCommentShort, "The archive comment is cut short"},
    {kSpanFailed, "Error while writing the archive onto disks: "},
    {kDiskWhileUnattended, "A disk would have to be asked for, but no one may be asked"},
    {kNoLocalHeader, "An entry of the central directory has no local header"},
    {kValueBeyond32Bits,
     "Warning: an entry's size or offset needs more than 32 bits; the list shows 4294967295 for it: "},
    {kNotEnoughSpace, "This disk has not enough free space available"},
    {kInsertLastDisk, "Please insert last disk in set"},
    {kInsertVolumeOf, "Please insert disk volume %.1d of %.1d"},
    {kInDrive, "\r\nin drive: %s"},
    {kNoEndRecord, "This is not a zip archive: its end record cannot be found"},
    {kFirstDiskOfSet, "This is the first disk of a set: insert the last disk of the set"},
    {kDiskOfSet, "This is disk %d of a set: insert the last disk of the set"},
    {kOverwriteFile, "Overwrite previous file %s"},
    {kOverwriteDisk, "Overwrite previous disk no %d"},
    {kSpanIntoExe, "An archive spread over several disks cannot be a self-extracting program (.exe)"},
    {kNotLastDisk, "This disk is not the last disk of a set: insert the last disk"},
    {kInsertVolume, "Please insert disk volume %.1d"},
    {kCentralDirectory, "Central directory"},
    {kComponentBusy,
     "An operation on the archive is running; nothing else can be added, deleted or renamed, and the archive cannot "
     "change, until it ends"},
    {kArchiveBusy, "%s is being updated by another program. Try again when it is free"},
    {kLibraryRefusedBlock, "The compression library refused the request; nothing was changed"},
};

constexpr bool Sorted() {
  for (size_t i = 1; i < std::size(kTable); ++i) {
    if (kTable[i - 1].number >= kTable[i].number) return false;
  }
  return true;
}
static_assert(Sorted(), "the table is searched by halving");

bool IsFlag(char c) { return c == '-' || c == '+' || c == ' ' || c == '0' || c == '#'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string ToText(const FormatArgument& argument) {
  if (const auto* text = std::get_if<std::string>(&argument)) return *text;
  return std::to_string(std::get<int64_t>(argument));
}

}  // namespace

std::optional<std::string> TableText(int32_t number) {
  const auto* end = std::end(kTable);
  const auto* found =
      std::lower_bound(std::begin(kTable), end, number, [](const Entry& e, int32_t n) { return e.number < n; });
  if (found == end || found->number != number) return std::nullopt;
  return std::string(found->text);
}

std::string FormatText(const std::string& pattern, std::initializer_list<FormatArgument> arguments) {
  std::string out;
  auto next = arguments.begin();
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') {
      out += pattern[i];
      continue;
    }
    // A conversion: flags, width, precision, then its letter.
    size_t at = i + 1;
    while (at < pattern.size() && IsFlag(pattern[at])) ++at;
    while (at < pattern.size() && IsDigit(pattern[at])) ++at;
    if (at < pattern.size() && pattern[at] == '.') {
      ++at;
      while (at < pattern.size() && IsDigit(pattern[at])) ++at;
    }
    if (at >= pattern.size()) {
      out += pattern.substr(i);
      break;
    }
    const char conversion = pattern[at];
    if (conversion == '%') {
      out += '%';
    } else if (conversion == 'd' || conversion == 'i' || conversion == 'u' || conversion == 'x' ||
               conversion == 'X') {
      if (next != arguments.end()) {
        if (const auto* number = std::get_if<int64_t>(&*next)) {
          // The conversion is checked above (flags, width, precision only),
          // so it is safe to hand to snprintf.
          const std::string conversionText = pattern.substr(i, at - i) + "ll" + conversion;
          char buffer[64] = {};
          std::snprintf(buffer, sizeof buffer, conversionText.c_str(), static_cast<long long>(*number));
          out += buffer;
        } else {
          out += ToText(*next);
        }
        ++next;
      }
    } else if (conversion == 's') {
      if (next != arguments.end()) out += ToText(*next++);
    } else {
      out += pattern.substr(i, at - i + 1);  // not a conversion we know: kept as it stands
    }
    i = at;
  }
  return out;
}

}  // namespace fretfile::msg
