// The real question box of the dialogs layer (every other test answers the
// boxes with a responder): it is answered from the event loop its exec()
// runs, by a key or by closing it.
#include "platform/gui/dialogs.h"

#include <QApplication>
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
}

}  // namespace
