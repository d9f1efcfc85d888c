// Rebuilding the index: the Rebuild Index button and the work it starts on
// the worker thread. The rebuild itself is IndexRebuild (index/rebuild.h);
// this file gives it the window's effects, each carried out on the
// user-interface thread while the worker waits.
#include <QGuiApplication>
#include <atomic>
#include <exception>
#include <memory>

#include "archive/tzip.h"
#include "components/find_file.h"
#include "components/wthread.h"
#include "index/rebuild.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/error_handler.h"
#include "platform/ui_contracts/ui_calls.h"
#include "ui/form_main.h"
#include "ui/wait_cursor.h"

namespace fretfile {
namespace {

// What the rebuild shows, done in the window. Once the program is ending
// (the window closed, Exit chosen, or the worker component waiting for the
// rebuild in its destructor), the rebuild stops at the next entry, nothing
// more is shown and the question counts as No.
class WindowRebuildEffects : public RebuildEffects {
 public:
  WindowRebuildEffects(TFormMain& form, const TWinThread& thread, const std::atomic<bool>& stop)
      : form_(form), thread_(thread), stop_(stop) {}

  bool Confirm(const std::string& question) override {
    bool goOn = false;
    platform::RunOnUiThread([&] {
      // Only No stops: Escape answers No, any other way out goes on.
      goOn = !StopRequested() && platform::AskYesNo(question) != platform::Answer::No;
    });
    return goOn;
  }

  void ShowMessage(const std::string& text) override {
    platform::RunOnUiThread([&] {
      if (!StopRequested()) platform::ShowMessage(text);
    });
  }

  void ShowStatus(const std::string& text) override {
    platform::RunOnUiThread([&] { form_.SetStatusText(ToQString(text)); });
  }

  void SetBusy(bool busy) override {
    platform::RunOnUiThread([&] {
      if (busy) {
        waitCursor_ = std::make_unique<ApplicationWaitCursor>();
      } else {
        waitCursor_.reset();
      }
      form_.EnableButtons(!busy);
    });
  }

  bool StopRequested() override { return stop_ || thread_.Destroying(); }

 private:
  TFormMain& form_;
  const TWinThread& thread_;
  const std::atomic<bool>& stop_;
  std::unique_ptr<ApplicationWaitCursor> waitCursor_;  // touched on the user-interface thread only
};

}  // namespace

// Declared in this order so the worker component goes first: its
// destructor waits for a running rebuild, which uses everything above it.
struct TFormMain::RebuildState {
  TFindFile FindFile;
  TZipFile Zip;
  IndexRebuild Rebuild{FindFile, Zip};
  // From the click until the worker's procedure ends (asking included).
  std::atomic<int> active{0};
  // Set when the program is ending: the rebuild stops at the next entry.
  std::atomic<bool> stop{false};
  std::unique_ptr<WindowRebuildEffects> effects;
  TWinThread WinThread;
};

void TFormMain::CreateRebuildComponents() {
  rebuild_ = new RebuildState;
  rebuild_->effects = std::make_unique<WindowRebuildEffects>(*this, rebuild_->WinThread, rebuild_->stop);

  rebuild_->FindFile.setObjectName(QStringLiteral("FindFile"));
  // The stored layout's directory; every rebuild lists AppDir instead.
  rebuild_->FindFile.SetDirectory("c:/music/songarc");
  rebuild_->FindFile.SetFilter("*.zip");
  rebuild_->Zip.setObjectName(QStringLiteral("Zip"));
  rebuild_->Zip.OnReadFile = [this](ZipFile entry) { ZipReadFile(entry); };
  rebuild_->WinThread.setObjectName(QStringLiteral("WinThread"));
  rebuild_->WinThread.ThreadProc = [this](TWinThread& sender, const TWinThreadParam& info) {
    return WinThreadThreadProc(sender, info);
  };
  // An error that ends the rebuild is shown as the general error handler
  // shows any error (the original program left it unhandled, so a failed
  // rebuild looked like nothing had happened).
  rebuild_->WinThread.ThreadException = [](TWinThread& sender, const TWinThreadInfo&, std::exception_ptr error) {
    if (sender.Destroying()) return;
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      platform::ReportError(e);
    } catch (...) {
      platform::ReportUnknownError();
    }
  };
  AddComponent(&rebuild_->FindFile);
  AddComponent(&rebuild_->Zip);
  AddComponent(&rebuild_->WinThread);
}

void TFormMain::DestroyRebuildComponents() {
  if (rebuild_ == nullptr) return;
  RemoveComponent(&rebuild_->FindFile);
  RemoveComponent(&rebuild_->Zip);
  RemoveComponent(&rebuild_->WinThread);
  delete rebuild_;
  rebuild_ = nullptr;
}

bool TFormMain::RebuildRunning() const { return rebuild_ != nullptr && rebuild_->active > 0; }

void TFormMain::StopRebuild() {
  if (rebuild_ != nullptr) rebuild_->stop = true;
}

void TFormMain::IndexButtonClick() {
  // One rebuild at a time, and none while a search reads the index.
  if (RebuildRunning() || SearchRunning()) return;
  if (!CollectionChosen() || !ArchiveFree()) return;
  rebuild_->stop = false;
  ++rebuild_->active;
  try {
    rebuild_->WinThread.Spawn(0);
  } catch (...) {
    --rebuild_->active;
    throw;
  }
}

int32_t TFormMain::WinThreadThreadProc(TWinThread&, const TWinThreadParam&) {
  struct Finished {
    std::atomic<int>& active;
    ~Finished() { --active; }
  } finished{rebuild_->active};
  rebuild_->Rebuild.Run(AppDir_, *rebuild_->effects);
  return 0;
}

void TFormMain::ZipReadFile(const ZipFile& zipFile) { rebuild_->Rebuild.ZipReadFile(zipFile); }

}  // namespace fretfile
