#include "update/session/exec_block.h"

#include <cstring>
#include <stdexcept>

#include "platform/posix/file_attributes.h"
#include "update/component/zip_updater.h"

namespace fretfile {
namespace {

// The block's password field holds at most this many characters.
constexpr size_t kBlockPasswordLength = 81;

int32_t Flag(bool value) { return value ? 1 : 0; }

}  // namespace

bool LineNamesFile(const std::string& line, const std::string& rootDir) {
  if (line.empty()) return false;
  std::string path = line;
  if (line.front() != '/' && !rootDir.empty()) path = (rootDir.back() == '/' ? rootDir : rootDir + '/') + line;
  return platform::IsFile(path);
}

FileSpecLine ParseFileSpecLine(const std::string& line, uint32_t blockEncrypt, uint16_t blockRecurse,
                               const std::string& blockPassword, bool literal) {
  FileSpecLine out;
  out.recurse = blockRecurse;
  if (literal) {
    out.pattern = line;
    out.encrypt = blockEncrypt;
    if (!blockPassword.empty()) out.password = blockPassword;
    out.literal = zippack::kSpecLiteral;
    return out;
  }
  size_t first = 0;
  size_t last = line.size();  // one past the pattern's last character
  if (!line.empty() && line[0] == '>') {
    out.recurse = zippack::kSpecRecurseAlways;
    first = 1;
  } else if (!line.empty() && line[0] == '|') {
    out.recurse = 0;
    first = 1;
  }
  out.encrypt = blockEncrypt;
  if (!blockPassword.empty()) out.password = blockPassword;
  const size_t mark = line.find('<');
  if (mark != std::string::npos) {
    out.encrypt = zippack::kSpecEncryptOwnPassword;
    out.password.reset();
    if (mark + 1 < line.size()) {
      out.password = line.substr(mark + 1);
    } else {
      out.encrypt = 0;
    }
    // A lone "<" at the end is cut too: it only says "no encryption", and
    // is no part of the file's name.
    last = mark;
  }
  out.pattern = last > first ? line.substr(first, last - first) : std::string();
  return out;
}

ExecBlock::ExecBlock(const TZipUpdater& updater, const std::string& target, int32_t version, void* caller,
                     zippack::ZipCallback callback) {
  if (version >= zippack::kNewerLayoutVersion) {
    newer_ = std::make_unique<zippack::ZipExecParams>();  // value-initialised: every byte 0
    FillHead(*newer_, updater, target, caller, callback);
    FillNewer(updater, version);
  } else {
    if (updater.FSpecArgs.size() > zippack::kOlderLayoutMaxNames) {
      throw std::length_error("this library version takes at most " +
                              std::to_string(zippack::kOlderLayoutMaxNames) + " files at once");
    }
    older_ = std::make_unique<zippack::ZipExecParamsOlder>();
    FillHead(*older_, updater, target, caller, callback);
    FillOlder(updater);
  }
}

void* ExecBlock::Address() { return newer_ ? static_cast<void*>(newer_.get()) : static_cast<void*>(older_.get()); }

char* ExecBlock::Text(const std::string& text) {
  auto copy = std::make_unique<char[]>(text.size() + 1);
  std::memcpy(copy.get(), text.c_str(), text.size() + 1);
  texts_.push_back(std::move(copy));
  return texts_.back().get();
}

// The fields both layouts share, up to the target archive.
template <typename Block>
void ExecBlock::FillHead(Block& b, const TZipUpdater& u, const std::string& target, void* caller,
                         zippack::ZipCallback callback) {
  const AddOpts& o = u.AddOptions;
  b.OwnerWindow = u.Unattended ? nullptr : u.OwnerWindow();
  b.Caller = caller;
  b.Version = zippack::kAddBlockVersion;
  b.Callback = callback;
  b.Trace = Flag(u.Trace);
  b.Password = TextOrNone(u.Password().substr(0, kBlockPasswordLength));
  b.StoreSuffixes = TextOrNone(u.StoreSuffixList());
  b.Encrypt = Flag(o.Contains(AddEncrypt));
  b.HiddenFiles = Flag(o.Contains(AddHiddenFiles));
  b.Volume = Flag(o.Contains(AddVolume));
  b.NoDirEntries = Flag(!o.Contains(AddSeparateDirs));
  b.Verbose = Flag(u.Verbose || u.Trace);
  b.Quiet = 1;
  b.Level = u.AddCompLevel;
  b.JunkDirNames = Flag(!o.Contains(AddDirNames));
  b.Recurse = static_cast<uint16_t>(Flag(o.Contains(AddRecurseDirs)));
  b.Grow = 1;
  b.ForceDos = Flag(o.Contains(AddForceDOS));
  b.Move = Flag(o.Contains(AddMove));
  b.Update = Flag(o.Contains(AddUpdate));
  b.Freshen = Flag(o.Contains(AddFreshen) && !o.Contains(AddUpdate));
  b.LatestTime = Flag(o.Contains(AddZipTime));
  b.SpecCount = static_cast<int32_t>(u.FSpecArgs.size());
  b.ArchiveName = Text(target);
  b.EndMarker = zippack::kEndMarker;
}

void ExecBlock::FillNewer(const TZipUpdater& u, int32_t version) {
  zippack::ZipExecParams& b = *newer_;
  const bool current = version >= zippack::kCommentVersion;
  b.TempDir = TextOrNone(u.TempDir);
  if (current) {
    b.ArchiveComment = TextOrNone(u.ArchiveComment());
    b.ArchiveFilesOnly = static_cast<uint16_t>(Flag(u.AddOptions.Contains(AddArchiveOnly)));
    b.ResetArchiveBit = static_cast<uint16_t>(Flag(u.AddOptions.Contains(AddResetArchive)));
  }
  specs_.resize(u.FSpecArgs.size());  // value-initialised: every byte 0
  for (size_t i = 0; i < specs_.size(); ++i) {
    const FileSpecLine line =
        ParseFileSpecLine(u.FSpecArgs[i], static_cast<uint32_t>(b.Encrypt), b.Recurse,
                          b.Password != nullptr ? std::string(b.Password) : std::string(),
                          LineNamesFile(u.FSpecArgs[i], u.RootDir()));
    zippack::ZipFileSpec& record = specs_[i];
    record.Source = Text(line.pattern);
    record.Password = line.password ? Text(*line.password) : nullptr;
    record.Encrypt = line.encrypt;
    record.Recurse = line.recurse;
    record.Literal = line.literal;
    record.RootDir = TextOrNone(u.RootDir());
  }
  b.Specs = specs_.empty() ? nullptr : specs_.data();
  if (current && !u.FSpecArgsExcl.empty()) {
    for (const std::string& line : u.FSpecArgsExcl) excludes_.push_back(Text(line));
    b.ExcludeCount = static_cast<int32_t>(excludes_.size());
    b.Excludes = excludes_.data();
  }
}

void ExecBlock::FillOlder(const TZipUpdater& u) {
  for (size_t i = 0; i < u.FSpecArgs.size(); ++i) {
    // This layout has no way to say that a name is only a name: a file whose
    // name an older library would read as a pattern or a marker is refused
    // rather than handed on to match other files.
    const std::string& line = u.FSpecArgs[i];
    if (LineNamesFile(line, u.RootDir()) && line.find_first_of("*?[<>|") != std::string::npos) {
      throw std::invalid_argument("this library version cannot add a file named " + line);
    }
    older_->Names[i] = Text(line);
  }
}

}  // namespace fretfile
