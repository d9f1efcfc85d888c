#include "platform/ui_contracts/prompts.h"

#include <cstdio>

namespace platform {
namespace {

PromptHandler*& Handler() {
  static PromptHandler* handler = nullptr;
  return handler;
}

}  // namespace

void SetPromptHandler(PromptHandler* handler) { Handler() = handler; }

void PromptMessage(const std::string& text) {
  if (Handler() != nullptr) {
    Handler()->ShowMessage(text);
  } else {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
}

PromptAnswer PromptQuestion(const QuestionRequest& request) {
  if (Handler() == nullptr) return PromptAnswer::None;
  return Handler()->AskQuestion(request);
}

std::optional<std::string> PromptPassword(const PasswordRequest& request) {
  if (Handler() == nullptr) return std::nullopt;
  return Handler()->AskPassword(request);
}

BusyCursor::BusyCursor() {
  if (Handler() != nullptr) Handler()->SetBusy(true);
}

BusyCursor::~BusyCursor() {
  if (Handler() == nullptr) return;
  try {
    Handler()->SetBusy(false);
  } catch (...) {
    // Leaving by an error already, or nothing to restore: that is not worth
    // an error of its own.
  }
}

}  // namespace platform
