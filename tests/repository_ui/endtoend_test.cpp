// From a repository page served by nginx to patches in the game's store: the repository
// window reads the page and has a main window install the selected entries' URLs, which it
// does with an installer downloading through the retriever.
#include "platform/dialogs.h"
#include "platform/html.h"
#include "repository/repositoryform.h"
#include "tests/fixtures/nginxserver.h"
#include "tests/fixtures/scripteddialogs.h"
#include "tests/fixtures/testgame.h"
#include "tests/fixtures/zipmaker.h"
#include "uitest.h"

#include <QToolButton>
#include <gtest/gtest.h>
#include <set>

using namespace dravik;
using namespace dravik::test;

TEST(RepositoryEndToEnd, SelectedPatchesLandInTheStore) {
  NoProxies();
  TTestGame game;
  TTempDir root;
  const std::string pages = root.Path() + "/repo/pages";
  game.WritePatch(pages + "/patches/azure.gob", {"3do\\mat\\azure.mat"}, "Azure Blade",
                  "Type=Saber\r\n");
  game.WritePatch(root.Path() + "/repo/push.gob", {"cog\\push.cog"}, "Long Push", "Type=Force\r\n");
  game.WritePatch(pages + "/cloak.gob", {"3do\\cloak.3do"}, "Night Cloak", "Type=Skin\r\n");
  RunIn(pages, "zip -q cloak.zip cloak.gob && rm cloak.gob");
  game.WritePatch(pages + "/skipped.gob", {"cog\\skip.cog"}, "Skipped");
  WriteHostFile(
      pages + "/index.html",
      "<html><body><p>Test repository</p><table>\n"
      "<tr><td width=\"50%\">Name</td><td width=\"20%\">Type</td><td>Size</td></tr>\n"
      "<tr><td><a href=\"./patches/azure.gob\">Azure Blade</a></td><td>Saber</td>"
      "<td>1 KB</td></tr>\n"
      "<tr><td><a href=\"../push.gob\">Long Push</a></td><td>Force</td><td>1 KB</td></tr>\n"
      "<tr><td><a href=\"cloak.zip\">Night Cloak</a></td><td>Skin</td><td>1 KB</td></tr>\n"
      "<tr><td><a href=\"skipped.gob\">Skipped</a></td><td>Item</td><td>1 KB</td></tr>\n"
      "</table></body></html>\n");
  TNginxServer server(root.Path());

  THXPatchedAppList list;
  list.LoadCatalogue();
  THXPatchedApp* app = list.Items(0);
  app->Repositories.Add("Test=" + server.Url("/repo/pages/index.html"));
  app->OpenStore();
  ASSERT_EQ(app->Patches.Count(), 0);

  TScriptedDialogs dialogs;
  TInstallingMainWindow main(app);

  TRepositoryForm form(nullptr, &main);
  form.show();
  ASSERT_TRUE(WaitFor([&] { return !HtmlOf(form)->Busy(); }));
  ASSERT_EQ(EntryCount(form), 4);
  EXPECT_EQ(HtmlOf(form)->ErrorText(), "");
  std::vector<int> rows;
  const std::vector<std::string> captions = ColumnTexts(form);
  for (int i = 0; i < int(captions.size()); ++i)
    if (captions[size_t(i)] != "Skipped") rows.push_back(i);
  ListOf(form)->SelectRows(rows);
  Named<QToolButton>(form, "InstallButton")->click();

  EXPECT_EQ(main.Downloads(), (std::vector<std::string>{
                                  server.Url("/repo/pages/patches/azure.gob"),
                                  server.Url("/repo/push.gob"),
                                  server.Url("/repo/pages/cloak.zip"),
                              }));
  ASSERT_EQ(main.Messages.size(), 5u); // shown, three downloads, one refresh
  EXPECT_EQ(main.Messages.back().Message, WM_REFRESH);
  EXPECT_TRUE(dialogs.Asked().empty()) << dialogs.Messages().front();
  EXPECT_EQ(TTestGame::FolderFiles(game.InactiveHost()),
            (std::vector<std::string>{"azure.gob", "cloak.gob", "push.gob"}));
  std::set<std::string> names;
  for (int i = 0; i < app->Patches.Count(); ++i)
    names.insert(app->Patches[i]->Name);
  EXPECT_EQ(names, (std::set<std::string>{"Azure Blade", "Long Push", "Night Cloak"}));
  const std::string log = server.AccessLog();
  EXPECT_EQ(log.find("skipped.gob"), std::string::npos);
  EXPECT_NE(log.find("GET /repo/pages/index.html"), std::string::npos);
}
