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
#include <set>

using namespace dravik;
using namespace dravik::test;

namespace {

// What a user reaches and must hear named. Cells and items are named by their content (an
// empty cell is a blank value); panes, groups, labels and separators only hold or show others.
bool NeedsName(QAccessible::Role role) {
  using A = QAccessible;
  static const std::set<QAccessible::Role> kRoles = {
      A::Window,     A::Dialog,         A::AlertMessage, A::MenuBar,      A::PopupMenu,
      A::MenuItem,   A::ToolBar,        A::PushButton,   A::CheckBox,     A::RadioButton,
      A::ButtonMenu, A::ButtonDropDown, A::ComboBox,     A::EditableText, A::SpinBox,
      A::List,       A::Tree,           A::Table,        A::PageTab,      A::PageTabList,
      A::Graphic,    A::RowHeader,      A::ColumnHeader, A::Link,         A::ProgressBar};
  return kRoles.count(role) > 0;
}

QString Describe(QAccessibleInterface* object) {
  return QString("%1 '%2'").arg(QMetaEnum::fromType<QAccessible::Role>().valueToKey(object->role()),
                                object->text(QAccessible::Name));
}

// The paths (down from the window) of the objects, shown or hidden, that need a name and have
// none.
QStringList Unnamed(QAccessibleInterface* object, const QString& path = {}) {
  QStringList found;
  const QString here = path.isEmpty() ? Describe(object) : path + " > " + Describe(object);
  if (NeedsName(object->role()) && object->text(QAccessible::Name).trimmed().isEmpty())
    found << here;
  for (int i = 0; i < object->childCount(); ++i)
    if (QAccessibleInterface* child = object->child(i)) found << Unnamed(child, here);
  return found;
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

// Each window is a frame or dialog named by its title; every object in it that a user reaches
// has a name; Tab reaches every tool button.
TEST_F(Accessibility, EveryWindowAndWhatItHoldsIsNamed) {
  QMenu* file = Named<QMenu>(app->PatchForm.get(), "File1");
  EXPECT_EQ(Accessible(file)->text(QAccessible::Name).toStdString(), "File"); // not "&File"
  // Focus starts in the list, not on the tool buttons before it in the tab order.
  EXPECT_EQ(app->PatchForm->focusWidget()->objectName(), "PatchList");
  app->PropertyForm->Patch = app->PatchForm->CurrentApp()->Patches[0];
  app->DLStatus->SetCaption("Retrieving a.gob"); // each user sets it before showing the dialog
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
    EXPECT_EQ(Lines(Unnamed(window)), "");
    for (QToolBar* bar : w.Window->findChildren<QToolBar*>())
      for (QToolButton* button : bar->findChildren<QToolButton*>())
        EXPECT_TRUE(button->focusPolicy() & Qt::TabFocus) << Lines({Describe(Accessible(button))});
    w.Window->hide();
  }
  app->PropertyForm->Patch = nullptr;
}

// A message box of each kind names its buttons and the picture that shows its kind.
TEST_F(Accessibility, MessageBoxesAreNamed) {
  TQtDialogs qt;
  const std::function<void()> boxes[] = {
      [&] {
        qt.MessageDlg("Delete it?", mtConfirmation, {mbYes, mbNo, mbAll});
      },
      [&] {
        qt.MessageDlg("Careful.", mtWarning, {mbOK, mbCancel});
      },
      [&] {
        qt.MessageDlg("Broken.", mtError, {mbAbort, mbRetry, mbIgnore});
      },
      [&] { qt.MessageDlg("Done.", mtInformation, {mbOK}); },
      [&] { qt.ShowMessage("Plain."); },
      [&] { qt.ShowException("Cannot open file x"); },
  };
  for (const auto& show : boxes) {
    QStringList unnamed{"not shown"};
    WhenModal([&](QWidget* box) {
      unnamed = Unnamed(Accessible(box));
      static_cast<QMessageBox*>(box)->buttons().first()->click();
    });
    show();
    EXPECT_EQ(Lines(unnamed), "");
  }
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

// The grids hide their row headers, but a screen reader reads a cell's row header with it: it
// names the row's property, or the row's number while that is empty.
TEST_F(Accessibility, GridRowHeadersNameTheirRows) {
  TadStringGrid grid;
  grid.SetColumns({{"Property", 100}, {"Value", 100}});
  grid.SetRowCount(3);
  grid.SetCells(0, 1, "Author");
  grid.SetCells(1, 1, "Someone");
  grid.InsertRow(); // above the first row
  QAccessibleInterface* table = Accessible(grid.Table());
  QStringList rowHeaders;
  for (int i = 0; i < table->childCount(); ++i)
    if (table->child(i)->role() == QAccessible::RowHeader)
      rowHeaders << table->child(i)->text(QAccessible::Name);
  EXPECT_EQ(Lines(rowHeaders), "Row 1\nAuthor\nRow 3");
}

} // namespace
