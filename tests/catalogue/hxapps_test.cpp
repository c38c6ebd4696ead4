#include "catalogue/hxapps.h"
#include "platform/registry.h"
#include "platform/sysutils.h"
#include "tests/fixtures/fakewineserver.h"
#include "tests/fixtures/tempprefix.h"

#include <gtest/gtest.h>

using namespace dravik;
using namespace dravik::test;

namespace {

const char* kHeader =
    "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win32\n";

class Catalogue : public ::testing::Test {
protected:
  TTempPrefix prefix;
  void Hive(const std::string& keys) {
    WriteHostFile(prefix.Path() + "/system.reg", std::string(kHeader) + keys);
  }
  static std::string Game(const std::string& sub, const std::string& name, const std::string& dp,
                          const std::string& demo) {
    return "\n[Software\\\\Orlemont\\\\HXPatch\\\\Applications\\\\" + sub +
           "] 1700000000\n\"AppName\"=\"" + name + "\"\n\"DirectPlay Name\"=\"" + dp +
           "\"\n\"DirectPlay Demo Name\"=\"" + demo +
           "\"\n\"Patch Filter\"=\"*.gob\"\n\"Icon\"=hex:00,00,01,00\n";
  }
  static std::string Registration(const std::string& name, std::string path) {
    for (size_t i = 0; (i = path.find('\\', i)) != std::string::npos; i += 2)
      path.insert(i, 1, '\\');
    return "\n[Software\\\\Microsoft\\\\DirectPlay\\\\Applications\\\\" + name +
           "] 1700000000\n\"Path\"=\"" + path + "\"\n\"File\"=\"hx.exe\"\n\"CommandLine\"=\"\"\n";
  }
  // A catalogue of one game, Halvex, installed at C:\Games\Halvex\; loaded into `list`.
  THXAppInfo* LoadHalvex(THXAppList& list) {
    Hive(Game("0", "Halvex", "Halvex", "") + Registration("Halvex", "C:\\Games\\Halvex\\"));
    list.LoadCatalogue();
    return list.Items(0);
  }
};

TEST_F(Catalogue, EntriesFollowTheStoreOrderWithNumbersFromNames) {
  Hive(Game("2", "Two", "", "") + Game("10", "Ten", "", "") + Game("1", "One", "", "") +
       Game("x", "NotANumber", "", ""));
  THXAppList list;
  list.LoadCatalogue();
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Items(0)->AppName, "One");
  EXPECT_EQ(list.Items(1)->AppName, "Ten");
  EXPECT_EQ(list.Items(2)->AppName, "Two");
  EXPECT_EQ(list.Items(3)->Number, 0);
  EXPECT_EQ(list.Items(1)->Number, 10);
  EXPECT_EQ(list.Items(0)->PatchFilter, "*.gob");
  EXPECT_EQ(list.Items(0)->Icon, (std::vector<uint8_t>{0, 0, 1, 0}));
}

TEST_F(Catalogue, MissingCatalogueIsEmptyAndWrongTypeFailsTheLoad) {
  THXAppList empty;
  empty.LoadCatalogue();
  EXPECT_EQ(empty.Count(), 0);

  Hive(Game("0", "Good", "", "") + "\n[Software\\\\Orlemont\\\\HXPatch\\\\Applications\\\\1] "
                                   "1700000000\n\"AppName\"=dword:00000001\n");
  THXAppList list;
  try {
    list.LoadCatalogue();
    FAIL();
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), "Invalid data type for 'AppName'");
  }
  EXPECT_EQ(list.Count(), 2); // the entry was created before its value failed
}

TEST_F(Catalogue, RegistrationByNameOrDemoName) {
  Hive(Game("0", "Halvex", "Halvex", "Halvex Demo") +
       Game("1", "Morvane", "Morvane", "Morvane Demo") + Game("2", "Gone", "Gone", "Gone Demo") +
       Registration("Halvex", "C:\\Games\\Halvex") +
       Registration("Morvane Demo", "C:\\Games\\Morvane\\"));
  THXAppList list;
  list.LoadCatalogue();
  ASSERT_EQ(list.Count(), 3);
  EXPECT_TRUE(list.Items(0)->IsInstalled());
  EXPECT_TRUE(list.Items(1)->IsInstalled());
  EXPECT_FALSE(list.Items(2)->IsInstalled());
  EXPECT_EQ(list.Items(0)->GetDirectPlayValue(0), "C:\\Games\\Halvex\\");  // "\" appended
  EXPECT_EQ(list.Items(1)->GetDirectPlayValue(0), "C:\\Games\\Morvane\\"); // from the demo entry
  EXPECT_EQ(list.Items(1)->GetDirectPlayValue(1), "hx.exe");
  EXPECT_EQ(list.Items(2)->GetDirectPlayValue(0), "");
  list.Items(2)->SetDirectPlayValue(1, "cached.exe"); // not found: only the cache changes
  EXPECT_EQ(list.Items(2)->GetDirectPlayValue(1), "cached.exe");
}

TEST_F(Catalogue, EmptyDemoNameOpensTheApplicationsKeyItself) {
  Hive(Game("0", "Odd", "Missing", "") + Registration("Other", "C:\\X"));
  THXAppList list;
  list.LoadCatalogue();
  EXPECT_TRUE(list.Items(0)->IsInstalled());
  EXPECT_EQ(list.Items(0)->GetDirectPlayValue(0), "");
}

TEST_F(Catalogue, CachedValuesAndWritesThroughTheRegistration) {
  THXAppList list;
  THXAppInfo* game = LoadHalvex(list);
  EXPECT_EQ(game->GetDirectPlayValue(0), "C:\\Games\\Halvex\\");
  game->SetDirectPlayValue(2, "-path HXPatch\\active\\");
  EXPECT_EQ(game->GetDirectPlayValue(2), "-path HXPatch\\active\\");
  {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Microsoft\\DirectPlay\\Applications\\Halvex", false));
    EXPECT_EQ(reg.ReadString("CommandLine"), "-path HXPatch\\active\\");
  }
  // An empty text empties the cache: the next read goes to the store and finds the empty value.
  game->SetDirectPlayValue(2, "");
  {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Microsoft\\DirectPlay\\Applications\\Halvex", false));
    EXPECT_TRUE(reg.ValueExists("CommandLine"));
    reg.WriteString("CommandLine", "changed elsewhere");
  }
  EXPECT_EQ(game->GetDirectPlayValue(2), "changed elsewhere");
  // A cached value is not read again.
  {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Microsoft\\DirectPlay\\Applications\\Halvex", false));
    reg.WriteString("Path", "D:\\Elsewhere");
  }
  EXPECT_EQ(game->GetDirectPlayValue(0), "C:\\Games\\Halvex\\");
}

TEST_F(Catalogue, RefusedWriteLeavesTheRememberedValue) {
  THXAppList list;
  THXAppInfo* game = LoadHalvex(list);
  EXPECT_EQ(game->GetDirectPlayValue(2), "");
  game->SetDirectPlayValue(2, "-x");
  TFakeWineServer wine(prefix.Path());
  ASSERT_TRUE(wine.Running());
  EXPECT_THROW(game->SetDirectPlayValue(2, "-path HXPatch\\active\\"), ERegistryException);
  EXPECT_EQ(game->GetDirectPlayValue(2), "-x");
}

TEST_F(Catalogue, ThirtyTwoBitViewOfAWin64Prefix) {
  WriteHostFile(
      prefix.Path() + "/system.reg",
      std::string(
          "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n") +
          "\n[Software\\\\Classes] 1700000000\n@=\"\"\n"
          "\n[Software\\\\Wow6432Node\\\\Orlemont\\\\HXPatch\\\\Applications\\\\0] 1700000000\n"
          "\"AppName\"=\"Halvex\"\n\"DirectPlay Name\"=\"Halvex\"\n\"Patch Filter\"=\"*.gob\"\n"
          "\n[Software\\\\Wow6432Node\\\\Microsoft\\\\DirectPlay\\\\Applications\\\\Halvex] "
          "1700000000\n"
          "\"Path\"=\"C:\\\\Games\\\\Halvex\"\n");
  THXAppList list;
  list.LoadCatalogue();
  ASSERT_EQ(list.Count(), 1);
  EXPECT_TRUE(list.Items(0)->Icon.empty()); // no icon: the window uses its own
  EXPECT_EQ(list.Items(0)->GetDirectPlayValue(0), "C:\\Games\\Halvex\\");
}

} // namespace
