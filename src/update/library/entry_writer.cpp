#include "update/library/entry_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "archive/crc32.h"
#include "archive/dos_time.h"
#include "archive/zip_format.h"
#include "update/library/traditional_cipher.h"

namespace zippack {
namespace zip = archive::zip;
namespace {

constexpr size_t kChunk = 256 * 1024;
constexpr uint64_t kProgressStep = 1 << 20;
// Version numbers (major * 10 + minor) of the features an entry uses.
constexpr uint16_t kVersionStored = 10;
constexpr uint16_t kVersionDeflated = 20;  // also folders and encryption
constexpr uint16_t kVersionZip64 = 45;
constexpr uint16_t kVersionOfThisWriter = 30;
// The MS-DOS attribute byte.
constexpr uint32_t kDosReadOnly = 0x01;
constexpr uint32_t kDosFolder = 0x10;
constexpr uint32_t kDosArchive = 0x20;

// Flag bits 1 and 2 of a deflated entry tell the level it was made with.
uint16_t DeflateLevelFlags(int level) {
  if (level >= 8) return 0x0002;  // maximum
  if (level == 2) return 0x0004;  // fast
  if (level == 1) return 0x0006;  // super fast
  return 0;
}

uint32_t ExternalAttributes(mode_t mode, bool folder, bool dosOnly) {
  uint32_t dos = folder ? kDosFolder : kDosArchive;
  if ((mode & S_IWUSR) == 0) dos |= kDosReadOnly;
  return dosOnly ? dos : static_cast<uint32_t>(mode) << 16 | dos;
}

class FdCloser {
 public:
  explicit FdCloser(int fd) : fd_(fd) {}
  ~FdCloser() {
    if (fd_ >= 0) ::close(fd_);
  }
  FdCloser(const FdCloser&) = delete;
  FdCloser& operator=(const FdCloser&) = delete;

 private:
  int fd_;
};

ssize_t ReadSome(int fd, char* out, size_t count, uint64_t at) {
  for (;;) {
    const ssize_t got = ::pread(fd, out, count, static_cast<off_t>(at));
    if (got >= 0 || errno != EINTR) return got;
  }
}

// The CRC-32 and length of an open file, read through `buffer`.
bool CrcOfOpenFile(int fd, std::string& buffer, uint32_t& crc, uint64_t& size, std::string& problem) {
  if (buffer.empty()) buffer.resize(kChunk);
  uint32_t running = archive::kCrc32Preset;
  size = 0;
  for (ssize_t got; (got = ReadSome(fd, buffer.data(), buffer.size(), size)) != 0; size += static_cast<uint64_t>(got)) {
    if (got < 0) {
      problem = std::strerror(errno);
      return false;
    }
    running = archive::Crc32Update(running, reinterpret_cast<const uint8_t*>(buffer.data()), static_cast<size_t>(got));
  }
  crc = running ^ 0xFFFFFFFFu;
  return true;
}

}  // namespace

bool CrcOfFile(const std::string& path, uint32_t& crc, uint64_t& size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  FdCloser closer(fd);
  std::string buffer;
  std::string problem;
  return CrcOfOpenFile(fd, buffer, crc, size, problem);
}

struct EntryWriter::Data {
  uint64_t read = 0;     // bytes of the file
  uint64_t written = 0;  // bytes of entry data, encryption header included
  uint32_t crc = 0;
};

bool IsUtf8BeyondAscii(const std::string& name) {
  bool beyondAscii = false;
  for (size_t i = 0; i < name.size();) {
    const auto lead = static_cast<uint8_t>(name[i]);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || (length == 2 && lead < 0xC2) || (length == 4 && lead > 0xF4) || i + length > name.size()) {
      return false;
    }
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<uint8_t>(name[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    beyondAscii |= length > 1;
    i += length;
  }
  return beyondAscii;
}

EntryWriter::EntryWriter(TempArchive& out, Reporter& reporter, int level)
    : out_(out), reporter_(reporter), level_(level), deflate_(new z_stream{}) {}

EntryWriter::~EntryWriter() {
  if (deflateReady_) deflateEnd(deflate_);
  delete deflate_;
}

bool EntryWriter::ResetDeflate() {
  if (deflateReady_) return deflateReset(deflate_) == Z_OK;
  // Raw deflate (negative window bits): the zip entry has no zlib wrapper.
  deflateReady_ = deflateInit2(deflate_, level_, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
  return deflateReady_;
}

EntryOutcome EntryWriter::WriteData(int source, const EntryPlan& plan, uint16_t method, uint32_t crc, Data& data,
                                    std::string& problem) {
  data = Data{};
  if (input_.empty()) input_.resize(kChunk);
  if (output_.empty()) output_.resize(kChunk);
  const uint64_t start = out_.Position();
  std::optional<TraditionalCipher> cipher;
  if (plan.password) {
    cipher.emplace(*plan.password);
    const auto header = cipher->Header(crc);
    if (out_.Write(header.data(), header.size()) != 0) return EntryOutcome::OutputFailed;
  }
  const bool deflating = method == zip::kMethodDeflated;
  if (deflating && !ResetDeflate()) {
    problem = "zlib cannot start";
    return EntryOutcome::OutputFailed;
  }
  const auto emit = [&](char* bytes, size_t count) {
    if (cipher) cipher->Encrypt(reinterpret_cast<uint8_t*>(bytes), count);
    return out_.Write(bytes, count) == 0;
  };
  // Progress is reported by the first writing of an entry, not by a second
  // one that stores what deflate could not shrink.
  const bool reportProgress = deflating || plan.store;
  uint32_t running = archive::kCrc32Preset;
  uint64_t reported = 0;
  for (;;) {
    const ssize_t got = ReadSome(source, input_.data(), input_.size(), data.read);
    if (got < 0) {
      problem = std::strerror(errno);
      return EntryOutcome::SourceFailed;
    }
    const bool last = got == 0;
    running = archive::Crc32Update(running, reinterpret_cast<const uint8_t*>(input_.data()), static_cast<size_t>(got));
    data.read += static_cast<uint64_t>(got);
    if (!deflating) {
      if (!emit(input_.data(), static_cast<size_t>(got))) return EntryOutcome::OutputFailed;
    } else {
      deflate_->next_in = reinterpret_cast<Bytef*>(input_.data());
      deflate_->avail_in = static_cast<uInt>(got);
      do {
        deflate_->next_out = reinterpret_cast<Bytef*>(output_.data());
        deflate_->avail_out = static_cast<uInt>(output_.size());
        if (deflate(deflate_, last ? Z_FINISH : Z_NO_FLUSH) == Z_STREAM_ERROR) {
          problem = "zlib failed";
          return EntryOutcome::OutputFailed;
        }
        if (!emit(output_.data(), output_.size() - deflate_->avail_out)) return EntryOutcome::OutputFailed;
      } while (deflate_->avail_out == 0);
    }
    if (reportProgress && (last || data.read - reported >= kProgressStep)) {
      if (!reporter_.BytesDone(data.read - reported)) return EntryOutcome::Cancelled;
      reported = data.read;
    }
    if (last) break;
  }
  data.crc = running ^ 0xFFFFFFFFu;
  data.written = out_.Position() - start;
  return EntryOutcome::Written;
}

namespace {

// Opens a file entry's source and looks at it; a folder entry has none.
EntryOutcome OpenSource(const SourceFile& file, int& source, struct stat& st, std::string& problem) {
  if (file.isFolder) {
    st.st_mode = file.mode;
    st.st_mtime = file.modified;
    return EntryOutcome::Written;
  }
  source = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (source < 0 || ::fstat(source, &st) != 0) {
    problem = std::strerror(errno);
    if (source >= 0) ::close(source);
    source = -1;
    return EntryOutcome::SourceFailed;
  }
  return EntryOutcome::Written;
}

// The central record of an entry whose local header is `local`, at headerAt.
std::string CentralRecordFor(const zip::LocalHeader& local, const EntryPlan& plan, uint64_t headerAt, mode_t mode) {
  zip::CentralHeader header = zip::CentralHeaderFor(local);
  const uint16_t host = plan.forceDos ? zip::kHostMsDos : zip::kHostUnix;
  header.versionMadeBy = static_cast<uint16_t>(host << 8 | std::max(kVersionOfThisWriter, local.versionNeeded));
  header.localHeaderOffset = headerAt;
  header.externalAttributes = ExternalAttributes(mode, plan.file->isFolder, plan.forceDos);
  const std::string extra = zip::Zip64ExtraFor(header);
  const std::string comment = plan.comment.substr(0, 0xFFFF);
  header.extraLength = static_cast<uint16_t>(extra.size());
  header.commentLength = static_cast<uint16_t>(comment.size());
  if (extra.size() > 0 && header.versionNeeded < kVersionZip64) {
    header.versionNeeded = kVersionZip64;
    header.versionMadeBy = static_cast<uint16_t>(host << 8 | kVersionZip64);
  }
  std::string central(zip::kCentralHeaderLength, '\0');
  zip::WriteCentralHeader(header, reinterpret_cast<uint8_t*>(central.data()));
  return central + plan.name + extra + comment;
}

}  // namespace

EntryOutcome EntryWriter::WriteContent(int source, const EntryPlan& plan, zip::LocalHeader& local, uint32_t crc,
                                       bool zip64, Data& data, std::string& problem) {
  const bool encrypted = plan.password.has_value();
  const uint64_t dataAt = out_.Position();
  local.method = plan.store ? zip::kMethodStored : zip::kMethodDeflated;
  EntryOutcome outcome = WriteData(source, plan, local.method, crc, data, problem);
  const uint64_t header = encrypted ? kEncryptionHeaderLength : 0;
  if (outcome == EntryOutcome::Written && local.method == zip::kMethodDeflated && data.written - header >= data.read) {
    // Deflate did not shrink it: stored, it is no larger.
    if (out_.Rewind(dataAt) != 0) return EntryOutcome::OutputFailed;
    local.method = zip::kMethodStored;
    outcome = WriteData(source, plan, local.method, crc, data, problem);
  }
  if (outcome != EntryOutcome::Written) return outcome;
  if (encrypted && data.crc != crc) {
    problem = "it changed while it was read";
    return EntryOutcome::SourceFailed;
  }
  if (!zip64 && (data.read >= zip::kZip64Marker32 || data.written >= zip::kZip64Marker32)) {
    problem = "it grew past 4 GiB while it was read";
    return EntryOutcome::SourceFailed;
  }
  return EntryOutcome::Written;
}

EntryOutcome EntryWriter::Write(const EntryPlan& plan, std::string& central, uint32_t& dosDateTime,
                                std::string& problem) {
  const SourceFile& file = *plan.file;
  int source = -1;
  struct stat st{};
  if (OpenSource(file, source, st, problem) != EntryOutcome::Written) return EntryOutcome::SourceFailed;
  FdCloser closer(source);
  if (!file.isFolder && !S_ISREG(st.st_mode)) {
    problem = "no longer a regular file";
    return EntryOutcome::SourceFailed;
  }
  dosDateTime = archive::UnixToDosDateTime(st.st_mtime);
  const bool encrypted = plan.password.has_value() && !file.isFolder;
  // Sizes that may not fit 32 bits (the encryption header adds 12 bytes).
  const bool zip64 = !file.isFolder && static_cast<uint64_t>(st.st_size) >= zip::kZip64Marker32 - kEncryptionHeaderLength;

  uint32_t crc = 0;
  Data data;
  if (encrypted) {
    // The CRC first, for the encryption header.
    uint64_t size = 0;
    if (!CrcOfOpenFile(source, input_, crc, size, problem)) return EntryOutcome::SourceFailed;
  }

  zip::LocalHeader local;
  local.versionNeeded = zip64 ? kVersionZip64 : kVersionDeflated;
  local.flags = static_cast<uint16_t>((encrypted ? zip::kFlagEncrypted : 0) | (IsUtf8BeyondAscii(plan.name) ? zip::kFlagUtf8 : 0));
  local.method = zip::kMethodStored;
  local.time = static_cast<uint16_t>(dosDateTime);
  local.date = static_cast<uint16_t>(dosDateTime >> 16);
  local.nameLength = static_cast<uint16_t>(plan.name.size());
  local.extraLength = zip64 ? zip::kLocalZip64ExtraLength : 0;
  uint8_t fixed[zip::kLocalHeaderLength];
  zip::WriteLocalHeader(local, fixed, zip64);
  const uint64_t headerAt = out_.Position();
  if (out_.Write(fixed, sizeof fixed) != 0 || out_.Write(plan.name) != 0 ||
      (zip64 && out_.Write(zip::Zip64ExtraFor(local, true)) != 0)) {
    return EntryOutcome::OutputFailed;
  }
  if (!file.isFolder) {
    const EntryOutcome outcome = WriteContent(source, plan, local, crc, zip64, data, problem);
    // A source that failed leaves the archive where it was.
    if (outcome == EntryOutcome::SourceFailed && out_.Rewind(headerAt) != 0) return EntryOutcome::OutputFailed;
    if (outcome != EntryOutcome::Written) return outcome;
  }

  // The local header with what is known now.
  local.crc = data.crc;
  local.compressedSize = data.written;
  local.uncompressedSize = data.read;
  if (local.method == zip::kMethodDeflated) local.flags |= DeflateLevelFlags(level_);
  if (!zip64) local.versionNeeded = local.method == zip::kMethodStored && !encrypted && !file.isFolder ? kVersionStored : kVersionDeflated;
  zip::WriteLocalHeader(local, fixed, zip64);
  if (out_.PatchAt(headerAt, fixed, sizeof fixed) != 0) return EntryOutcome::OutputFailed;
  if (zip64) {
    const std::string block = zip::Zip64ExtraFor(local, true);
    if (out_.PatchAt(headerAt + sizeof fixed + plan.name.size(), block.data(), block.size()) != 0) {
      return EntryOutcome::OutputFailed;
    }
  }
  central = CentralRecordFor(local, plan, headerAt, st.st_mode);
  return EntryOutcome::Written;
}

}  // namespace zippack
