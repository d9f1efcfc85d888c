// What the core shows the user or asks them without knowing any widget: a
// plain message, a question with buttons, a password, the busy cursor. The program's widget side
// installs a handler at start-up (platform/gui/gui_prompts.h) that shows the
// real dialogs; tests install their own and answer. Without a handler (the
// command-line tool) a message goes to standard error, a question and a
// password get no answer and the cursor is left alone.
#pragma once

#include <optional>
#include <string>

namespace platform {

struct PasswordRequest {
  std::string title;
  std::string prompt;
  std::string okCaption;
  std::string cancelCaption;
};

// A question in a message box: its buttons, icon and default button.
enum class PromptButtons { OkCancel, YesNoCancel, RetryCancel };
// Stop is the stop sign, the icon of errors.
enum class PromptIcon { None, Warning, Stop };
enum class PromptAnswer { None, Ok, Cancel, Yes, No, Retry };

struct QuestionRequest {
  std::string title;  // empty: the application's title
  std::string text;
  PromptButtons buttons = PromptButtons::OkCancel;
  PromptIcon icon = PromptIcon::None;
  int defaultButton = 0;  // 0 the first button, 1 the second, ...
};

class PromptHandler {
 public:
  virtual ~PromptHandler() = default;
  virtual void ShowMessage(const std::string& text) = 0;
  // The button chosen; None when the box was closed without one.
  virtual PromptAnswer AskQuestion(const QuestionRequest& request) = 0;
  // The entered text when the user accepted, nothing when they cancelled.
  virtual std::optional<std::string> AskPassword(const PasswordRequest& request) = 0;
  virtual void SetBusy(bool busy) = 0;
};

// Installs the handler (not owned; it must outlive its installation);
// nullptr goes back to the plain behaviour.
void SetPromptHandler(PromptHandler* handler);

void PromptMessage(const std::string& text);
PromptAnswer PromptQuestion(const QuestionRequest& request);
std::optional<std::string> PromptPassword(const PasswordRequest& request);

// The busy cursor for the life of the scope, on every way out.
class BusyCursor {
 public:
  BusyCursor();
  ~BusyCursor();
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace platform
