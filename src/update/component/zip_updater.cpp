#include "update/component/zip_updater.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <system_error>

#include "platform/prompts.h"
#include "platform/shared_file.h"
#include "update/component/updater_messages.h"

namespace fretfile {
namespace {

constexpr size_t kPasswordLength = 255;
constexpr uint32_t kMostPasswordRequests = 15;
constexpr char kSeparator = '/';

std::string TextOf(int32_t number) {
  return TZipUpdater::MessageText(number, msg::kFallbackText + std::to_string(number));
}

// True when another party holds the archive locked for writing: an Add of
// another program, ours included, is replacing it. A missing or unreadable
// archive is not held; the library says what is wrong with it.
bool ArchiveHeldElsewhere(const std::string& path) {
  platform::SharedFile probe;
  return probe.Open(path, platform::FileAccess::Read, platform::FileShare::Shared) == EWOULDBLOCK;
}

std::string UpperExtension(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return extension;
}

}  // namespace

// --- EZipUpdater --------------------------------------------------------------------------

EZipUpdater::EZipUpdater(int32_t number, Display display)
    : std::runtime_error(TextOf(number)), DisplayFlag(static_cast<uint8_t>(display)), MessageNumber(number) {}

// A number without a text keeps the fallback text with its number, which
// has nothing to fill.
EZipUpdater::EZipUpdater(int32_t number, int32_t argument)
    : std::runtime_error(msg::TableText(number) ? msg::FormatText(*msg::TableText(number), {int64_t{argument}})
                                                : TextOf(number)),
      DisplayFlag(1),
      MessageNumber(number) {}

EZipUpdater::EZipUpdater(int32_t number, const std::string& argument)
    : std::runtime_error(msg::TableText(number) ? msg::FormatText(*msg::TableText(number), {argument})
                                                : TextOf(number)),
      DisplayFlag(1),
      MessageNumber(number) {}

// --- construction and properties --------------------------------------------------------

TZipUpdater::TZipUpdater(void* ownerWindow) : OwnerWindow_(ownerWindow) {}

TZipUpdater::~TZipUpdater() = default;

void TZipUpdater::SetZipFileName(const std::string& name) {
  // The archive of a running Add stays its archive until the Add ends (an
  // event handler of that Add may try to change it).
  if (InOperation_) return ReportMessage(msg::kComponentBusy, "");
  ZipFileName_ = name;
  List();
}

void TZipUpdater::SetPassword(const std::string& password) { Password_ = password.substr(0, kPasswordLength); }

void TZipUpdater::SetDLLDirectory(const std::string& directory) {
  if (directory == DLLDirectory_) return;
  DLLDirectory_ = directory;
  if (!DLLDirectory_.empty() && DLLDirectory_.back() == kSeparator) DLLDirectory_.pop_back();
}

void TZipUpdater::SetPasswordReqCount(uint32_t count) { PasswordReqCount_ = std::min(count, kMostPasswordRequests); }

void TZipUpdater::SetRootDir(const std::string& directory) {
  if (directory == RootDir_) return;
  // An empty value stays empty: no base folder rather than the file
  // system's root.
  RootDir_ = directory.empty() ? directory : AppendSlash(directory);
}

std::string TZipUpdater::AppendSlash(const std::string& path) {
  return !path.empty() && path.back() == kSeparator ? path : path + kSeparator;
}

std::string TZipUpdater::StoreSuffixList() const {
  std::string list;
  for (unsigned i = assGIF; i <= assEXE; ++i) {
    if (!AddStoreSuffixes.Contains(static_cast<AddStoreSuffixEnum>(i))) continue;
    if (!list.empty()) list += ':';
    list += std::string(".") + kStoreSuffixTexts[i];
  }
  return list;
}

std::string TZipUpdater::MakeTempFileName(std::string prefix, std::string extension) {
  if (prefix.empty()) prefix = "zip";
  if (extension.empty()) extension = ".zip";
  std::string folder;
  if (!TempDir.empty()) {
    TempDir = AppendSlash(TempDir);
    folder = TempDir;
  } else {
    std::error_code error;
    folder = std::filesystem::temp_directory_path(error).string();
    if (error) return {};
    folder = AppendSlash(folder);
  }
  // The system makes the file, so that the name is unique; the name is what
  // is wanted, with the extension in place of none. A few tries in case a
  // file of that name with the extension exists already.
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string name = folder + prefix + "XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return {};
    ::close(fd);
    ::unlink(name.c_str());
    name += extension;
    std::error_code error;
    if (!std::filesystem::exists(name, error)) return name;
  }
  return {};
}

// --- messages --------------------------------------------------------------------------------

std::string TZipUpdater::MessageText(int32_t number, const std::string& defaultText) {
  return msg::TableText(number).value_or(defaultText);
}

void TZipUpdater::ReportMessage(int32_t number, const std::string& detail) {
  const std::string text = TextOf(number) + detail;
  LastMessage_ = text;
  LastErrCode_ = number;
  if (!Unattended) platform::PromptMessage(text);
  if (OnMessage) OnMessage(*this, 0, text);
}

void TZipUpdater::ReportException(const EZipUpdater& error) {
  if (error.DisplayFlag == 1 && !Unattended) platform::PromptMessage(error.what());
  LastErrCode_ = error.MessageNumber;
  LastMessage_ = error.what();
  if (OnMessage) OnMessage(*this, 0, error.what());
}

// --- Add ---------------------------------------------------------------------------------------

void TZipUpdater::Add() {
  // One Add at a time: a second one, from an event handler of the Add that
  // drives the library, would hand the library a block while it works on
  // another. It is refused before it touches anything the running one uses.
  if (InOperation_) return ReportMessage(msg::kComponentBusy, "");
  ProcessedCount_ = 0;
  // What an Add reports is its own: nothing left over from the last one.
  LastMessage_.clear();
  LastErrCode_ = 0;
  LastFullErrCode_ = 0;
  if (FSpecArgs.empty()) return ReportMessage(msg::kNothingToAdd, "");
  if (ZipFileName_.empty()) return ReportMessage(msg::kNoZipFileName, "");
  if (Unattended && AddOptions.Contains(AddEncrypt) && Password_.empty()) {
    return ReportMessage(msg::kNoPassword, "");
  }
  // The library writes into the target. A spanned archive is first built
  // in a temporary archive that WriteSpan then copies onto the volumes of
  // ZipFileName (RunLibrary); that temporary archive, and only it, goes in
  // every case. Whether there is one is decided here, when it is named.
  std::string target = ZipFileName_;
  std::string spanTemporary;
  if (Spanning()) {
    if (AddOptions.Contains(AddFreshen) || AddOptions.Contains(AddUpdate)) {
      return ReportMessage(msg::kSpanWithUpdate, "");
    }
    if (UpperExtension(ZipFileName_) == ".EXE") return ReportMessage(msg::kSpanIntoExe, "");
    target = spanTemporary = MakeTempFileName("", "");
    if (target.empty()) return ReportMessage(msg::kAddFailed, "no temporary archive can be made");
    if (Verbose && OnMessage) OnMessage(*this, 0, "Temporary zipfile: " + target);
  } else if (ArchiveHeldElsewhere(ZipFileName_)) {
    // Another program (or another fretfile) is writing it: say so, rather
    // than a failure the user cannot act on. The Add can be repeated.
    return ReportException(EZipUpdater(msg::kArchiveBusy, ZipFileName_));
  }
  // A new ".exe" target (StubOffset 0, no such file) first gets the
  // self-extractor's stub, header and empty end record (sfx_stub.cpp); the
  // library adds behind them. Should nothing be added after all, the new
  // file goes again, however Add ends.
  std::error_code noFile;
  const bool newSfx = UpperExtension(ZipFileName_) == ".EXE" && StubOffset_ == 0 &&
                      !std::filesystem::is_regular_file(ZipFileName_, noFile);
  if (newSfx) {
    if (const int32_t code = CreateSfxStub(); code != 0) {
      return ReportException(EZipUpdater(msg::kSfxCreateFailed, code));
    }
  }
  struct UnfilledSfx {
    const TZipUpdater& self;
    const std::string name;
    ~UnfilledSfx() {
      if (!name.empty() && self.ProcessedCount_ <= 0) ::unlink(name.c_str());
    }
  } unfilledSfx{*this, newSfx ? ZipFileName_ : std::string()};

  bool loadedHere = false;
  if (!ZipPackLoaded()) {
    LoadZipPack();
    if (!ZipPackLoaded()) return;  // LoadZipPack has said why
    loadedHere = true;
  }
  {
    InOperation_ = true;
    CancelRequested_ = false;
    // Whatever happens below, the lists are used up, a library loaded for
    // this Add is released and the component is free again.
    struct EndOfOperation {
      TZipUpdater& self;
      bool unload;
      ~EndOfOperation() {
        self.FSpecArgs.clear();
        self.FSpecArgsExcl.clear();
        if (unload) UnloadZipPack();
        self.CancelRequested_ = false;
        self.InOperation_ = false;
      }
    } endOfOperation{*this, loadedHere};

    const int32_t version = LibraryVersion();
    try {
      RunLibrary(target, version);
    } catch (const std::bad_alloc&) {
      ReportMessage(msg::kAddFailed, "not enough memory");
    } catch (const std::exception& error) {
      ReportMessage(msg::kAddFailed, error.what());
    } catch (...) {
      ReportMessage(msg::kAddFailed, "unknown error");
    }
    if (ProcessedCount_ < 0) {
      // The library refused the block before it called back: nothing was
      // done, and the count says so.
      ProcessedCount_ = 0;
      ReportMessage(msg::kLibraryRefusedBlock, "");
    }
    if (!spanTemporary.empty()) {
      std::error_code error;
      std::filesystem::remove(spanTemporary, error);
    }
  }
  if (ProcessedCount_ > 0) List();
}

}  // namespace fretfile
