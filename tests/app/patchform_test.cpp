// The main window and its dialogs on prefixes made by the tests: start-up and the choice of game,
// the patch list and its commands, launching, the options, and the information dialogs.
#include "app/aboutbox.h"
#include "app/application.h"
#include "app/debugform.h"
#include "app/nogameform.h"
#include "app/patchform.h"
#include "app/patchlistview.h"
#include "app/propertyform.h"
#include "gob/gobber.h"
#include "gob/gobprop.h"
#include "net/retriever.h"
#include "patches/installer.h"
#include "patches/patchedapp.h"
#include "platform/colours.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/sound.h"
#include "platform/stringgrid.h"
#include "platform/winfs.h"
#include "tests/fixtures/fakewineserver.h"
#include "tests/fixtures/nginxserver.h"
#include "tests/fixtures/scripteddialogs.h"
#include "tests/fixtures/testgame.h"
#include "tests/fixtures/wine.h"
#include "tests/fixtures/zipmaker.h"
#include "tests/qtmain/dragdriver.h"
#include "tests/qtmain/menukeys.h"
#include "tests/qtmain/modal.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

using namespace dravik;
using namespace dravik::test;
namespace fs = std::filesystem;

namespace {

const char* const kSettingsKey = "\\SOFTWARE\\Orlemont\\HXPatch";
const char* const kHalvexRegistration = "\\SOFTWARE\\Microsoft\\DirectPlay\\Applications\\Halvex";

// Waits until the host file exists (a started program writes it), at most a few seconds.
bool WaitForFile(const std::string& path) {
  for (int i = 0; i < 500 && !HostExists(path); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return HostExists(path);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

class Window : public ::testing::Test {
protected:
  TTestGame game;
  TScriptedDialogs dialogs;
  std::vector<std::string> sounds;
  std::vector<std::string> opened;
  std::unique_ptr<TApplication> app;
  fs::path oldFolder = fs::current_path();
  TTempDir dataFolder;

  void SetUp() override {
    SetSoundHook([this](const std::string& name) { sounds.push_back(name); });
    SetDesktopOpen([this](const std::string& url) {
      opened.push_back(url);
      return true;
    });
    // The program's working folder is its data folder.
    WriteHostFile(dataFolder.Path() + "/docs.html", "<p>docs</p>");
    WriteHostFile(dataFolder.Path() + "/faq.html", "<p>faq</p>");
    fs::current_path(dataFolder.Path());
  }
  void TearDown() override {
    app.reset();
    SetSoundHook(nullptr);
    SetDesktopOpen(nullptr);
    fs::current_path(oldFolder);
    for (const auto& asked : dialogs.Asked())
      EXPECT_NE(asked.Kind, "error") << asked.Text;
    EXPECT_TRUE(dialogs.AllAnswered());
  }

  TPatchForm* Start(const std::vector<std::string>& args = {}, bool show = true) {
    app = std::make_unique<TApplication>();
    app->CreateForms(args);
    if (show && !app->Terminated()) {
      app->PatchForm->show();
      app->PatchForm->activateWindow();
      EXPECT_TRUE(QTest::qWaitForWindowActive(app->PatchForm.get()));
    }
    return app->PatchForm.get();
  }
  TPatchForm* Form() { return app->PatchForm.get(); }
  QTreeView* List() { return Named<QTreeView>("PatchList"); }
  TPatchListModel* Model() { return dynamic_cast<TPatchListModel*>(List()->model()); }
  template <typename T = QAction> T* Named(const char* name) {
    T* found = Form()->findChild<T*>(name);
    EXPECT_TRUE(found) << name;
    return found;
  }
  void Trigger(const char* name) { Named<QAction>(name)->trigger(); }
  void Click(const char* name) { Named<QToolButton>(name)->click(); }
  void Select(int row) {
    List()->selectionModel()->setCurrentIndex(
        Model()->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
  int Row(const std::string& name) {
    for (int i = 0; i < Model()->rowCount(); ++i)
      if (Model()->index(i, 0).data().toString().toStdString() == name) return i;
    return -1;
  }
  std::string Cell(int row, int column) {
    return Model()->index(row, column).data().toString().toStdString();
  }
  int State(int row) { return Model()->index(row, 0).data(TPatchListModel::StateRole).toInt(); }
  std::vector<std::string> Rows() {
    std::vector<std::string> r;
    for (int i = 0; i < Model()->rowCount(); ++i)
      r.push_back(Cell(i, 0));
    return r;
  }
  QHeaderView* Header() { return List()->header(); }
  // The game the window manages.
  std::string Game() { return Form()->CurrentApp() ? Form()->CurrentApp()->AppName : ""; }
  // The filter the Add Patch dialog shows.
  std::string AddDialogFilter() {
    dialogs.AnswerFiles({});
    Trigger("AddPatch1");
    return dialogs.Asked().back().Dialog.Filter;
  }
  // Whether showing the window starts the game at once, as the quick start does.
  bool QuickStarts() {
    Form()->show();
    QApplication::processEvents(); // the quick start is queued
    return !sounds.empty();
  }

  void SetUserValue(const std::string& name, const std::string& value) {
    TRegistry reg(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
    reg.WriteString(name, value);
  }
  std::string ZoneValue() {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(reg.OpenKey(kHalvexRegistration, false));
    return reg.ReadString("CommandLine");
  }
  // The game's program: a script that records its working folder and arguments.
  std::string InstallRecordingGame() {
    const std::string out = game.Prefix.Path() + "/launched.txt";
    const std::string exe = game.GameHost() + "/halvex.exe";
    WriteHostFile(exe,
                  "#!/bin/sh\n{ pwd -P; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > '" +
                      out + ".part' && mv '" + out + ".part' '" + out + "'\n");
    fs::permissions(exe, fs::perms::owner_all);
    return out;
  }
  std::vector<std::string> Launched(const std::string& out) {
    EXPECT_TRUE(WaitForFile(out));
    return HostExists(out) ? Lines(ReadHostFile(out)) : std::vector<std::string>{};
  }
};

// A hive without one game's DirectPlay registration.
std::string WithoutRegistration(const std::string& hive, const std::string& name) {
  const std::string head = "[Software\\\\Microsoft\\\\DirectPlay\\\\Applications\\\\" + name + "]";
  size_t at = hive.find(head);
  size_t end = hive.find("\n[", at + 1);
  return hive.substr(0, at) + (end == std::string::npos ? "" : hive.substr(end + 1));
}

// ---------------------------------------------------------------------------------------------
// Start-up

TEST(StartUp, NoGameShowsOnlyTheGameNotFoundDialog) {
  TTempPrefix prefix;
  TScriptedDialogs dialogs;
  std::vector<std::string> opened;
  SetDesktopOpen([&](const std::string& url) {
    opened.push_back(url);
    return true;
  });
  TTempDir data;
  WriteHostFile(data.Path() + "/docs.html", "docs");
  fs::path old = fs::current_path();
  fs::current_path(data.Path());
  QString caption;
  {
    TApplication app;
    WhenModal([&](QWidget* w) {
      caption = w->windowTitle();
      auto* form = qobject_cast<TNoGameForm*>(w);
      ASSERT_TRUE(form);
      form->HelpButton->click();
    });
    app.CreateForms({});
    EXPECT_TRUE(app.Terminated());
    EXPECT_FALSE(app.ShowMainForm);
    EXPECT_EQ(app.Run(), 0);
    EXPECT_FALSE(app.PatchForm->isVisible());
    // The rest of the windows are still made.
    EXPECT_TRUE(app.AboutBox && app.DebugForm && app.PropertyForm);
  }
  fs::current_path(old);
  SetDesktopOpen(nullptr);
  EXPECT_EQ(caption, "Game Not Found");
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], "file://" + fs::canonical(data.Path()).string() + "/docs.html");
  // The settings are saved, without a game to name.
  TRegistry reg(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKey(kSettingsKey, false));
  EXPECT_TRUE(reg.ValueExists("CommandLine"));
  EXPECT_TRUE(reg.ValueExists("ActiveConflicts"));
  EXPECT_FALSE(reg.ValueExists("LastGame"));
}

// The Game Not Found dialog sets a game up from its folder, after the refusals a player may meet,
// and start-up goes on with it; the Game menu sets up the other game later.
TEST(StartUp, AGameIsSetUpFromItsFolderInTheGameNotFoundDialog) {
  TTempPrefix prefix;
  WriteHostFile(prefix.HostC("Games/Halvex/HALVEX.EXE"), "MZ"); // found whatever its case
  WriteHostFile(prefix.HostC("Games/Morvane/morvane.exe"), "MZ");
  TScriptedDialogs dialogs;
  auto wine = std::make_unique<TFakeWineServer>(prefix.Path());
  std::string label;
  dialogs.AnswerFolder(prefix.HostC("Games")); // no game program there
  dialogs.Answer(mrOk);
  dialogs.AnswerFolder(prefix.HostC("Games/Halvex"));
  dialogs.Answer(mrYes);    // the confirmation
  dialogs.Answer(mrCancel); // Wine runs: the prefix is left as it is
  dialogs.AnswerFolder(prefix.HostC("Games/Halvex"));
  dialogs.Answer(mrYes);
  auto app = std::make_unique<TApplication>();
  WhenModal([&](QWidget* w) {
    auto* form = qobject_cast<TNoGameForm*>(w);
    ASSERT_TRUE(form);
    label = form->PrefixLabel->text().toStdString();
    form->LocateButton->click();
    form->LocateButton->click();
    EXPECT_TRUE(form->isVisible());
    wine.reset();
    form->LocateButton->click();
  });
  app->CreateForms({});
  EXPECT_EQ(label, "Dravik looked in the Wine prefix " + prefix.Path() + ".");
  ASSERT_FALSE(app->Terminated());
  EXPECT_TRUE(app->ShowMainForm);
  ASSERT_TRUE(app->PatchForm->CurrentApp());
  EXPECT_EQ(app->PatchForm->CurrentApp()->AppName, "Halvex");

  const auto& asked = dialogs.Asked();
  ASSERT_EQ(asked.size(), 7u);
  EXPECT_EQ(asked[0].Kind, "folder");
  EXPECT_EQ(asked[0].Items, std::vector<std::string>{winfs::ToHostPath("C:\\")});
  EXPECT_EQ(asked[1].Text, "No game program was found in C:\\Games\\.\n\nDravik looks for "
                           "halvex.exe (Halvex) or morvane.exe (Morvane) in the folder the game is "
                           "installed in.");
  EXPECT_EQ(asked[3].Type, mtConfirmation);
  for (const std::string& named :
       {"Set up Halvex, installed in C:\\Games\\Halvex\\, in the Wine prefix " + prefix.Path(),
        std::string("HKEY_LOCAL_MACHINE\\Software\\Orlemont\\HXPatch\\Applications: "),
        std::string("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\DirectPlay\\Applications\\Halvex: ")})
    EXPECT_NE(asked[3].Text.find(named), std::string::npos) << named << "\n" << asked[3].Text;
  EXPECT_EQ(asked[4].Buttons, (TMsgDlgButtons{mbRetry, mbCancel}));
  TRegistry reg(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey(kHalvexRegistration, false));
  EXPECT_EQ(reg.ReadString("Path"), "C:\\Games\\Halvex\\");
  EXPECT_EQ(reg.ReadString("File"), "halvex.exe");
  EXPECT_TRUE(reg.OpenKey("\\SOFTWARE\\Orlemont\\HXPatch\\Applications\\1", false));
  reg.CloseKey();

  // The other game, from the Game menu: the window turns to it.
  app->PatchForm->show();
  dialogs.ClearRecord();
  dialogs.AnswerFolder(prefix.HostC("Games/Morvane"));
  dialogs.Answer(mrYes);
  app->PatchForm->findChild<QAction*>("LocateGame1")->trigger();
  EXPECT_EQ(app->PatchForm->CurrentApp()->AppName, "Morvane");
  EXPECT_EQ(app->PatchForm->windowTitle(), "Morvane Dravik");
  std::vector<std::string> games;
  for (QAction* item : app->PatchForm->findChild<QMenu*>("Game1")->actions())
    if (item->isCheckable())
      games.push_back(item->text().toStdString() + (item->isChecked() ? "*" : ""));
  EXPECT_EQ(games, (std::vector<std::string>{"Halvex", "Morvane*"}));
  EXPECT_TRUE(fs::is_directory(prefix.HostC("Games/Morvane/HXPatch/active")));
  app.reset();
  EXPECT_TRUE(dialogs.AllAnswered());
}

TEST_F(Window, OneInstalledGameIsChosenWhateverTheSwitchSays) {
  WriteHostFile(game.Prefix.Path() + "/system.reg",
                WithoutRegistration(TestCatalogueHive({}), "Halvex"));
  TPatchForm* form = Start();
  EXPECT_EQ(Game(), "Morvane");
  ASSERT_EQ(Named<QMenu>("Game1")->actions().size(), 3); // the game, "&Locate Game..."
  EXPECT_TRUE(Named<QMenu>("Game1")->actions()[0]->isChecked());
  EXPECT_EQ(Named<QMenu>("Game1")->actions()[0]->text(), "Morvane");
  EXPECT_EQ(form->windowTitle(), "Morvane Dravik");
  EXPECT_EQ(Named("LaunchHalvex1")->text(), "Launch Morvane");
  EXPECT_EQ(Named<QToolButton>("LaunchButton")->toolTip(), "Launch Morvane");
  EXPECT_EQ(AddDialogFilter(), "All patches (*.gob;*.zip;*.url;*.lnk)|*.gob;*.zip;*.url;*.lnk|"
                               "Morvane Patches (*.gob)|*.gob|ZIP Files (*.zip)|*.zip");
  // The store's folders are made on the first set-up.
  EXPECT_TRUE(fs::is_directory(game.Prefix.HostC("Games/Morvane/HXPatch/active")));
}

TEST_F(Window, LastGameBeatsTheSwitchAndSwitchesMatchWhole) {
  SetUserValue("LastGame", "Halvex");
  Start({"-MRVN"}, false);
  EXPECT_EQ(Game(), "Halvex");
  EXPECT_TRUE(Named<QMenu>("Game1")->actions()[0]->isChecked());
  EXPECT_FALSE(QuickStarts());
  app.reset();

  // An argument that merely begins with a switch is none, and is named once the window shows.
  SetUserValue("LastGame", "");
  Start({"-mrvn", "-quickstartx"}, false);
  EXPECT_EQ(Game(), "Morvane");
  for (QAction* item : Named<QMenu>("Game1")->actions())
    EXPECT_FALSE(item->isChecked());
  dialogs.Answer(mrOk);
  EXPECT_FALSE(QuickStarts());
  EXPECT_EQ(dialogs.Messages().back(),
            "\"-quickstartx\" is neither a switch, an existing file nor a link.");
  app.reset();

  SetUserValue("LastGame", "Morvane");
  Start({"-mrvnx"}, false);
  EXPECT_EQ(Game(), "Morvane");
  EXPECT_TRUE(Named<QMenu>("Game1")->actions()[1]->isChecked());
}

TEST_F(Window, QuickStartLaunchesTheGameAndEnds) {
  const std::string out = InstallRecordingGame();
  Start({"-QuickStart"}, false);
  QTimer::singleShot(20000, [] { QApplication::quit(); }); // a hang fails below, not forever
  EXPECT_EQ(app->Run(), 0);
  EXPECT_TRUE(app->Terminated());
  EXPECT_FALSE(Form()->isVisible());
  EXPECT_EQ(Launched(out), (std::vector<std::string>{fs::canonical(game.GameHost()).string(),
                                                     "-path", "HXPatch\\active\\"}));
  EXPECT_EQ(sounds, std::vector<std::string>{"LAUNCH"});
}

TEST_F(Window, GameSwitchSavesSetsUpAndFollowsTheZoneState) {
  TRegistry reg(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey(kHalvexRegistration, false));
  reg.WriteString("CommandLine", "-path HXPatch\\active\\");
  reg.CloseKey();
  TPatchForm* form = Start();
  EXPECT_TRUE(Named("ZoneOption")->isChecked());

  // Picking the game already selected (though unchecked) changes and saves nothing.
  Named<QMenu>("Game1")->actions()[0]->trigger();
  EXPECT_FALSE(Named<QMenu>("Game1")->actions()[0]->isChecked());
  EXPECT_EQ(ReadHostFile(game.Prefix.Path() + "/user.reg").find("LastGame"), std::string::npos);

  Named<QMenu>("Game1")->actions()[1]->trigger();
  EXPECT_EQ(Game(), "Morvane");
  EXPECT_TRUE(Named<QMenu>("Game1")->actions()[1]->isChecked());
  EXPECT_FALSE(Named("ZoneOption")->isChecked());
  EXPECT_EQ(form->windowTitle(), "Morvane Dravik");
  EXPECT_EQ(Named("LaunchHalvex1")->text(), "Launch Morvane");
  EXPECT_TRUE(fs::is_directory(game.Prefix.HostC("Games/Morvane/HXPatch/active")));
  TRegistry user(HKEY_CURRENT_USER);
  ASSERT_TRUE(user.OpenKey(kSettingsKey, false));
  EXPECT_EQ(user.ReadString("LastGame"), "Morvane");
  user.CloseKey();

  Named<QMenu>("Game1")->actions()[0]->trigger();
  EXPECT_TRUE(Named("ZoneOption")->isChecked());
  EXPECT_FALSE(Named<QMenu>("Game1")->actions()[1]->isChecked());
}

TEST_F(Window, DamagedSettingsAreReportedAndTheWindowStillComesUp) {
  TRegistry reg(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
  const uint8_t six[] = {1, 1, 1, 1, 1, 1};
  reg.WriteBinaryData("CommandLine", six, 6);
  reg.CloseKey();
  game.WritePatch(game.InactiveHost("a.gob"), {"x.mat"});
  Start({}, false);
  Form()->show();
  std::vector<std::string> errors;
  for (const auto& asked : dialogs.Asked())
    if (asked.Kind == "error") errors.push_back(asked.Text);
  EXPECT_EQ(errors, std::vector<std::string>{"Invalid data type for 'CommandLine'"});
  dialogs.ClearRecord();
  EXPECT_TRUE(Form()->isVisible());
  EXPECT_EQ(Rows(), std::vector<std::string>{"a"}); // read at creation
  // Set-up stopped before the caption; the settings are written back whole when it ends.
  EXPECT_EQ(Form()->windowTitle(), "Halvex Dravik");
}

TEST_F(Window, ChangesWineRefusesWaitAndAreSavedWhenWineHasEnded) {
  auto wine = std::make_unique<TFakeWineServer>(game.Prefix.Path(), TFakeWineServer::wlDebian);
  ASSERT_TRUE(wine->Running());
  const std::string userReg = game.Prefix.Path() + "/user.reg";
  ASSERT_FALSE(HostExists(userReg)); // the first run: nothing saved yet
  TPatchForm* form = Start({"-mrvn"});
  EXPECT_EQ(form->windowTitle(), "Morvane Dravik");
  EXPECT_TRUE(dialogs.Asked().empty()); // reading needs no key

  // A game switch saves: refused, retried, then left waiting; the switch goes on, and the
  // options keep what the user chose, not what the store holds.
  Trigger("ShowFramerateduringgameplay1");
  dialogs.Answer(mrRetry);
  dialogs.Answer(mrCancel);
  Named<QMenu>("Game1")->actions()[0]->trigger();
  EXPECT_EQ(form->windowTitle(), "Halvex Dravik");
  EXPECT_TRUE(Named("ShowFramerateduringgameplay1")->isChecked());
  ASSERT_EQ(dialogs.Asked().size(), 2u);
  EXPECT_EQ(dialogs.Asked()[0].Text, dialogs.Asked()[1].Text);
  EXPECT_EQ(dialogs.Asked()[0].Type, mtWarning);
  EXPECT_EQ(dialogs.Asked()[0].Buttons, (TMsgDlgButtons{mbRetry, mbCancel}));
  EXPECT_EQ(dialogs.Asked()[0].Text.rfind("Wine is running for the prefix " + game.Prefix.Path() +
                                              ", so Dravik cannot save Dravik's settings",
                                          0),
            0u)
      << dialogs.Asked()[0].Text;
  dialogs.ClearRecord();

  // The Zone option: the check mark shows the change that waits, also after switching back.
  dialogs.Answer(mrYes);
  dialogs.Answer(mrCancel);
  Trigger("ZoneOption");
  EXPECT_TRUE(Named("ZoneOption")->isChecked());
  EXPECT_NE(dialogs.Asked().back().Text.find("save the Zone option of Halvex"), std::string::npos);
  Named<QMenu>("Game1")->actions()[1]->trigger(); // the settings wait already: no question
  Named<QMenu>("Game1")->actions()[0]->trigger();
  EXPECT_TRUE(Named("ZoneOption")->isChecked());
  Form()->WineWatchTimer();
  EXPECT_EQ(ZoneValue(), "");
  EXPECT_FALSE(HostExists(userReg));

  wine.reset();
  Form()->WineWatchTimer();
  EXPECT_EQ(ZoneValue(), "-path HXPatch\\active\\");
  TRegistry reg(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKey(kSettingsKey, false));
  EXPECT_EQ(reg.ReadBinary("CommandLine"), (std::vector<uint8_t>{1, 0, 0, 0, 0}));
  EXPECT_EQ(reg.ReadString("LastGame"), "Halvex");
  dialogs.ClearRecord();
  app.reset(); // nothing waits: no question
}

TEST_F(Window, AtTheEndWhatWaitsIsNamedThenWaitedForOrDiscarded) {
  for (bool wait : {true, false}) {
    SCOPED_TRACE(wait);
    auto wine = std::make_unique<TFakeWineServer>(game.Prefix.Path(), TFakeWineServer::wlUpstream);
    Start();
    Trigger(wait ? "Enabledevelopermode1" : "Showcutscenesinawindow1");
    dialogs.Answer(mrYes);
    dialogs.AnswerWait(nullptr); // Wine goes on: cancelled, so the question comes again
    if (wait) {
      dialogs.Answer(mrYes);
      dialogs.AnswerWait([&] { wine.reset(); });
    } else {
      dialogs.Answer(mrNo);
    }
    app.reset();
    const auto& asked = dialogs.Asked();
    ASSERT_GE(asked.size(), 3u);
    EXPECT_EQ(asked[0].Buttons, (TMsgDlgButtons{mbYes, mbNo}));
    EXPECT_NE(asked[0].Text.find("so Dravik has not saved:\n\n- Dravik's settings"),
              std::string::npos)
        << asked[0].Text;
    EXPECT_EQ(asked[1].Kind, "wait");
    wine.reset();
    // Saved after the wait; the window-mode flag of the second round is discarded.
    TRegistry reg(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey(kSettingsKey, false));
    EXPECT_EQ(reg.ReadBinary("CommandLine"), (std::vector<uint8_t>{0, 0, 0, 1, 0}));
    dialogs.ClearRecord();
  }
}

// With Wine itself: a fresh 64-bit prefix holding only the game's files becomes usable from the
// Game Not Found dialog, Wine sees what was written where a 32-bit program looks, and changes
// made while Wine's own server runs are kept until it has ended, then reach Wine.
TEST(WithWine, AFreshPrefixIsSetUpAndNothingIsLostToARunningServer) {
  if (!WineInstalled()) GTEST_SKIP() << "Wine is not installed (scripts/deps install)";
  TTempPrefix prefix;
  ASSERT_TRUE(MakeRunnablePrefix(prefix.Path()));
  MakeHostDirs(prefix.HostC("Games/Halvex"));
  fs::copy_file(DRAVIK_STAND_IN_GAME, prefix.HostC("Games/Halvex/halvex.exe"));
  auto query = [&](const std::string& key, const std::string& view) {
    std::string out;
    std::vector<std::string> argv = {"wine", "reg", "query", key};
    if (!view.empty()) argv.push_back(view);
    return RunOnPrefix(prefix.Path(), argv, &out) == 0 ? out : "(failed) " + out;
  };
  const std::string registration = "HKLM\\Software\\Microsoft\\DirectPlay\\Applications\\Halvex";

  TScriptedDialogs dialogs;
  dialogs.AnswerFolder(prefix.HostC("Games/Halvex"));
  dialogs.Answer(mrYes);
  auto app = std::make_unique<TApplication>();
  WhenModal([](QWidget* w) { qobject_cast<TNoGameForm*>(w)->LocateButton->click(); });
  app->CreateForms({});
  ASSERT_FALSE(app->Terminated());
  app->PatchForm->show();
  EXPECT_TRUE(fs::is_directory(prefix.HostC("Games/Halvex/HXPatch/active")));
  std::string out = query(registration, "/reg:32");
  EXPECT_NE(out.find("Path    REG_SZ    C:\\Games\\Halvex\\"), std::string::npos) << out;
  EXPECT_NE(out.find("File    REG_SZ    halvex.exe"), std::string::npos) << out;
  out = query("HKLM\\Software\\Orlemont\\HXPatch\\Applications\\0", "/reg:32");
  EXPECT_NE(out.find("AppName    REG_SZ    Halvex"), std::string::npos) << out;
  EXPECT_EQ(query(registration, "").rfind("(failed)", 0), 0u); // not in the 64-bit view
  EndWine(prefix.Path());

  TWineServer server(prefix.Path());
  ASSERT_TRUE(server.Started());
  auto trigger = [&](const char* name) { app->PatchForm->findChild<QAction*>(name)->trigger(); };
  dialogs.Answer(mrYes);    // the Zone warning
  dialogs.Answer(mrCancel); // refused: it waits
  trigger("ZoneOption");
  trigger("ShowFramerateduringgameplay1");
  trigger("LaunchHalvex1"); // the settings wait too
  EXPECT_TRUE(WaitForFile(prefix.HostC("Games/Halvex/launch.log")));
  dialogs.Answer(mrYes);
  dialogs.AnswerWait([&] { server.Stop(); });
  app.reset();
  const std::string atEnd = dialogs.Asked().at(4).Text;
  EXPECT_NE(atEnd.find("- Dravik's settings"), std::string::npos) << atEnd;
  EXPECT_NE(atEnd.find("- the Zone option of Halvex"), std::string::npos) << atEnd;
  EXPECT_TRUE(dialogs.AllAnswered());

  out = query(registration, "/reg:32");
  EXPECT_NE(out.find("CommandLine    REG_SZ    -path HXPatch\\active\\"), std::string::npos) << out;
  out = query("HKCU\\Software\\Orlemont\\HXPatch", "");
  EXPECT_NE(out.find("LastGame    REG_SZ    Halvex"), std::string::npos) << out;
  EXPECT_NE(out.find("CommandLine    REG_BINARY    0100000000"), std::string::npos) << out;
  EndWine(prefix.Path());
}

TEST_F(Window, TheStoreIsReadOnceAtStartUp) {
  game.WritePatch(game.InactiveHost("a.gob"), {"x.mat"});
  Start({}, false);
  // Showing the window sets it up on what creating it read: a file that came in between is
  // listed at the next refresh.
  game.WritePatch(game.InactiveHost("b.gob"), {"y.mat"});
  Form()->show();
  EXPECT_EQ(Rows(), std::vector<std::string>{"a"});
  EXPECT_TRUE(fs::is_directory(game.ActiveHost()));
  Trigger("Refresh1");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "b"}));
}

// ---------------------------------------------------------------------------------------------
// The patch list

class Patches : public Window {
protected:
  void SetUp() override {
    Window::SetUp();
    game.WritePatch(game.InactiveHost("a.gob"), {"x.mat"}, "", "Type=Skin\r\n");
    game.WritePatch(game.InactiveHost("b.gob"), {"x.mat", "y.mat"}, "", "Type=Level\r\n");
    game.WritePatch(game.InactiveHost("c.gob"), {"z.mat"}, "", "Type=Model\r\n");
    Start();
  }
};

TEST_F(Patches, ToggleWithConflictsFollowsInRowsCaptionsAndButton) {
  ASSERT_EQ(Rows(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(Header()->model()->headerData(2, Qt::Horizontal).toString(), "Active Conflicts");
  Select(0);
  Trigger("Activate1");
  EXPECT_EQ(State(0), 1);
  EXPECT_EQ(State(1), 2); // blocked by the active patch
  EXPECT_EQ(State(2), 0);
  EXPECT_EQ(Cell(1, 2), "a");
  EXPECT_EQ(Cell(0, 2), ""); // its conflicting patch is inactive
  EXPECT_EQ(Cell(0, 1), "Skin");
  EXPECT_EQ(Named("Activate1")->text(), "De&activate");
  EXPECT_EQ(Named("Activate2")->text(), "De&activate");
  EXPECT_TRUE(Named<QToolButton>("ActivateButton")->isChecked());
  EXPECT_TRUE(HostExists(game.ActiveHost("a.gob")));

  // Switching the other one on with the tool button switches the first off.
  Select(1);
  EXPECT_EQ(Named("Activate1")->text(), "&Activate");
  EXPECT_FALSE(Named<QToolButton>("ActivateButton")->isChecked());
  Click("ActivateButton");
  EXPECT_EQ(State(0), 2);
  EXPECT_EQ(State(1), 1);
  EXPECT_TRUE(Named<QToolButton>("ActivateButton")->isChecked());
  EXPECT_EQ(Named("Activate1")->text(), "De&activate");
  EXPECT_EQ(TTestGame::FolderFiles(game.ActiveHost()), std::vector<std::string>{"b.gob"});
  EXPECT_EQ(sounds, (std::vector<std::string>{"CLICK", "CLICK"}));

  // With the option off, every conflict is named, and the column says so.
  Trigger("ConflictOption");
  EXPECT_FALSE(Named("ConflictOption")->isChecked());
  EXPECT_EQ(Header()->model()->headerData(2, Qt::Horizontal).toString(), "Conflicts");
  EXPECT_EQ(Cell(1, 2), "a");
  EXPECT_EQ(Cell(0, 2), "b");

  // Without a selection the commands do nothing; the button keeps its state.
  List()->selectionModel()->clearSelection();
  Click("ActivateButton");
  EXPECT_TRUE(Named<QToolButton>("ActivateButton")->isChecked());
  EXPECT_EQ(sounds.size(), 2u);
}

TEST_F(Patches, DoubleClickTogglesAndF2Works) {
  Select(2);
  Form()->PatchListDblClick();
  EXPECT_EQ(State(2), 1);
  Form()->activateWindow();
  List()->setFocus();
  QTest::keyClick(List(), Qt::Key_F2);
  EXPECT_EQ(State(2), 0);
  // Space and Enter too; Alt+Enter stays the properties' key.
  QTest::keyClick(List(), Qt::Key_Space);
  EXPECT_EQ(State(2), 1);
  QTest::keyClick(List(), Qt::Key_Return);
  EXPECT_EQ(State(2), 0);
  QTest::keyClick(List(), Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(State(2), 1);
}

TEST_F(Patches, DeactivateAllTogglesEachActivePatchOnce) {
  Select(0);
  Trigger("Activate1");
  Select(2);
  Trigger("Activate1");
  sounds.clear();
  Trigger("DeactivateAll1");
  EXPECT_EQ(State(0), 0);
  EXPECT_EQ(State(2), 0);
  EXPECT_EQ(sounds, (std::vector<std::string>{"CLICK", "CLICK"}));
  EXPECT_TRUE(TTestGame::FolderFiles(game.ActiveHost()).empty());
  EXPECT_EQ(Named("Activate1")->text(), "&Activate");
  sounds.clear();
  Trigger("DeactivateAll1");
  EXPECT_TRUE(sounds.empty());
}

TEST_F(Patches, ColumnClicksOrderTheListAndTheHeaderShowsTheRealOrder) {
  auto click = [&](int column) { emit Header()->sectionClicked(column); };
  EXPECT_EQ(Header()->sortIndicatorSection(), 0);
  click(1);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"b", "c", "a"})); // Level, Model, Skin
  EXPECT_EQ(Header()->sortIndicatorSection(), 1);
  EXPECT_EQ(Header()->sortIndicatorOrder(), Qt::AscendingOrder);
  click(1);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "c", "b"}));
  EXPECT_EQ(Header()->sortIndicatorOrder(), Qt::DescendingOrder);
  click(1);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"b", "c", "a"}));

  // A re-read orders by name again, and the header says so.
  Trigger("Refresh1");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(Header()->sortIndicatorSection(), 0);
  EXPECT_EQ(Header()->sortIndicatorOrder(), Qt::AscendingOrder);
  click(0);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"c", "b", "a"}));
  EXPECT_EQ(Header()->sortIndicatorOrder(), Qt::DescendingOrder);

  click(2);
  EXPECT_EQ(Header()->sortIndicatorSection(), 2);
}

TEST_F(Patches, RemoveAsksThenDeletesTheFile) {
  Select(1);
  dialogs.Answer(mrNo);
  Trigger("RemovePatch1");
  EXPECT_EQ(Rows().size(), 3u);
  dialogs.Answer(mrYes);
  Trigger("Delete1");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "c"}));
  EXPECT_FALSE(HostExists(game.InactiveHost("b.gob")));
  EXPECT_EQ(dialogs.Messages().back(), "Delete b (b.gob)?");
}

TEST_F(Patches, AFailedMoveIsShownAndTheListShowsTheTruth) {
  // Something of the same name in the active folder blocks the move.
  MakeHostDirs(game.ActiveHost("a.gob"));
  Select(0);
  Trigger("Activate1");
  ASSERT_EQ(dialogs.Messages().size(), 1u);
  EXPECT_EQ(dialogs.Messages()[0].rfind("Cannot move", 0), 0u) << dialogs.Messages()[0];
  dialogs.ClearRecord();
  EXPECT_EQ(State(0), 0);
  EXPECT_EQ(Named("Activate1")->text(), "&Activate");
  EXPECT_FALSE(Named<QToolButton>("ActivateButton")->isChecked());
  EXPECT_TRUE(sounds.empty());
}

TEST_F(Patches, AddAndDropInstallIntoTheStore) {
  TTempDir outside;
  game.WritePatch(outside.Path() + "/d.gob", {"w.mat"});
  game.WritePatch(outside.Path() + "/e.gob", {"v.mat"});
  auto win = [](const std::string& host) { return winfs::ToWindowsPath(host).value(); };
  dialogs.AnswerFiles({win(outside.Path() + "/d.gob")});
  Trigger("AddPatch1");
  EXPECT_TRUE(dialogs.Asked().back().Dialog.MultiSelect);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "b", "c", "d"}));

  Form()->DropControl1Drop({"CF_HDROP"}, {win(outside.Path() + "/e.gob")});
  EXPECT_EQ(Rows().size(), 5u);
  EXPECT_TRUE(HostExists(game.InactiveHost("e.gob")));
  // Plain text is not accepted: nothing happens.
  Form()->DropControl1Drop({}, {});
  EXPECT_EQ(Rows().size(), 5u);
}

TEST_F(Patches, FilesDroppedFromOutsideAreInstalledInTheirOrder) {
  TTempDir outside;
  game.WritePatch(outside.Path() + "/f.gob", {"f.mat"});
  game.WritePatch(outside.Path() + "/g.gob", {"g.mat"});
  auto drop = [&](QMimeData* mime) {
    TDrag drag(List()->viewport(), mime, Qt::CopyAction | Qt::LinkAction);
    drag.Enter();
    const Qt::DropAction action = drag.Drop().second;
    QApplication::processEvents(); // the installation runs once the drop has ended
    return action;
  };
  QMimeData text;
  text.setText("just words");
  drop(&text);
  EXPECT_EQ(Rows().size(), 3u);
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile(QString::fromStdString(outside.Path() + "/g.gob")),
                 QUrl::fromLocalFile(QString::fromStdString(outside.Path() + "/f.gob"))});
  EXPECT_EQ(drop(&files), Qt::LinkAction);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "b", "c", "f", "g"}));
}

TEST_F(Patches, ALinkIsDownloadedInstalledAndTheDownloadDeleted) {
  TTempDir outside;
  game.WritePatch(outside.Path() + "/web.gob", {"w.mat"});
  const std::string url = "file://" + outside.Path() + "/web.gob";
  Form()->DropControl1Drop({"UniformResourceLocator", "CF_HDROP"}, {url});
  EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "b", "c", "web"}));
  EXPECT_TRUE(HostExists(game.InactiveHost("web.gob")));
  const std::string temp = winfs::ToHostPath(app->Retriever->TempDir);
  EXPECT_FALSE(HostExists(temp + "/web.gob"));
  // The same through the window message, which answers with what happened.
  game.WritePatch(outside.Path() + "/msg.gob", {"m.mat"});
  TDownloadInstallRequest request{"file://" + outside.Path() + "/msg.gob", {}};
  SendMessage(MainWindow(), WM_DOWNLOAD_INSTALL, 0, reinterpret_cast<LPARAM>(&request));
  Form()->RefreshView();
  EXPECT_EQ(Rows().size(), 5u);
  EXPECT_FALSE(HostExists(temp + "/msg.gob"));
  ASSERT_EQ(request.Report.size(), 1u);
  EXPECT_EQ(request.Report[0].Outcome, ioInstalled);
  EXPECT_TRUE(dialogs.Messages().empty());
}

TEST_F(Patches, AnInternetShortcutThatServesItselfStopsWithAMessage) {
  // Dropped as a link, its address names the shortcut itself; every download brings it again.
  TTempDir outside;
  const std::string url = "file://" + outside.Path() + "/loop.url";
  WriteHostFile(outside.Path() + "/loop.url", "[InternetShortcut]\r\nURL=" + url + "\r\n");
  Form()->DropControl1Drop({"UniformResourceLocator"}, {url});
  EXPECT_EQ(dialogs.Messages(),
            std::vector<std::string>{"Cannot install " + url +
                                     ": it leads through more than 8 shell links, Internet "
                                     "shortcuts or archives"});
  EXPECT_EQ(Rows().size(), 3u);
}

TEST_F(Patches, WhatASelectionCouldNotInstallIsShownOnceByTheNamesChosen) {
  // An archive with a patch, an encrypted patch and a file that is no archive, and a broken
  // file beside it: one message names the archive's entries and the file, nothing private.
  TTempDir outside;
  game.WritePatch(outside.Path() + "/good.gob", {"good.mat"});
  WriteHostFile(outside.Path() + "/secret.gob", std::string("GOB "));
  WriteHostFile(outside.Path() + "/junk.gob", "junk");
  RunIn(outside.Path(), "zip -q pack.zip good.gob junk.gob && zip -q -P pw pack.zip secret.gob");
  WriteHostFile(outside.Path() + "/broken.gob", "");
  auto win = [](const std::string& host) { return winfs::ToWindowsPath(host).value(); };
  dialogs.AnswerFiles({win(outside.Path() + "/pack.zip"), win(outside.Path() + "/broken.gob")});
  Trigger("AddPatch1");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "b", "c", "good"}));
  // Files outside the prefix's own drives are named by their Linux paths.
  const std::string pack = outside.Path() + "/pack.zip";
  ASSERT_EQ(dialogs.Messages().size(), 1u);
  EXPECT_EQ(dialogs.Messages()[0], "Not everything could be installed:\r\n"
                                   "Not everything in " +
                                       pack +
                                       " was unpacked:\r\n"
                                       "Skipped secret.gob: encrypted entries are not supported\r\n"
                                       "Cannot install junk.gob in " +
                                       pack +
                                       ": it is not a GOB archive\r\n"
                                       "Cannot install " +
                                       outside.Path() + "/broken.gob: it is not a GOB archive");
}

// ---------------------------------------------------------------------------------------------
// Launch and options

TEST_F(Window, LaunchWithOptionsAndCustomText) {
  const std::string out = InstallRecordingGame();
  Start();
  Trigger("ShowFramerateduringgameplay1");
  Trigger("Enabledevelopermode1");
  Trigger("Allowadvanceddisplayconfiguration1");
  Trigger("Allowadvanceddisplayconfiguration1"); // on and off again
  EXPECT_FALSE(Named("Allowadvanceddisplayconfiguration1")->isChecked());
  EXPECT_TRUE(Named("Enabledevelopermode1")->isChecked());
  dialogs.AnswerInput("+debug \"two words\"");
  Trigger("Custom1");
  EXPECT_EQ(dialogs.Asked().back().Caption, "Command Line");
  EXPECT_EQ(dialogs.Asked().back().Text, "Enter the custom command line parameters:");
  EXPECT_TRUE(Named("Custom1")->isChecked());
  EXPECT_EQ(Form()->GameParameters(),
            " -path HXPatch\\active\\ -framerate -devmode +debug \"two words\"");

  QTest::keyClick(Form(), Qt::Key_F9);
  EXPECT_FALSE(Form()->isVisible());
  EXPECT_EQ(Launched(out), (std::vector<std::string>{fs::canonical(game.GameHost()).string(),
                                                     "-path", "HXPatch\\active\\", "-framerate",
                                                     "-devmode", "+debug", "two words"}));
  {
    // The game's Wine now holds the registry: the settings were saved before it started, and
    // saving them again as the window goes changes nothing and shows no error.
    TFakeWineServer wine(game.Prefix.Path());
    ASSERT_TRUE(wine.Running());
    app.reset();
  }
  TRegistry reg(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKey(kSettingsKey, false));
  EXPECT_EQ(reg.ReadBinary("CommandLine"), (std::vector<uint8_t>{1, 0, 0, 1, 0}));
  EXPECT_EQ(reg.ReadString("CustomOptions"), "+debug \"two words\"");
  EXPECT_EQ(reg.ReadString("LastGame"), "Halvex");
}

TEST_F(Window, CustomTextCancelledOrBlankAndSettingsComeBack) {
  Start();
  dialogs.AnswerInput("ignored", false);
  Trigger("Custom1");
  EXPECT_FALSE(Named("Custom1")->isChecked());
  dialogs.AnswerInput("   ");
  Trigger("Custom1");
  EXPECT_TRUE(Named("Custom1")->isChecked());
  Trigger("Showcutscenesinawindow1");
  Trigger("ConflictOption");
  app.reset();

  Start();
  EXPECT_TRUE(Named("Custom1")->isChecked());
  EXPECT_TRUE(Named("Showcutscenesinawindow1")->isChecked());
  EXPECT_FALSE(Named("ShowFramerateduringgameplay1")->isChecked());
  EXPECT_FALSE(Named("ConflictOption")->isChecked());
  EXPECT_EQ(Header()->model()->headerData(2, Qt::Horizontal).toString(), "Conflicts");
  EXPECT_EQ(Form()->GameParameters(), " -path HXPatch\\active\\ -windowgui    ");
}

TEST_F(Window, ZoneOptionWarnsThenWritesTheRegistration) {
  Start();
  dialogs.Answer(mrNo);
  Trigger("ZoneOption");
  EXPECT_FALSE(Named("ZoneOption")->isChecked());
  EXPECT_EQ(ZoneValue(), "");
  const auto& asked = dialogs.Asked().back();
  EXPECT_EQ(asked.Type, mtWarning);
  EXPECT_EQ(asked.Buttons, (TMsgDlgButtons{mbYes, mbNo}));
  EXPECT_EQ(asked.Text.rfind("In order to use patches in multiplayer", 0), 0u);
  EXPECT_NE(asked.Text.find("host.\r\n\r\nAdditionally"), std::string::npos);
  EXPECT_NE(asked.Text.find("return to Dravik and turn it off.\r\n\r\nDo you wish"),
            std::string::npos);

  dialogs.Answer(mrYes);
  Trigger("ZoneOption");
  EXPECT_TRUE(Named("ZoneOption")->isChecked());
  EXPECT_EQ(ZoneValue(), "-path HXPatch\\active\\");

  // Off asks nothing and leaves an empty value.
  dialogs.ClearRecord();
  Trigger("ZoneOption");
  EXPECT_FALSE(Named("ZoneOption")->isChecked());
  EXPECT_TRUE(dialogs.Asked().empty());
  TRegistry reg(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey(kHalvexRegistration, false));
  EXPECT_TRUE(reg.ValueExists("CommandLine"));
  EXPECT_EQ(reg.ReadString("CommandLine"), "");
}

TEST_F(Window, LaunchZoneWithTheOptionOnAsksNothingOpensThePageAndCloses) {
  TRegistry reg(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey(kHalvexRegistration, false));
  reg.WriteString("CommandLine", "-path HXPatch\\active\\");
  reg.CloseKey();
  SetUserValue("ZonePage", "http://127.0.0.1:9/zone");
  Start();
  Trigger("LaunchInternetGamingZone1");
  EXPECT_TRUE(dialogs.Asked().empty());
  EXPECT_EQ(opened, std::vector<std::string>{"http://127.0.0.1:9/zone"});
  EXPECT_FALSE(Form()->isVisible());
}

TEST_F(Window, CreateGOBOpensTheEditorOnTheStoreAndCancelReadsNothing) {
  Start();
  game.WritePatch(game.InactiveHost("later.gob"), {"l.mat"});
  std::string filter, folder;
  WhenModal([&](QWidget* w) {
    auto* editor = dynamic_cast<TGobberForm*>(w);
    ASSERT_TRUE(editor);
    filter = editor->FindFileDialog("SaveGOBDialog")->Filter;
    folder = editor->FindFileDialog("OpenGOBDialog")->InitialDir;
    editor->reject();
  });
  Trigger("CreateGOB1");
  EXPECT_EQ(filter, "Halvex Patches (*.gob)|*.gob|ZIP Files (*.zip)|*.zip");
  EXPECT_EQ(folder, "C:\\Games\\Halvex\\HXPatch\\");
  EXPECT_TRUE(Rows().empty()); // not re-read after Cancel
}

TEST_F(Window, ANewArchiveSavedInTheEditorIsListed) {
  Start();
  WriteHostFile(game.Prefix.HostC("work/skin.mat"), "material");
  dialogs.AnswerFiles({"C:\\work\\skin.mat"});
  dialogs.AnswerFiles({"C:\\Games\\Halvex\\HXPatch\\made.gob"});
  WhenModal([](QWidget* w) {
    auto* editor = dynamic_cast<TGobberForm*>(w);
    ASSERT_TRUE(editor);
    editor->AddFiles1Click();
    editor->SaveGOBClick();
  });
  Trigger("CreateGOB1");
  EXPECT_EQ(Rows(), std::vector<std::string>{"made"});
}

TEST_F(Window, HelpDocumentsResolveAgainstTheWorkingFolder) {
  Start();
  Trigger("Documentation1");
  Trigger("FrequentlyAskedQuestions1");
  const std::string folder = "file://" + fs::canonical(dataFolder.Path()).string();
  EXPECT_EQ(opened, (std::vector<std::string>{folder + "/docs.html", folder + "/faq.html"}));
}

// ---------------------------------------------------------------------------------------------
// Messages and dialogs

TEST_F(Window, AnswersTheWindowMessages) {
  Start();
  EXPECT_EQ(MainWindow(), static_cast<TMessageWindow*>(Form()));
  EXPECT_EQ(SendMessage(MainWindow(), WM_GET_GAME, 0, 0),
            reinterpret_cast<LRESULT>(Form()->CurrentApp()));
  SendMessage(MainWindow(), WM_REPOSITORY_SHOWN, 0, 0);
  EXPECT_TRUE(Named<QToolButton>("RepositoryButton")->isChecked());
  EXPECT_EQ(Named("PatchRepository1")->text(), "Hide Re&pository Window");
  SendMessage(MainWindow(), WM_REPOSITORY_HIDDEN, 0, 0);
  EXPECT_FALSE(Named<QToolButton>("RepositoryButton")->isChecked());
  EXPECT_EQ(Named("PatchRepository1")->text(), "Show Re&pository Window");
  EXPECT_NE(Form()->StatusDialog(), nullptr);
  EXPECT_EQ(SendMessage(MainWindow(), WM_GET_STATUS_DIALOG, 0, 0),
            reinterpret_cast<LRESULT>(Form()->StatusDialog()));
  // A patch put in the store by someone else shows after WM_REFRESH.
  game.WritePatch(game.InactiveHost("n.gob"), {"n.mat"});
  SendMessage(MainWindow(), WM_REFRESH, 0, 0);
  EXPECT_EQ(Rows(), std::vector<std::string>{"n"});
  app.reset();
  EXPECT_EQ(MainWindow(), nullptr);
}

TEST_F(Window, ControlsHaveNamesHintsAndShortcuts) {
  Start();
  struct TButton {
    const char* Name;
    const char* Hint;
  };
  for (TButton b :
       {TButton{"AddButton", "Add New Patch"}, TButton{"DeleteButton", "Remove Selected Patch"},
        TButton{"ActivateButton", "Toggle Patch Activation"},
        TButton{"LaunchButton", "Launch Halvex"}, TButton{"RefreshButton", "Refresh Patch List"},
        TButton{"RepositoryButton", "Show/Hide Patch Repository Window"},
        TButton{"PropertiesButton", "Patch Properties"}}) {
    auto* button = Named<QToolButton>(b.Name);
    EXPECT_EQ(button->toolTip(), b.Hint);
    EXPECT_EQ(button->accessibleName(), b.Hint);
  }
  EXPECT_FALSE(List()->accessibleName().isEmpty());
  EXPECT_EQ(Named<QAction>("AddPatch1")->shortcut(), QKeySequence(Qt::Key_Insert));
  EXPECT_EQ(Named<QAction>("RemovePatch1")->shortcut(), QKeySequence(Qt::Key_Delete));
  EXPECT_EQ(Named<QAction>("Properties2")->shortcut(), QKeySequence(Qt::ALT | Qt::Key_Return));
  EXPECT_EQ(Named<QAction>("Exit1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
  EXPECT_EQ(Named<QAction>("Refresh1")->shortcut(), QKeySequence(Qt::Key_F5));
  QStringList options;
  for (QAction* a : Named<QMenu>("Options1")->actions())
    options << a->text();
  EXPECT_EQ(options,
            (QStringList{"Show &framerate during gameplay", "Allow advanced &display configuration",
                         "Enable de&veloper mode", "Display debugging &information during gameplay",
                         "Show game interface && cut scenes in a &window", "&Custom...", "",
                         "Display Only &Active Conflicts",
                         "Use active patches when playing on Internet Gaming &Zone"}));
  QStringList menus;
  for (QAction* a : Named<QMenuBar>("ToolBar2")->actions())
    menus << a->text();
  EXPECT_EQ(menus, (QStringList{"&File", "&Patch", "&Options", "&Game", "&Help"}));
  // Ctrl+X closes the window, which ends the program.
  QTest::keyClick(Form(), Qt::Key_X, Qt::ControlModifier);
  EXPECT_FALSE(Form()->isVisible());
  EXPECT_TRUE(app->Terminated());
}

TEST_F(Window, DebugReportInTheDebugWindow) {
  WriteHostFile(game.GameHost() + "/halvex.exe", "MZ");
  Start();
  Trigger("Enabledevelopermode1");
  WhenModal([](QWidget* w) { w->close(); });
  Trigger("DisplayDebuggingInfo1");
  const QString text = app->DebugForm->Memo1->toPlainText();
  EXPECT_EQ(text.split('\n'),
            (QStringList{"Path: C:\\Games\\Halvex\\", "Path exists.",
                         "Patch path: C:\\Games\\Halvex\\HXPatch\\",
                         "Active path: C:\\Games\\Halvex\\HXPatch\\active\\",
                         "Command Line:  -path HXPatch\\active\\ -devmode", "halvex.exe exists.",
                         "", "Installed DirectPlay Applications:", "Halvex", "Morvane"}));
  EXPECT_EQ(app->DebugForm->windowTitle(), "Dravik Debug Info");
}

TEST_F(Window, AboutBoxShowsTheVersionAndOpensTheHomePage) {
  Start();
  WhenModal([](QWidget* w) {
    auto* box = qobject_cast<TAboutBox*>(w);
    ASSERT_TRUE(box);
    box->URL->clicked();
    box->OKButton->click();
  });
  Trigger("About1");
  EXPECT_EQ(app->AboutBox->windowTitle(), "About Halvex Dravik");
  EXPECT_EQ(app->AboutBox->Version->text(), QString("Version ") + DRAVIK_VERSION);
  EXPECT_EQ(app->AboutBox->URL->text(), "https://dravik.example.org/");
  EXPECT_EQ(opened, std::vector<std::string>{"https://dravik.example.org/"});
}

TEST_F(Window, PropertiesShowTheDescriptorAndTheFileTree) {
  game.WritePatch(game.InactiveHost("tree.gob"),
                  {"3do\\a.3do", "3do\\mat\\b.mat", "cog\\c.cog", "d.uni"}, "Tree Patch",
                  "Description=Lots of files\r\nType=Level\r\nAuthor=me\r\n");
  game.WritePatch(game.InactiveHost("bare.gob"), {"e.mat"});
  Start();
  ASSERT_EQ(Rows(), (std::vector<std::string>{"bare", "Tree Patch"}));
  TPropertyForm* form = app->PropertyForm.get();
  Select(1);
  QString shownName;
  WhenModal([&](QWidget* w) {
    shownName = form->NameLabel->text();
    w->close();
  });
  Trigger("Properties2");
  EXPECT_EQ(shownName, "Tree Patch");
  EXPECT_EQ(form->Patch, nullptr);
  EXPECT_EQ(form->windowTitle(), "Patch Properties");

  // The controls as the last showing left them.
  TadStringGrid* grid = form->PropertyGrid;
  ASSERT_EQ(grid->RowCount(), 4);
  EXPECT_EQ(grid->Cells(0, 0), "Property");
  EXPECT_EQ(grid->Cells(1, 0), "Value");
  EXPECT_EQ(grid->Cells(0, 1), "Author");
  EXPECT_EQ(grid->Cells(1, 1), "me");
  EXPECT_EQ(grid->Cells(0, 2), "File Name");
  EXPECT_EQ(grid->Cells(1, 2), "tree.gob");
  EXPECT_GT(grid->ColWidth(0), grid->fontMetrics().horizontalAdvance("File Name")); // not cut
  EXPECT_EQ(grid->Cells(0, 3), "Type");
  EXPECT_EQ(form->DescriptionMemo->toPlainText(), "Lots of files");
  QTreeWidgetItem* root = form->FileTreeView->topLevelItem(0);
  ASSERT_TRUE(root);
  EXPECT_EQ(root->text(0), "\\");
  ASSERT_EQ(root->childCount(), 3);
  EXPECT_EQ(root->child(0)->text(0), "cog");
  EXPECT_EQ(root->child(1)->text(0), "3do");
  EXPECT_EQ(root->child(1)->child(0)->text(0), "mat");
  EXPECT_EQ(root->child(1)->child(1)->text(0), "a.3do");
  EXPECT_EQ(root->child(2)->text(0), "d.uni");
  EXPECT_TRUE(root->child(1)->isExpanded());

  // A patch with only the lines the reader adds.
  form->Patch = Form()->CurrentApp()->Patches[0];
  form->FormShow();
  EXPECT_EQ(grid->RowCount(), 3);
  EXPECT_EQ(grid->Cells(0, 1), "File Name");
  EXPECT_EQ(grid->Cells(0, 2), "Type");
  EXPECT_EQ(grid->Cells(1, 2), "Unknown");
  EXPECT_EQ(form->DescriptionMemo->toPlainText(), "");
  EXPECT_EQ(form->NameLabel->text(), "bare");
  // Typing into the description changes nothing.
  QTest::keyClicks(form->DescriptionMemo, "xyz");
  EXPECT_EQ(form->DescriptionMemo->toPlainText(), "");
  form->Patch = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Adding patches by dialog and by drop, and the repository window

// Counts the list's redraws (a new row count, or a repaint of the rows it has).
struct TRedrawCounter {
  int Count = 0;
  TRedrawCounter(QAbstractItemModel* model) {
    QObject::connect(model, &QAbstractItemModel::modelReset, [this] { ++Count; });
    QObject::connect(model, &QAbstractItemModel::dataChanged, [this] { ++Count; });
  }
};

TEST_F(Patches, ThreeDroppedFilesInstallInTheirOrderThenTheListRedrawsOnce) {
  TTempDir outside;
  auto win = [](const std::string& host) { return winfs::ToWindowsPath(host).value(); };
  // Every dropped name is already in the store, so each asks: the questions show the order.
  std::vector<std::string> files;
  for (const char* name : {"c.gob", "a.gob", "b.gob"}) {
    game.WritePatch(outside.Path() + "/" + name, {std::string(name) + ".new"});
    files.push_back(win(outside.Path() + "/" + name));
    dialogs.Answer(mrYes);
  }
  TRedrawCounter redraws(Model());
  Form()->DropControl1Drop({"CF_HDROP"}, files);
  std::vector<std::string> asked;
  for (const auto& a : dialogs.Asked())
    asked.push_back(a.Text);
  EXPECT_EQ(asked, (std::vector<std::string>{"Patch c.gob already exists. Overwrite?",
                                             "Patch a.gob already exists. Overwrite?",
                                             "Patch b.gob already exists. Overwrite?"}));
  EXPECT_EQ(redraws.Count, 1);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(Form()->CurrentApp()->Patches[0]->Files[0], "a.gob.new");
}

TEST_F(Patches, AZipAndAGobChosenTogetherAreBothInstalled) {
  TTempDir outside;
  game.WritePatch(outside.Path() + "/single.gob", {"s.mat"});
  MakeHostDirs(outside.Path() + "/pack");
  game.WritePatch(outside.Path() + "/pack/zipped1.gob", {"z1.mat"});
  game.WritePatch(outside.Path() + "/pack/zipped2.gob", {"z2.mat"});
  WriteHostFile(outside.Path() + "/pack/readme.txt", "hello");
  ASSERT_EQ(std::system(("cd '" + outside.Path() + "' && zip -qr pack.zip pack").c_str()), 0);
  auto win = [](const std::string& host) { return winfs::ToWindowsPath(host).value(); };
  dialogs.AnswerFiles({win(outside.Path() + "/single.gob"), win(outside.Path() + "/pack.zip")});
  Trigger("AddPatch1");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "b", "c", "single", "zipped1", "zipped2"}));
  // A dropped ZIP and GOB together, in the drop's order.
  game.WritePatch(outside.Path() + "/other.gob", {"o.mat"});
  ASSERT_EQ(std::system(("cd '" + outside.Path() +
                         "' && mv pack/zipped1.gob pack/zipped3.gob && "
                         "rm pack.zip && zip -qr pack.zip pack/zipped3.gob")
                            .c_str()),
            0);
  Form()->DropControl1Drop({"CF_HDROP"},
                           {win(outside.Path() + "/pack.zip"), win(outside.Path() + "/other.gob")});
  EXPECT_EQ(Rows().size(), 8u);
}

TEST_F(Patches, AFailureDoesNotEndTheSelectionAndIsShownOnce) {
  TTempDir outside;
  auto win = [](const std::string& host) { return winfs::ToWindowsPath(host).value(); };
  game.WritePatch(outside.Path() + "/first.gob", {"f.mat"});
  WriteHostFile(outside.Path() + "/broken.zip", "PK\x03\x04 not really a zip");
  game.WritePatch(outside.Path() + "/after.gob", {"n.mat"});
  dialogs.AnswerFiles({win(outside.Path() + "/first.gob"), win(outside.Path() + "/broken.zip"),
                       win(outside.Path() + "/after.gob")});
  Trigger("AddPatch1");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "after", "b", "c", "first"}));
  ASSERT_EQ(dialogs.Asked().size(), 2u); // the file dialog, then one message
  EXPECT_EQ(dialogs.Asked()[1].Text,
            "Cannot read " + outside.Path() + "/broken.zip: Error 2 reading Zip file");
}

TEST_F(Patches, ABrowserLinkIsDownloadedOverHttpAndInstalled) {
  TTempDir site;
  game.WritePatch(site.Path() + "/web patch.gob", {"w.mat"}, "From the web");
  TNginxServer server(site.Path());
  // A drop as a browser makes it: an http link, offered first as a Mozilla URL.
  const std::string url = server.Url("/web%20patch.gob");
  QMimeData link;
  link.setData("text/x-moz-url", QString::fromStdString(url + "\nWeb patch").toUtf8());
  link.setUrls({QUrl(QString::fromStdString(url))});
  TDrag drag(List()->viewport(), &link, Qt::CopyAction | Qt::LinkAction);
  drag.Enter();
  drag.Drop();
  QApplication::processEvents();
  EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "b", "c", "From the web"}));
  EXPECT_FALSE(HostExists(winfs::ToHostPath(app->Retriever->TempDir) + "/web patch.gob"));
}

TEST_F(Patches, RepositoryButtonShowsAndHidesTheWindow) {
  Form()->CurrentApp()->Repositories.Add("Mine=file:///C:/nothing.html");
  Click("RepositoryButton");
  QWidget* repository = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "RepositoryForm") repository = w;
  ASSERT_TRUE(repository);
  EXPECT_TRUE(repository->isVisible());
  // The window shows the main window's game.
  EXPECT_EQ(repository->findChild<QComboBox*>("RepositoryName")->currentText(), "Mine");
  EXPECT_TRUE(Named<QToolButton>("RepositoryButton")->isChecked());
  EXPECT_EQ(Named<QAction>("PatchRepository1")->text(), "Hide Re&pository Window");
  Trigger("PatchRepository1");
  EXPECT_FALSE(repository->isVisible());
  EXPECT_FALSE(Named<QToolButton>("RepositoryButton")->isChecked());
  EXPECT_EQ(Named<QAction>("PatchRepository1")->text(), "Show Re&pository Window");
}

TEST_F(Patches, RepositoryEntriesDroppedOnTheListAreInstalledThroughTheRepositoryWindow) {
  Click("RepositoryButton");
  // The drag of repository entries is accepted; other in-program drags are not.
  QMimeData entries;
  entries.setData("application/x-dravik-repository-entries", "file:///nothing.gob\n");
  EXPECT_TRUE(Form()->PatchListDragOver(&entries));
  QMimeData other;
  other.setData("application/x-something-else", "x");
  EXPECT_FALSE(Form()->PatchListDragOver(&other));
  TDrag drag(List()->viewport(), &entries, Qt::CopyAction);
  EXPECT_TRUE(drag.Enter().first);
  EXPECT_TRUE(drag.Drop().first);
  QApplication::processEvents(); // the window installs its (empty) selection and refreshes
  EXPECT_EQ(Rows().size(), 3u);
  Trigger("PatchRepository1");
}

// ---------------------------------------------------------------------------------------------
// As players expect it: reachable on any screen, safe keys, a readable list

TEST_F(Patches, EveryWindowThatPlacesItselfFitsTheScreen) {
  // Run at scale 2 as well, where the screen is small for the windows' first sizes.
  auto onScreen = [](QWidget* w) {
    const QRect area = w->screen()->availableGeometry();
    EXPECT_TRUE(area.contains(w->frameGeometry()))
        << w->objectName().toStdString() << " " << w->frameGeometry().x() << ","
        << w->frameGeometry().y() << " " << w->frameGeometry().width() << "x"
        << w->frameGeometry().height() << " on " << area.width() << "x" << area.height();
  };
  onScreen(Form());
  Click("RepositoryButton");
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "RepositoryForm") onScreen(w);
  onScreen(Form());
  Click("RepositoryButton");
  for (const char* opens : {"CreateGOB1", "Properties2"}) {
    WhenModal([&](QWidget* window) {
      onScreen(window);
      window->close();
    });
    Select(0);
    Trigger(opens);
  }
}

TEST_F(Patches, APatchSavedInTheEditorIsListedAsSavedWhicheverWayItWasSaved) {
  // Opened from the store, renamed, saved with Save (the editor stays open), then closed.
  dialogs.AnswerFiles({"C:\\Games\\Halvex\\HXPatch\\a.gob"});
  WhenModal([](QWidget* w) {
    auto* editor = dynamic_cast<TGobberForm*>(w);
    ASSERT_TRUE(editor);
    editor->OpenGOB1Click();
    WhenModal([](QWidget* dialog) {
      auto* properties = dynamic_cast<TGOBPropForm*>(dialog);
      ASSERT_TRUE(properties);
      properties->PatchName->setText("Renamed");
      properties->OKButton->click();
    });
    editor->Properties1Click();
    editor->Save1Click();
    editor->Exit1Click();
  });
  Trigger("CreateGOB1");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"b", "c", "Renamed"}));
}

TEST_F(Patches, TheSelectionStaysOnItsPatch) {
  auto selected = [&] { return Form()->SelectedRow() < 0 ? "" : Cell(Form()->SelectedRow(), 0); };
  Select(Row("c"));
  emit Header()->sectionClicked(1); // by type: b (Level), c (Model), a (Skin)
  EXPECT_EQ(selected(), "c");
  Trigger("Refresh1"); // by name again
  EXPECT_EQ(selected(), "c");
  Trigger("Activate1");
  EXPECT_EQ(selected(), "c");
  // A deleted patch hands the selection to the one after it, or before it at the end; Enter
  // answers No.
  Select(Row("a"));
  dialogs.Answer(mrYes);
  Trigger("RemovePatch1");
  EXPECT_EQ(dialogs.Asked().back().Default, mbNo);
  EXPECT_EQ(selected(), "b");
  Select(Row("c"));
  dialogs.Answer(mrYes);
  Trigger("RemovePatch1");
  EXPECT_EQ(selected(), "b");
}

TEST_F(Patches, CommandsOnAPatchAreOfferedOnlyWithOneSelected) {
  const char* const items[] = {"Activate1", "Activate2",   "RemovePatch1",
                               "Delete1",   "Properties2", "Properties1"};
  const char* const buttons[] = {"ActivateButton", "DeleteButton", "PropertiesButton"};
  for (bool chosen : {false, true}) {
    if (chosen) Select(0);
    for (const char* name : items)
      EXPECT_EQ(Named(name)->isEnabled(), chosen) << name;
    for (const char* name : buttons)
      EXPECT_EQ(Named<QToolButton>(name)->isEnabled(), chosen) << name;
  }
}

TEST_F(Window, HelpThatNothingOpensSaysWhereTheDocumentIs) {
  SetDesktopOpen([](const std::string&) { return false; });
  Start();
  dialogs.Answer(mrOk);
  Trigger("Documentation1");
  ASSERT_EQ(dialogs.Messages().size(), 1u);
  EXPECT_NE(dialogs.Messages()[0].find(fs::canonical(dataFolder.Path()).string() + "/docs.html"),
            std::string::npos)
      << dialogs.Messages()[0];
}

TEST_F(Patches, EveryMenuHasItsOwnAccessKeys) {
  EXPECT_EQ(AccessKeyClashes(Form()).join("; ").toStdString(), "");
}

TEST_F(Window, TheNameColumnFitsTheNamesAndKeepsTheWidthTheUserGivesIt) {
  const QString name = "Heavy Repeater of the Eastern Marches";
  game.WritePatch(game.InactiveHost("heavy.gob"), {"h.mat"}, name.toStdString());
  Start();
  const int fitted = Header()->sectionSize(0);
  EXPECT_GT(fitted, List()->fontMetrics().horizontalAdvance(name));
  Header()->resizeSection(0, fitted / 2); // as a drag does
  Trigger("Refresh1");
  EXPECT_EQ(Header()->sectionSize(0), fitted / 2);
  app.reset(); // saved with the settings
  Start();
  EXPECT_EQ(Header()->sectionSize(0), fitted / 2);
}

TEST_F(Patches, TheStateIsNamedBesideItsPicture) {
  Select(0);
  Trigger("Activate1");
  auto tip = [&](int row) {
    return Model()->index(row, 0).data(Qt::ToolTipRole).toString().toStdString();
  };
  EXPECT_EQ(tip(0), "a\nActive");
  EXPECT_EQ(tip(1), "b\nBlocked by the active patch a");
  EXPECT_EQ(tip(2), "c\nInactive");
}

TEST_F(Patches, PropertiesListTheConflictsWithTheSharedFilesAndTheStatusBarCounts) {
  auto counts = [&] { return Named<QLabel>("PatchCounts")->text().toStdString(); };
  EXPECT_EQ(counts(), "3 patches, 0 active, 0 blocked");
  Select(0);
  Trigger("Activate1");
  EXPECT_EQ(counts(), "3 patches, 1 active, 1 blocked");
  Select(Row("b"));
  WhenModal([](QWidget* w) { w->close(); });
  Trigger("Properties2");
  QTreeWidget* conflicts = app->PropertyForm->ConflictTreeView;
  ASSERT_EQ(conflicts->topLevelItemCount(), 1);
  EXPECT_EQ(conflicts->topLevelItem(0)->text(0), "a");
  ASSERT_EQ(conflicts->topLevelItem(0)->childCount(), 1);
  EXPECT_EQ(conflicts->topLevelItem(0)->child(0)->text(0), "x.mat");
}

TEST_F(Window, TheAddDialogOpensInTheDownloadsThenWherePatchesCameFrom) {
  MakeHostDirs(game.Prefix.HostC("users/Public/Downloads"));
  game.WritePatch(game.Prefix.HostC("mine/m.gob"), {"m.mat"});
  Start();
  auto shown = [&] {
    dialogs.AnswerFiles({});
    Trigger("AddPatch1");
    return dialogs.Asked().back().Dialog.InitialDir;
  };
  EXPECT_EQ(shown(), "C:\\users\\Public\\Downloads\\");
  dialogs.AnswerFiles({"C:\\mine\\m.gob"});
  Trigger("AddPatch1");
  EXPECT_EQ(shown(), "C:\\mine\\");
  app.reset();
  Start();
  EXPECT_EQ(shown(), "C:\\mine\\");
}

TEST_F(Patches, ThePatchNameReadsOnADarkDialog) {
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
  dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
  app->PropertyForm->setPalette(dark);
  Select(0);
  WhenModal([](QWidget* w) { w->close(); });
  Trigger("Properties2");
  const QColor name = app->PropertyForm->NameLabel->palette().color(QPalette::WindowText);
  EXPECT_GE(ContrastRatio(name, dark.color(QPalette::Window)), 4.5) << name.name().toStdString();
}

} // namespace
