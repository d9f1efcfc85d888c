// What the update tests share: a component that records its messages, and
// a prompt handler standing in for the program's dialogs.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ui_contracts/prompts.h"
#include "support/temp_dir.h"
#include "update/component/zip_updater.h"

namespace testing_support {

class FakePrompts : public platform::PromptHandler {
 public:
  FakePrompts() { platform::SetPromptHandler(this); }
  ~FakePrompts() override { platform::SetPromptHandler(nullptr); }
  FakePrompts(const FakePrompts&) = delete;
  FakePrompts& operator=(const FakePrompts&) = delete;

  void ShowMessage(const std::string& text) override { shown.push_back(text); }
  // Answers from the queue; nothing left answers Cancel.
  std::optional<std::string> AskPassword(const platform::PasswordRequest& request) override {
    asked.push_back(request);
    if (passwords.empty()) return std::nullopt;
    auto answer = passwords.front();
    passwords.pop_front();
    return answer;
  }
  // Answers from the queue; nothing left answers Cancel.
  platform::PromptAnswer AskQuestion(const platform::QuestionRequest& request) override {
    questions.push_back(request);
    if (answers.empty()) return platform::PromptAnswer::Cancel;
    const auto answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void SetBusy(bool busy) override { busyChanges.push_back(busy); }

  std::vector<std::string> shown;
  std::vector<platform::PasswordRequest> asked;
  std::deque<std::optional<std::string>> passwords;
  std::vector<platform::QuestionRequest> questions;
  std::deque<platform::PromptAnswer> answers;
  std::vector<bool> busyChanges;
};

class UpdaterTest : public ::testing::Test {
 protected:
  UpdaterTest() {
    updater.OnMessage = [this](fretfile::TZipUpdater& sender, int32_t errCode, const std::string& text) {
      messages.push_back({errCode, sender.LastErrCode(), text});
    };
    updater.OnDirUpdate = [this](fretfile::TZipUpdater&) { ++dirUpdates; };
  }

  struct Message {
    int32_t errCode;
    int32_t number;  // LastErrCode when it was raised
    std::string text;
  };
  std::vector<int32_t> MessageNumbers() const {
    std::vector<int32_t> numbers;
    for (const auto& message : messages) numbers.push_back(message.number);
    return numbers;
  }
  static std::string TextOf(int32_t number) { return fretfile::TZipUpdater::MessageText(number, "?"); }

  TempDir dir;
  FakePrompts prompts;
  fretfile::TZipUpdater updater;
  std::vector<Message> messages;
  int dirUpdates = 0;
};

}  // namespace testing_support
