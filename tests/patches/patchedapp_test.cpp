#include "platform/registry.h"
#include "platform/sysutils.h"
#include "storetest.h"
#include "tests/fixtures/gobmaker.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace dravik;
using namespace dravik::test;
namespace fs = std::filesystem;

namespace {

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
  const std::string warning = app->Rescan();
  EXPECT_EQ(Listed(),
            (std::vector<std::string>{"Alpha.GOB*", "both.gob", "both.gob*", "zeta.gob"}));
  // The two copies of both.gob carry the same file and conflict.
  EXPECT_EQ(app->Patches[1]->Conflicts.size(), 1u);
  EXPECT_NE(warning.find("folder.gob"), std::string::npos);
  EXPECT_EQ(app->Rescan(), ""); // the same unreadable file is not named again
  EXPECT_TRUE(dialogs.Asked().empty());
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
  const std::string warning = app->Rescan();
  ASSERT_EQ(app->Patches.Count(), 300);
  for (int i = 0; i < 300; ++i) {
    TPatch* p = app->Patches[i];
    EXPECT_EQ(p->FileName(), Format("p%03d.gob", i));
    EXPECT_EQ(p->Active, i % 3 ? 0 : 1);
    EXPECT_EQ(p->Conflicts.size(), 29u) << i; // the other carriers of its shared file
  }
  EXPECT_NE(warning.find("p150x.gob"), std::string::npos);
}

// Each patch as the list shows it: file, folder, game files and conflicts in their order.
std::vector<std::string> Described(const TPatchList& list) {
  std::vector<std::string> r;
  for (int i = 0; i < list.Count(); ++i) {
    const TPatch* p = list[i];
    std::string s = p->FileName() + (p->Active ? "*" : "") + " [" + p->Files.Text() + "] ->";
    for (const TPatch* c : p->Conflicts)
      s += " " + c->FileName();
    r.push_back(s);
  }
  return r;
}

TEST_F(Store, ARescanReadsAgainWhatChangedAndLinksAsAFirstReadDoes) {
  MakeHostDirs(game.ActiveHost());
  game.WritePatch(game.InactiveHost("a.gob"), {"x.mat", "y.mat"}, "A");
  game.WritePatch(game.InactiveHost("b.gob"), {"x.mat"}, "B");
  game.WritePatch(game.InactiveHost("c.gob"), {"z.mat"}, "C");
  game.WritePatch(game.InactiveHost("f.gob"), {"z.mat"}, "F");
  game.WritePatch(game.ActiveHost("d.gob"), {"y.mat"}, "D");
  WaitUntilSettled(game.GameHost());
  app->Rescan();
  const TPatch* unchanged = app->Patches[Position("c.gob")];

  // Another program changes the store. b.gob gets other content of the same size in place,
  // its modification time put back as copies that keep times do.
  const std::string b = game.InactiveHost("b.gob");
  struct stat old;
  ASSERT_EQ(::stat(b.c_str(), &old), 0);
  game.WritePatch(b, {"q.mat"}, "B");
  const struct timespec times[2] = {old.st_atim, old.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, b.c_str(), times, 0), 0);
  ASSERT_EQ(fs::file_size(b), uintmax_t(old.st_size));
  fs::rename(game.ActiveHost("d.gob"), game.InactiveHost("d.gob"));
  fs::remove(game.InactiveHost("a.gob"));
  game.WritePatch(game.InactiveHost("bb.gob"), {"z.mat"}, "C"); // lists before c.gob
  app->Rescan();

  EXPECT_EQ(app->Patches[Position("c.gob")], unchanged);
  EXPECT_EQ(app->Patches[Position("b.gob")]->Files.Lines(), std::vector<std::string>{"q.mat"});
  THXPatchedAppList fresh;
  fresh.LoadCatalogue();
  fresh.Items(0)->Rescan();
  EXPECT_EQ(Described(app->Patches), Described(fresh.Items(0)->Patches));
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

TEST_F(Store, AFailedSwitchPutsBackWhatItMovedAndNamesTheFileInTheWay) {
  app->OpenStore();
  game.WritePatch(game.InactiveHost("a.gob"), {"x.mat", "y.mat"});
  game.WritePatch(game.ActiveHost("b.gob"), {"x.mat"});
  game.WritePatch(game.ActiveHost("c.gob"), {"y.mat"});
  app->Rescan();
  // A file of a.gob's name, in other letters, already in the active folder blocks the last move.
  game.WritePatch(game.ActiveHost("A.GOB"), {"other.mat"});
  try {
    app->ToggleActive(Position("a.gob"));
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Cannot move C:\\Games\\Halvex\\HXPatch\\a.gob: "
                           "C:\\Games\\Halvex\\HXPatch\\active\\A.GOB already exists");
  }
  // The conflicting patches were switched off, then on again; a.gob kept its state.
  EXPECT_EQ(app->Patches[Position("a.gob")]->Active, 0);
  EXPECT_EQ(app->Patches[Position("b.gob")]->Active, 1);
  EXPECT_EQ(app->Patches[Position("c.gob")]->Active, 1);
  EXPECT_EQ(TTestGame::FolderFiles(game.ActiveHost()),
            (std::vector<std::string>{"A.GOB", "b.gob", "c.gob"}));
  EXPECT_EQ(TTestGame::FolderFiles(game.InactiveHost()), std::vector<std::string>{"a.gob"});
  // A missing file is named as the one that cannot be moved.
  fs::remove(game.InactiveHost("a.gob"));
  fs::remove(game.ActiveHost("A.GOB"));
  try {
    app->ToggleActive(Position("a.gob"));
    FAIL();
  } catch (const Exception& e) {
    EXPECT_TRUE(e.Message().starts_with("Cannot move C:\\Games\\Halvex\\HXPatch\\a.gob: "))
        << e.Message();
  }
  EXPECT_EQ(TTestGame::FolderFiles(game.ActiveHost()),
            (std::vector<std::string>{"b.gob", "c.gob"}));
}

TEST_F(Store, AHostileDescriptorCannotSendTheStoreOutsideItsFolders) {
  app->OpenStore();
  TTempDir src;
  WriteHostFile(game.Prefix.HostC("victim.txt"), "mine");
  // A second "File Name" line that sorts before the file's own.
  game.WritePatch(src.Path() + "/hostile.gob", {"h.mat"}, "Hostile",
                  "File Name=x.gob\r\nFile Name=..\\..\\..\\victim.txt\r\n");
  EXPECT_TRUE(app->InstallPatchFile(W(src.Path() + "/hostile.gob")));
  EXPECT_EQ(Listed(), std::vector<std::string>{"hostile.gob"});
  app->ToggleActive(0);
  EXPECT_EQ(TTestGame::FolderFiles(game.ActiveHost()), std::vector<std::string>{"hostile.gob"});
  dialogs.Answer(mrYes);
  app->DeletePatch(app->Patches[0]);
  EXPECT_EQ(dialogs.Asked().back().Text, "Delete Hostile (hostile.gob)?");
  EXPECT_EQ(TTestGame::FolderFiles(game.ActiveHost()), std::vector<std::string>{});
  EXPECT_EQ(ReadHostFile(game.Prefix.HostC("victim.txt")), "mine");
  EXPECT_EQ(TTestGame::FolderFiles(game.Prefix.DriveC()), std::vector<std::string>{"victim.txt"});

  // Whatever else names a patch's file, the store refuses a name that leads out of its folder.
  for (const char* name :
       {"..\\victim.txt", "../victim.txt", "C:victim.txt", "..", "a\x01.gob", ""}) {
    auto patch = std::make_unique<TPatch>();
    patch->Info.SetValue("File Name", name);
    TPatch* raw = patch.get();
    app->Patches.Add(std::move(patch));
    EXPECT_THROW(app->ToggleActive(0), Exception) << name;
    EXPECT_THROW(app->DeletePatch(raw), Exception) << name;
    EXPECT_EQ(raw->Active, 0);
    app->Patches.Delete(0);
  }
  EXPECT_TRUE(dialogs.AllAnswered()); // nothing was asked before the refusal
  EXPECT_EQ(ReadHostFile(game.Prefix.HostC("victim.txt")), "mine");
  // A file whose own name holds a control character is not installed.
  game.WritePatch(src.Path() + "/bell\a.gob", {"b.mat"});
  EXPECT_THROW(app->InstallPatchFile(W(src.Path() + "/bell\a.gob")), Exception);
  EXPECT_EQ(TTestGame::FolderFiles(game.InactiveHost()), std::vector<std::string>{});
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
  // The question names the patch and its file; Enter answers No.
  EXPECT_EQ(dialogs.Asked().back().Text, "Delete on (on.gob)?");
  EXPECT_EQ(dialogs.Asked().back().Buttons, (TMsgDlgButtons{mbYes, mbNo}));
  EXPECT_EQ(dialogs.Asked().back().Default, mbNo);
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
  EXPECT_TRUE(app->InstallPatchFile(W(src.Path() + "/new.gob")));
  EXPECT_EQ(Listed(), (std::vector<std::string>{"new.gob", "old.gob*"}));

  game.WritePatch(src.Path() + "/old.gob", {"o2.mat"}, "Old two");
  dialogs.Answer(mrNo);
  EXPECT_FALSE(app->InstallPatchFile(W(src.Path() + "/old.gob")));
  EXPECT_EQ(dialogs.Asked().back().Text, "Patch old.gob already exists. Overwrite?");
  EXPECT_TRUE(HostExists(game.ActiveHost("old.gob")));

  dialogs.Answer(mrYes);
  EXPECT_TRUE(app->InstallPatchFile(W(src.Path() + "/old.gob")));
  EXPECT_FALSE(HostExists(game.ActiveHost("old.gob")));
  EXPECT_EQ(Listed(), (std::vector<std::string>{"new.gob", "old.gob"})); // old entry dropped
  EXPECT_EQ(app->Patches[Position("old.gob")]->Name, "Old two");
  ExpectStoreMatchesDisk();

  // All is remembered until the next rescan.
  dialogs.Answer(mrAll);
  app->InstallPatchFile(W(src.Path() + "/old.gob"));
  app->InstallPatchFile(W(src.Path() + "/new.gob")); // asks nothing
  EXPECT_TRUE(dialogs.AllAnswered());
  app->Rescan();
  EXPECT_FALSE(app->OverwriteToAll);
}

TEST_F(Store, OnlyGOBArchivesBecomePatches) {
  app->OpenStore();
  TTempDir src;
  std::string damaged = MakePatchBytes({"d.mat"}, "Name=Damaged");
  PutLE32(damaged, 12, 0x7FFFFFFF); // a member count far past the end
  const std::pair<const char*, std::string> files[] = {{"empty.gob", ""},
                                                       {"text.gob", "Just some text"},
                                                       {"short.gob", "GOB"},
                                                       {"zip.gob", "PK\x03\x04"},
                                                       {"damaged.gob", damaged}};
  for (const auto& [name, bytes] : files) {
    WriteHostFile(src.Path() + "/" + name, bytes);
    try {
      app->InstallPatchFile(W(src.Path() + "/" + name));
      EXPECT_STREQ(name, "damaged.gob");
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(),
                "Cannot install " + W(src.Path() + "/" + name) + ": it is not a GOB archive");
    }
  }
  EXPECT_EQ(Listed(), std::vector<std::string>{"damaged.gob"});
  EXPECT_EQ(TTestGame::FolderFiles(game.InactiveHost()), std::vector<std::string>{"damaged.gob"});
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
    try {
      app->InstallPatchFile(W(src.Path() + "/keep.gob"));
    } catch (const Exception& e) {
      _exit(e.Message().starts_with("Cannot copy ") ? 0 : 1);
    }
    _exit(1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadHostFile(game.ActiveHost("keep.gob")), old);
  EXPECT_EQ(TTestGame::FolderFiles(game.InactiveHost()), std::vector<std::string>{});
}

TEST_F(Store, AnActiveCopyThatCannotBeRemovedIsReportedAndStaysListed) {
  app->OpenStore();
  game.WritePatch(game.ActiveHost("keep.gob"), {"k.mat"}, "Old");
  std::string old = ReadHostFile(game.ActiveHost("keep.gob"));
  TTempDir src;
  game.WritePatch(src.Path() + "/keep.gob", {"k.mat"}, "New");
  app->Rescan();
  // Only the active folder refuses changes; the installation runs as a user without rights
  // there (root ignores folder modes).
  for (const std::string& dir : {game.Prefix.Path(), src.Path(), game.InactiveHost()})
    fs::permissions(dir, fs::perms::all);
  fs::permissions(game.ActiveHost(), fs::perms::owner_all | fs::perms::group_exec |
                                         fs::perms::others_read | fs::perms::others_exec);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (geteuid() == 0 && setuid(65534) != 0) _exit(2);
    dialogs.Answer(mrYes);
    bool told = false;
    try {
      app->InstallPatchFile(W(src.Path() + "/keep.gob"));
    } catch (const Exception& e) {
      told =
          e.Message().starts_with("Cannot delete C:\\Games\\Halvex\\HXPatch\\active\\keep.gob: ");
    }
    bool listed = Listed() == std::vector<std::string>{"keep.gob", "keep.gob*"};
    _exit(told && listed ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadHostFile(game.ActiveHost("keep.gob")), old);
  EXPECT_EQ(TTestGame::FolderFiles(game.InactiveHost()), std::vector<std::string>{"keep.gob"});
}

TEST_F(Store, EpisodesGoToTheEpisodeFolder) {
  app->OpenStore();
  TTempDir src;
  game.WritePatch(src.Path() + "/level1.gob", {"Episode.HX", "hxl\\cavern1.hxl"});
  game.WritePatch(src.Path() + "/level2.gob", {"episode.hx"});
  // No episode folder yet: the copy fails.
  dialogs.Answer(mrOk);
  try {
    app->InstallPatchFile(W(src.Path() + "/level1.gob"));
    FAIL();
  } catch (const Exception& e) {
    EXPECT_TRUE(e.Message().starts_with("Cannot copy " + W(src.Path() + "/level1.gob") + ": "));
  }
  EXPECT_EQ(dialogs.Asked()[0].Buttons, (TMsgDlgButtons{mbNo, mbOK, mbAll}));
  EXPECT_EQ(dialogs.Asked()[0].Text.rfind("level1.gob appears to contain an episode", 0), 0u);
  MakeHostDirs(game.GameHost() + "/episode");
  dialogs.Answer(mrNo);
  EXPECT_FALSE(app->InstallPatchFile(W(src.Path() + "/level1.gob")));
  EXPECT_EQ(TTestGame::FolderFiles(game.GameHost() + "/episode"), std::vector<std::string>{});
  dialogs.Answer(mrAll);
  app->InstallPatchFile(W(src.Path() + "/level1.gob"));
  app->InstallPatchFile(W(src.Path() + "/level2.gob")); // All: no question
  EXPECT_EQ(TTestGame::FolderFiles(game.GameHost() + "/episode"),
            (std::vector<std::string>{"level1.gob", "level2.gob"}));
  EXPECT_EQ(app->Patches.Count(), 0);
  // Overwriting an episode asks both questions, the episode one first.
  app->EpisodeToAll = false;
  dialogs.Answer(mrOk);
  dialogs.Answer(mrYes);
  app->InstallPatchFile(W(src.Path() + "/level2.gob"));
  EXPECT_EQ(dialogs.Asked().back().Text, "level2.gob already exists. Overwrite?");
  EXPECT_TRUE(dialogs.AllAnswered());
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

} // namespace
