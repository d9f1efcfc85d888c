// The widget side of the core's prompt handler (platform/ui_contracts/prompts.h):
// messages and questions in the dialogs layer's boxes, passwords in
// TPasswordDlg through the dialogs layer (so tests answer them all with
// their responder), the busy cursor as the application's override cursor;
// and the format dialog of the format call (platform/drives/format_dialog.h).
#pragma once

namespace platform {

// Installs the handler for the rest of the run; call once a QApplication
// exists.
void InstallGuiPrompts();

}  // namespace platform
