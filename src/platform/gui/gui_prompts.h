// The widget side of the core's prompt handler (platform/prompts.h):
// messages in the dialogs layer's plain message box, passwords in
// TPasswordDlg through the dialogs layer (so tests answer both with their
// responder), the busy cursor as the application's override cursor.
#pragma once

namespace platform {

// Installs the handler for the rest of the run; call once a QApplication
// exists.
void InstallGuiPrompts();

}  // namespace platform
