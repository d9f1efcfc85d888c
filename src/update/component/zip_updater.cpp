#include "update/component/zip_updater.h"

#include <unistd.h>

#include <QScopeGuard>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <new>
#include <system_error>

#include "platform/posix/file_attributes.h"
#include "platform/posix/shared_file.h"
#include "platform/ui_contracts/prompts.h"
#include "update/component/updater_messages.h"
#include "update/session/zippack_session.h"
#include "update/sfx/sfx_stub_writer.h"
#include "update/span/span_writer.h"

namespace fretfile {
namespace {

std::string UpperExtension(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return extension;
}

}  // namespace

TZipUpdater::TZipUpdater(void* ownerWindow) : OwnerWindow_(ownerWindow) {}

// An Add, a delete or a rename of another program, ours included, is
// replacing it. A missing or unreadable archive is not held; the library
// says what is wrong with it.
bool TZipUpdater::ArchiveHeldElsewhere(const std::string& path) {
  platform::SharedFile probe;
  return probe.Open(path, platform::FileAccess::Read, platform::FileShare::Shared) == EWOULDBLOCK;
}

TZipUpdater::~TZipUpdater() = default;

void TZipUpdater::SetZipFileName(const std::string& name) {
  // The archive of a running Add stays its archive until the Add ends (an
  // event handler of that Add may try to change it).
  if (Status_.InOperation) return ReportMessage(msg::kComponentBusy, "");
  ZipFileName_ = name;
  List();
}

void TZipUpdater::List() {
  if (!Directory_.Read(ZipFileName_)) ZipFileName_.clear();
  if (OnDirUpdate) OnDirUpdate(*this);
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
  const std::string text = MessageTextOf(number) + detail;
  Status_.LastMessage = text;
  Status_.LastErrCode = number;
  if (!Unattended) platform::PromptMessage(text);
  if (OnMessage) OnMessage(*this, 0, text);
}

void TZipUpdater::ReportException(const EZipUpdater& error) {
  if (error.DisplayFlag == 1 && !Unattended) platform::PromptMessage(error.what());
  Status_.LastErrCode = error.MessageNumber;
  Status_.LastMessage = error.what();
  if (OnMessage) OnMessage(*this, 0, error.what());
}

// --- the parts' operations ---------------------------------------------------------------------

int32_t TZipUpdater::WriteSpan(const std::string& source, const std::string& target) {
  // Inside an Add the component stays busy until the Add ends; called on
  // its own, only while it writes.
  const bool wasInOperation = Status_.InOperation;
  Status_.InOperation = true;
  int32_t result = 0;
  {
    const auto restore = qScopeGuard([this, wasInOperation] { Status_.InOperation = wasInOperation; });
    result = SpanWriter(*this, Directory_, Volumes_).Write(source, target);
  }
  if (OnProgress) OnProgress(*this, kProgressEndOfBatch, "", 0);
  return result;
}

int32_t TZipUpdater::RunFormat() {
  return Format_.Run(Volumes_.DriveIndex, ConfirmErase, Volumes_.VolumeLabel);
}

void TZipUpdater::LoadZipPack() { ZipPackSession::Load(*this); }

void TZipUpdater::UnloadZipPack() { ZipPackSession::Unload(); }

bool TZipUpdater::ZipPackLoaded() { return ZipPackSession::Loaded(); }

int32_t TZipUpdater::LibraryVersion() { return ZipPackSession::Version(*this); }

int32_t TZipUpdater::CreateSfxStub() { return SfxStubWriter(*this).CreateSfxStub(); }

int32_t TZipUpdater::ReplaceStubIcon(platform::SharedFile& target, int64_t stubSize) {
  return SfxStubWriter(*this).ReplaceStubIcon(target, stubSize);
}

int32_t TZipUpdater::CopyBlocks(platform::SharedFile& source, platform::SharedFile& target, int64_t count) {
  return SfxStubWriter(*this).CopyBlocks(source, target, count);
}

int32_t TZipUpdater::DeleteWithShell(const std::string& name, DeleteOpts howToDelete) {
  return SfxStubWriter::DeleteWithShell(name, howToDelete);
}

// --- Add ---------------------------------------------------------------------------------------

void TZipUpdater::Add() {
  // One Add at a time: a second one, from an event handler of the Add that
  // drives the library, would hand the library a block while it works on
  // another. It is refused before it touches anything the running one uses.
  if (Status_.InOperation) return ReportMessage(msg::kComponentBusy, "");
  Status_.ProcessedCount = 0;
  // What an Add reports is its own: nothing left over from the last one.
  Status_.LastMessage.clear();
  Status_.LastErrCode = 0;
  Status_.LastFullErrCode = 0;
  std::string target;
  std::string spanTemporary;
  if (!CheckRequest(target, spanTemporary)) return;
  bool newSfx = false;
  if (!PrepareNewSfx(newSfx)) return;
  // Should nothing be added after all, a new self-extractor goes again,
  // however Add ends.
  const auto unfilledSfx = qScopeGuard([this, newSfx, name = ZipFileName_] {
    if (newSfx && Status_.ProcessedCount <= 0) ::unlink(name.c_str());
  });
  bool loadedHere = false;
  if (!ZipPackLoaded()) {
    LoadZipPack();
    if (!ZipPackLoaded()) return;  // LoadZipPack has said why
    loadedHere = true;
  }
  RunLibrary(target, spanTemporary, loadedHere);
  if (Status_.ProcessedCount > 0) List();
}

bool TZipUpdater::CheckRequest(std::string& target, std::string& spanTemporary) {
  const auto refuse = [this](int32_t number, const std::string& detail = "") {
    ReportMessage(number, detail);
    return false;
  };
  if (FSpecArgs.empty()) return refuse(msg::kNothingToAdd);
  if (ZipFileName_.empty()) return refuse(msg::kNoZipFileName);
  if (Unattended && AddOptions.Contains(AddEncrypt) && Password().empty()) return refuse(msg::kNoPassword);
  // The library writes into the target. A spanned archive is first built
  // in a temporary archive that WriteSpan then copies onto the volumes of
  // ZipFileName (RunLibrary); that temporary archive, and only it, goes in
  // every case. Whether there is one is decided here, when it is named.
  target = ZipFileName_;
  if (Spanning()) {
    if (AddOptions.Contains(AddFreshen) || AddOptions.Contains(AddUpdate)) return refuse(msg::kSpanWithUpdate);
    if (UpperExtension(ZipFileName_) == ".EXE") return refuse(msg::kSpanIntoExe);
    target = spanTemporary = MakeTempFileName("", "");
    if (target.empty()) return refuse(msg::kAddFailed, "no temporary archive can be made");
    if (Verbose && OnMessage) OnMessage(*this, 0, "Temporary zipfile: " + target);
  } else if (ArchiveHeldElsewhere(ZipFileName_)) {
    // Another program (or another fretfile) is writing it: say so, rather
    // than a failure the user cannot act on. The Add can be repeated.
    ReportException(EZipUpdater(msg::kArchiveBusy, ZipFileName_));
    return false;
  }
  return true;
}

// A new ".exe" target (StubOffset 0, no such file) first gets the
// self-extractor's stub, header and empty end record; the library adds
// behind them.
bool TZipUpdater::PrepareNewSfx(bool& newSfx) {
  newSfx = UpperExtension(ZipFileName_) == ".EXE" && StubOffset() == 0 && !platform::IsFile(ZipFileName_);
  if (!newSfx) return true;
  if (const int32_t code = CreateSfxStub(); code != 0) {
    newSfx = false;
    ReportException(EZipUpdater(msg::kSfxCreateFailed, code));
    return false;
  }
  return true;
}

void TZipUpdater::RunLibrary(const std::string& target, const std::string& spanTemporary, bool loadedHere) {
  Status_.InOperation = true;
  Status_.CancelRequested = false;
  // Whatever happens below, the lists are used up, a library loaded for
  // this Add is released and the component is free again.
  const auto endOfOperation = qScopeGuard([this, loadedHere] {
    FSpecArgs.clear();
    FSpecArgsExcl.clear();
    if (loadedHere) UnloadZipPack();
    Status_.CancelRequested = false;
    Status_.InOperation = false;
  });
  const int32_t version = LibraryVersion();
  CallLibrary(msg::kAddFailed, [&] {
    ZipPackSession(*this, Status_).Run(target, version);
    // A spanned Add: the library has built the temporary archive, which now
    // goes onto the volumes of ZipFileName.
    if (Status_.ProcessedCount > 0 && Spanning() && WriteSpan(target, ZipFileName_) != 0) {
      Status_.ProcessedCount = 0;
    }
  });
  if (!spanTemporary.empty()) {
    std::error_code error;
    std::filesystem::remove(spanTemporary, error);
  }
}

void TZipUpdater::CallLibrary(int32_t failure, const std::function<void()>& call) {
  try {
    call();
  } catch (const std::bad_alloc&) {
    ReportMessage(failure, "not enough memory");
  } catch (const std::exception& error) {
    ReportMessage(failure, error.what());
  } catch (...) {
    ReportMessage(failure, "unknown error");
  }
  if (Status_.ProcessedCount < 0) {
    // The library refused the block before it called back: nothing was
    // done, and the count says so.
    Status_.ProcessedCount = 0;
    ReportMessage(msg::kLibraryRefusedBlock, "");
  }
}

}  // namespace fretfile
