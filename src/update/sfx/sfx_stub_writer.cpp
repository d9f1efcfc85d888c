// The self-extractor's stub writer (see sfx_stub_writer.h), the
// replacement of a PE stub's icon and deleting through the shell.
#include "update/sfx/sfx_stub_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <optional>
#include <system_error>
#include <vector>

#include "archive/zip_format.h"
#include "platform/posix/app_paths.h"
#include "platform/posix/file_attributes.h"
#include "platform/posix/positional_io.h"
#include "platform/posix/shell.h"
#include "platform/ui_contracts/message_pump.h"
#include "platform/ui_contracts/prompts.h"
#include "update/component/updater_messages.h"
#include "update/component/zip_updater.h"
#include "update/sfx/sfx_header.h"

namespace fretfile {
namespace zip = archive::zip;
namespace {

constexpr const char* kStubName = "SFXSTUB.BIN";
// Where an installation keeps its private parts (the build names it).
constexpr const char* kSystemStubFolder = FRETFILE_PRIVATE_DIR;

constexpr int32_t kTargetNotCreated = -1;
constexpr int32_t kCopyFailed = -2;
constexpr int32_t kStubNotOpened = -3;
constexpr int32_t kNotPrepared = -9;
constexpr int32_t kNoIconResource = -10;
constexpr int32_t kIconFailed = -11;
constexpr int32_t kIconWrongSize = -12;

constexpr size_t kBlockSize = 8192;

// Anything at all under the name, a dangling link included; a name that
// cannot be looked at counts as taken.
bool NameTaken(const std::string& path) {
  std::error_code error;
  return std::filesystem::symlink_status(path, error).type() != std::filesystem::file_type::not_found;
}

// The created file is a program: whoever may read it may run it. The
// library keeps the permissions of the archive it adds to, so they are set
// here, once.
bool MakeExecutable(int fd) {
  struct stat st{};
  if (::fstat(fd, &st) != 0) return false;
  const mode_t mode = st.st_mode & 07777;
  return ::fchmod(fd, mode | (mode & 0444) >> 2) == 0;
}

// --- the icon resource of a PE program ---------------------------------------------------------

constexpr size_t kIconFileSize = 766;
constexpr size_t kIconImageAt = 22;  // behind the icon file's header and its one directory entry
constexpr uint32_t kIconImageSize = 744;
constexpr uint32_t kIconResourceType = 3;
constexpr uint32_t kIconResourceId = 1;
constexpr uint32_t kSubdirectoryBit = 0x80000000;

// A read or write of the stub failed: ReplaceStubIcon answers -11.
struct IconFileError {};

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) { return Get16(p) | static_cast<uint32_t>(Get16(p + 2)) << 16; }

// The stub's bytes in the target, read where asked; a place outside the
// stub is a structure that is not there.
class StubBytes {
 public:
  StubBytes(int fd, int64_t size) : fd_(fd), size_(static_cast<uint64_t>(size)) {}
  bool Read(uint64_t at, uint8_t* out, size_t count) const {
    if (at > size_ || count > size_ - at) return false;
    if (!platform::ReadFullyAt(fd_, at, out, count)) throw IconFileError{};
    return true;
  }
  bool Inside(uint64_t at, uint64_t count) const { return at <= size_ && count <= size_ - at; }

 private:
  int fd_;
  uint64_t size_;
};

struct ResourceSection {
  uint64_t raw = 0;             // where it lies in the file
  uint32_t virtualAddress = 0;  // where it is loaded
};

std::optional<ResourceSection> FindResourceSection(const StubBytes& stub) {
  uint8_t dos[64];
  if (!stub.Read(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return std::nullopt;
  const uint64_t pe = Get32(dos + 60);
  uint8_t coff[24];
  if (!stub.Read(pe, coff, sizeof coff) || std::memcmp(coff, "PE\0\0", 4) != 0) return std::nullopt;
  const uint16_t sections = Get16(coff + 6);
  // The section table follows the optional header, whose size the file
  // header gives (224 bytes in a 32-bit program).
  const uint64_t table = pe + sizeof coff + Get16(coff + 20);
  for (uint16_t i = 0; i < sections; ++i) {
    uint8_t section[40];
    if (!stub.Read(table + 40 * uint64_t{i}, section, sizeof section)) return std::nullopt;
    if (std::memcmp(section, ".rsrc\0\0\0", 8) == 0) return ResourceSection{Get32(section + 20), Get32(section + 12)};
  }
  return std::nullopt;
}

// The entries of the resource directory at offset (from the section's
// start) are handed to visit (name or id, offset field) until it answers
// true; false when none did or the directory is not there.
template <typename Visit>
bool VisitDirectory(const StubBytes& stub, const ResourceSection& rsrc, uint32_t offset, Visit visit) {
  uint8_t head[16];
  if (!stub.Read(rsrc.raw + offset, head, sizeof head)) return false;
  const uint32_t count = uint32_t{Get16(head + 12)} + Get16(head + 14);
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t entry[8];
    if (!stub.Read(rsrc.raw + offset + sizeof head + 8 * uint64_t{i}, entry, sizeof entry)) return false;
    if (visit(Get32(entry), Get32(entry + 4))) return true;
  }
  return false;
}

// The subdirectory of the entry with a numeric id.
std::optional<uint32_t> Subdirectory(const StubBytes& stub, const ResourceSection& rsrc, uint32_t offset,
                                     uint32_t id) {
  std::optional<uint32_t> found;
  VisitDirectory(stub, rsrc, offset, [&](uint32_t name, uint32_t data) {
    if (name != id || (data & kSubdirectoryBit) == 0) return false;
    found = data & ~kSubdirectoryBit;
    return true;
  });
  return found;
}

// Where in the file the image of icon 1 lies: the first data entry of 744
// bytes under icons (type 3), id 1.
std::optional<uint64_t> FindIconImage(const StubBytes& stub) {
  const auto rsrc = FindResourceSection(stub);
  if (!rsrc) return std::nullopt;
  const auto icons = Subdirectory(stub, *rsrc, 0, kIconResourceType);
  const auto icon = icons ? Subdirectory(stub, *rsrc, *icons, kIconResourceId) : std::nullopt;
  if (!icon) return std::nullopt;
  std::optional<uint64_t> place;
  VisitDirectory(stub, *rsrc, *icon, [&](uint32_t, uint32_t data) {
    uint8_t entry[16];
    if ((data & kSubdirectoryBit) != 0 || !stub.Read(rsrc->raw + data, entry, sizeof entry)) return false;
    const uint32_t address = Get32(entry);
    if (Get32(entry + 4) != kIconImageSize || address < rsrc->virtualAddress) return false;
    place = address - rsrc->virtualAddress + rsrc->raw;
    return true;
  });
  if (!place || !stub.Inside(*place, kIconImageSize)) return std::nullopt;
  return place;
}

}  // namespace

int32_t SfxStubWriter::CreateSfxStub() {
  const sfx::SfxTexts texts{component_.SFXCaption, component_.SFXDefaultDir, component_.SFXCommandLine,
                           component_.SFXMessage};
  if (!texts.Fit()) {
    component_.ReportMessage(msg::kSfxTextTooLong, "\r\nSFXCaption + SFXDefaultDir + SFXCommandLine + SFXMessage = " +
                                                       std::to_string(sfx::HeaderSize(texts) + 1));
    return kNotPrepared;
  }
  if (!FindSfxStub()) {
    component_.ReportMessage(msg::kSfxStubMissing, "");
    return kNotPrepared;
  }
  std::string header;
  try {
    header = sfx::BuildHeader(SfxFlags(), texts);
  } catch (const std::bad_alloc&) {
    component_.ReportMessage(msg::kOutOfMemory, "");
    return kNotPrepared;
  }
  platform::BusyCursor busy;
  return WriteSfxTarget(header);
}

bool SfxStubWriter::FindSfxStub() {
  std::vector<std::string> names;
  if (!component_.SFXPath.empty()) names.push_back(component_.SFXPath);
  std::error_code error;
  const auto current = std::filesystem::current_path(error);
  if (!error) names.push_back((current / kStubName).string());
  names.push_back(platform::ApplicationDir() + kStubName);
  names.push_back(std::string(kSystemStubFolder) + kStubName);
  if (!component_.DLLDirectory().empty()) names.push_back(component_.DLLDirectory() + "/" + kStubName);
  for (const std::string& name : names) {
    component_.SFXPath = name;
    if (platform::IsFile(name)) return true;
  }
  return false;
}

uint8_t SfxStubWriter::SfxFlags() const {
  uint8_t flags = 0;
  if (component_.SFXOptions.Contains(SFXAskCmdLine)) flags |= sfx::kAskCmdLine;
  if (component_.SFXOptions.Contains(SFXAskFiles)) flags |= sfx::kAskFiles;
  if (component_.SFXOptions.Contains(SFXHideOverWriteBox)) flags |= sfx::kHideOverwriteBox;
  if (component_.SFXOverWriteMode == OvrAlways) flags |= sfx::kOverwriteAlways;
  if (component_.SFXOverWriteMode == OvrNever) flags |= sfx::kOverwriteNever;
  if (!component_.SFXOptions.Contains(SFXCheckSize)) flags |= sfx::kNoCheckSize;
  if (component_.SFXOptions.Contains(SFXAutoRun)) flags |= sfx::kAutoRun;
  if (component_.SFXOptions.Contains(SFXNoSuccessMsg)) flags |= sfx::kNoSuccessMessage;
  return flags;
}

int32_t SfxStubWriter::WriteSfxTarget(const std::string& header) {
  const std::string target = component_.ZipFileName();
  if (platform::IsFile(target)) DeleteWithShell(target, component_.HowToDelete);
  // Whatever could not be removed is never written over: a file the user
  // wanted to keep in the trash, a folder, a link to elsewhere.
  if (NameTaken(target)) return kTargetNotCreated;
  platform::SharedFile out;
  if (out.Open(target, platform::FileAccess::ReadWrite, platform::FileShare::DenyAll,
               platform::FileCreation::OpenOrCreate) != 0) {
    return kTargetNotCreated;
  }
  const auto fill = [&]() -> int32_t {
    if (!MakeExecutable(out.fd())) return kTargetNotCreated;
    platform::SharedFile stub;
    if (stub.Open(component_.SFXPath, platform::FileAccess::Read, platform::FileShare::Shared) != 0) {
      return kStubNotOpened;
    }
    if (CopyBlocks(stub, out, -1) != 0) return kCopyFailed;
    const int64_t stubSize = out.Size();
    if (!component_.SFXIcon().empty()) {
      if (const int32_t code = ReplaceStubIcon(out, stubSize); code != 0) return code;
    }
    zip::EndRecord end;
    const uint64_t directoryOffset = static_cast<uint64_t>(stubSize) + header.size();
    if (stubSize < 0 || directoryOffset >= zip::kZip64Marker32) return kCopyFailed;
    end.directoryOffset = static_cast<uint32_t>(directoryOffset);
    uint8_t endBytes[zip::kEndRecordLength];
    zip::WriteEndRecord(end, endBytes);
    if (!out.Seek(stubSize) || out.Write(header.data(), header.size()) != 0 ||
        out.Write(endBytes, sizeof endBytes) != 0) {
      return kCopyFailed;
    }
    return 0;
  };
  int32_t code = fill();
  if (out.Close() != 0 && code == 0) code = kCopyFailed;
  if (code != 0) ::unlink(target.c_str());
  return code;
}

int32_t SfxStubWriter::ReplaceStubIcon(platform::SharedFile& target, int64_t stubSize) {
  try {
    const StubBytes stub(target.fd(), stubSize);
    const auto place = FindIconImage(stub);
    if (!place) return kNoIconResource;
    if (component_.SFXIcon().size() != kIconFileSize) return kIconWrongSize;
    const char* image = component_.SFXIcon().data() + kIconImageAt;
    return platform::WriteFullyAt(target.fd(), *place, image, kIconImageSize) == 0 ? 0 : kIconFailed;
  } catch (const IconFileError&) {
    return kIconFailed;
  } catch (const std::bad_alloc&) {
    return kIconFailed;
  }
}

int32_t SfxStubWriter::CopyBlocks(platform::SharedFile& source, platform::SharedFile& target, int64_t count) {
  uint8_t buffer[kBlockSize];
  try {
    while (count != 0) {
      const size_t asked = count < 0 ? kBlockSize : static_cast<size_t>(std::min<int64_t>(count, kBlockSize));
      const ssize_t got = source.Read(buffer, asked);
      if (got < 0) return kCopyFailed;
      if (got > 0 && target.Write(buffer, static_cast<size_t>(got)) != 0) return kCopyFailed;
      if (component_.ProgressOn && component_.OnProgress) {
        component_.OnProgress(component_, kProgressUpdate, "", static_cast<int32_t>(got));
      }
      platform::ProcessMessages();
      if (static_cast<size_t>(got) < asked) {
        // The end of the source: where a count was asked for, it came short.
        return count < 0 ? 0 : kCopyFailed;
      }
      if (count > 0) count -= got;
    }
    return 0;
  } catch (const std::exception&) {
    return kCopyFailed;
  }
}

int32_t SfxStubWriter::DeleteWithShell(const std::string& name, DeleteOpts howToDelete) {
  std::error_code error;
  const auto status = std::filesystem::symlink_status(name, error);
  if (error || !std::filesystem::exists(status) || std::filesystem::is_directory(status)) return -1;
  return platform::ShellRemoveTree(name, howToDelete == htdAllowUndo) ? 0 : 1;
}

}  // namespace fretfile
