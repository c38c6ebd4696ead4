// The patch store under a long random run: installs (with the overwrite question answered Yes,
// No or All), switches with conflicts, deletions, rescans and files changed behind the program's
// back, checked after every step against a Model of what the folders must hold.
#include "patches/patchedapp.h"
#include "platform/dialogs.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"
#include "tests/fixtures/scripteddialogs.h"
#include "tests/fixtures/testgame.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>

using namespace dravik;
using namespace dravik::test;
namespace fs = std::filesystem;

namespace {

// Game files the patches carry: two spellings of one file (a conflict whatever the case), and
// the file that never makes one.
const char* const kGameFiles[] = {"textures\\a.mat", "TEXTURES\\A.MAT", "sounds\\b.wav",
                                  "levels\\c.lvl",   "skins\\d.png",    "misc\\models.dat",
                                  "x\\e.dat"};

struct TVersion {
  std::vector<std::string> Files;
  std::string Bytes; // the file as written
};

struct TStored {
  bool Active = false;
  TVersion Version;
};

class StoreSoak : public ::testing::Test {
protected:
  void SetUp() override {
    Apps.LoadCatalogue();
    ASSERT_EQ(Apps.Count(), 2);
    App = Apps.Items(0);
    App->OpenStore();
    MakeHostDirs(Game.Prefix.HostC("incoming"));
  }

  std::string Name(int i) const { return Format("p%02d.gob", i); }

  // A new version of patch `name` in the incoming folder.
  TVersion Stage(const std::string& name) {
    TVersion v;
    std::set<std::string> files;
    const int count = 1 + int(Random() % 3);
    for (int i = 0; i < count; ++i)
      files.insert(kGameFiles[Random() % std::size(kGameFiles)]);
    v.Files.assign(files.begin(), files.end());
    const std::string host = Game.Prefix.HostC("incoming/" + name);
    Game.WritePatch(host, v.Files, Format("%s version %d", name, ++Versions));
    v.Bytes = ReadHostFile(host);
    return v;
  }

  static bool Conflict(const TVersion& a, const TVersion& b) {
    for (const std::string& f : a.Files)
      for (const std::string& g : b.Files)
        if (SameText(f, g) && !IsNeutralFile(f)) return true;
    return false;
  }

  // One installation of `name` as the store would ask about it.
  void Install(const std::string& name, int answer) {
    const TVersion v = Stage(name);
    const bool inStore = Model.count(name) != 0;
    const bool asks = inStore && !App->OverwriteToAll;
    if (asks) Scripted.Answer(answer);
    App->InstallPatchFile("C:\\incoming\\" + name);
    if (!inStore || !asks || answer == mrYes || answer == mrAll) Model[name] = {false, v};
    if (asks && answer == mrAll) OverwriteAll = true;
    ExpectedQuestions += asks ? 1 : 0;
  }

  void Toggle(int position) {
    const std::string name = App->Patches[position]->FileName();
    TStored& s = Model.at(name);
    if (!s.Active)
      for (auto& [other, o] : Model)
        if (other != name && o.Active && Conflict(s.Version, o.Version)) o.Active = false;
    s.Active = !s.Active;
    App->ToggleActive(position);
  }

  // The list, both folders and the Model agree; no file is lost or doubled; no two active
  // patches conflict; nothing was asked that was not expected.
  void Check(int step, const std::string& what) {
    SCOPED_TRACE(Format("step %d: %s", step, what));
    std::vector<std::string> listed, onDisk, expected;
    for (int i = 0; i < App->Patches.Count(); ++i) {
      const TPatch* p = App->Patches[i];
      listed.push_back(p->FileName() + (p->Active ? "*" : ""));
      if (i > 0) {
        EXPECT_LE(CompareText(App->Patches[i - 1]->Name, p->Name), 0) << "the list is not sorted";
      }
      // The list's entry is the file that is there now.
      auto it = Model.find(p->FileName());
      if (it != Model.end()) {
        std::vector<std::string> files = p->Files.Lines();
        std::sort(files.begin(), files.end());
        EXPECT_EQ(files, it->second.Version.Files) << p->FileName();
      }
    }
    for (const std::string& n : TTestGame::FolderFiles(Game.InactiveHost()))
      onDisk.push_back(n);
    for (const std::string& n : TTestGame::FolderFiles(Game.ActiveHost()))
      onDisk.push_back(n + "*");
    for (const auto& [name, s] : Model) {
      expected.push_back(name + (s.Active ? "*" : ""));
      const std::string host = s.Active ? Game.ActiveHost(name) : Game.InactiveHost(name);
      if (!HostExists(host))
        ADD_FAILURE() << name << " is missing from its folder";
      else
        EXPECT_EQ(ReadHostFile(host), s.Version.Bytes) << name << " is not the version installed";
    }
    std::sort(listed.begin(), listed.end());
    std::sort(onDisk.begin(), onDisk.end());
    EXPECT_EQ(listed, onDisk) << "the list and the folders disagree";
    EXPECT_EQ(onDisk, expected) << "a patch file was lost, doubled or left in the wrong folder";
    for (const auto& [a, sa] : Model)
      for (const auto& [b, sb] : Model)
        if (a < b && sa.Active && sb.Active) {
          EXPECT_FALSE(Conflict(sa.Version, sb.Version)) << a << " and " << b << " are both on";
        }
    EXPECT_EQ(App->OverwriteToAll, OverwriteAll);
    EXPECT_TRUE(Scripted.AllAnswered());
    EXPECT_EQ(int(Scripted.Asked().size()), ExpectedQuestions) << "unexpected questions";
    Scripted.ClearRecord();
    ExpectedQuestions = 0;
  }

  TTestGame Game;
  TScriptedDialogs Scripted;
  THXPatchedAppList Apps;
  THXPatchedApp* App = nullptr;
  std::mt19937 Random{20261207};
  std::map<std::string, TStored> Model; // by file name
  bool OverwriteAll = false;
  int ExpectedQuestions = 0;
  int Versions = 0;
};

} // namespace

TEST_F(StoreSoak, AThousandRandomOperationsKeepListFoldersAndFilesInStep) {
  constexpr int kOperations = 1000;
  constexpr int kNames = 12;
  std::map<std::string, int> done;
  for (int step = 0; step < kOperations && !HasFailure(); ++step) {
    const int op = int(Random() % 100);
    const std::string name = Name(int(Random() % kNames));
    std::string what;
    if (op < 35) {
      const int answers[] = {mrYes, mrNo, mrAll};
      const int answer = answers[Random() % 3];
      what = "install " + name;
      Install(name, answer);
    } else if (op < 65) {
      if (App->Patches.Count() == 0) continue;
      const int position = int(Random() % unsigned(App->Patches.Count()));
      what = "toggle " + App->Patches[position]->FileName();
      Toggle(position);
    } else if (op < 77) {
      if (App->Patches.Count() == 0) continue;
      TPatch* patch = App->Patches[int(Random() % unsigned(App->Patches.Count()))];
      const bool yes = Random() % 4 != 0;
      what = "delete " + patch->FileName() + (yes ? "" : " (no)");
      Scripted.Answer(yes ? mrYes : mrNo);
      ++ExpectedQuestions;
      if (yes) Model.erase(patch->FileName());
      App->DeletePatch(patch);
    } else if (op < 87) {
      what = "rescan";
      // Sometimes after a file was added or removed behind the program's back.
      if (Random() % 2) {
        const TVersion v = Stage(name);
        if (!Model.count(name)) {
          fs::copy_file(Game.Prefix.HostC("incoming/" + name), Game.InactiveHost(name));
          Model[name] = {false, v};
          what += " after adding " + name;
        }
      } else if (!Model.empty()) {
        auto it = std::next(Model.begin(), long(Random() % Model.size()));
        fs::remove(it->second.Active ? Game.ActiveHost(it->first) : Game.InactiveHost(it->first));
        what += " after removing " + it->first;
        Model.erase(it);
      }
      App->Rescan();
      OverwriteAll = false;
    } else {
      // Overwriting several patches, All answered once.
      what = "overwrite with All";
      int installed = 0;
      for (const auto& [stored, s] : std::map<std::string, TStored>(Model)) {
        if (installed++ == 3) break;
        Install(stored, mrAll);
      }
    }
    ++done[what.substr(0, what.find(' '))];
    Check(step, what);
  }
  // Every kind of step ran.
  for (const char* kind : {"install", "toggle", "delete", "rescan", "overwrite"})
    EXPECT_GT(done[kind], 20) << kind;
}
