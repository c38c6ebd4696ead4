#include "patches/patchlist.h"
#include "platform/sysutils.h"

#include <gtest/gtest.h>
#include <random>

using namespace dravik;

namespace {

std::unique_ptr<TPatch> Make(const std::string& name, std::vector<std::string> files,
                             const std::string& type = "") {
  auto p = std::make_unique<TPatch>();
  p->Name = name;
  for (auto& f : files)
    p->Files.Add(f);
  if (!type.empty()) p->Info.SetValue("Type", type);
  return p;
}

std::vector<std::string> Names(const std::vector<TPatch*>& patches) {
  std::vector<std::string> r;
  for (auto* p : patches)
    r.push_back(p->Name);
  return r;
}

std::vector<std::string> Order(const TPatchList& list) {
  std::vector<std::string> r;
  for (int i = 0; i < list.Count(); ++i)
    r.push_back(list[i]->Name);
  return r;
}

TEST(PatchConflicts, SameFileInAnyCaseConflictsButModelsDatNever) {
  TPatchList list;
  TPatch* a = list[list.Add(Make("A", {"3do\\mat\\gun.mat", "misc\\models.dat"}))];
  TPatch* b = list[list.Add(Make("B", {"3DO\\MAT\\GUN.MAT"}))];
  TPatch* c = list[list.Add(Make("C", {"MISC\\Models.DAT"}))];
  EXPECT_EQ(Names(a->Conflicts), std::vector<std::string>{"B"});
  EXPECT_EQ(Names(b->Conflicts), std::vector<std::string>{"A"});
  EXPECT_TRUE(c->Conflicts.empty());
  // The member names keep their own case.
  EXPECT_EQ(b->Files[0], "3DO\\MAT\\GUN.MAT");
}

TEST(PatchConflicts, StatesAndConflictTexts) {
  TPatchList list;
  TPatch* a = list[list.Add(Make("A", {"x.mat", "y.mat"}))];
  TPatch* c = list[list.Add(Make("C", {"y.mat"}))];
  TPatch* b = list[list.Add(Make("B", {"x.mat"}))];
  b->Active = 1;
  EXPECT_EQ(a->State(), psConflicting);
  EXPECT_EQ(a->ConflictText({psActive}), "B");
  EXPECT_EQ(a->ConflictText(TPatchStates::All()), "B; C");
  EXPECT_EQ(b->State(), psActive);
  EXPECT_EQ(b->ConflictText(TPatchStates::All()), "A");
  EXPECT_EQ(c->State(), psInactive);
  EXPECT_EQ(c->ConflictText({psActive}), "");
  a->Active = 1; // two active patches that conflict are both simply active
  EXPECT_EQ(a->State(), psActive);
  EXPECT_EQ(b->State(), psActive);
}

TEST(PatchConflicts, DeletingAPatchUnlinksItEverywhere) {
  TPatchList list;
  list.Add(Make("A", {"x.mat"}));
  list.Add(Make("B", {"x.mat", "y.mat"}));
  list.Add(Make("C", {"y.mat"}));
  list.Delete(1);
  EXPECT_TRUE(list[0]->Conflicts.empty());
  EXPECT_TRUE(list[1]->Conflicts.empty());
  // The deleted patch's names no longer link new patches to it.
  TPatch* d = list[list.Add(Make("D", {"y.mat", "x.mat"}))];
  EXPECT_EQ(Names(d->Conflicts), (std::vector<std::string>{"A", "C"}));
  EXPECT_EQ(list.IndexOf(d), 2);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(PatchConflicts, NamesStayIndexedWhenTheirFirstCarrierGoes) {
  TPatchList list;
  list.Add(Make("First", {"3DO\\Y.MAT"}));
  list.Add(Make("Second", {"3do\\y.mat"}));
  list.Add(Make("Third", {"3do\\Y.mat"}));
  list.Delete(0); // the index held the name as the first patch spelt it
  TPatch* fourth = list[list.Add(Make("Fourth", {"3Do\\y.MAT"}))];
  EXPECT_EQ(Names(fourth->Conflicts), (std::vector<std::string>{"Second", "Third"}));
  list.Delete(0);
  list.Delete(0);
  TPatch* fifth = list[list.Add(Make("Fifth", {"3do\\y.mat"}))];
  EXPECT_EQ(Names(fifth->Conflicts), std::vector<std::string>{"Fourth"});
}

TEST(PatchConflicts, SharedFilesPerConflictAndStateCounts) {
  TPatchList list;
  TPatch* a = list[list.Add(
      Make("A", {"cog\\x.cog", "3do\\y.3do", "misc\\models.dat", "COG\\X.COG", "z.mat"}))];
  TPatch* c = list[list.Add(Make("C", {"Z.MAT", "misc\\models.dat"}))];
  TPatch* b = list[list.Add(Make("B", {"3DO\\Y.3DO", "cog\\x.cog"}))];
  list.Add(Make("D", {"w.mat"}));
  // By conflict, in the patch's own order and spelling; a name it carries twice counts once,
  // and the file that never conflicts is none of them.
  const std::vector<TConflict> ofA = list.ConflictsOf(*a);
  ASSERT_EQ(ofA.size(), 2u);
  EXPECT_EQ(ofA[0].Patch, b);
  EXPECT_EQ(ofA[0].Files, (std::vector<std::string>{"cog\\x.cog", "3do\\y.3do"}));
  EXPECT_EQ(ofA[1].Patch, c);
  EXPECT_EQ(ofA[1].Files, std::vector<std::string>{"z.mat"});
  EXPECT_EQ(list.ConflictsOf(*c)[0].Files, std::vector<std::string>{"Z.MAT"});
  EXPECT_TRUE(list.ConflictsOf(*list[3]).empty());

  b->Active = 1;
  const TStateCounts counts = list.CountStates();
  EXPECT_EQ(counts.Patches, 4);
  EXPECT_EQ(counts.Active, 1);
  EXPECT_EQ(counts.Blocked, 1); // A; C conflicts only with A, which is off
}

TEST(PatchOrdering, NamesCompareWithOnlyAsciiLettersFolded) {
  TPatchList list;
  for (const char* n : {"zeta", "_x", "Alpha", "beta"})
    list.Add(Make(n, {}));
  list.Sort();
  EXPECT_EQ(Order(list), (std::vector<std::string>{"Alpha", "beta", "zeta", "_x"}));
  list.Descending = true;
  list.Sort();
  EXPECT_EQ(Order(list), (std::vector<std::string>{"_x", "zeta", "beta", "Alpha"}));
}

TEST(PatchOrdering, ByStateAndByKey) {
  TPatchList list;
  list.Add(Make("blocked", {"a.mat"}, "Skin"));
  list.Add(Make("on", {"a.mat"}, "Weapon"));
  list.Add(Make("free", {"b.mat"}, "Item"));
  list[1]->Active = 1;
  list.SortKind = pskState;
  list.Sort();
  EXPECT_EQ(Order(list), (std::vector<std::string>{"free", "on", "blocked"}));
  list.SetSortKey("Type");
  list.SortKind = pskKey;
  list.Sort();
  EXPECT_EQ(Order(list), (std::vector<std::string>{"free", "blocked", "on"}));
  // A patch without the key sorts first.
  list.Add(Make("untyped", {}));
  list.Sort();
  EXPECT_EQ(list[0]->Name, "untyped");
}

TEST(PatchOrdering, SameSortKeyAgainRecomputesNothing) {
  TPatchList list;
  TPatch* p = list[list.Add(Make("p", {}, "Skin"))];
  list.SetSortKey("Type");
  EXPECT_EQ(p->SortValue, "Skin");
  p->Info.SetValue("Type", "Saber");
  list.SetSortKey("Type");
  EXPECT_EQ(p->SortValue, "Skin");
  list.SetSortKey("type"); // another spelling is another key
  EXPECT_EQ(p->SortValue, "Saber");
  // A patch added later takes its value from the current key.
  TPatch* q = list[list.Add(Make("q", {}, "Item"))];
  EXPECT_EQ(q->SortValue, "Item");
}

// The list's indexed linking must give the same links, in the same order, as comparing the new
// patch with every patch of the list in list order.
TEST(PatchConflicts, IndexedLinkingMatchesThePairwiseScan) {
  // Names from a small pool make conflicts; from a large one they fill the index, which grows
  // and loses names as patches go.
  std::mt19937 rng(42);
  std::uniform_int_distribution<int> fileDist(0, 60), rareDist(0, 5000), countDist(0, 8),
      nameDist(0, 15);
  TPatchList list;
  std::vector<std::unique_ptr<TPatch>> reference;
  for (int i = 0; i < 300; ++i) {
    std::vector<std::string> files;
    for (int k = countDist(rng); k > 0; --k) {
      int f = k % 2 ? fileDist(rng) : rareDist(rng);
      files.push_back((f % 2 ? "3DO\\F" : "3do\\f") + std::to_string(f) + ".mat");
    }
    if (i % 7 == 0) files.push_back("misc\\models.dat");
    std::string name = "p" + std::to_string(nameDist(rng)); // equal names happen
    list.Add(Make(name, files));
    auto ref = Make(name, files);
    for (auto& other : reference)
      if (ref->ConflictsWith(other.get()))
        std::stable_sort(other->Conflicts.begin(), other->Conflicts.end(),
                         [](TPatch* a, TPatch* b) { return CompareText(a->Name, b->Name) < 0; });
    std::stable_sort(ref->Conflicts.begin(), ref->Conflicts.end(),
                     [](TPatch* a, TPatch* b) { return CompareText(a->Name, b->Name) < 0; });
    reference.push_back(std::move(ref));
    if (i % 7 == 6) { // a patch goes from both
      const int gone = std::uniform_int_distribution<int>(0, list.Count() - 1)(rng);
      list.Delete(gone);
      reference.erase(reference.begin() + gone);
    }
    if (i % 40 == 39) { // a sort in between changes what "list order" means
      list.Sort();
      std::vector<std::unique_ptr<TPatch>> sorted;
      for (int j = 0; j < list.Count(); ++j)
        for (auto& r : reference)
          if (r && r->Files == list[j]->Files && r->Name == list[j]->Name) {
            sorted.push_back(std::move(r));
            break;
          }
      reference = std::move(sorted);
    }
  }
  ASSERT_EQ(static_cast<int>(reference.size()), list.Count());
  auto position = [&](TPatch* p, bool inList) {
    if (inList) return list.IndexOf(p);
    for (size_t j = 0; j < reference.size(); ++j)
      if (reference[j].get() == p) return static_cast<int>(j);
    return -1;
  };
  for (int j = 0; j < list.Count(); ++j) {
    std::vector<int> got, want;
    for (TPatch* c : list[j]->Conflicts)
      got.push_back(position(c, true));
    for (TPatch* c : reference[static_cast<size_t>(j)]->Conflicts)
      want.push_back(position(c, false));
    EXPECT_EQ(got, want) << "patch " << j;
  }
}

} // namespace
