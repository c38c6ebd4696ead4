#include "patches/patchedapp.h"
#include "platform/dialogs.h"
#include "platform/messages.h"
#include "platform/registry.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"
#include "tests/fixtures/gobmaker.h"
#include "tests/fixtures/lnkwriter.h"
#include "tests/fixtures/testgame.h"
#include "tests/fixtures/zipmaker.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace dravik;
using namespace dravik::test;
namespace fs = std::filesystem;

namespace {

// The Windows path of a host path.
std::string W(const std::string& host) {
  return winfs::ToWindowsPath(host).value_or("");
}

class Store : public ::testing::Test {
protected:
  TTestGame game;
  TScriptedDialogs dialogs;
  THXPatchedAppList apps;
  THXPatchedApp* app = nullptr;

  void SetUp() override {
    apps.LoadCatalogue();
    ASSERT_EQ(apps.Count(), 2);
    app = apps.Items(0);
  }
  std::vector<std::string> Listed() {
    std::vector<std::string> r;
    for (int i = 0; i < app->Patches.Count(); ++i)
      r.push_back(app->Patches[i]->FileName() + (app->Patches[i]->Active ? "*" : ""));
    return r;
  }
  int Position(const std::string& fileName) {
    for (int i = 0; i < app->Patches.Count(); ++i)
      if (app->Patches[i]->FileName() == fileName) return i;
    return -1;
  }
  // The list and the two folders agree.
  void ExpectStoreMatchesDisk() {
    std::vector<std::string> onDisk;
    for (auto& n : TTestGame::FolderFiles(game.InactiveHost()))
      onDisk.push_back(n);
    for (auto& n : TTestGame::FolderFiles(game.ActiveHost()))
      onDisk.push_back(n + "*");
    std::vector<std::string> listed = Listed();
    std::sort(onDisk.begin(), onDisk.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, onDisk);
  }
};

TEST_F(Store, OpenStoreMakesBothFoldersOnce) {
  app->OpenStore();
  EXPECT_TRUE(fs::is_directory(game.ActiveHost()));
  EXPECT_EQ(app->Patches.Count(), 0);
  // A store whose folder names differ in case is found, not duplicated.
  TTestGame other;
  MakeHostDirs(other.GameHost() + "/hxpatch/Active");
  other.WritePatch(other.GameHost() + "/hxpatch/Active/on.gob", {"a.mat"});
  THXPatchedAppList list;
  list.LoadCatalogue();
  list.Items(0)->OpenStore();
  EXPECT_EQ(TTestGame::FolderFiles(other.GameHost()), std::vector<std::string>{});
  EXPECT_EQ(fs::directory_iterator(other.GameHost())->path().filename(), "hxpatch");
  ASSERT_EQ(list.Items(0)->Patches.Count(), 1);
  EXPECT_EQ(list.Items(0)->Patches[0]->Active, 1);
}

TEST_F(Store, OpenStoreFailsWithTheRunTimeMessage) {
  fs::remove_all(game.GameHost());
  try {
    app->OpenStore();
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), "Invalid filename");
  }
}

TEST_F(Store, RescanListsBothFoldersSortedAndSkipsUnreadableFiles) {
  MakeHostDirs(game.ActiveHost());
  game.WritePatch(game.InactiveHost("zeta.gob"), {"z.mat"});
  game.WritePatch(game.InactiveHost("both.gob"), {"b.mat"}, "Both");
  game.WritePatch(game.ActiveHost("both.gob"), {"b.mat"}, "Both");
  game.WritePatch(game.ActiveHost("Alpha.GOB"), {"a.mat"});
  WriteHostFile(game.InactiveHost("readme.txt"), "not a patch");
  MakeHostDirs(game.InactiveHost("folder.gob")); // a folder whose name matches the filter
  dialogs.Answer(mrOk);
  app->Rescan();
  EXPECT_EQ(Listed(),
            (std::vector<std::string>{"Alpha.GOB*", "both.gob", "both.gob*", "zeta.gob"}));
  // The two copies of both.gob carry the same file and conflict.
  EXPECT_EQ(app->Patches[1]->Conflicts.size(), 1u);
  ASSERT_EQ(dialogs.Asked().size(), 1u);
  EXPECT_EQ(dialogs.Asked()[0].Type, mtWarning);
  EXPECT_NE(dialogs.Asked()[0].Text.find("folder.gob"), std::string::npos);
  app->Rescan(); // the same unreadable file is not named again
  EXPECT_EQ(dialogs.Asked().size(), 1u);
}

TEST_F(Store, ALargeStoreIsReadWhole) {
  // Enough files that they are read on several threads; every one must arrive, linked as before.
  app->OpenStore();
  for (int i = 0; i < 300; ++i) {
    std::string name = Format("p%03d.gob", i);
    game.WritePatch(i % 3 ? game.InactiveHost(name) : game.ActiveHost(name),
                    {Format("own%d.mat", i), Format("shared%d.mat", i % 10)});
  }
  MakeHostDirs(game.InactiveHost("p150x.gob")); // one that cannot be read
  dialogs.Answer(mrOk);
  app->Rescan();
  ASSERT_EQ(app->Patches.Count(), 300);
  for (int i = 0; i < 300; ++i) {
    TPatch* p = app->Patches[i];
    EXPECT_EQ(p->FileName(), Format("p%03d.gob", i));
    EXPECT_EQ(p->Active, i % 3 ? 0 : 1);
    EXPECT_EQ(p->Conflicts.size(), 29u) << i; // the other carriers of its shared file
  }
  EXPECT_NE(dialogs.Asked().back().Text.find("p150x.gob"), std::string::npos);
}

TEST_F(Store, ActivationSwitchesActiveConflictsOffFirst) {
  app->OpenStore();
  game.WritePatch(game.InactiveHost("new.gob"), {"x.mat", "y.mat", "misc\\models.dat"});
  game.WritePatch(game.ActiveHost("onx.gob"), {"X.MAT"});
  game.WritePatch(game.ActiveHost("ony.gob"), {"y.mat"});
  game.WritePatch(game.InactiveHost("offy.gob"), {"y.mat"});
  game.WritePatch(game.ActiveHost("models.gob"), {"misc\\models.dat"});
  app->Rescan();
  app->ToggleActive(Position("new.gob"));
  EXPECT_EQ(TTestGame::FolderFiles(game.ActiveHost()),
            (std::vector<std::string>{"models.gob", "new.gob"}));
  EXPECT_EQ(TTestGame::FolderFiles(game.InactiveHost()),
            (std::vector<std::string>{"offy.gob", "onx.gob", "ony.gob"}));
  ExpectStoreMatchesDisk();
  // Deactivating moves only that patch.
  app->ToggleActive(Position("new.gob"));
  EXPECT_EQ(TTestGame::FolderFiles(game.ActiveHost()), std::vector<std::string>{"models.gob"});
  ExpectStoreMatchesDisk();
}

TEST_F(Store, FailedMoveKeepsTheStateAndSaysWhy) {
  app->OpenStore();
  game.WritePatch(game.InactiveHost("a.gob"), {"x.mat"});
  game.WritePatch(game.ActiveHost("b.gob"), {"x.mat"});
  app->Rescan();
  // A file of a.gob's name already in the active folder blocks the move.
  game.WritePatch(game.ActiveHost("a.gob"), {"other.mat"});
  try {
    app->ToggleActive(Position("a.gob"));
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message().rfind("Cannot move C:\\Games\\Halvex\\HXPatch\\a.gob: ", 0), 0u)
        << e.Message();
  }
  // The conflicting patch was switched off (that move worked), a.gob kept its state.
  EXPECT_EQ(app->Patches[Position("a.gob")]->Active, 0);
  EXPECT_EQ(app->Patches[Position("b.gob")]->Active, 0);
  EXPECT_TRUE(HostExists(game.InactiveHost("b.gob")));
  EXPECT_TRUE(HostExists(game.InactiveHost("a.gob")));
}

TEST_F(Store, DeleteAsksAndKeepsWhatCannotBeDeleted) {
  app->OpenStore();
  game.WritePatch(game.ActiveHost("on.gob"), {"x.mat"});
  game.WritePatch(game.InactiveHost("off.gob"), {"x.mat"});
  app->Rescan();
  dialogs.Answer(mrNo);
  app->DeletePatch(app->Patches[Position("on.gob")]);
  EXPECT_EQ(app->Patches.Count(), 2);
  dialogs.Answer(mrYes);
  app->DeletePatch(app->Patches[Position("on.gob")]);
  EXPECT_EQ(dialogs.Asked().back().Text, "Delete on.gob?");
  EXPECT_EQ(dialogs.Asked().back().Buttons, (TMsgDlgButtons{mbYes, mbNo}));
  EXPECT_FALSE(HostExists(game.ActiveHost("on.gob")));
  EXPECT_TRUE(app->Patches[0]->Conflicts.empty());
  // A patch whose file cannot be deleted stays, and the user is told.
  fs::remove(game.InactiveHost("off.gob"));
  MakeHostDirs(game.InactiveHost("off.gob") + "/inside");
  dialogs.Answer(mrYes);
  EXPECT_THROW(app->DeletePatch(app->Patches[0]), Exception);
  EXPECT_EQ(app->Patches.Count(), 1);
  // Not in the list: nothing is asked.
  TPatch stranger;
  app->DeletePatch(&stranger);
  EXPECT_TRUE(dialogs.AllAnswered());
}

TEST_F(Store, InstallsPatchesInactiveAndReplacesWithConsent) {
  app->OpenStore();
  TTempDir src;
  game.WritePatch(src.Path() + "/new.gob", {"n.mat"}, "New");
  game.WritePatch(game.ActiveHost("old.gob"), {"o.mat"}, "Old");
  app->Rescan();
  app->InstallFile(W(src.Path() + "/new.gob"));
  EXPECT_EQ(Listed(), (std::vector<std::string>{"new.gob", "old.gob*"}));

  game.WritePatch(src.Path() + "/old.gob", {"o2.mat"}, "Old two");
  dialogs.Answer(mrNo);
  app->InstallFile(W(src.Path() + "/old.gob"));
  EXPECT_EQ(dialogs.Asked().back().Text, "Patch old.gob already exists. Overwrite?");
  EXPECT_TRUE(HostExists(game.ActiveHost("old.gob")));

  dialogs.Answer(mrYes);
  app->InstallFile(W(src.Path() + "/old.gob"));
  EXPECT_FALSE(HostExists(game.ActiveHost("old.gob")));
  EXPECT_EQ(Listed(), (std::vector<std::string>{"new.gob", "old.gob"})); // old entry dropped
  EXPECT_EQ(app->Patches[Position("old.gob")]->Name, "Old two");
  ExpectStoreMatchesDisk();

  // All is remembered until the next rescan.
  dialogs.Answer(mrAll);
  app->InstallFile(W(src.Path() + "/old.gob"));
  app->InstallFile(W(src.Path() + "/new.gob")); // asks nothing
  EXPECT_TRUE(dialogs.AllAnswered());
  app->Rescan();
  EXPECT_FALSE(app->OverwriteToAll);

  // Files of no known kind, and missing files, are ignored without a word.
  WriteHostFile(src.Path() + "/notes.txt", "hello");
  size_t asked = dialogs.Asked().size();
  app->InstallFile(W(src.Path() + "/notes.txt"));
  app->InstallFile(W(src.Path() + "/missing.gob"));
  EXPECT_EQ(dialogs.Asked().size(), asked);
}

TEST_F(Store, FailedOverwriteCopyKeepsTheOldPatch) {
  app->OpenStore();
  game.WritePatch(game.ActiveHost("keep.gob"), {"k.mat"}, "Keep");
  std::string old = ReadHostFile(game.ActiveHost("keep.gob"));
  TTempDir src;
  WriteHostFile(src.Path() + "/keep.gob", MakeGOBBytes({{"patchinfo.txt", "Name=Big"},
                                                        {"big.bin", std::string(200000, 'x')}}));
  app->Rescan();
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) { // a file-size limit makes the copy fail part-way, as a full disk would
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {65536, 65536};
    setrlimit(RLIMIT_FSIZE, &lim);
    dialogs.Answer(mrYes);
    app->InstallFile(W(src.Path() + "/keep.gob"));
    bool told =
        dialogs.Messages().size() == 2 && dialogs.Messages()[1].rfind("Cannot copy ", 0) == 0;
    _exit(told ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadHostFile(game.ActiveHost("keep.gob")), old);
  EXPECT_EQ(TTestGame::FolderFiles(game.InactiveHost()), std::vector<std::string>{});
}

TEST_F(Store, EpisodesGoToTheEpisodeFolder) {
  app->OpenStore();
  TTempDir src;
  game.WritePatch(src.Path() + "/level1.gob", {"Episode.HX", "hxl\\cavern1.hxl"});
  game.WritePatch(src.Path() + "/level2.gob", {"episode.hx"});
  // No episode folder yet: the copy fails with a message.
  dialogs.Answer(mrOk);
  app->InstallFile(W(src.Path() + "/level1.gob"));
  EXPECT_EQ(dialogs.Asked()[0].Buttons, (TMsgDlgButtons{mbNo, mbOK, mbAll}));
  EXPECT_EQ(
      dialogs.Messages().back().rfind("Cannot copy " + W(src.Path() + "/level1.gob") + ": ", 0),
      0u);
  MakeHostDirs(game.GameHost() + "/episode");
  dialogs.Answer(mrNo);
  app->InstallFile(W(src.Path() + "/level1.gob"));
  EXPECT_EQ(TTestGame::FolderFiles(game.GameHost() + "/episode"), std::vector<std::string>{});
  dialogs.Answer(mrAll);
  app->InstallFile(W(src.Path() + "/level1.gob"));
  app->InstallFile(W(src.Path() + "/level2.gob")); // All: no question
  EXPECT_EQ(TTestGame::FolderFiles(game.GameHost() + "/episode"),
            (std::vector<std::string>{"level1.gob", "level2.gob"}));
  EXPECT_EQ(app->Patches.Count(), 0);
  // Overwriting an episode asks both questions, the episode one first.
  app->EpisodeToAll = false;
  dialogs.Answer(mrOk);
  dialogs.Answer(mrYes);
  app->InstallFile(W(src.Path() + "/level2.gob"));
  EXPECT_EQ(dialogs.Asked().back().Text, "level2.gob already exists. Overwrite?");
  EXPECT_TRUE(dialogs.AllAnswered());
}

TEST_F(Store, InternetShortcutsGoToTheMainWindow) {
  struct TRecorder : TMessageWindow {
    std::vector<std::string> Urls;
    LRESULT HandleMessage(unsigned message, WPARAM, LPARAM lParam) override {
      if (message == WM_DOWNLOAD_INSTALL) Urls.push_back(reinterpret_cast<const char*>(lParam));
      return 0;
    }
  } recorder;
  SetMainWindow(&recorder);
  TTempDir src;
  WriteHostFile(src.Path() + "/get.URL", "[Other]\r\nURL=wrong\r\n[InternetShortcut]\r\nIconIndex="
                                         "0\r\nurl = http://127.0.0.1/p.zip \r\n");
  app->InstallFile(W(src.Path() + "/get.URL"));
  SetMainWindow(nullptr);
  EXPECT_EQ(recorder.Urls, std::vector<std::string>{"http://127.0.0.1/p.zip"});
}

TEST_F(Store, RepositoriesAreReadAndSavedOnlyWhereTheirKeyExists) {
  TTestGame withRepos({"Main=http://127.0.0.1/repo/", "Mirror=ftp://127.0.0.1/pub/"});
  THXPatchedAppList list;
  list.LoadCatalogue();
  THXPatchedApp* a = list.Items(0);
  EXPECT_EQ(a->Repositories.Lines(), (std::vector<std::string>{"Main=http://127.0.0.1/repo/",
                                                               "Mirror=ftp://127.0.0.1/pub/"}));
  EXPECT_TRUE(list.Items(1)->Repositories.Empty());
  a->Repositories.Clear();
  a->Repositories.Add("Only=http://127.0.0.1/only/");
  a->SaveRepositories();
  {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Orlemont\\HXPatch\\Applications\\0\\Repositories", false));
    TStringList names;
    reg.GetValueNames(names);
    EXPECT_EQ(names.Lines(), std::vector<std::string>{"Only"});
    EXPECT_EQ(reg.ReadString("Only"), "http://127.0.0.1/only/");
  }
  // Morvane has no Repositories key: saving changes nothing at all.
  std::string before = ReadHostFile(withRepos.Prefix.Path() + "/system.reg");
  list.Items(1)->Repositories.Add("New=http://127.0.0.1/");
  list.Items(1)->SaveRepositories();
  EXPECT_EQ(ReadHostFile(withRepos.Prefix.Path() + "/system.reg"), before);
}

TEST_F(Store, ZipArchivesInstallEachPatchOnceAndLeaveNothingBehind) {
  app->OpenStore();
  TTempDir src;
  MakeHostDirs(src.Path() + "/pack/one");
  MakeHostDirs(src.Path() + "/pack/two");
  game.WritePatch(src.Path() + "/pack/one/a.gob", {"a.mat"}, "From one");
  game.WritePatch(src.Path() + "/pack/two/a.gob", {"a2.mat"}, "From two");
  game.WritePatch(src.Path() + "/pack/B.GOB", {"b.mat"});
  WriteHostFile(src.Path() + "/pack/readme.txt", "read me");
  RunIn(src.Path(), "zip -qr pack.zip pack");
  // A file of the same name beside the archive is not touched.
  game.WritePatch(src.Path() + "/a.gob", {"beside.mat"});
  std::string beside = ReadHostFile(src.Path() + "/a.gob");
  app->InstallFile(W(src.Path() + "/pack.zip"));
  EXPECT_EQ(Listed(), (std::vector<std::string>{"B.GOB", "a.gob"})); // by name: "B", "From one"
  EXPECT_EQ(app->Patches[Position("a.gob")]->Name, "From one");
  EXPECT_EQ(ReadHostFile(src.Path() + "/a.gob"), beside);
  EXPECT_TRUE(dialogs.Asked().empty());
  // The private extraction folder is gone.
  std::string temp = winfs::ToHostPath(winfs::GetTempPath());
  EXPECT_TRUE(fs::is_empty(temp)) << temp;

  // Python's zipfile writing to a pipe puts the sizes after the data; such archives install too.
  game.WritePatch(src.Path() + "/c.gob", {"c.mat"});
  RunPython(src.Path(), "import zipfile, sys\n"
                        "with open('piped.zip', 'wb') as raw:\n"
                        "    class Pipe:\n"
                        "        def write(self, b): return raw.write(b)\n"
                        "        def flush(self): pass\n"
                        "    with zipfile.ZipFile(Pipe(), 'w', zipfile.ZIP_DEFLATED) as z:\n"
                        "        z.write('c.gob', 'dir/c.gob')\n");
  app->InstallFile(W(src.Path() + "/piped.zip"));
  EXPECT_NE(Position("c.gob"), -1);
}

TEST_F(Store, DamagedZipFailsBeforeAnythingIsExtracted) {
  app->OpenStore();
  TTempDir src;
  WriteHostFile(src.Path() + "/bad.zip", std::string("PK\x03\x04garbage", 11));
  EXPECT_THROW(app->InstallFile(W(src.Path() + "/bad.zip")), Exception);
  EXPECT_EQ(app->Patches.Count(), 0);
}

TEST_F(Store, ShellLinksInstallTheirTargets) {
  app->OpenStore();
  TTempDir src;
  game.WritePatch(src.Path() + "/target.gob", {"t.mat"});
  game.WritePatch(src.Path() + "/zipped.gob", {"z.mat"});
  RunIn(src.Path(), "zip -q linked.zip zipped.gob");
  WriteShellLink(src.Path() + "/to patch.lnk",
                 {W(src.Path() + "/target.gob"), "", "", false, false});
  WriteShellLink(src.Path() + "/to zip.LNK", {W(src.Path() + "/linked.zip"), "", "", true, false});
  WriteShellLink(src.Path() + "/to nothing.lnk",
                 {W(src.Path() + "/gone.gob"), "", "", false, false});
  app->InstallFile(W(src.Path() + "/to patch.lnk"));
  app->InstallFile(W(src.Path() + "/to zip.LNK"));
  app->InstallFile(W(src.Path() + "/to nothing.lnk"));
  EXPECT_EQ(Listed(), (std::vector<std::string>{"target.gob", "zipped.gob"}));
  // A link that leads to itself ends with a clear error instead of looping.
  WriteShellLink(src.Path() + "/loop.lnk", {W(src.Path() + "/loop.lnk"), "", "", false, false});
  try {
    app->InstallFile(W(src.Path() + "/loop.lnk"));
    FAIL();
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find("more than 8 shell links"), std::string::npos) << e.Message();
  }
}

} // namespace
