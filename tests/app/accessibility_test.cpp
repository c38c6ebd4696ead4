// Every window as a screen reader finds it: the tree of accessible objects that Qt publishes
// (over AT-SPI on Linux), with the program's rules installed as the program installs them.
#include "app/aboutbox.h"
#include "app/application.h"
#include "app/debugform.h"
#include "app/nogameform.h"
#include "app/patchform.h"
#include "app/propertyform.h"
#include "gob/gobber.h"
#include "gob/gobprop.h"
#include "net/dlstatus.h"
#include "patches/patchedapp.h"
#include "platform/accessibility.h"
#include "platform/qtdialogs.h"
#include "platform/stringgrid.h"
#include "repository/repositorylist.h"
#include "tests/fixtures/scripteddialogs.h"
#include "tests/fixtures/testgame.h"
#include "tests/qtmain/modal.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QMessageBox>
#include <QMetaEnum>
#include <QTableWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace dravik;
using namespace dravik::test;

namespace {

QString Describe(QAccessibleInterface* object) {
  return QString("%1 '%2'").arg(QMetaEnum::fromType<QAccessible::Role>().valueToKey(object->role()),
                                object->text(QAccessible::Name));
}

std::string Lines(const QStringList& lines) {
  return lines.join('\n').toStdString();
}

QAccessibleInterface* Accessible(QObject* object) {
  return QAccessible::queryAccessibleInterface(object);
}

class Accessibility : public ::testing::Test {
protected:
  TTestGame game;
  TScriptedDialogs dialogs;
  std::unique_ptr<TApplication> app;

  void SetUp() override {
    InstallAccessibility();
    game.WritePatch(game.InactiveHost("a.gob"), {"x.mat"}, "Alpha", "Author=Someone\r\n");
    app = std::make_unique<TApplication>();
    app->CreateForms({});
    app->PatchForm->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(app->PatchForm.get()));
  }
  template <typename T> T* Named(QWidget* window, const char* name) {
    T* found = window->findChild<T*>(name);
    EXPECT_TRUE(found) << name;
    return found;
  }
  QWidget* RepositoryWindow() {
    Named<QToolButton>(app->PatchForm.get(), "RepositoryButton")->click();
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == "RepositoryForm") return w;
    return nullptr;
  }
};

// Each window is a frame or dialog named by its title; Tab reaches every tool button.
TEST_F(Accessibility, EveryWindowAndWhatItHoldsIsNamed) {
  // Focus starts in the list, not on the tool buttons before it in the tab order.
  EXPECT_EQ(app->PatchForm->focusWidget()->objectName(), "PatchList");
  app->PropertyForm->Patch = app->PatchForm->CurrentApp()->Patches[0];
  QWidget* repository = RepositoryWindow();
  ASSERT_TRUE(repository);
  TNoGameForm noGame;
  TGobberForm gobber;
  struct TWindow {
    QWidget* Window;
    QAccessible::Role Role;
  };
  const TWindow windows[] = {
      {app->PatchForm.get(), QAccessible::Window},
      {app->PropertyForm.get(), QAccessible::Dialog},
      {app->AboutBox.get(), QAccessible::Dialog},
      {app->DebugForm.get(), QAccessible::Dialog},
      {app->DLStatus.get(), QAccessible::Dialog},
      {&noGame, QAccessible::Dialog},
      {repository, QAccessible::Window},
      {repository->findChild<TRepositoryListForm*>(), QAccessible::Dialog},
      {&gobber, QAccessible::Dialog},
      {gobber.findChild<TGOBPropForm*>(), QAccessible::Dialog},
  };
  for (const TWindow& w : windows) {
    ASSERT_TRUE(w.Window);
    w.Window->show();
    QAccessibleInterface* window = Accessible(w.Window);
    SCOPED_TRACE(w.Window->windowTitle().toStdString());
    EXPECT_EQ(window->role(), w.Role);
    EXPECT_EQ(Lines({window->text(QAccessible::Name)}), Lines({w.Window->windowTitle()}));
    for (QToolBar* bar : w.Window->findChildren<QToolBar*>())
      for (QToolButton* button : bar->findChildren<QToolButton*>())
        EXPECT_TRUE(button->focusPolicy() & Qt::TabFocus) << Lines({Describe(Accessible(button))});
    w.Window->hide();
  }
  app->PropertyForm->Patch = nullptr;
}

// Combo boxes read as their labels, not their values; Qt alone names them by their value.
TEST_F(Accessibility, ComboBoxesAreNamedByTheirLabels) {
  QWidget* repository = RepositoryWindow();
  ASSERT_TRUE(repository);
  TGOBPropForm properties;
  struct TCombo {
    QWidget* Combo;
    const char* Label;
  };
  for (TCombo c : {TCombo{Named<QWidget>(repository, "RepositoryName"), "Location"},
                   TCombo{properties.PatchType, "Patch Type"}}) {
    QAccessibleInterface* combo = Accessible(c.Combo);
    EXPECT_EQ(combo->text(QAccessible::Name).toStdString(), c.Label);
    EXPECT_EQ(combo->role(), QAccessible::ComboBox);
  }
  QAccessibleInterface* type = Accessible(properties.PatchType);
  EXPECT_EQ(type->text(QAccessible::Value).toStdString(), "Unknown");
  ASSERT_EQ(type->childCount(), 2); // the pop-up list and the edit field
  EXPECT_EQ(type->child(1)->role(), QAccessible::EditableText);
}

} // namespace
