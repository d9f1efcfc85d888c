// The real question box of the dialogs layer (every other test answers the
// boxes with a responder): it is answered from the event loop its exec()
// runs, by a key or by closing it.
#include "platform/gui/dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include <gtest/gtest.h>

#include "platform/posix/paths.h"
#include "support/temp_dir.h"

namespace {

struct ShownBox {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  std::string title;
  std::string defaultButton;
  std::string escapeButton;
};

// Asks, and once the box is up records it and lets `answer` end it.
platform::Answer AskAndAnswer(const std::function<void(QMessageBox&)>& answer, ShownBox& shown,
                              const std::function<platform::Answer()>& ask = [] {
                                return platform::AskYesNo("Are you sure that you want to save this file?");
                              }) {
  platform::SetDialogResponder(nullptr);
  QTimer::singleShot(0, qApp, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
      ADD_FAILURE() << "no question box is shown";
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* other = qobject_cast<QMessageBox*>(widget); other != nullptr && other->isVisible()) other->done(0);
      }
      return;
    }
    shown.icon = box->icon();
    shown.title = box->windowTitle().toStdString();
    if (box->defaultButton() != nullptr) shown.defaultButton = box->defaultButton()->text().toStdString();
    if (auto* escape = qobject_cast<QPushButton*>(box->escapeButton())) shown.escapeButton = escape->text().toStdString();
    answer(*box);
  });
  return ask();
}

TEST(Dialogs, TheYesNoQuestionIsAnInformationBoxAndClosingItIsNeitherAnswer) {
  ShownBox shown;
  EXPECT_EQ(AskAndAnswer([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); }, shown),
            platform::Answer::Yes);
  EXPECT_EQ(shown.icon, QMessageBox::Information);
  EXPECT_EQ(shown.title, "Information");
  EXPECT_EQ(shown.defaultButton, "&Yes");
  EXPECT_EQ(shown.escapeButton, "&No");

  EXPECT_EQ(AskAndAnswer([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, shown),
            platform::Answer::No);
  EXPECT_EQ(AskAndAnswer([](QMessageBox& box) { box.close(); }, shown), platform::Answer::Closed);
}

// The real folder chooser opens in the start folder; OK gives the folder
// shown, Cancel nothing.
TEST(Dialogs, TheFolderChooserStartsWhereAskedAndCancelGivesNothing) {
  platform::SetFolderResponder(nullptr);
  testing_support::TempDir dir;
  const auto chooseAndEnd = [&](bool accept) {
    QTimer::singleShot(0, qApp, [accept] {
      auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      EXPECT_NE(chooser, nullptr) << "no folder chooser is shown";
      // QFileDialog hides accept(); whatever dialog is up ends, so nothing hangs.
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      EXPECT_EQ(dialog->windowTitle(), "Where are your songs?");
      accept ? dialog->accept() : dialog->reject();
    });
    return platform::ChooseFolder("Where are your songs?", dir.path());
  };
  const auto chosen = chooseAndEnd(true);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(platform::WithTrailingSeparator(*chosen), dir.path());
  EXPECT_FALSE(chooseAndEnd(false).has_value());
}

TEST(Dialogs, AQuestionHasTheButtonsIconAndDefaultItIsAskedWith) {
  ShownBox shown;
  const auto confirm = [] {
    return platform::AskQuestion(platform::BoxKind::YesNoCancel, "Confirm", "Overwrite previous disk no 1",
                                 platform::BoxIcon::Warning, 1);
  };
  EXPECT_EQ(AskAndAnswer([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); }, shown, confirm),
            platform::Answer::No);
  EXPECT_EQ(shown.icon, QMessageBox::Warning);
  EXPECT_EQ(shown.title, "Confirm");
  EXPECT_EQ(AskAndAnswer([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, shown, confirm),
            platform::Answer::Cancel);

  const auto insert = [] {
    return platform::AskQuestion(platform::BoxKind::OkCancel, "Fretfile 1.5", "Please insert last disk in set",
                                 platform::BoxIcon::Critical, 0);
  };
  EXPECT_EQ(AskAndAnswer([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); }, shown, insert),
            platform::Answer::Ok);
  EXPECT_EQ(shown.icon, QMessageBox::Critical);

  // A Yes/No question whose default is No: Enter does not delete.
  const auto remove = [] {
    return platform::AskQuestion(platform::BoxKind::YesNo, "Fretfile 1.5", "Delete A by B from its archive?",
                                 platform::BoxIcon::Warning, 1);
  };
  EXPECT_EQ(AskAndAnswer([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); }, shown, remove),
            platform::Answer::No);
  EXPECT_EQ(shown.defaultButton, "&No");
}

// The question answered with a line: typing replaces the selected stem, OK
// takes no line of spaces, an editable list offers its choices.
TEST(Dialogs, TheLineQuestionStartsWithItsStemSelectedAndTakesNoEmptyAnswer) {
  platform::SetInputResponder(nullptr);
  const auto answer = [](const std::function<void(QDialog&)>& act, const platform::InputQuestion& question) {
    QTimer::singleShot(0, qApp, [&] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return ADD_FAILURE() << "no question is shown";
      act(*dialog);
    });
    return platform::AskInput(question);
  };
  platform::InputQuestion rename{"Rename Song", "New title of Song A.txt by B:", "Song A.txt"};
  rename.selectStem = true;
  EXPECT_EQ(answer([](QDialog& dialog) {
              QTest::keyClicks(dialog.focusWidget(), "Encore");
              QTest::keyClick(dialog.focusWidget(), Qt::Key_Return);
            }, rename),
            std::optional<std::string>("Encore.txt"));
  EXPECT_EQ(answer([](QDialog& dialog) {
              auto* line = qobject_cast<QLineEdit*>(dialog.focusWidget());
              line->setText("   ");
              const auto* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
              EXPECT_FALSE(ok->isEnabled());
              QTest::keyClick(line, Qt::Key_Escape);
            }, rename),
            std::nullopt);
  const platform::InputQuestion add{"Add Songs", "Add 2 songs to:", "", {"Anna Lee", "Blue Owls"}, {"X", "Y"}};
  EXPECT_EQ(answer([](QDialog& dialog) {
              auto* list = dialog.findChild<QComboBox*>();
              EXPECT_EQ(list->count(), 2);
              list->setCurrentIndex(1);
              QTest::keyClick(list, Qt::Key_Return);
            }, add),
            std::optional<std::string>("Blue Owls"));
}

}  // namespace
