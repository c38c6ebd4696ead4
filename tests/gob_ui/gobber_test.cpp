#include "gob/gobber.h"
#include "gob/gobprop.h"
#include "patches/patch.h"
#include "platform/stringgrid.h"
#include "platform/sysutils.h"
#include "tests/fixtures/gobmaker.h"
#include "tests/fixtures/scripteddialogs.h"
#include "tests/fixtures/tempprefix.h"
#include "tests/qtmain/dragdriver.h"
#include "tests/qtmain/menukeys.h"
#include "tests/qtmain/modal.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace dravik;
using namespace dravik::test;

namespace {

class Gobber : public ::testing::Test {
protected:
  TTempPrefix prefix;
  TScriptedDialogs dialogs;
  TGobberForm form;

  void SetUp() override {
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  }

  std::string File(const std::string& rel, const std::string& bytes) {
    WriteHostFile(prefix.HostC(rel), bytes);
    std::string win = "C:\\" + rel;
    std::replace(win.begin(), win.end(), '/', '\\');
    return win;
  }
  // An archive C:\x\mypatch.gob, loaded through the Open command.
  void OpenSample() {
    WriteHostFile(prefix.HostC("x/mypatch.gob"),
                  MakeGOBBytes({{"zz.wav", std::string(12345, 'w')},
                                {"cog\\a.cog", "aa"},
                                {"Boom.WAV", "b"},
                                {"patchinfo.txt", "Name=Big Guns\r\nType=Weapon\r\n"},
                                {"3do\\mat\\wall.mat", "mat"},
                                {"misc\\x.dat", "d"}}));
    dialogs.AnswerFiles({"C:\\x\\mypatch.gob"});
    form.OpenGOB1Click();
  }
  // The window's controls, found by name.
  template <typename T = QAction> T* Named(const char* name) {
    T* found = form.findChild<T*>(name);
    EXPECT_TRUE(found) << name;
    return found;
  }
  QTreeWidget* Tree() { return Named<QTreeWidget>("DirTree"); }
  QTreeView* List() { return Named<QTreeView>("DirList"); }
  const TGOBDocument& Doc() { return form.Document(); }
  TFileDialog& FileDialog(const char* name) { return *form.FindFileDialog(name); }
  // The tree's item of a directory path ("3do\\mat"); null when there is none.
  QTreeWidgetItem* Item(const std::string& path) {
    QTreeWidgetItem* item = Tree()->topLevelItem(0);
    for (const std::string& part : SplitPath(path)) {
      QTreeWidgetItem* next = nullptr;
      for (int i = 0; item && i < item->childCount() && !next; ++i)
        if (item->child(i)->text(0).toStdString() == part) next = item->child(i);
      item = next;
    }
    return item;
  }
  // The document's directory of a path below the root; null when there is none.
  const TGOBDirectory* Dir(const std::string& path) {
    const TGOBDirectory* dir = Doc().Root();
    for (const std::string& part : SplitPath(path)) {
      const TGOBDirectory* next = nullptr;
      for (const auto& child : dir->Children)
        if (child->Caption == part) next = child.get();
      if (!(dir = next)) return nullptr;
    }
    return dir;
  }
  static std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    for (size_t at = 0; at < path.size();) {
      size_t end = path.find('\\', at);
      if (end == std::string::npos) end = path.size();
      parts.push_back(path.substr(at, end - at));
      at = end + 1;
    }
    return parts;
  }
  // Adds files through the Add Files command, leaving no record of its dialog.
  void AddFiles(const std::vector<std::string>& files) {
    dialogs.AnswerFiles(files);
    form.AddFiles1Click();
    dialogs.ClearRecord();
  }
  std::vector<std::string> ListRows() {
    std::vector<std::string> rows;
    QAbstractItemModel* m = List()->model();
    for (int r = 0; r < m->rowCount(); ++r)
      rows.push_back(m->index(r, 0).data().toString().toStdString() + " " +
                     m->index(r, 1).data().toString().toStdString());
    return rows;
  }
  void SelectRows(std::initializer_list<int> rows) {
    List()->clearSelection();
    for (int r : rows)
      List()->selectionModel()->select(List()->model()->index(r, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  std::vector<std::string> Stored(const std::string& win) {
    std::vector<std::string> r;
    for (const auto& m : ReadGOB(win))
      r.push_back(m.FullName);
    return r;
  }
};

TEST_F(Gobber, WindowControlsMenusAndDialogs) {
  EXPECT_EQ(form.windowTitle(), "Dazer Erezez");
  EXPECT_EQ(form.size(), QSize(466, 383));
  QStringList menu;
  for (QAction* a : Named<QMenu>("File1")->actions())
    menu << (a->isSeparator() ? "-" : a->text() + " " + a->shortcut().toString());
  EXPECT_EQ(menu, (QStringList{"&New Ctrl+N", "&Open... Ctrl+O", "&Save Ctrl+S", "Sa&ve As... ",
                               "-", "&Add Files... Ctrl+A", "&Delete Selected Files Del", "-",
                               "&Properties... Alt+Return", "E&xit Ctrl+F4"}));
  QList<QAction*> menus = Named<QMenuBar>("FileBar")->actions();
  ASSERT_EQ(menus.size(), 1);
  EXPECT_EQ(menus[0]->menu(), Named<QMenu>("File1"));
  EXPECT_EQ(menus[0]->text(), "&File");
  QStringList hints;
  auto* bar = form.findChild<QToolBar*>("ToolBar");
  for (QAction* a : bar->actions())
    hints << (a->isSeparator() ? "-" : bar->widgetForAction(a)->accessibleName());
  EXPECT_EQ(hints, (QStringList{"New", "Open", "Save", "-", "Add Files", "Delete Selected Files",
                                "-", "Properties"}));
  QStringList dirMenu;
  for (QAction* a : Named<QMenu>("PopupMenu2")->actions())
    dirMenu << a->text() + " " + a->shortcut().toString();
  EXPECT_EQ(dirMenu, (QStringList{"&New Directory Ctrl+N", "&Delete Directory Del",
                                  "&Rename Directory F2"}));
  EXPECT_FALSE(Tree()->accessibleName().isEmpty());
  EXPECT_FALSE(List()->accessibleName().isEmpty());
  auto* model = List()->model();
  EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "Name");
  EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "Size");
  EXPECT_EQ(List()->columnWidth(0), 152);
  EXPECT_EQ(List()->columnWidth(1), 60);

  EXPECT_EQ(FileDialog("OpenFileDialog").Title, "Add Files to Patch");
  EXPECT_EQ(FileDialog("OpenGOBDialog").Title, "Add Files to Patch");
  EXPECT_EQ(FileDialog("SaveGOBDialog").Title, "");
  EXPECT_EQ(FileDialog("OpenGOBDialog").Filter, "Patch Files (*.gob; *.goo)|*.gob;*.goo");
  EXPECT_EQ(FileDialog("SaveGOBDialog").Filter, "Halvex Patches (*.gob)|*.gob");
  EXPECT_EQ(FileDialog("SaveGOBDialog").DefaultExt, "gob");
  EXPECT_TRUE(FileDialog("SaveGOBDialog").OverwritePrompt);
  EXPECT_TRUE(FileDialog("OpenFileDialog").MultiSelect);
  const std::string& f = FileDialog("OpenFileDialog").Filter;
  EXPECT_EQ(std::count(f.begin(), f.end(), '|'), 29); // 15 descriptions with their patterns
  EXPECT_EQ(f.substr(0, f.find("|*.*")),
            "All Patch-Related Files|*.cog;*.3do;*.mat;*.uni;*.key;"
            "*.pup;*.cmp;*.bm;*.spr;*.par;*.sft;*.wav;*.snd|All Files");
  EXPECT_EQ(f.substr(f.rfind("Sounds")), "Sounds (*.wav; *.snd)|*.wav;*.snd|Sprites (*.spr)|*.spr");
  EXPECT_NE(form.FindFileDialog("OpenGOBDialog"), form.FindFileDialog("SaveGOBDialog"));
  EXPECT_EQ(form.FindFileDialog("Other"), nullptr);
}

TEST_F(Gobber, EveryMenuHasItsOwnAccessKeys) {
  EXPECT_EQ(AccessKeyClashes(&form).join("; ").toStdString(), "");
}

TEST_F(Gobber, OpenShowsTheArchiveSortedWithPlainSizes) {
  OpenSample();
  EXPECT_EQ(form.windowTitle(), "Dazer Erezez - mypatch.gob");
  EXPECT_EQ(dialogs.Asked()[0].Kind, "open");
  EXPECT_EQ(dialogs.Asked()[0].Text, "Add Files to Patch");
  QTreeWidgetItem* root = Tree()->topLevelItem(0);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->text(0), "\\");
  ASSERT_EQ(root->childCount(), 3);
  EXPECT_EQ(root->child(0)->text(0), "cog");
  EXPECT_EQ(root->child(1)->text(0), "3do");
  EXPECT_EQ(root->child(1)->child(0)->text(0), "mat");
  EXPECT_TRUE(root->child(1)->isExpanded());
  EXPECT_EQ(Tree()->currentItem(), root);
  EXPECT_EQ(ListRows(), (std::vector<std::string>{"Boom.WAV 1", "zz.wav 12345"}));
  EXPECT_EQ(Doc().PatchInfo.Lines(), (std::vector<std::string>{"Name=Big Guns", "Type=Weapon"}));
  EXPECT_FALSE(Doc().Modified);

  Tree()->setCurrentItem(Item("3do\\mat"));
  EXPECT_EQ(ListRows(), std::vector<std::string>{"wall.mat 3"});
  Tree()->setCurrentItem(root);
  Tree()->expandAll();
  QApplication::processEvents();
  form.grab().save("/tmp/gobber-editor.png");
}

TEST_F(Gobber, CancelledOpenChangesNothing) {
  AddFiles({File("a.cog", "x")});
  dialogs.AnswerFiles({});
  form.OpenGOB1Click();
  EXPECT_EQ(Doc().MemberCount(), 1);
  EXPECT_TRUE(Doc().Modified);
  EXPECT_EQ(dialogs.Asked().size(), 1u); // the dialog only, no save question
}

TEST_F(Gobber, ToolbarSaveAsksForANameAndClosesWithOk) {
  OpenSample();
  FileDialog("SaveGOBDialog").InitialDir = "C:\\Games\\HXPatch\\";
  dialogs.AnswerFiles({"C:\\x\\copy.gob"});
  Named<QAction>("SaveButton")->trigger();
  const TFileDialog& shown = dialogs.Asked().back().Dialog;
  EXPECT_EQ(dialogs.Asked().back().Kind, "save");
  EXPECT_EQ(shown.InitialDir, "C:\\x\\");
  EXPECT_EQ(shown.FileName, "mypatch.gob");
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_EQ(Doc().FileName, "C:\\x\\copy.gob");
  EXPECT_EQ(form.windowTitle(), "Dazer Erezez - copy.gob");
  // The dialog's folder is the opener's again, without a preset name.
  EXPECT_EQ(FileDialog("SaveGOBDialog").InitialDir, "C:\\Games\\HXPatch\\");
  EXPECT_EQ(FileDialog("SaveGOBDialog").FileName, "");
  EXPECT_EQ(ReadHostFile(prefix.HostC("x/copy.gob")).size(),
            ReadHostFile(prefix.HostC("x/mypatch.gob")).size());
}

TEST_F(Gobber, MenuSaveWritesWithoutAskingAndStaysOpen) {
  OpenSample();
  AddFiles({File("n/new.cog", "n")});
  Named<QAction>("Save1")->trigger();
  EXPECT_TRUE(dialogs.Asked().empty());
  EXPECT_TRUE(form.isVisible());
  EXPECT_FALSE(Doc().Modified);
  EXPECT_EQ(Stored("C:\\x\\mypatch.gob"),
            (std::vector<std::string>{"Boom.WAV", "zz.wav", "patchinfo.txt", "cog\\a.cog",
                                      "cog\\new.cog", "3do\\mat\\wall.mat", "misc\\x.dat"}));
}

TEST_F(Gobber, CancelledSaveAsKeepsTheOpenersFolder) {
  FileDialog("SaveGOBDialog").InitialDir = "C:\\Games\\HXPatch\\";
  dialogs.AnswerFiles({});
  form.SaveGOBClick();
  EXPECT_EQ(dialogs.Asked().back().Dialog.InitialDir, "C:\\Games\\HXPatch\\");
  EXPECT_EQ(FileDialog("SaveGOBDialog").InitialDir, "C:\\Games\\HXPatch\\");
  EXPECT_TRUE(form.isVisible());
}

TEST_F(Gobber, RootDisablesDeleteAndRenameDirectory) {
  OpenSample();
  EXPECT_FALSE(Named<QAction>("DeleteDirectory1")->isEnabled());
  EXPECT_FALSE(Named<QAction>("RenameDirectory1")->isEnabled());
  Tree()->setCurrentItem(Item("cog"));
  EXPECT_TRUE(Named<QAction>("DeleteDirectory1")->isEnabled());
  EXPECT_TRUE(Named<QAction>("RenameDirectory1")->isEnabled());
}

TEST_F(Gobber, AddFilesShowsTheSelectedDirectorysMembersAtOnce) {
  dialogs.AnswerFiles({File("m/b.wav", "bb"), File("m/a.wav", "a"), File("m/w.mat", "w")});
  form.AddFiles1Click();
  EXPECT_EQ(dialogs.Asked()[0].Text, "Add Files to Patch");
  EXPECT_EQ(ListRows(), (std::vector<std::string>{"a.wav 1", "b.wav 2"}));
  EXPECT_NE(Item("3do\\mat"), nullptr);
  EXPECT_TRUE(Doc().Modified);
}

TEST_F(Gobber, ShellDropOnADirectoryAddsFilesByTableAndTheFolderBelowIt) {
  OpenSample();
  File("drop/one.cog", "1");
  File("drop/two.wav", "2");
  File("drop/three.mat", "3");
  File("drop/pack/inner.cog", "i");
  QTreeWidgetItem* misc = Item("misc");
  QWidget* viewport = Tree()->viewport();
  QPoint at = Tree()->visualItemRect(misc).center();
  QMimeData mime;
  std::string uris;
  for (const char* f : {"one.cog", "two.wav", "three.mat", "pack"})
    uris += "file://" + prefix.HostC(std::string("drop/") + f) + "\r\n";
  mime.setData("text/uri-list", QByteArray::fromStdString(uris));
  TDrag drag(viewport, &mime, Qt::CopyAction | Qt::MoveAction);
  const auto [accepted, action] = drag.Enter(at);
  EXPECT_TRUE(accepted);
  EXPECT_EQ(action, Qt::CopyAction);
  drag.Move(at);
  EXPECT_EQ(form.DropNode(), misc);
  drag.Drop(at);
  EXPECT_EQ(form.DropNode(), nullptr);
  QApplication::processEvents();
  EXPECT_EQ(Tree()->currentItem(), misc);
  EXPECT_EQ(Doc().Selected, Dir("misc"));
  EXPECT_NE(Item("misc\\pack"), nullptr);
  EXPECT_EQ(Dir("misc\\pack")->Members[0]->Name, "inner.cog");
  EXPECT_EQ(Dir("cog")->Members.back()->Name, "one.cog");
  EXPECT_EQ(Dir("3do\\mat")->Members.back()->Name, "three.mat");
  EXPECT_EQ(Doc().Root()->Members.back()->Name, "two.wav");
  EXPECT_EQ(ListRows(), std::vector<std::string>{"x.dat 1"});
  EXPECT_TRUE(Doc().Modified);
}

TEST_F(Gobber, ShellDragLeavingTheTreeClearsTheOutline) {
  OpenSample();
  QMimeData mime;
  mime.setData("text/uri-list", "file:///tmp/x.cog\r\n");
  QPoint at = Tree()->visualItemRect(Item("cog")).center();
  TDrag drag(Tree()->viewport(), &mime, Qt::CopyAction);
  drag.Enter(at);
  drag.Move(at);
  EXPECT_EQ(form.DropNode(), Item("cog"));
  form.grab(); // paints the outline
  drag.Leave();
  EXPECT_EQ(form.DropNode(), nullptr);
  EXPECT_EQ(Doc().MemberCount(), 5);
}

TEST_F(Gobber, TreeShortcutsTakePrecedenceWhileItHasTheFocus) {
  OpenSample();
  AddFiles({File("t/t.cog", "t")}); // changed: New on the document would ask
  Tree()->setFocus();
  Tree()->setCurrentItem(Item("cog"));
  QTest::keyClick(Tree(), Qt::Key_N, Qt::ControlModifier);
  QTreeWidgetItem* fresh = Item("cog\\New Directory");
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(Tree()->currentItem(), fresh);
  EXPECT_TRUE(dialogs.Asked().empty()); // no save question
  // The new directory's caption is being edited.
  auto* editor = Tree()->viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->setText("sub");
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents(); // the commit is queued
  EXPECT_EQ(fresh->text(0), "sub");
  EXPECT_EQ(Dir("cog")->Children[0]->Caption, "sub");
  // Del deletes the selected directory, not members; on the root it does nothing.
  Tree()->setFocus();
  QTest::keyClick(Tree(), Qt::Key_Delete);
  EXPECT_TRUE(Dir("cog")->Children.empty());
  Tree()->setCurrentItem(Tree()->topLevelItem(0));
  const int members = Doc().MemberCount();
  QTest::keyClick(Tree(), Qt::Key_Delete);
  EXPECT_EQ(Doc().MemberCount(), members);
  EXPECT_EQ(Tree()->topLevelItem(0)->childCount(), 3);
  // In the list, Del is the File menu's: the selected members go.
  List()->setFocus();
  SelectRows({0});
  QTest::keyClick(List(), Qt::Key_Delete);
  EXPECT_EQ(ListRows(), std::vector<std::string>{"zz.wav 12345"});
  // ... and Ctrl+N is New, with its save question.
  dialogs.Answer(mrCancel);
  QTest::keyClick(List(), Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(dialogs.Asked().back().Text, "mypatch.gob has changed! Save?");
  EXPECT_EQ(Doc().MemberCount(), members - 1);
  EXPECT_TRUE(dialogs.AllAnswered());
}

// Focus starts in the tree; Alt+F opens the File menu of the menu bar, and Tab reaches the tool
// buttons.
TEST_F(Gobber, KeyboardReachesTheMenuAndTheTools) {
  EXPECT_EQ(QApplication::focusWidget(), Tree());
  QTest::keyClick(&form, Qt::Key_F, Qt::AltModifier);
  EXPECT_TRUE(Named<QMenu>("File1")->isVisible());
  Named<QMenu>("File1")->close();
  List()->setFocus();
  QTest::keyClick(List(), Qt::Key_Tab);
  ASSERT_TRUE(qobject_cast<QToolButton*>(QApplication::focusWidget()));
  EXPECT_EQ(QApplication::focusWidget()->accessibleName(), "New");
}

TEST_F(Gobber, RenamingDirectoriesAndMembersInPlace) {
  OpenSample();
  // A sibling's name is refused with the warning, keeping the old caption.
  QTreeWidgetItem* cog = Item("cog");
  Tree()->setCurrentItem(cog);
  dialogs.Answer(mrOk);
  Tree()->editItem(cog, 0);
  auto* editor = Tree()->viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->setText("misc");
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents(); // the commit is queued
  EXPECT_EQ(dialogs.Messages().back(), "A directory by that name already exists.");
  EXPECT_EQ(cog->text(0), "cog");
  EXPECT_TRUE(Doc().Modified);
  // A member's new name is taken as typed.
  List()->setFocus();
  QModelIndex first = List()->model()->index(0, 0);
  List()->setCurrentIndex(first);
  List()->edit(first);
  auto* listEditor = List()->viewport()->findChild<QLineEdit*>();
  ASSERT_NE(listEditor, nullptr);
  listEditor->setText("b.cog");
  QTest::keyClick(listEditor, Qt::Key_Return);
  QApplication::processEvents();
  EXPECT_EQ(Dir("cog")->Members[0]->Name, "b.cog");
}

TEST_F(Gobber, DraggedMembersMoveToTheDirectoryInReverseOrder) {
  OpenSample();
  AddFiles({File("r/c.wav", "c")}); // the root stays selected; its list is sorted again
  ASSERT_EQ(ListRows(), (std::vector<std::string>{"Boom.WAV 1", "c.wav 1", "zz.wav 12345"}));
  form.Save1Click();
  ASSERT_FALSE(Doc().Modified);
  SelectRows({0, 2});
  EXPECT_FALSE(form.DirTreeDragOver(nullptr));
  EXPECT_TRUE(form.DirTreeDragOver(Item("misc")));
  form.DirTreeDragDrop(Tree()->topLevelItem(0)); // onto itself: nothing
  EXPECT_FALSE(Doc().Modified);
  form.DirTreeDragDrop(Item("misc"));
  EXPECT_EQ(ListRows(), std::vector<std::string>{"c.wav 1"});
  const TGOBDirectory* misc = Dir("misc");
  ASSERT_NE(misc, nullptr);
  std::vector<std::string> names;
  for (auto& m : misc->Members)
    names.push_back(m->Name);
  EXPECT_EQ(names, (std::vector<std::string>{"x.dat", "zz.wav", "Boom.WAV"}));
  EXPECT_TRUE(Doc().Modified);
}

TEST_F(Gobber, PropertiesDialogReplacesTheDescriptorOnOkOnly) {
  OpenSample();
  WhenModal([](QWidget* w) {
    auto* dlg = qobject_cast<TGOBPropForm*>(w);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->PatchName->text(), "Big Guns");
    dlg->PatchName->setText("Bigger Guns");
    dlg->CancelButton->click();
  });
  form.Properties1Click();
  EXPECT_FALSE(Doc().Modified);
  EXPECT_EQ(Doc().PatchInfo.Lines(), (std::vector<std::string>{"Name=Big Guns", "Type=Weapon"}));
  WhenModal([](QWidget* w) {
    auto* dlg = qobject_cast<TGOBPropForm*>(w);
    ASSERT_NE(dlg, nullptr);
    dlg->PatchName->setText("Bigger Guns");
    dlg->PropertyGrid->SetRowCount(2);
    dlg->PropertyGrid->SetCells(0, 1, "Author");
    dlg->PropertyGrid->SetCells(1, 1, "Someone");
    dlg->OKButton->click();
  });
  form.Properties1Click();
  EXPECT_TRUE(Doc().Modified);
  EXPECT_EQ(Doc().PatchInfo.Lines(),
            (std::vector<std::string>{"Name=Bigger Guns", "Type=Weapon", "Author=Someone"}));
}

TEST_F(Gobber, ClosingAsksAndACancelledSaveAsKeepsTheWindow) {
  AddFiles({File("a.cog", "x")});
  dialogs.Answer(mrCancel);
  form.close();
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(dialogs.Asked().back().Text, "File has changed! Save?");
  // Yes, then Save As cancelled: the window stays and keeps the changes.
  dialogs.Answer(mrYes);
  dialogs.AnswerFiles({});
  form.Exit1Click();
  EXPECT_TRUE(form.isVisible());
  EXPECT_TRUE(Doc().Modified);
  EXPECT_EQ(Doc().MemberCount(), 1);
  // Escape does not close the editor.
  QTest::keyClick(&form, Qt::Key_Escape);
  EXPECT_TRUE(form.isVisible());
  // No: closes with Cancel.
  dialogs.Answer(mrNo);
  form.close();
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.result(), QDialog::Rejected);
  EXPECT_TRUE(dialogs.AllAnswered());
}

TEST_F(Gobber, NewAnsweredYesSavesAsAndEndsTheShowingWithOk) {
  AddFiles({File("a.cog", "x")});
  dialogs.Answer(mrYes);
  dialogs.AnswerFiles({"C:\\saved.gob"});
  form.NewGOB1Click();
  EXPECT_EQ(Stored("C:\\saved.gob"), std::vector<std::string>{"cog\\a.cog"});
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.result(), QDialog::Accepted);
  // The next showing starts empty and untitled.
  form.show();
  EXPECT_EQ(Doc().MemberCount(), 0);
  EXPECT_EQ(form.windowTitle(), "Dazer Erezez");
}

TEST_F(Gobber, ErrorsOfCommandsAreShownAndTheWindowStays) {
  dialogs.AnswerFiles({"C:\\missing.gob"});
  form.OpenGOB1Click();
  EXPECT_EQ(dialogs.Messages().back(), "Cannot open file C:\\missing.gob");
  EXPECT_EQ(dialogs.Asked().back().Kind, "error");
  EXPECT_EQ(form.windowTitle(), "Dazer Erezez - missing.gob");
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(Tree()->topLevelItemCount(), 1);
}

TEST_F(Gobber, SavedArchiveReadsBackAsThePatchTheEditorShowed) {
  dialogs.AnswerFiles({File("m/wall.mat", "w"), File("m/boom.wav", "b"), File("m/x.cog", "c")});
  form.AddFiles1Click();
  WhenModal([](QWidget* w) {
    auto* dlg = qobject_cast<TGOBPropForm*>(w);
    dlg->PatchName->setText("Big Guns");
    dlg->PatchType->setCurrentText("Weapon");
    dlg->PropertyGrid->SetCells(1, 1, "Someone");
    dlg->OKButton->click();
  });
  form.Properties1Click();
  dialogs.AnswerFiles({"C:\\biggun.gob"});
  form.SaveGOBClick();
  ASSERT_EQ(form.result(), QDialog::Accepted);
  TPatch patch;
  patch.LoadFromFile("C:\\biggun.gob");
  EXPECT_EQ(patch.Name, "Big Guns");
  EXPECT_EQ(patch.Files.Lines(),
            (std::vector<std::string>{"boom.wav", "3do\\mat\\wall.mat", "cog\\x.cog"}));
  EXPECT_EQ(patch.Info.Lines(), (std::vector<std::string>{"Author=Someone", "File Name=biggun.gob",
                                                          "Name=Big Guns", "Type=Weapon"}));
  // Saving the reloaded archive again gives the same file.
  form.show();
  dialogs.AnswerFiles({"C:\\biggun.gob"});
  form.OpenGOB1Click();
  form.Save1Click();
  std::string first = ReadHostFile(prefix.HostC("biggun.gob"));
  form.Save1Click();
  EXPECT_EQ(ReadHostFile(prefix.HostC("biggun.gob")), first);
}

TEST(GobberEntry, OpenerSetsBothDialogsAndGetsTheResult) {
  TTempPrefix prefix;
  TScriptedDialogs dialogs;
  QWidget owner;
  QTimer::singleShot(0, [] { GobberForm()->Exit1Click(); });
  EXPECT_FALSE(ExecuteGobber(&owner, "Halvex Patches (*.gob)|*.gob|ZIP Files (*.zip)|*.zip",
                             "C:\\Games\\Halvex\\HXPatch\\")
                   .Ok);
  TGobberForm* form = GobberForm();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->FindFileDialog("OpenGOBDialog")->Filter,
            "Halvex Patches (*.gob)|*.gob|ZIP Files (*.zip)|*.zip");
  EXPECT_EQ(form->FindFileDialog("SaveGOBDialog")->InitialDir, "C:\\Games\\Halvex\\HXPatch\\");
  EXPECT_EQ(form->FindFileDialog("OpenFileDialog")->Title, "Add Files to Patch");
  // Reused; a Save As ends the showing with OK.
  QTimer::singleShot(0, [&] {
    dialogs.AnswerFiles({"C:\\nothing.cog"});
    GobberForm()->AddFiles1Click();
    dialogs.AnswerFiles({"C:\\made.gob"});
    GobberForm()->SaveGOBClick();
  });
  const TGobberResult saved = ExecuteGobber(&owner, "x|*.gob", "C:\\");
  EXPECT_TRUE(saved.Ok);
  EXPECT_EQ(saved.Written, std::vector<std::string>{"C:\\made.gob"});
  EXPECT_EQ(GobberForm(), form);
  EXPECT_EQ(dialogs.Asked().back().Dialog.InitialDir, "C:\\");
}

} // namespace
