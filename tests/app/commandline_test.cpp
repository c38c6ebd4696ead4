// The command line: switches, files and links to install, and what is neither; and files and
// links handed over by later starts, installed by the running window.
#include "app/application.h"
#include "app/commandline.h"
#include "app/patchform.h"
#include "platform/instance.h"
#include "tests/fixtures/scripteddialogs.h"
#include "tests/fixtures/testgame.h"
#include "tests/qtmain/eventloop.h"
#include "tests/qtmain/modal.h"

#include <QDialog>
#include <filesystem>
#include <gtest/gtest.h>

using namespace dravik;
using namespace dravik::test;
namespace fs = std::filesystem;

namespace {

using TStrings = std::vector<std::string>;

TEST(CommandLine, SwitchesFilesLinksAndTheRest) {
  TTempDir folder;
  WriteHostFile(folder.Path() + "/x.gob", "GOB ");
  WriteHostFile(folder.Path() + "/two words.zip", "PK");
  const fs::path old = fs::current_path();
  fs::current_path(folder.Path());
  const TCommandLine c = ParseCommandLine(
      {"-QuickStart", "x.gob", "-mrvnx", "HTTPS://h.example/a.gob",
       "file://" + folder.Path() + "/two%20words.zip", "file:///C:/Patches/b.gob",
       "ftp://h.example/c.zip", "missing.gob", "mailto:a@h.example", ".", "-mrvn", ""});
  fs::current_path(old);
  EXPECT_TRUE(c.QuickStart);
  EXPECT_TRUE(c.Morvane);
  // Files by their absolute paths, a file URL of a local file as its path, other links as given.
  EXPECT_EQ(c.Items, (TStrings{folder.Path() + "/x.gob", "HTTPS://h.example/a.gob",
                               folder.Path() + "/two words.zip", "file:///C:/Patches/b.gob",
                               "ftp://h.example/c.zip"}));
  EXPECT_EQ(c.Unknown, (TStrings{"-mrvnx", "missing.gob", "mailto:a@h.example", ".", ""}));
  EXPECT_EQ(c.Resolved[1], folder.Path() + "/x.gob");
  EXPECT_EQ(ParseCommandLine(c.Resolved).Items, c.Items);
  EXPECT_FALSE(c.Set);
  // "-set" takes the next argument, whatever it looks like; alone at the end, an empty name.
  const TCommandLine set = ParseCommandLine({"-SET", "-mrvn", "x.gob", "-set"});
  EXPECT_EQ(set.Set, "");
  EXPECT_FALSE(set.Morvane);
  EXPECT_EQ(ParseCommandLine({"-set", "Duel Night", "-mrvn"}).Set, "Duel Night");
  EXPECT_EQ(ParseCommandLine({"-set", "Duel Night"}).Resolved, (TStrings{"-set", "Duel Night"}));
  EXPECT_EQ(UnknownArgumentsMessage({"-x", "y z"}),
            "\"-x\" is neither a switch, an existing file nor a link.\r\n"
            "\"y z\" is neither a switch, an existing file nor a link.");
}

// Files of the command line install once the window shows, as a drop would; what no drive of
// the prefix reaches fails, and what is neither a file nor a link is named. Files handed over
// while a dialog is open wait for it.
TEST(CommandLine, TheWindowInstallsWhatTheCommandLinesName) {
  TTestGame game;
  fs::remove(game.Prefix.Path() + "/dosdevices/z:");
  TTempDir outside;
  game.WritePatch(game.Prefix.HostC("Downloads/a.gob"), {"a.mat"});
  game.WritePatch(game.Prefix.HostC("Downloads/c.gob"), {"c.mat"});
  game.WritePatch(outside.Path() + "/b.gob", {"b.mat"});
  TScriptedDialogs dialogs;
  dialogs.Answer(mrOk);
  auto app = std::make_unique<TApplication>();
  app->CreateForms(
      {game.Prefix.HostC("Downloads/a.gob"), "nothing-here", outside.Path() + "/b.gob"});
  TPatchForm* form = app->PatchForm.get();
  form->show();
  ASSERT_TRUE(WaitFor([&] { return dialogs.Messages().size() == 2; }));
  EXPECT_EQ(TTestGame::FolderFiles(game.InactiveHost()), TStrings{"a.gob"});
  EXPECT_EQ(dialogs.Messages(),
            (TStrings{"\"nothing-here\" is neither a switch, an existing file nor a link.",
                      "Cannot install " + outside.Path() +
                          "/b.gob: no drive of the Wine prefix leads to it"}));

  bool installedWhileOpen = true;
  WhenModal([&](QWidget* modal) {
    form->ReceiveArguments({{game.Prefix.HostC("Downloads/c.gob")}, {}, std::nullopt});
    for (int i = 0; i < 5; ++i) // what is queued runs; what waits for the dialog does not
      QCoreApplication::processEvents();
    installedWhileOpen = HostExists(game.InactiveHost("c.gob"));
    modal->close();
  });
  QDialog().exec();
  EXPECT_FALSE(installedWhileOpen);
  EXPECT_TRUE(WaitFor([&] { return HostExists(game.InactiveHost("c.gob")); }));
  app.reset();
}

} // namespace
