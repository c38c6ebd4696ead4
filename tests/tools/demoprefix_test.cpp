#include "catalogue/catalogue.h"
#include "net/urlparser.h"
#include "patches/installer.h"
#include "patches/patchedapp.h"
#include "patches/zipmaster.h"
#include "platform/dialogs.h"
#include "platform/htmlparser.h"
#include "platform/prefix.h"
#include "platform/registry.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"
#include "repository/reader.h"
#include "tests/fixtures/scripteddialogs.h"
#include "tests/fixtures/tempprefix.h"
#include "tests/fixtures/zipmaker.h"
#include "tools/demoprefix.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace dravik;
using namespace dravik::test;
namespace fs = std::filesystem;

namespace {

class DemoPrefix : public ::testing::Test {
protected:
  void SetUp() override {
    Root = Dir.Path() + "/demo";
    Result = MakeDemoPrefix(Root, DRAVIK_STAND_IN_GAME);
  }
  void TearDown() override { SetWinePrefix(""); }

  std::string Host(const std::string& rel) const { return Root + "/drive_c/" + rel; }

  // The game at catalogue position `index`, its store read.
  THXPatchedApp* OpenGame(THXPatchedAppList& list, int index) {
    list.LoadCatalogue();
    EXPECT_EQ(list.Count(), 2);
    if (list.Count() <= index) return nullptr;
    THXPatchedApp* game = list.Items(index);
    game->OpenStore();
    return game;
  }

  static std::map<std::string, TPatch*> ByName(THXPatchedApp* game) {
    std::map<std::string, TPatch*> patches;
    for (int i = 0; i < game->Patches.Count(); ++i)
      patches[game->Patches[i]->Name] = game->Patches[i];
    return patches;
  }

  TTempDir Dir;
  std::string Root;
  TDemoPrefixResult Result;
};

} // namespace

TEST_F(DemoPrefix, CatalogueAndRegistrationsWhereTheProgramReadsThem) {
  EXPECT_FALSE(Result.Refreshed);
  THXPatchedAppList list;
  list.LoadCatalogue();
  ASSERT_EQ(list.Count(), 2);
  const char* names[] = {"Halvex", "Morvane"};
  const char* folders[] = {"C:\\Games\\Halvex\\", "C:\\Games\\Morvane\\"};
  const char* exes[] = {"halvex.exe", "morvane.exe"};
  for (int i = 0; i < 2; ++i) {
    THXPatchedApp* game = list.Items(i);
    EXPECT_EQ(game->AppName, names[i]);
    EXPECT_EQ(game->Number, i);
    EXPECT_EQ(game->PatchFilter, "*.gob");
    EXPECT_FALSE(game->DirectPlayDemoName.empty()); // an empty one would match any prefix
    EXPECT_TRUE(game->IsInstalled());
    EXPECT_EQ(game->GetDirectPlayValue(0), folders[i]);
    EXPECT_EQ(game->GetDirectPlayValue(1), exes[i]);
    EXPECT_EQ(game->GetDirectPlayValue(2), "");
    EXPECT_EQ(game->Icon, CatalogueGames()[size_t(i)].Icon);
    ASSERT_GT(game->Icon.size(), 6u);
    EXPECT_EQ(std::vector<uint8_t>(game->Icon.begin(), game->Icon.begin() + 4),
              (std::vector<uint8_t>{0, 0, 1, 0}));
    const std::string folder = i == 0 ? "halvex" : "morvane";
    EXPECT_EQ(game->Repositories.Lines(),
              (std::vector<std::string>{
                  "Dravik Demo Repository=file:///C:/Repository/" + folder + "/index.html",
                  "Dravik Demo Sabers=file:///C:/Repository/" + folder + "/lists/sabers.html"}));
  }
  EXPECT_NE(list.Items(0)->Icon, list.Items(1)->Icon);

  // A 64-bit hive with the keys where a 32-bit installer's writes land; the repositories key is
  // there so that the repository list editor can save into it.
  std::string hive = ReadHostFile(Root + "/system.reg");
  EXPECT_EQ(hive.rfind("WINE REGISTRY Version 2\n", 0), 0u);
  EXPECT_NE(hive.find("\n#arch=win64\n"), std::string::npos);
  EXPECT_NE(hive.find("[Software\\\\Wow6432Node\\\\Orlemont\\\\HXPatch\\\\Applications\\\\1]"),
            std::string::npos);
  EXPECT_EQ(hive.find("[Software\\\\Orlemont"), std::string::npos);
  TRegistry reg(HKEY_LOCAL_MACHINE);
  EXPECT_TRUE(reg.OpenKeyReadOnly("\\SOFTWARE\\Orlemont\\HXPatch\\Applications\\0\\Repositories"));
  EXPECT_TRUE(reg.OpenKeyReadOnly("\\SOFTWARE\\Orlemont\\HXPatch\\Applications\\1\\Repositories"));
}

TEST_F(DemoPrefix, SamplePatchesConflictAsDesigned) {
  THXPatchedAppList list;
  THXPatchedApp* halvex = OpenGame(list, 0);
  ASSERT_TRUE(halvex);
  ASSERT_EQ(halvex->Patches.Count(), 8);
  auto patches = ByName(halvex);
  const std::set<std::string> types = {"Item", "Force", "Saber", "Skin", "Weapon"};
  std::set<std::string> active;
  for (auto& [name, patch] : patches) {
    EXPECT_TRUE(types.count(patch->Info.Values("Type"))) << name;
    EXPECT_FALSE(patch->Info.Values("Description").empty()) << name;
    EXPECT_FALSE(patch->Info.Values("Author").empty()) << name;
    EXPECT_GE(patch->Files.Count(), 1) << name;
    if (patch->Active) active.insert(name);
    // The store is consistent: no two active patches conflict.
    if (patch->Active) {
      for (TPatch* other : patch->Conflicts)
        EXPECT_FALSE(other->Active) << name << " and " << other->Name;
    }
  }
  EXPECT_EQ(active,
            (std::set<std::string>{"Azure Saber Blade", "Field Medkit", "Force Push Plus"}));
  // Blocked by the active blade.
  EXPECT_EQ(patches["Crimson Saber Blade"]->State(), psConflicting);
  EXPECT_EQ(patches["Crimson Saber Blade"]->ConflictText({psActive}), "Azure Saber Blade");
  // Two skins that conflict with each other, both off.
  EXPECT_EQ(patches["Hooded Cloak"]->ConflictText(TPatchStates::All()), "Night Stalker");
  EXPECT_EQ(patches["Hooded Cloak"]->State(), psInactive);
  EXPECT_TRUE(patches["Swift Run"]->Conflicts.empty());

  // Switching the crimson blade on switches the azure one off.
  halvex->ToggleActive(halvex->Patches.IndexOf(patches["Crimson Saber Blade"]));
  EXPECT_TRUE(HostExists(Host("Games/Halvex/HXPatch/active/crimsonblade.gob")));
  EXPECT_TRUE(HostExists(Host("Games/Halvex/HXPatch/azureblade.gob")));

  THXPatchedApp* morvane = list.Items(1);
  morvane->OpenStore();
  auto mpatches = ByName(morvane);
  ASSERT_EQ(mpatches.size(), 4u);
  EXPECT_EQ(mpatches["Ember Blade"]->State(), psConflicting);
  EXPECT_EQ(mpatches["Frost Blade"]->State(), psActive);
  EXPECT_EQ(mpatches["Wanderer"]->State(), psActive);
  EXPECT_EQ(mpatches["Quick Draw"]->State(), psInactive);
}

TEST_F(DemoPrefix, DownloadsAreReadyToAdd) {
  for (const char* game : {"Halvex", "Morvane"})
    EXPECT_TRUE(fs::is_directory(Host(std::string("Games/") + game + "/episode"))) << game;
  THXPatchedAppList list;
  THXPatchedApp* halvex = OpenGame(list, 0);
  ASSERT_TRUE(halvex);
  TScriptedDialogs dialogs;
  const std::string downloads = kDemoDownloads;

  // The episode goes to the game's episode folder after the question.
  TInstaller installer(*halvex, nullptr);
  dialogs.Answer(mrOk);
  installer.InstallFiles({downloads + "cavernrun.gob"});
  EXPECT_TRUE(HostExists(Host("Games/Halvex/episode/cavernrun.gob")));
  ASSERT_EQ(dialogs.Asked().size(), 1u);
  EXPECT_NE(dialogs.Asked()[0].Text.find("episode"), std::string::npos);

  // The ZIP archive brings two patches (its read-me is left out), one of them blocked by the
  // active blade; the loose patch is one more.
  EXPECT_EQ(FailureMessage(installer.InstallFiles(
                {downloads + "saberpack.zip", downloads + "stormcaller.gob"})),
            "");
  EXPECT_EQ(dialogs.Asked().size(), 1u);
  EXPECT_TRUE(dialogs.AllAnswered());
  EXPECT_EQ(halvex->Patches.Count(), 11);
  auto patches = ByName(halvex);
  ASSERT_TRUE(patches.count("Golden Saber Blade"));
  EXPECT_EQ(patches["Golden Saber Blade"]->State(), psConflicting);
  EXPECT_TRUE(patches.count("Deep Saber Hum"));
  EXPECT_TRUE(patches.count("Storm Caller"));
  EXPECT_FALSE(patches.count("Cavern Run"));
  EXPECT_FALSE(HostExists(Host("Games/Halvex/HXPatch/readme.txt")));
}

TEST_F(DemoPrefix, ZipArchiveIsSoundForOtherReaders) {
  const std::string zip = Host("users/Public/Downloads/saberpack.zip");
  RunIn(Dir.Path(), "unzip -tq '" + zip + "' >/dev/null");
  TZipMaster master;
  master.SetZipFilename(std::string(kDemoDownloads) + "saberpack.zip");
  std::vector<std::string> names;
  for (const TZipDirEntry& e : master.Contents())
    names.push_back(e.FileName);
  EXPECT_EQ(names, (std::vector<std::string>{"Saber Pack/goldenblade.gob",
                                             "Saber Pack/saberhum.gob", "Saber Pack/readme.txt"}));
}

TEST_F(DemoPrefix, GamesAreCopiesOfTheStandInProgram) {
  const std::string original = ReadHostFile(DRAVIK_STAND_IN_GAME);
  for (const char* exe : {"Games/Halvex/halvex.exe", "Games/Morvane/morvane.exe"}) {
    EXPECT_EQ(ReadHostFile(Host(exe)), original) << exe;
    auto perms = fs::status(Host(exe)).permissions();
    EXPECT_NE(perms & fs::perms::owner_exec, fs::perms::none) << exe;
  }
  EXPECT_EQ(fs::read_symlink(Root + "/dosdevices/c:"), "../drive_c");
  EXPECT_EQ(fs::read_symlink(Root + "/dosdevices/z:"), "/");
}

TEST_F(DemoPrefix, RunningAgainKeepsThePlayersChanges) {
  // The player switches the crimson blade on (the azure one goes off), installs a patch of
  // their own, deletes a sample, and something damages a catalogue value.
  fs::rename(Host("Games/Halvex/HXPatch/active/azureblade.gob"),
             Host("Games/Halvex/HXPatch/azureblade.gob"));
  fs::rename(Host("Games/Halvex/HXPatch/crimsonblade.gob"),
             Host("Games/Halvex/HXPatch/active/crimsonblade.gob"));
  WriteHostFile(Host("Games/Halvex/HXPatch/mine.gob"),
                ReadHostFile(Host("Games/Halvex/HXPatch/swiftrun.gob")));
  fs::remove(Host("Games/Halvex/HXPatch/heavyrepeater.gob"));
  fs::remove(Host("users/Public/Downloads/saberpack.zip"));
  {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Orlemont\\HXPatch\\Applications\\0", false));
    reg.WriteString("AppName", "Broken");
  }

  TDemoPrefixResult again = MakeDemoPrefix(Root, DRAVIK_STAND_IN_GAME);
  EXPECT_TRUE(again.Refreshed);
  EXPECT_TRUE(HostExists(Host("Games/Halvex/HXPatch/active/crimsonblade.gob")));
  EXPECT_FALSE(HostExists(Host("Games/Halvex/HXPatch/crimsonblade.gob")));
  EXPECT_TRUE(HostExists(Host("Games/Halvex/HXPatch/azureblade.gob")));
  EXPECT_FALSE(HostExists(Host("Games/Halvex/HXPatch/active/azureblade.gob")));
  EXPECT_TRUE(HostExists(Host("Games/Halvex/HXPatch/mine.gob")));
  EXPECT_TRUE(HostExists(Host("Games/Halvex/HXPatch/heavyrepeater.gob"))); // put back
  EXPECT_TRUE(HostExists(Host("users/Public/Downloads/saberpack.zip")));

  THXPatchedAppList list;
  list.LoadCatalogue();
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Items(0)->AppName, "Halvex");
}

namespace {

// The page reader of the repository window, on a page read whole.
class TPageReader : public TRepositoryReader {
public:
  explicit TPageReader(const std::string& html) {
    ResetForPage();
    BeginRetrieval(0);
    THTMLPushParser parser([this](const THTMLElement& e) {
      bool enable = true;
      DoNewElement(e.Type, e.EndTag, e.Attributes, e.Text, enable);
      if (enable) Shown.Add(e);
    });
    parser.Feed(html);
    parser.Finish();
    ParseComplete();
  }
  THTMLRebuilder Shown;

protected:
  int ListUsableWidth() const override { return 500; }
  void ListBeginUpdate() override {}
  void ListEndUpdate() override {}
  void OpenInBrowser(const std::string&) override {}
  std::string PageURL() const override { return ""; }
  void StatusCancelClicked() override {}
};

// The Windows path a "file:///C:/..." URL names.
std::string FileOfURL(const std::string& url) {
  std::string path = url.substr(std::string("file:///").size());
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

} // namespace

TEST_F(DemoPrefix, RepositoriesListTheirPatchesWithWorkingLinks) {
  THXPatchedAppList list;
  THXPatchedApp* halvex = OpenGame(list, 0);
  ASSERT_TRUE(halvex);
  const int before = halvex->Patches.Count();
  TScriptedDialogs dialogs;
  TURLParser parser;
  const std::string page = halvex->Repositories.Values("Dravik Demo Repository");
  TPageReader reader(ReadHostFile(Host("Repository/halvex/index.html")));
  ASSERT_EQ(reader.Entries.ColumnCount(), 5);
  std::vector<std::string> columns;
  double shares = 0;
  for (int c = 0; c < 5; ++c) {
    columns.push_back(Trim(reader.Entries.Column(c).Caption));
    shares += reader.ColumnFractions[size_t(c)];
  }
  EXPECT_EQ(columns, (std::vector<std::string>{"Name", "Type", "Size", "Date", "Description"}));
  EXPECT_DOUBLE_EQ(shares, 1.0);
  ASSERT_EQ(reader.Entries.Count(), 7);
  std::multiset<int> icons;
  for (int i = 0; i < reader.Entries.Count(); ++i) {
    const TRepositoryEntry& entry = reader.Entries[i];
    icons.insert(entry.ImageIndex);
    EXPECT_TRUE(ISODateDays(entry.SubItems[2])) << entry.Caption;
    const std::string url = ResolveLink(parser, page, entry.Link());
    ASSERT_TRUE(winfs::FileExists(FileOfURL(url))) << url;
    TInstaller(*halvex, nullptr).InstallFiles({FileOfURL(url)});
  }
  // Two blades and the pack (sabers), a Force, an Item and a Skin patch, one of no category.
  EXPECT_EQ(icons, (std::multiset<int>{0, 1, 2, 2, 2, 3, 4}));
  EXPECT_TRUE(dialogs.Asked().empty());
  EXPECT_EQ(halvex->Patches.Count(), before + 8); // the pack holds two
  // The greeting is what the window's pane shows.
  EXPECT_NE(reader.Shown.Html().find("Dravik Demo Repository"), std::string::npos);
  EXPECT_EQ(reader.Shown.Html().find("Twin Suns"), std::string::npos);

  // The sabers page, one folder down, links to the same files.
  const std::string sabersPage = halvex->Repositories.Values("Dravik Demo Sabers");
  TPageReader sabers(ReadHostFile(Host("Repository/halvex/lists/sabers.html")));
  ASSERT_EQ(sabers.Entries.Count(), 3);
  for (int i = 0; i < sabers.Entries.Count(); ++i) {
    EXPECT_EQ(sabers.Entries[i].ImageIndex, 2);
    const std::string url = ResolveLink(parser, sabersPage, sabers.Entries[i].Link());
    EXPECT_EQ(url.find("/lists/"), std::string::npos) << url;
    EXPECT_TRUE(winfs::FileExists(FileOfURL(url))) << url;
  }

  // Morvane's repository has Morvane's patches.
  THXPatchedApp* morvane = list.Items(1);
  TPageReader other(ReadHostFile(Host("Repository/morvane/index.html")));
  EXPECT_EQ(other.Entries.Count(), 4);
  EXPECT_EQ(morvane->Repositories.Values("Dravik Demo Repository"),
            "file:///C:/Repository/morvane/index.html");
}

TEST_F(DemoPrefix, RunningAgainKeepsThePlayersRepositories) {
  {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Orlemont\\HXPatch\\Applications\\0\\Repositories", false));
    reg.WriteString("Dravik Demo Repository", "http://127.0.0.1/mine/");
    reg.DeleteValue("Dravik Demo Sabers");
    reg.WriteString("Mine", "http://127.0.0.1/other/");
  }
  fs::remove(Host("Repository/halvex/patches/twinsuns.gob"));
  fs::remove(Host("Repository/halvex/index.html"));
  MakeDemoPrefix(Root, DRAVIK_STAND_IN_GAME);
  THXPatchedAppList list;
  list.LoadCatalogue();
  const TStringList& lines = list.Items(0)->Repositories;
  EXPECT_EQ(lines.Values("Dravik Demo Repository"), "http://127.0.0.1/mine/");
  EXPECT_EQ(lines.Values("Mine"), "http://127.0.0.1/other/");
  EXPECT_EQ(lines.Values("Dravik Demo Sabers"), "file:///C:/Repository/halvex/lists/sabers.html");
  EXPECT_TRUE(HostExists(Host("Repository/halvex/patches/twinsuns.gob")));
  EXPECT_TRUE(HostExists(Host("Repository/halvex/index.html")));
}

TEST(DemoPrefixFolder, RefusesAFolderThatIsNotADemoPrefix) {
  TTempDir dir;
  WriteHostFile(dir.Path() + "/notes.txt", "mine");
  EXPECT_THROW(MakeDemoPrefix(dir.Path(), DRAVIK_STAND_IN_GAME), Exception);
  EXPECT_EQ(ReadHostFile(dir.Path() + "/notes.txt"), "mine");
  EXPECT_FALSE(HostExists(dir.Path() + "/system.reg"));
  EXPECT_FALSE(HostExists(dir.Path() + "/dosdevices"));
  SetWinePrefix("");
}

TEST(DemoPrefixFolder, CommandLine) {
  TTempDir dir;
  const std::string tool = std::string("'") + DRAVIK_DEMO_PREFIX + "'";
  RunIn(dir.Path(), tool + " new/prefix > made.txt");
  EXPECT_NE(ReadHostFile(dir.Path() + "/made.txt").find("Made the demo prefix"), std::string::npos);
  EXPECT_TRUE(HostExists(dir.Path() + "/new/prefix/drive_c/Games/Halvex/halvex.exe"));
  RunIn(dir.Path(), tool + " new/prefix > again.txt");
  EXPECT_NE(ReadHostFile(dir.Path() + "/again.txt").find("Refreshed the demo prefix"),
            std::string::npos);
  EXPECT_THROW(RunIn(dir.Path(), tool + " . 2>/dev/null"), std::runtime_error); // not empty
  EXPECT_THROW(RunIn(dir.Path(), tool + " 2>/dev/null"), std::runtime_error);   // no folder

  RunIn(dir.Path(), tool + " --catalogue-reg out.reg > /dev/null");
  EXPECT_EQ(ReadHostFile(dir.Path() + "/out.reg"), CatalogueRegText());
}
