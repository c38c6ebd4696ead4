// The plain logic behind the main window and its dialogs: launch parameters, the program's
// settings, the debug report, the properties view and the ordering by column.
#include "app/debugreport.h"
#include "app/launch.h"
#include "app/patchorder.h"
#include "app/patchproperties.h"
#include "app/settings.h"
#include "patches/patchedapp.h"
#include "platform/addresses.h"
#include "platform/datadir.h"
#include "platform/registry.h"
#include "platform/sysutils.h"
#include "tests/fixtures/fakewineserver.h"
#include "tests/fixtures/testgame.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace dravik;
using namespace dravik::test;
namespace fs = std::filesystem;

namespace {

TEST(GameParameters, SwitchesInIndexOrderThenCustomText) {
  EXPECT_EQ(GameParameters({}, ""), " -path HXPatch\\active\\");
  EXPECT_EQ(GameParameters({1, 0, 0, 1, 0}, "+debug"),
            " -path HXPatch\\active\\ -framerate -devmode +debug");
  EXPECT_EQ(GameParameters({1, 1, 1, 1, 1}, ""),
            " -path HXPatch\\active\\ -framerate -displayconfig -dispstats -devmode -windowgui");
  // Any non-zero byte is on; blanks alone are a custom text.
  EXPECT_EQ(GameParameters({0, 0, 7, 0, 0}, "  "), " -path HXPatch\\active\\ -dispstats   ");
  EXPECT_EQ(ZoneCommandLine(), "-path HXPatch\\active\\");
}

class Settings : public ::testing::Test {
protected:
  TTempPrefix prefix;
  static std::string UserHive(const TTempPrefix& p) { return ReadHostFile(p.Path() + "/user.reg"); }
};

TEST_F(Settings, FirstRunCreatesTheKeyAndSaveWritesAllFourValues) {
  EXPECT_EQ(ReadLastGame(), "");
  EXPECT_FALSE(HostExists(prefix.Path() + "/user.reg")); // reading "LastGame" creates nothing

  TOptionFlags flags{};
  std::string custom;
  bool active = true;
  LoadProgramSettings(flags, custom, active);
  EXPECT_EQ(flags, TOptionFlags{});
  EXPECT_EQ(custom, "");
  EXPECT_TRUE(active);
  TRegistry reg(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Orlemont\\HXPatch", false));
  TStringList names;
  reg.GetValueNames(names);
  EXPECT_TRUE(names.Empty());
  reg.CloseKey();

  const std::string game = "Halvex";
  SaveProgramSettings({1, 0, 0, 1, 0}, "+debug", &game, false);
  ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Orlemont\\HXPatch", false));
  reg.GetValueNames(names);
  names.Sort();
  EXPECT_EQ(names.Lines(), (std::vector<std::string>{"ActiveConflicts", "CommandLine",
                                                     "CustomOptions", "LastGame"}));
  EXPECT_EQ(reg.ReadBinary("CommandLine"), (std::vector<uint8_t>{1, 0, 0, 1, 0}));
  EXPECT_EQ(reg.GetDataType("ActiveConflicts"), TRegDataType::rdInteger);
  EXPECT_EQ(reg.ReadInteger("ActiveConflicts"), 0);
  reg.CloseKey();
  EXPECT_EQ(ReadLastGame(), "Halvex");

  flags = {};
  active = true;
  LoadProgramSettings(flags, custom, active);
  EXPECT_EQ(flags, (TOptionFlags{1, 0, 0, 1, 0}));
  EXPECT_EQ(custom, "+debug");
  EXPECT_FALSE(active);

  // Without a game to name, "LastGame" keeps what it had.
  SaveProgramSettings({}, "", nullptr, true);
  EXPECT_EQ(ReadLastGame(), "Halvex");
}

TEST_F(Settings, FirstRunWhileWineRunsReadsDefaultsAndTheSaveIsRefused) {
  {
    TRegistry reg(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey("Software\\Wine", true)); // Wine's own keys, not ours
  }
  const std::string before = UserHive(prefix);
  TFakeWineServer wine(prefix.Path());
  ASSERT_TRUE(wine.Running());
  TOptionFlags flags{};
  std::string custom;
  bool active = true;
  EXPECT_NO_THROW(LoadProgramSettings(flags, custom, active));
  EXPECT_EQ(flags, TOptionFlags{});
  EXPECT_EQ(custom, "");
  EXPECT_TRUE(active);
  const std::string game = "Morvane";
  EXPECT_THROW(SaveProgramSettings({1, 0, 0, 0, 0}, "", &game, true), ERegistryException);
  EXPECT_EQ(UserHive(prefix), before);
}

TEST_F(Settings, ShortAndBadlyTypedValues) {
  TRegistry reg(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Orlemont\\HXPatch", true));
  const uint8_t two[] = {5, 0};
  reg.WriteBinaryData("CommandLine", two, 2);
  reg.WriteInteger("CustomOptions", 3);
  reg.WriteInteger("LastGame", 1);
  reg.CloseKey();

  // A short "CommandLine" sets only its leading flags; a "CustomOptions" of the wrong type fails
  // after it, and the values after that are not read.
  TOptionFlags flags{0, 1, 1, 1, 1};
  std::string custom = "kept";
  bool active = true;
  try {
    LoadProgramSettings(flags, custom, active);
    FAIL() << "no error";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), "Invalid data type for 'CustomOptions'");
  }
  EXPECT_EQ(flags, (TOptionFlags{5, 0, 1, 1, 1}));
  EXPECT_EQ(custom, "kept");
  // A damaged "LastGame" reads as none.
  EXPECT_EQ(ReadLastGame(), "");

  ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Orlemont\\HXPatch", true));
  const uint8_t six[] = {1, 1, 1, 1, 1, 1};
  reg.WriteBinaryData("CommandLine", six, 6);
  reg.CloseKey();
  try {
    LoadProgramSettings(flags, custom, active);
    FAIL() << "no error";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), "Invalid data type for 'CommandLine'");
  }
}

class DebugReport : public ::testing::Test {
protected:
  TTestGame game;
  THXPatchedAppList apps;
  void SetUp() override { apps.LoadCatalogue(); }
};

TEST_F(DebugReport, LinesForAnInstalledGame) {
  WriteHostFile(game.GameHost() + "/halvex.exe", "MZ");
  EXPECT_EQ(
      DebugReportLines(apps.Items(0), GameParameters({}, "")),
      (std::vector<std::string>{"Path: C:\\Games\\Halvex\\", "Path exists.",
                                "Patch path: C:\\Games\\Halvex\\HXPatch\\",
                                "Active path: C:\\Games\\Halvex\\HXPatch\\active\\",
                                "Command Line:  -path HXPatch\\active\\", "halvex.exe exists.", "",
                                "Installed DirectPlay Applications:", "Halvex", "Morvane"}));
}

TEST_F(DebugReport, LinesForAGameWhoseFolderWasDeleted) {
  fs::remove_all(game.Prefix.HostC("Games/Morvane"));
  std::vector<std::string> lines = DebugReportLines(apps.Items(1), " -path HXPatch\\active\\");
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[0], "Path: C:\\Games\\Morvane\\");
  EXPECT_EQ(lines[1], "Path doesn't exist!");
  EXPECT_EQ(lines[5], "morvane.exe doesn't exist!");
}

TEST(DebugReportNoGame, EmptyValuesAndNoApplicationsKey) {
  TTempPrefix prefix;
  EXPECT_EQ(DebugReportLines(nullptr, ""),
            (std::vector<std::string>{"Path: ", "Path exists.", "Patch path: HXPatch\\",
                                      "Active path: HXPatch\\active\\",
                                      "Command Line: ", " doesn't exist!"}));
}

TEST(PatchProperties, RowsLeaveOutNameAndDescription) {
  TPatch patch;
  patch.Info.SetText("Description=d\r\nFile Name=x.gob\r\nName=X\r\nType=Skin\r\nname=lower\r\n"
                     "Author=me\r\nAuthor=second");
  patch.Info.Sort();
  std::vector<std::pair<std::string, std::string>> rows;
  for (const TPropertyRow& r : PropertyRows(patch))
    rows.push_back({r.Key, r.Value});
  // Only the exact keys are left out; a key shows the value of its first line, letter case
  // ignored ("name=lower" sorts before "Name=X").
  EXPECT_EQ(rows, (std::vector<std::pair<std::string, std::string>>{{"Author", "me"},
                                                                    {"Author", "me"},
                                                                    {"File Name", "x.gob"},
                                                                    {"name", "lower"},
                                                                    {"Type", "Skin"}}));
}

// "caption(children...)" for a tree; files plain, folders with parentheses.
std::string Shape(const TFileTreeNode& node) {
  std::string s = node.Caption;
  if (!node.Folder) return s;
  s += "(";
  for (size_t i = 0; i < node.Children.size(); ++i)
    s += (i ? "," : "") + Shape(node.Children[i]);
  return s + ")";
}

TEST(PatchProperties, FoldersMadeLaterStandFirstAndFilesKeepTheirOrder) {
  EXPECT_EQ(Shape(BuildFileTree({"3do\\a.3do", "3do\\mat\\b.mat", "cog\\c.cog", "d.uni"})),
            "\\(cog(c.cog),3do(mat(b.mat),a.3do),d.uni)");
  EXPECT_EQ(Shape(BuildFileTree({"z.txt", "a\\x", "A\\y", "a\\w"})), "\\(A(y),a(x,w),z.txt)");
  EXPECT_EQ(Shape(BuildFileTree({})), "\\()");
}

class Ordering : public ::testing::Test {
protected:
  TPatchList list;
  void Add(const std::string& name, const std::string& type, uint8_t active = 0) {
    auto p = std::make_unique<TPatch>();
    p->Name = name;
    p->Info.SetValue("Type", type);
    p->Info.SetValue("File Name", name + ".gob");
    p->Active = active;
    list.Add(std::move(p));
  }
  std::string Names() const {
    std::string s;
    for (int i = 0; i < list.Count(); ++i)
      s += list[i]->Name;
    return s;
  }
  void SetUp() override {
    Add("b", "Skin");
    Add("a", "Level", 1);
    Add("c", "Model");
    list.Sort();
  }
};

TEST_F(Ordering, TypeThreeTimesAfterARescanThenPatch) {
  int column = 0;
  bool descending = false;
  EXPECT_EQ(SortedColumn(list), 0);
  OrderByColumn(list, 1, column, descending);
  EXPECT_EQ(Names(), "acb");
  EXPECT_EQ(SortedColumn(list), 1);
  OrderByColumn(list, 1, column, descending);
  EXPECT_EQ(Names(), "bca");
  EXPECT_TRUE(descending);
  OrderByColumn(list, 1, column, descending);
  EXPECT_EQ(Names(), "acb");

  // A re-read puts the list in name order; the window's memory follows the list, so "Patch"
  // reverses the name order at once, and "Type" starts ascending again.
  list.SortKind = pskName;
  list.Descending = false;
  list.Sort();
  column = 1;
  descending = true;
  OrderByColumn(list, 0, column, descending);
  EXPECT_EQ(Names(), "cba");
  EXPECT_EQ(column, 0);
  EXPECT_TRUE(descending);
  OrderByColumn(list, 1, column, descending);
  EXPECT_EQ(Names(), "acb");
  EXPECT_FALSE(list.Descending);
}

TEST_F(Ordering, ConflictsColumnOrdersByState) {
  int column = 0;
  bool descending = false;
  OrderByColumn(list, 2, column, descending);
  EXPECT_EQ(list.SortKind, pskState);
  EXPECT_EQ(SortedColumn(list), 2);
  EXPECT_EQ(list[2]->Name, "a"); // inactive before active
  OrderByColumn(list, 2, column, descending);
  EXPECT_EQ(list[0]->Name, "a");
  // Another key shows no column.
  list.SortKind = pskKey;
  list.SetSortKey("Author");
  EXPECT_EQ(SortedColumn(list), -1);
}

} // namespace
