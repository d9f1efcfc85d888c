// Rebuilding the index: the Rebuild Index button and the work it starts on
// the worker thread.
#include "ui/form_main.h"

namespace fretfile {

struct TFormMain::RebuildState {};

void TFormMain::CreateRebuildComponents() { rebuild_ = new RebuildState; }

void TFormMain::DestroyRebuildComponents() {
  delete rebuild_;
  rebuild_ = nullptr;
}

bool TFormMain::RebuildRunning() const { return false; }

void TFormMain::IndexButtonClick() {}

}  // namespace fretfile
