// The one place the program asks the user something or tells them something
// in a modal box. Production shows QMessageBox; tests install a responder
// that records every box and answers it, so no test blocks on a real dialog.
// Every function must be called on the user-interface thread (workers go
// through platform::RunOnUiThread).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

inline constexpr const char* kApplicationTitle = "Fretfile 1.5";

enum class BoxKind {
  Message,
  Error,
  YesNo,
  YesNoCancel,
  RetryCancel,
  OkCancel,
  Password,
  SaveDiscardCancel,  // "Save" (default), "Discard", "Cancel" (Escape)
  StoreOpenDiscard,   // "Store" (default), "Open", "Discard"
};
// Standard: the kind's own icon (information for Yes/No, a question mark for
// Yes/No/Cancel, a warning for Retry/Cancel, none for OK/Cancel).
enum class BoxIcon { Standard, None, Warning, Critical };
// Closed: the box was closed by its title bar (or system menu), no button
// chosen; each caller decides what that means.
enum class Answer { Ok, Yes, No, Cancel, Retry, Closed, Save, Discard, Store, Open };

struct DialogBox {
  BoxKind kind;
  std::string title;
  std::string text;
  // A password box: its button captions, and where the entered text goes
  // (a responder writes it there and answers Ok to accept it).
  std::string okCaption = {};
  std::string cancelCaption = {};
  std::string* reply = nullptr;
  BoxIcon icon = BoxIcon::Standard;
  int defaultButton = 0;  // of a question: 0 its first button, 1 the second, ...
};

using DialogResponder = std::function<Answer(const DialogBox&)>;

// Installs a responder in place of real boxes; an empty one restores them.
void SetDialogResponder(DialogResponder responder);

// A plain message box titled with the application title.
void ShowMessage(const std::string& text);
// An error box (error icon) titled with the application title.
void ShowErrorBox(const std::string& text);
// A question titled "Information", with the information icon and the
// buttons "&Yes" (default) and "&No". Escape answers No; closing the box by
// its title bar answers Closed.
Answer AskYesNo(const std::string& text);
Answer AskYesNoCancel(const std::string& text);
Answer AskRetryCancel(const std::string& text);
// A question with the kind's buttons (OK/Cancel, Yes/No/Cancel or
// Retry/Cancel), the given title, icon and default button. Closing it
// without a button answers Cancel.
Answer AskQuestion(BoxKind kind, const std::string& title, const std::string& text, BoxIcon icon,
                   int defaultButton);
// "Save" (the default button), "Discard" and "Cancel" (also Escape, and
// closing the box by its title bar).
Answer AskSaveDiscardCancel(const std::string& text);
// "Store" (the default button), "Open" and "Discard"; closing the box by its
// title bar answers Closed.
Answer AskStoreOpenDiscard(const std::string& text);
// The password dialog: the entered text when accepted, nothing when not.
std::optional<std::string> AskPassword(const std::string& title, const std::string& prompt,
                                       const std::string& okCaption, const std::string& cancelCaption);

// The folder chooser: a dialog that shows only folders, starting in
// startFolder. The chosen folder, or nothing when the user cancelled.
struct FolderQuestion {
  std::string title;
  std::string startFolder;
};
using FolderResponder = std::function<std::optional<std::string>(const FolderQuestion&)>;
// Installs a responder in place of the real chooser; an empty one restores it.
void SetFolderResponder(FolderResponder responder);
std::optional<std::string> ChooseFolder(const std::string& title, const std::string& startFolder);

// The chooser of a file to write: it starts at startPath (a folder and a
// proposed name) and shows the files the filter names ("PDF files (*.pdf)");
// it asks before the user's choice replaces a file. The chosen path, or
// nothing when the user cancelled.
struct SaveFileQuestion {
  std::string title;
  std::string startPath;
  std::string filter;
};
using SaveFileResponder = std::function<std::optional<std::string>(const SaveFileQuestion&)>;
// Installs a responder in place of the real chooser; an empty one restores it.
void SetSaveFileResponder(SaveFileResponder responder);
std::optional<std::string> ChooseSaveFile(const std::string& title, const std::string& startPath,
                                          const std::string& filter);

// The chooser of files to read, several at once, starting in startFolder.
// The chosen paths, none when the user cancelled.
struct OpenFilesQuestion {
  std::string title;
  std::string startFolder;
};
using OpenFilesResponder = std::function<std::vector<std::string>(const OpenFilesQuestion&)>;
// Installs a responder in place of the real chooser; an empty one restores it.
void SetOpenFilesResponder(OpenFilesResponder responder);
std::vector<std::string> ChooseOpenFiles(const std::string& title, const std::string& startFolder);

// A question answered with a line of text, which starts as `initial`: a
// line box, or with choices an editable list of them. The details are listed
// below it, to read. "OK" (the default, only while the line holds more than
// spaces) and "Cancel" (Escape). The line as the user left it, nothing when
// cancelled.
struct InputQuestion {
  std::string title;
  std::string text;
  std::string initial;
  std::vector<std::string> choices = {};
  std::vector<std::string> details = {};
  // The line starts with its text selected up to the last ".", so that
  // typing replaces a file name's stem and keeps its extension.
  bool selectStem = false;
};
using InputResponder = std::function<std::optional<std::string>(const InputQuestion&)>;
// Installs a responder in place of the real box; an empty one restores it.
void SetInputResponder(InputResponder responder);
std::optional<std::string> AskInput(const InputQuestion& question);

}  // namespace platform
