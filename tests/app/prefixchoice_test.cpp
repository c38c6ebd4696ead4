// Which prefix Dravik works on: the environment, the prefix remembered in Dravik's own settings,
// ~/.wine, the prefixes found in the usual places; and File > Wine Prefix while it runs.
#include "app/application.h"
#include "app/nogameform.h"
#include "app/patchform.h"
#include "app/prefixchoice.h"
#include "platform/prefix.h"
#include "tests/fixtures/fakehome.h"
#include "tests/fixtures/scripteddialogs.h"
#include "tests/fixtures/testgame.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QTreeView>
#include <gtest/gtest.h>

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
  // The prefix a start chooses.
  std::string Chosen() {
    ChooseStartPrefix();
    return WinePrefix();
  }
};

TEST_F(PrefixChoice, EnvironmentThenRememberedThenTheWineFolderAskNothing) {
  const std::string wine = home.MakePrefix(".wine", {"Games/Halvex/halvex.exe"});
  const std::string lutris = home.MakePrefix("Games/halvex", {"halvex.exe"});
  const std::string other = home.MakePrefix("Games/morvane", {"morvane.exe"});
  // ~/.wine holding the game is used as ever, whatever else there is.
  EXPECT_EQ(Chosen(), wine);
  RememberPrefix(lutris);
  EXPECT_EQ(Chosen(), lutris);
  ::setenv("WINEPREFIX", other.c_str(), 1);
  EXPECT_EQ(Chosen(), other);
  EXPECT_EQ(KnownPrefix(), other);
  ::unsetenv("WINEPREFIX");
  EXPECT_EQ(KnownPrefix(), lutris);
  // A remembered prefix that has gone.
  RememberPrefix(home.At("gone"));
  EXPECT_EQ(Chosen(), wine);
  EXPECT_TRUE(dialogs.Asked().empty());
  EXPECT_EQ(PrefixSearchNote(), "");
}

TEST_F(PrefixChoice, OneFoundIsUsedRememberedAndSaid) {
  home.MakePrefix(".wine"); // without the game
  const std::string bottle = home.MakePrefix(".local/share/bottles/bottles/hx", {"x/HALVEX.exe"});
  dialogs.Answer(mrOk);
  EXPECT_EQ(Chosen(), bottle);
  EXPECT_EQ(RememberedPrefix(), bottle);
  ASSERT_EQ(dialogs.Messages().size(), 1u);
  EXPECT_EQ(dialogs.Messages()[0],
            "Dravik found Halvex in the Wine prefix ~/.local/share/bottles/bottles/hx and uses it "
            "from now on. \"Wine Prefix...\" in the File menu chooses another.");
  // The next start asks nothing.
  EXPECT_EQ(Chosen(), bottle);
  EXPECT_EQ(dialogs.Asked().size(), 1u);
}

TEST_F(PrefixChoice, OfSeveralTheUserPicksOrCancels) {
  home.MakePrefix("Games/a", {"halvex.exe"});
  const std::string b = home.MakePrefix("Games/b", {"morvane.exe", "halvex.exe"});
  dialogs.AnswerChoice(-1);
  EXPECT_EQ(Chosen(), home.At(".wine"));
  EXPECT_EQ(RememberedPrefix(), "");
  EXPECT_EQ(dialogs.Asked()[0].Items,
            (std::vector<std::string>{"~/Games/a (Halvex)", "~/Games/b (Halvex and Morvane)"}));
  dialogs.AnswerChoice(1);
  EXPECT_EQ(Chosen(), b);
  EXPECT_EQ(RememberedPrefix(), b);
}

TEST_F(PrefixChoice, NoneFoundTheGameNotFoundDialogSaysWhereItLooked) {
  home.MakePrefix("Games/empty");
  EXPECT_EQ(Chosen(), home.At(".wine"));
  const std::string note = PrefixSearchNote();
  for (const char* place : {"halvex.exe or morvane.exe", "~/.wine, ~/Games/*, ~/Games/*/*",
                            "~/.local/share/Steam/steamapps/compatdata/*/pfx",
                            "~/.var/app/com.usebottles.bottles/data/bottles/bottles/*"})
    EXPECT_NE(note.find(place), std::string::npos) << place << " in " << note;
  TNoGameForm form;
  ASSERT_TRUE(form.SearchLabel);
  EXPECT_EQ(form.SearchLabel->text().toStdString(), note);
  // Where the environment names the prefix, nothing is looked for.
  ::setenv("WINEPREFIX", home.At("Games/empty").c_str(), 1);
  ChooseStartPrefix();
  ::unsetenv("WINEPREFIX");
  EXPECT_EQ(PrefixSearchNote(), "");
  EXPECT_FALSE(TNoGameForm().SearchLabel);
}

// File > Wine Prefix: the window sets up again on the other prefix, which the next start uses.
TEST_F(PrefixChoice, WinePrefixMenuSwitchesTheWindowToAnotherPrefix) {
  TTestGame other;
  other.WritePatch(other.InactiveHost("other.gob"), {"other.3do"});
  TTestGame game; // the prefix the window starts on
  auto app = std::make_unique<TApplication>();
  app->CreateForms({});
  TPatchForm* form = app->PatchForm.get();
  form->show();
  auto* list = form->findChild<QTreeView*>("PatchList");
  auto* item = form->findChild<QAction*>("WinePrefix1");
  ASSERT_TRUE(list && item);
  EXPECT_EQ(list->model()->rowCount(), 0);

  // A folder that is no prefix, nor inside one, changes nothing.
  dialogs.AnswerFolder(home.Path());
  dialogs.Answer(mrOk);
  item->trigger();
  EXPECT_EQ(dialogs.Messages().back(), home.Path() + " is not a Wine prefix: a prefix holds a "
                                                     "drive_c folder and a system.reg file.");
  EXPECT_EQ(WinePrefix(), game.Prefix.Path());
  EXPECT_EQ(dialogs.Asked()[0].Items, std::vector<std::string>{game.Prefix.Path()});

  // A folder inside a prefix chooses that prefix.
  dialogs.AnswerFolder(other.Prefix.HostC("Games"));
  item->trigger();
  EXPECT_EQ(WinePrefix(), other.Prefix.Path());
  EXPECT_EQ(RememberedPrefix(), other.Prefix.Path());
  ASSERT_EQ(list->model()->rowCount(), 1);
  EXPECT_EQ(list->model()->index(0, 0).data().toString().toStdString(), "other");
  EXPECT_EQ(form->findChild<QMenu*>("Game1")->actions().size(), 2);
  app.reset(); // saves into the prefix chosen, while it is there
}

} // namespace
