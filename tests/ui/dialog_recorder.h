// Answers every modal box of the dialogs layer during a test and records
// what was shown. Answers are taken from a queue; an empty queue answers
// Yes to questions, a question's default button where it has its own
// ("Save", "Store"), and Ok to messages, OK/Cancel and password boxes. A
// password box takes its text from the queue of replies. The folder chooser,
// the choosers of a file to write and of files to read, and the questions
// answered with a line of text have queues of their own; an empty one
// cancels.
#pragma once

#include <deque>
#include <optional>
#include <vector>

#include "platform/gui/dialogs.h"

namespace testing_support {

class DialogRecorder {
 public:
  DialogRecorder() {
    platform::SetDialogResponder([this](const platform::DialogBox& box) {
      shown.push_back(box);
      if (box.reply != nullptr && !replies.empty()) {
        *box.reply = replies.front();
        replies.pop_front();
      }
      if (!answers.empty()) {
        const platform::Answer answer = answers.front();
        answers.pop_front();
        return answer;
      }
      if (box.kind == platform::BoxKind::SaveDiscardCancel) return platform::Answer::Save;
      if (box.kind == platform::BoxKind::StoreOpenDiscard) return platform::Answer::Store;
      return box.kind == platform::BoxKind::Message || box.kind == platform::BoxKind::Error ||
                     box.kind == platform::BoxKind::Password || box.kind == platform::BoxKind::OkCancel
                 ? platform::Answer::Ok
                 : platform::Answer::Yes;
    });
    platform::SetFolderResponder([this](const platform::FolderQuestion& question) {
      folderQuestions.push_back(question);
      return Next(folderAnswers);
    });
    platform::SetSaveFileResponder([this](const platform::SaveFileQuestion& question) {
      saveFileQuestions.push_back(question);
      return Next(saveFileAnswers);
    });
    platform::SetOpenFilesResponder([this](const platform::OpenFilesQuestion&) {
      std::vector<std::string> chosen;
      if (!openFilesAnswers.empty()) {
        chosen = openFilesAnswers.front();
        openFilesAnswers.pop_front();
      }
      return chosen;
    });
    platform::SetInputResponder([this](const platform::InputQuestion& question) {
      inputQuestions.push_back(question);
      return Next(inputAnswers);
    });
  }
  ~DialogRecorder() {
    platform::SetDialogResponder(nullptr);
    platform::SetFolderResponder(nullptr);
    platform::SetSaveFileResponder(nullptr);
    platform::SetOpenFilesResponder(nullptr);
    platform::SetInputResponder(nullptr);
  }
  DialogRecorder(const DialogRecorder&) = delete;
  DialogRecorder& operator=(const DialogRecorder&) = delete;

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& box : shown) texts.push_back(box.text);
    return texts;
  }

  // The next answer of a chooser's queue; cancelled when it is empty.
  static std::optional<std::string> Next(std::deque<std::optional<std::string>>& answers) {
    if (answers.empty()) return std::nullopt;
    std::optional<std::string> answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::vector<platform::DialogBox> shown;
  std::deque<platform::Answer> answers;
  std::deque<std::string> replies;
  std::vector<platform::FolderQuestion> folderQuestions;
  std::deque<std::optional<std::string>> folderAnswers;
  std::vector<platform::SaveFileQuestion> saveFileQuestions;
  std::deque<std::optional<std::string>> saveFileAnswers;
  std::deque<std::vector<std::string>> openFilesAnswers;
  std::vector<platform::InputQuestion> inputQuestions;
  std::deque<std::optional<std::string>> inputAnswers;
};

}  // namespace testing_support
