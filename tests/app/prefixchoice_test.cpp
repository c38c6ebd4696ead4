// Which prefix Dravik works on: the environment, the prefix remembered in Dravik's own settings,
// ~/.wine, the prefixes found in the usual places; and File > Wine Prefix while it runs.
#include "app/application.h"
#include "app/nogameform.h"
#include "app/patchform.h"
#include "app/prefixchoice.h"
#include "catalogue/viewsettings.h"
#include "platform/prefix.h"
#include "tests/fixtures/fakehome.h"
#include "tests/fixtures/fakewineserver.h"
#include "tests/fixtures/scripteddialogs.h"
#include "tests/fixtures/testgame.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QTreeView>
#include <gtest/gtest.h>
#include <memory>

using namespace dravik;
using namespace dravik::test;

namespace {

class PrefixChoice : public ::testing::Test {
protected:
  TFakeHome home;
  TTempDir config; // Dravik's own settings
  TScriptedDialogs dialogs;

  void SetUp() override {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(config.Path()));
  }
  void TearDown() override {
    SetWinePrefix("");
    EXPECT_TRUE(dialogs.AllAnswered());
  }
  std::string Chosen() {
    ChooseStartPrefix();
    return WinePrefix();
  }
};

TEST_F(PrefixChoice, EnvironmentThenRememberedThenTheWineFolderThenWhereItLooked) {
  // Nothing found: ~/.wine, and the Game Not Found dialog says where Dravik looked.
  home.MakePrefix("Games/empty");
  EXPECT_EQ(Chosen(), home.At(".wine"));
  const std::string note = PrefixSearchNote();
  for (const char* part : {"halvex.exe or morvane.exe", "~/.wine, ~/Games/*, ~/Games/*/*",
                           "~/.local/share/Steam/steamapps/compatdata/*/pfx"})
    EXPECT_NE(note.find(part), std::string::npos) << part << " in " << note;
  ASSERT_TRUE(TNoGameForm().SearchLabel);
  EXPECT_EQ(TNoGameForm().SearchLabel->text().toStdString(), note);

  const std::string wine = home.MakePrefix(".wine", {"Games/Halvex/halvex.exe"});
  const std::string lutris = home.MakePrefix("Games/halvex", {"halvex.exe"});
  EXPECT_EQ(Chosen(), wine); // whatever else there is
  EXPECT_FALSE(TNoGameForm().SearchLabel);
  RememberPrefix(lutris);
  EXPECT_EQ(Chosen(), lutris);
  ::setenv("WINEPREFIX", wine.c_str(), 1);
  EXPECT_EQ(Chosen(), wine);
  EXPECT_EQ(KnownPrefix(), wine);
  ::unsetenv("WINEPREFIX");
  EXPECT_EQ(KnownPrefix(), lutris);
  RememberPrefix(home.At("gone"));
  EXPECT_EQ(Chosen(), wine);
  EXPECT_TRUE(dialogs.Asked().empty());
}

TEST_F(PrefixChoice, OneFoundIsUsedAndSaidOfSeveralTheUserPicks) {
  home.MakePrefix(".wine"); // without the game
  const std::string a = home.MakePrefix("Games/a", {"x/HALVEX.exe"});
  dialogs.Answer(mrOk);
  EXPECT_EQ(Chosen(), a);
  EXPECT_EQ(RememberedPrefix(), a);
  EXPECT_EQ(dialogs.Messages(),
            std::vector<std::string>{"Dravik found Halvex in the Wine prefix ~/Games/a and uses it "
                                     "from now on. \"Wine Prefix...\" in the File menu chooses "
                                     "another."});
  EXPECT_EQ(Chosen(), a); // and asks nothing the next time

  const std::string b = home.MakePrefix("Games/b", {"morvane.exe", "halvex.exe"});
  RememberPrefix("");
  dialogs.AnswerChoice(-1);
  dialogs.AnswerChoice(1);
  EXPECT_EQ(Chosen(), home.At(".wine"));
  EXPECT_EQ(RememberedPrefix(), "");
  EXPECT_EQ(dialogs.Asked().back().Items,
            (std::vector<std::string>{"~/Games/a (Halvex)", "~/Games/b (Halvex and Morvane)"}));
  EXPECT_EQ(Chosen(), b);
  EXPECT_EQ(RememberedPrefix(), b);
}

// The window sets up again on the other prefix, which the next start uses. A change that waits
// for the Wine of the prefix left behind is settled there first, never carried into the next.
TEST_F(PrefixChoice, WinePrefixMenuSwitchesTheWindowToAnotherPrefix) {
  TTestGame other;
  other.WritePatch(other.InactiveHost("other.gob"), {"other.3do"});
  TViewSettings view;
  view.AddFolder = "C:\\Games\\Halvex\\";
  WriteViewSettings(view);
  TTestGame game; // the prefix the window starts on
  view.AddFolder = "C:\\Games\\Morvane\\";
  WriteViewSettings(view);
  auto app = std::make_unique<TApplication>();
  app->CreateForms({});
  TPatchForm* form = app->PatchForm.get();
  form->show();
  auto* list = form->findChild<QTreeView*>("PatchList");
  EXPECT_EQ(list->model()->rowCount(), 0);

  dialogs.AnswerFolder(home.Path()); // no prefix, nor in one: nothing changes
  dialogs.Answer(mrOk);
  dialogs.AnswerFolder(other.Prefix.HostC("Games")); // in one: that prefix
  form->findChild<QAction*>("WinePrefix1")->trigger();
  EXPECT_EQ(dialogs.Messages().back(), home.Path() + " is not a Wine prefix: a prefix holds a "
                                                     "drive_c folder and a system.reg file.");
  EXPECT_EQ(dialogs.Asked()[0].Items, std::vector<std::string>{game.Prefix.Path()});
  EXPECT_EQ(WinePrefix(), game.Prefix.Path());
  auto wine = std::make_unique<TFakeWineServer>(game.Prefix.Path());
  const std::string userReg = game.Prefix.Path() + "/user.reg";
  const std::string before = ReadHostFile(userReg);
  form->findChild<QAction*>("ShowFramerateduringgameplay1")->trigger();
  dialogs.Answer(mrYes); // wait for Wine to end
  dialogs.AnswerWait([&] { wine.reset(); });
  dialogs.ClearRecord();
  form->findChild<QAction*>("WinePrefix1")->trigger();
  ASSERT_EQ(dialogs.Asked().size(), 3u);
  EXPECT_NE(dialogs.Asked()[1].Text.find("Dravik's settings"), std::string::npos);
  EXPECT_EQ(dialogs.Asked()[2].Kind, "wait");
  EXPECT_NE(ReadHostFile(userReg), before); // saved where it was made
  EXPECT_EQ(WinePrefix(), other.Prefix.Path());
  EXPECT_EQ(RememberedPrefix(), other.Prefix.Path());
  ASSERT_EQ(list->model()->rowCount(), 1);
  EXPECT_EQ(list->model()->index(0, 0).data().toString().toStdString(), "other");
  // The option set in the old prefix stays there: the new one has none saved.
  EXPECT_FALSE(form->findChild<QAction*>("ShowFramerateduringgameplay1")->isChecked());
  dialogs.AnswerFiles({});
  form->findChild<QAction*>("AddPatch1")->trigger();
  EXPECT_EQ(dialogs.Asked().back().Dialog.InitialDir, "C:\\Games\\Halvex\\"); // the prefix's own
  EXPECT_EQ(form->findChild<QMenu*>("Game1")->actions().size(), 4); // and "&Locate Game..."
  app.reset(); // saves into the prefix chosen, while it is there
}

} // namespace
