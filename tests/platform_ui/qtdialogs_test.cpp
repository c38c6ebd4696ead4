#include "platform/qtdialogs.h"
#include "tests/fixtures/tempprefix.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <gtest/gtest.h>

using namespace dravik;

namespace {

// Clicks the button with `text` in the message box that opens next.
void ClickWhenShown(const QString& text) {
  QTimer::singleShot(0, [text] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QMessageBox*>(w))
        for (QAbstractButton* b : box->buttons())
          if (b->text() == text) b->click();
  });
}

TEST(QtDialogs, FiltersTurnIntoQtForm) {
  EXPECT_EQ(QtFilter("Halvex Patches (*.gob)|*.gob|ZIP Files (*.zip)|*.zip"),
            "Halvex Patches (*.gob);;ZIP Files (*.zip)");
  EXPECT_EQ(QtFilter("Patches|*.gob;*.zip"), "Patches (*.gob *.zip)");
  EXPECT_EQ(QtFilter(""), "");
}

TEST(QtDialogs, MessageBoxButtonsInOrderAndAnswers) {
  TQtDialogs dialogs;
  QStringList seen;
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QMessageBox*>(w)) {
        seen << box->windowTitle();
        for (QAbstractButton* b : box->buttons())
          seen << b->text();
        for (QAbstractButton* b : box->buttons())
          if (b->text() == "&All") b->click();
      }
  });
  int r = dialogs.MessageDlg("Patch x.gob already exists. Overwrite?", mtConfirmation,
                             {mbYes, mbNo, mbAll});
  EXPECT_EQ(r, mrAll);
  EXPECT_TRUE(seen.contains("Confirm"));
  EXPECT_EQ(seen, (QStringList{"Confirm", "&Yes", "&No", "&All"}));
  ClickWhenShown("&No");
  EXPECT_EQ(dialogs.MessageDlg("Continue?", mtWarning, {mbNo, mbOK, mbAll}), mrNo);
  // Enter answers the default: the first button, or the one named.
  for (auto [given, answer] : {std::pair{std::optional<TMsgDlgBtn>(), mrYes},
                               std::pair{std::optional<TMsgDlgBtn>(mbNo), mrNo}}) {
    QTimer::singleShot(0, [] {
      if (QWidget* box = QApplication::activeModalWidget()) QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_EQ(dialogs.MessageDlg("Delete x?", mtConfirmation, {mbYes, mbNo}, given), answer);
  }
}

TEST(QtDialogs, FileDialogsOfferThePrefixsDrives) {
  test::TTempPrefix prefix;
  TQtDialogs dialogs;
  QList<QUrl> places;
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
        places = dialog->sidebarUrls();
        dialog->reject();
      }
  });
  TFileDialog open;
  open.InitialDir = "C:\\";
  EXPECT_FALSE(dialogs.Execute(open, false));
  const std::string driveC = std::filesystem::canonical(prefix.DriveC()).string();
  EXPECT_TRUE(places.contains(QUrl::fromLocalFile(QString::fromStdString(driveC))));
  EXPECT_TRUE(places.contains(QUrl::fromLocalFile("/")));
}

TEST(QtDialogs, AWaitEndsByItselfOnceDoneOrWhenCancelled) {
  TQtDialogs dialogs;
  int asked = 0;
  EXPECT_TRUE(dialogs.WaitUntil("Waiting", [&] { return ++asked == 3; }));
  EXPECT_EQ(asked, 3);
  ClickWhenShown("Cancel");
  EXPECT_FALSE(dialogs.WaitUntil("Waiting", [] { return false; }));
}

} // namespace
