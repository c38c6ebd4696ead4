// Patch sets in the main window: the Patch Sets sub-menu, the tool bar's combo box, the Manage
// Patch Sets dialog and the -set switch, through their named controls.
#include "app/application.h"
#include "app/managesetsform.h"
#include "app/patchform.h"
#include "patches/patchedapp.h"
#include "patches/patchsets.h"
#include "platform/shell.h"
#include "platform/sound.h"
#include "tests/fixtures/scripteddialogs.h"
#include "tests/fixtures/testgame.h"
#include "tests/qtmain/modal.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace dravik;
using namespace dravik::test;

namespace {

using Names = std::vector<std::string>;

class SetsWindow : public ::testing::Test {
protected:
  TTestGame game;
  TScriptedDialogs dialogs;
  std::vector<std::string> sounds;
  std::unique_ptr<TApplication> app;

  void SetUp() override {
    SetSoundHook([this](const std::string& name) { sounds.push_back(name); });
    SetDesktopOpen([](const std::string&) { return true; });
    game.WritePatch(game.ActiveHost("a.gob"), {"x.mat"});
    game.WritePatch(game.ActiveHost("b.gob"), {"b.mat"});
    game.WritePatch(game.InactiveHost("c.gob"), {"X.MAT"});
    game.WritePatch(game.InactiveHost("d.gob"), {"d.mat"});
  }
  void TearDown() override {
    app.reset();
    SetSoundHook(nullptr);
    SetDesktopOpen(nullptr);
    EXPECT_TRUE(dialogs.AllAnswered());
  }
  void Start(const std::vector<std::string>& args = {}) {
    app.reset(); // one application at a time
    app = std::make_unique<TApplication>();
    app->CreateForms(args);
  }
  template <typename T = QAction> T* Named(const char* name) {
    T* found = app->PatchForm->findChild<T*>(name);
    EXPECT_TRUE(found) << name;
    return found;
  }
  QComboBox* Combo() { return Named<QComboBox>("PatchSetCombo"); }
  std::string Shown() { return Combo()->currentText().toStdString(); }
  Names Entries() {
    Names r;
    for (int i = 0; i < Combo()->count(); ++i)
      r.push_back(Combo()->itemText(i).toStdString());
    return r;
  }
  void Pick(const std::string& name) {
    const int index = Combo()->findText(QString::fromStdString(name));
    ASSERT_GE(index, 0) << name;
    emit Combo()->activated(index);
  }
  void Save(const std::string& name) {
    dialogs.AnswerInput(name);
    Named("SaveSet1")->trigger();
  }
  Names Active() { return TTestGame::FolderFiles(game.ActiveHost()); }
};

TEST_F(SetsWindow, SavedSetsSwitchFromTheMenuAndTheComboWhichFollowsTheStore) {
  Start();
  EXPECT_EQ(Named<QMenu>("PatchSets1")->title(), "Patch &Sets");
  EXPECT_EQ(Combo()->accessibleName(), "Patch set");
  EXPECT_EQ(Entries(), (Names{"(none)", "(custom)"}));
  Save("Duel");
  EXPECT_EQ(Shown(), "Duel");
  EXPECT_TRUE(Named("PatchSet0")->isChecked());

  Pick("(none)");
  EXPECT_EQ(Active(), Names{});
  EXPECT_TRUE(Named("NoSet1")->isChecked());
  EXPECT_EQ(sounds, Names{"CLICK"});
  app->PatchForm->TogglePatch(3); // d
  app->PatchForm->RefreshView();
  EXPECT_EQ(Shown(), "(custom)");
  Save("Story");
  EXPECT_EQ(Entries(), (Names{"(none)", "Duel", "Story"}));
  // An existing name asks before it replaces.
  dialogs.Answer(mrNo);
  Save("duel");
  EXPECT_EQ(dialogs.Asked().back().Text, "A patch set named \"Duel\" already exists. Replace it?");
  EXPECT_EQ(TPatchSets("Halvex").Find("Duel")->Files, (Names{"a.gob", "b.gob"}));

  Named("PatchSet0")->trigger(); // Duel
  EXPECT_EQ(Active(), (Names{"a.gob", "b.gob"}));
  EXPECT_EQ(Shown(), "Duel");
  Pick("Story");
  EXPECT_EQ(Active(), Names{"d.gob"});
  EXPECT_TRUE(Named("PatchSet1")->isChecked());

  // A deleted patch stays in its set, which names it as missing when switched to.
  app->PatchForm->TogglePatch(0); // a on again
  dialogs.Answer(mrYes);
  app->PatchForm->CurrentApp()->DeletePatch(app->PatchForm->CurrentApp()->Patches[1]); // b
  app->PatchForm->RefreshView();
  dialogs.Answer(mrOk);
  Named("PatchSet0")->trigger();
  EXPECT_EQ(Active(), Names{"a.gob"});
  EXPECT_EQ(dialogs.Asked().back().Text,
            "These patches of the set \"Duel\" are no longer installed: b.gob.");
  EXPECT_EQ(Shown(), "Duel");
}

TEST_F(SetsWindow, ManageSetsRenamesDeletesAndMarksWhatIsNotInstalled) {
  TPatchSets sets("Halvex");
  sets.Save({"Duel", {"a.gob", "gone.gob"}});
  sets.Save({"Story", {"d.gob"}});
  Start();
  WhenModal([&](QWidget* w) {
    auto* form = dynamic_cast<TManageSetsForm*>(w);
    ASSERT_TRUE(form);
    EXPECT_EQ(form->SetList->accessibleName(), "Patch sets");
    EXPECT_EQ(form->SetList->count(), 2);
    ASSERT_EQ(form->MemberList->count(), 2);
    EXPECT_EQ(form->MemberList->item(1)->text(), "gone.gob (not installed)");
    dialogs.AnswerInput("Campaign");
    form->findChild<QPushButton*>("RenameButton")->click();
    EXPECT_EQ(form->SetList->currentItem()->text(), "Campaign");
    form->SetList->setCurrentRow(1); // Story
    dialogs.Answer(mrYes);
    form->findChild<QPushButton*>("DeleteButton")->click();
    EXPECT_EQ(form->SetList->count(), 1);
    form->findChild<QPushButton*>("CloseButton")->click();
  });
  Named("ManageSets1")->trigger();
  EXPECT_EQ(Entries(), (Names{"(none)", "Campaign", "(custom)"}));
}

TEST_F(SetsWindow, TheSetSwitchComesBeforeTheQuickStartAndAnUnknownNameStopsIt) {
  TPatchSets("Halvex").Save({"Story", {"c.gob", "d.gob"}});
  Start({"-Set", "nothing", "-quickstart"});
  EXPECT_EQ(dialogs.Messages(), Names{"Halvex has no patch set named \"nothing\"."});
  app->PatchForm->show();
  QApplication::processEvents(); // a quick start would be queued
  EXPECT_TRUE(sounds.empty());
  EXPECT_EQ(Active(), (Names{"a.gob", "b.gob"}));
  dialogs.ClearRecord();

  Start({"-quickstart", "-SET", "story"});
  QTimer::singleShot(20000, [] { QApplication::quit(); }); // a hang fails below, not forever
  EXPECT_EQ(app->Run(), 0);
  EXPECT_EQ(Active(), (Names{"c.gob", "d.gob"}));
  EXPECT_EQ(sounds, (Names{"CLICK", "LAUNCH"}));
}

} // namespace
