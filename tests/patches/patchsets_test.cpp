#include "patches/patchsets.h"
#include "patches/setswitch.h"
#include "platform/hive.h"
#include "platform/registry.h"
#include "storetest.h"

#include <gtest/gtest.h>

using namespace dravik;
using namespace dravik::test;

namespace {

using Names = std::vector<std::string>;

class Sets : public Store {
protected:
  void SetUp() override {
    Store::SetUp();
    app->OpenStore();
    // a and a2 carry the same file; the others stand alone.
    game.WritePatch(game.ActiveHost("a.gob"), {"x.mat"});
    game.WritePatch(game.ActiveHost("b.gob"), {"b.mat"});
    game.WritePatch(game.InactiveHost("a2.gob"), {"X.MAT"});
    game.WritePatch(game.InactiveHost("c.gob"), {"c.mat"});
    game.WritePatch(game.InactiveHost("d.gob"), {"d.mat"});
    app->Rescan();
  }
  Names Active() { return TTestGame::FolderFiles(game.ActiveHost()); }
  Names Inactive() { return TTestGame::FolderFiles(game.InactiveHost()); }
  std::string Matching(const std::vector<TPatchSet>& sets) {
    return MatchingSet(app->Patches, sets);
  }
};

TEST_F(Sets, SwitchingMakesTheActiveFolderHoldExactlyTheSet) {
  const TPatchSet duel{"Duel", {"C.GOB", "d.gob", "b.gob"}};
  const TPatchSet story{"Story", {"a.gob", "b.gob"}};
  EXPECT_EQ(Matching({duel, story}), "Story");
  TSetSwitchResult r = SwitchToSet(*app, duel);
  EXPECT_EQ(Active(), (Names{"b.gob", "c.gob", "d.gob"}));
  EXPECT_EQ(r.Moved, 3); // a off, c and d on; b stays
  EXPECT_EQ(r.Message(), "");
  ExpectStoreMatchesDisk();
  EXPECT_EQ(Matching({story, duel}), "Duel");
  app->ToggleActive(Position("d.gob"));
  EXPECT_EQ(Matching({story, duel}), CustomSetName);

  SwitchToSet(*app, std::string(NoSetName));
  EXPECT_EQ(Active(), Names{});
  EXPECT_EQ(Inactive().size(), 5u);
  EXPECT_EQ(Matching({duel}), NoSetName);
  ExpectStoreMatchesDisk();
}

TEST_F(Sets, MissingAndHostileNamesAreNamedAndNothingOutsideTheStoreMoves) {
  WriteHostFile(game.GameHost() + "/victim.gob", "keep");
  WriteHostFile(game.GameHost() + "/HXPatch/sub/e.gob", "keep");
  const TPatchSet set{
      "Story", {"gone.gob", "c.gob", "..\\victim.gob", "sub/e.gob", "C:\\x.gob", "..", "GONE.GOB"}};
  TSetSwitchResult r = SwitchToSet(*app, set);
  EXPECT_EQ(Active(), Names{"c.gob"});
  EXPECT_EQ(r.Missing, (Names{"gone.gob", "..\\victim.gob", "sub/e.gob", "C:\\x.gob", ".."}));
  EXPECT_EQ(r.Message(), "These patches of the set \"Story\" are no longer installed: gone.gob, "
                         "..\\victim.gob, sub/e.gob, C:\\x.gob, ...");
  EXPECT_TRUE(HostExists(game.GameHost() + "/victim.gob"));
  EXPECT_TRUE(HostExists(game.GameHost() + "/HXPatch/sub/e.gob"));
  // Switching again to the set it now is moves nothing, and the set matches.
  EXPECT_EQ(SwitchToSet(*app, set).Moved, 0);
  EXPECT_EQ(Matching({set}), "Story");
  const std::vector<TSetMember> members = SetMembers(app->Patches, set);
  EXPECT_FALSE(members[0].Installed);
  EXPECT_TRUE(members[1].Installed);
  EXPECT_FALSE(members[2].Installed);
}

TEST_F(Sets, TheLaterOfTwoConflictingMembersWins) {
  TSetSwitchResult r = SwitchToSet(*app, TPatchSet{"Mix", {"a.gob", "c.gob", "a2.gob"}});
  EXPECT_EQ(Active(), (Names{"a2.gob", "c.gob"}));
  EXPECT_EQ(r.Message(),
            "a.gob stays off: it conflicts with a2.gob, which comes later in the set \"Mix\".");
  ExpectStoreMatchesDisk();
  EXPECT_EQ(Matching({{"Mix", {"a.gob", "c.gob", "a2.gob"}}}), "Mix");
}

TEST_F(Sets, AMoveThatFailsHalfWayPutsEverythingBack) {
  // A file of d.gob's name, in other letters, already in the active folder blocks the last move.
  game.WritePatch(game.ActiveHost("D.GOB"), {"other.mat"});
  try {
    SwitchToSet(*app, TPatchSet{"Duel", {"c.gob", "d.gob"}});
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Cannot move C:\\Games\\Halvex\\HXPatch\\d.gob: "
                           "C:\\Games\\Halvex\\HXPatch\\active\\D.GOB already exists");
  }
  EXPECT_EQ(Active(), (Names{"D.GOB", "a.gob", "b.gob"}));
  EXPECT_EQ(Inactive(), (Names{"a2.gob", "c.gob", "d.gob"}));
  EXPECT_EQ(Listed(), (Names{"a.gob*", "a2.gob", "b.gob*", "c.gob", "d.gob"}));
}

TEST_F(Sets, StoredOnePerValueReadBackByTheHiveReader) {
  TPatchSets sets("Halvex");
  sets.Save({"Duel", {"a.gob", "b.gob"}});
  sets.Save({"story", {}});
  sets.Save({"DUEL", {"c.gob"}}); // replaces Duel, letter case ignored
  EXPECT_TRUE(sets.Rename("Story", "Campaign"));
  EXPECT_FALSE(sets.Rename("nothing", "x"));
  EXPECT_TRUE(sets.Rename("duel", "Duel Night"));

  THive hive(game.Prefix.Path() + "/user.reg", THive::hkUser);
  hive.Refresh();
  const THiveKey* key = hive.Root();
  for (const char16_t* name : {u"Software", u"Orlemont", u"HXPatch", u"Sets", u"Halvex"})
    ASSERT_TRUE(key = hive.SubKey(key, name));
  EXPECT_EQ(hive.ValueNames(key), (std::vector<std::u16string>{u"Campaign", u"Duel Night"}));
  const TRegValue* value = hive.FindValue(key, u"duel night");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->Type, REG_SZ);
  EXPECT_EQ(StringText(value->Data), u"c.gob");

  // Sets written by hand: joined by "|", empty names dropped; what is no set is left out.
  {
    TRegistry reg(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Orlemont\\HXPatch\\Sets\\Halvex", false));
    reg.WriteString("alpha", "|b.gob||a.gob|");
    reg.WriteInteger("number", 1);
    reg.WriteString("(None)", "a.gob");
  }
  std::vector<TPatchSet> loaded = sets.Load();
  ASSERT_EQ(loaded.size(), 3u);
  EXPECT_EQ(loaded[0].Name, "alpha");
  EXPECT_EQ(loaded[0].Files, (Names{"b.gob", "a.gob"}));
  EXPECT_EQ(loaded[1].Name, "Campaign");
  EXPECT_TRUE(sets.Delete("CAMPAIGN"));
  EXPECT_FALSE(sets.Find("campaign"));
  EXPECT_EQ(TPatchSets("Morvane").Load().size(), 0u);
}

TEST_F(Sets, NamesThatCannotBeSavedAreRefused) {
  TPatchSets sets("Halvex");
  for (const char* name : {"", "  ", "(none)", "(CUSTOM)", "tab\there"})
    EXPECT_THROW(sets.Save({name, {}}), Exception) << name;
  EXPECT_THROW(sets.Save({"Bars", {"a|b.gob"}}), Exception);
  // A patch whose name holds "|" cannot be named by a set and is left out.
  game.WritePatch(game.ActiveHost("x|y.gob"), {"y.mat"});
  app->Rescan();
  std::vector<std::string> leftOut;
  EXPECT_EQ(CurrentSet(app->Patches, "Now", leftOut).Files, (Names{"a.gob", "b.gob"}));
  EXPECT_EQ(leftOut, Names{"x|y.gob"});
  EXPECT_TRUE(sets.Load().empty());
}

} // namespace
