#include "platform/filestream.h"
#include "platform/hostfile.h"
#include "platform/scopeexit.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"
#include "tests/fixtures/tempprefix.h"
#include "tests/platform/testhelpers.h"
#include "tests/platform/tinyfs.h"

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace dravik;
using namespace dravik::winfs;
using namespace dravik::test;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const std::vector<TSearchRec>& recs) {
  std::vector<std::string> r;
  for (const auto& x : recs)
    r.push_back(x.Name);
  return r;
}

const TSearchRec* FindRec(const std::vector<TSearchRec>& recs, const std::string& name) {
  for (const auto& r : recs)
    if (r.Name == name) return &r;
  return nullptr;
}

// Changes the current folder for a test and goes back afterwards.
class TCurrentFolder {
public:
  explicit TCurrentFolder(const std::string& dir) : FOld(fs::current_path()) {
    fs::current_path(dir);
  }
  ~TCurrentFolder() { fs::current_path(FOld); }

private:
  fs::path FOld;
};

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
  return s;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Windows paths to host paths

TEST(WinFsMapping, ComponentsAreFoundWithoutRegardToCase) {
  TTempPrefix p;
  MakeHostDirs(p.HostC("Games/Hx/hxpatch/Active"));
  EXPECT_EQ(ToHostPath("C:\\Games\\Hx\\HXPatch\\active\\x.gob"),
            p.HostC("Games/Hx/hxpatch/Active/x.gob"));
  EXPECT_EQ(ToHostPath("c:\\GAMES\\hx\\HxPatch"), p.HostC("Games/Hx/hxpatch"));
  // Runs of separators, forward slashes, a trailing separator, "." and ".." (lexically, never
  // above the drive root).
  EXPECT_EQ(ToHostPath("C:/games\\\\hx//.\\nothere\\..\\hxpatch\\ACTIVE\\"),
            p.HostC("Games/Hx/hxpatch/Active"));
  EXPECT_EQ(ToHostPath("C:\\..\\..\\games\\..\\..\\Games"), p.HostC("Games"));
  EXPECT_EQ(ToHostPath("C:\\"), p.DriveC());
  EXPECT_EQ(ToHostPath("C:"), p.DriveC());
  // A component that does not exist keeps its spelling, and so does everything below it.
  EXPECT_EQ(ToHostPath("C:\\GAMES\\New Folder\\HX"), p.HostC("Games/New Folder/HX"));
}

TEST(WinFsMapping, NewNamesGoIntoTheExistingMixedCaseFolder) {
  TTempPrefix p;
  MakeHostDirs(p.HostC("Games/Hx/hxpatch"));
  { TFileStream f("C:\\GAMES\\hx\\HXPATCH\\New.GOB", fmCreate); }
  EXPECT_TRUE(HostExists(p.HostC("Games/Hx/hxpatch/New.GOB")));
  EXPECT_TRUE(FileExists("c:\\games\\HX\\hxpatch\\new.gob"));

  // Creating the folder under another spelling finds the existing one.
  EXPECT_FALSE(CreateDir("C:\\Games\\Hx\\HXPatch\\"));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(DirectoryExists("C:\\Games\\Hx\\HXPatch\\"));
  EXPECT_TRUE(CreateDir("C:\\Games\\Hx\\HXPatch\\active\\"));
  EXPECT_EQ(HostListing(p.HostC("Games/Hx")), std::vector<std::string>{"hxpatch"});
  EXPECT_EQ(HostListing(p.HostC("Games/Hx/hxpatch")),
            (std::vector<std::string>{"New.GOB", "active"}));
}

TEST(WinFsMapping, TheExactNameWinsThenTheFirstInNameOrder) {
  TTempPrefix p;
  MakeHostDirs(p.HostC("data"));
  MakeHostDirs(p.HostC("Data"));
  EXPECT_EQ(ToHostPath("C:\\data\\x"), p.HostC("data/x"));
  EXPECT_EQ(ToHostPath("C:\\Data\\x"), p.HostC("Data/x"));
  EXPECT_EQ(ToHostPath("C:\\DATA\\x"), p.HostC("Data/x")); // "Data" sorts before "data"
}

TEST(WinFsMapping, LettersBeyondAsciiFoldToo) {
  TTempPrefix p;
  MakeHostDirs(p.HostC("Café/Ärger"));
  MakeHostDirs(p.HostC("Моды"));
  EXPECT_EQ(ToHostPath("C:\\CAFÉ\\äRGER\\f"), p.HostC("Café/Ärger/f"));
  EXPECT_EQ(ToHostPath("C:\\мОДЫ"), p.HostC("Моды"));
  // Bytes that are not UTF-8 match only themselves.
  MakeHostDirs(p.HostC("\xFF"));
  EXPECT_EQ(ToHostPath("C:\\\xFF\\x"), p.HostC("\xFF/x"));
  EXPECT_EQ(ToHostPath("C:\\\xDF"), p.HostC("\xDF"));
}

TEST(WinFsMapping, DriveLettersAndUnmappablePaths) {
  TTempPrefix p;
  EXPECT_EQ(ToHostPath("c:\\x"), ToHostPath("C:\\x"));
  EXPECT_EQ(ToHostPath("Z:\\usr"), "/usr");

  fs::create_directory_symlink("../missing", p.Path() + "/dosdevices/e:");
  for (const char* path : {"Q:\\x", "E:\\x", "\\\\server\\share\\x", "//server/share"}) {
    SetLastError(0);
    EXPECT_EQ(ToHostPath(path), "") << path;
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND) << path;
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND) << path;
  }
  EXPECT_FALSE(CreateDir("Q:\\x"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

  EXPECT_EQ(ToHostPath(""), "");
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  EXPECT_FALSE(FileExists(std::string("C:\\a\0b", 6)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  EXPECT_EQ(ToWindowsPath(std::string("/tmp\0x", 6)), std::nullopt);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);

  // Odd input of every kind is handled without harm.
  for (const std::string& s :
       {std::string(":"), std::string("C"), std::string("\\"), std::string("/"), std::string(".."),
        std::string("."), std::string("C:.."), std::string("1:\\x"), std::string("\\\\"),
        std::string("\\\\?\\C:\\x"), std::string("C:\\*?<>|\""), std::string(5000, 'a'),
        std::string(300, '\\'), "C:\\" + std::string(300, 'x'), std::string("C:\\\x80\xC3")}) {
    ToHostPath(s);
    (void)FileExists(s);
    FindFiles(s, faAnyFile);
    FindFiles(s + "\\*", faAnyFile);
    ToWindowsPath(s);
  }
  EXPECT_TRUE(HostExists(p.DriveC()));
}

// ---------------------------------------------------------------------------------------------
// What the mapping remembers between calls gives way to every change

namespace {

// Sets the times of `root` and every folder below it to a moment long past, as programs that
// restore times do (the status change time is set anew).
void AgeFolders(const std::string& root) {
  const struct timespec past[2] = {{946684800, 0}, {946684800, 0}};
  ::utimensat(AT_FDCWD, root.c_str(), past, AT_SYMLINK_NOFOLLOW);
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_directory() && !e.is_symlink())
      ::utimensat(AT_FDCWD, e.path().c_str(), past, AT_SYMLINK_NOFOLLOW);
}

void Relink(const std::string& link, const std::string& target) {
  fs::remove(link);
  fs::create_directory_symlink(target, link);
}

} // namespace

TEST(WinFsMapping, WhatIsRememberedGivesWayToEveryChange) {
  struct TCase {
    const char* What;
    std::vector<std::string> Folders, Files; // below C:
    std::function<void(const TTempPrefix&)> Prepare, Change;
    const char* Path;
    const char* Before; // below C:
    const char* After;
  };
  auto none = [](const TTempPrefix&) {};
  const std::vector<TCase> cases = {
      {"an exact name made beside the one found",
       {"Data"},
       {},
       none,
       [](auto& p) { fs::create_directory(p.HostC("DATA")); },
       "C:\\DATA\\f",
       "Data/f",
       "DATA/f"},
      {"a variant made that sorts first",
       {"data"},
       {},
       none,
       [](auto& p) { fs::create_directory(p.HostC("Data")); },
       "C:\\DATA\\f",
       "data/f",
       "Data/f"},
      {"the folder found removed, another variant left",
       {"Data", "data"},
       {},
       none,
       [](auto& p) { fs::remove(p.HostC("Data")); },
       "C:\\DATA\\f",
       "Data/f",
       "data/f"},
      {"the folder found renamed",
       {"hxpatch/active"},
       {},
       none,
       [](auto& p) { fs::rename(p.HostC("hxpatch"), p.HostC("HxPatch")); },
       "C:\\HXPatch\\ACTIVE\\x.gob",
       "hxpatch/active/x.gob",
       "HxPatch/active/x.gob"},
      {"a change that keeps the modification time",
       {"Data"},
       {},
       none,
       [](auto& p) {
         fs::create_directory(p.HostC("DATA"));
         AgeFolders(p.DriveC());
       },
       "C:\\DATA\\f",
       "Data/f",
       "DATA/f"},
      {"a missing folder made",
       {"Games"},
       {},
       none,
       [](auto& p) { fs::create_directory(p.HostC("Games/new")); },
       "C:\\GAMES\\NEW\\x",
       "Games/NEW/x",
       "Games/new/x"},
      {"a file renamed to the exact name",
       {"store"},
       {"store/a.gob"},
       none,
       [](auto& p) { fs::rename(p.HostC("store/a.gob"), p.HostC("store/A.GOB")); },
       "C:\\STORE\\A.GOB",
       "store/a.gob",
       "store/A.GOB"},
      {"a file made under a name looked up before",
       {"store"},
       {},
       none,
       [](auto& p) { WriteHostFile(p.HostC("store/new.GOB"), "x"); },
       "C:\\STORE\\New.gob",
       "store/New.gob",
       "store/new.GOB"},
      {"a file deleted",
       {"store"},
       {"store/a.gob"},
       none,
       [](auto& p) { fs::remove(p.HostC("store/a.gob")); },
       "C:\\STORE\\A.GOB",
       "store/a.gob",
       "store/A.GOB"},
      {"a drive link led elsewhere",
       {"One/x", "Two/X"},
       {},
       [](auto& p) { fs::create_directory_symlink("../drive_c/One", p.Path() + "/dosdevices/d:"); },
       [](auto& p) { Relink(p.Path() + "/dosdevices/d:", "../drive_c/Two"); },
       "D:\\X\\f",
       "One/x/f",
       "Two/X/f"},
      {"a link in the prefix led elsewhere",
       {"One/Sub", "Two/sub"},
       {},
       [](auto& p) { fs::create_directory_symlink("One", p.HostC("link")); },
       [](auto& p) { Relink(p.HostC("link"), "Two"); },
       "C:\\link\\SUB\\f",
       "link/Sub/f",
       "link/sub/f"},
      {"our own copy under a name looked up before",
       {"store"},
       {"x"},
       none,
       [](auto&) { EXPECT_TRUE(CopyFile("C:\\x", "C:\\store\\new.gob", true)); },
       "C:\\STORE\\NEW.GOB",
       "store/NEW.GOB",
       "store/new.gob"},
      {"our own rename to another case",
       {"store"},
       {"store/a.gob"},
       none,
       [](auto&) { EXPECT_TRUE(MoveFile("C:\\store\\a.gob", "C:\\store\\A.gob")); },
       "C:\\STORE\\A.GOB",
       "store/a.gob",
       "store/A.gob"},
  };
  for (const TCase& c : cases) {
    TTempPrefix p;
    for (const std::string& folder : c.Folders)
      MakeHostDirs(p.HostC(folder));
    for (const std::string& file : c.Files)
      WriteHostFile(p.HostC(file), "x");
    c.Prepare(p);
    AgeFolders(p.Path());
    WaitUntilSettled(p.Path());
    // Twice, so that the second comes from what was remembered.
    EXPECT_EQ(ToHostPath(c.Path), p.HostC(c.Before)) << c.What;
    EXPECT_EQ(ToHostPath(c.Path), p.HostC(c.Before)) << c.What;
    c.Change(p);
    EXPECT_EQ(ToHostPath(c.Path), p.HostC(c.After)) << c.What;
  }
}

TEST(WinFsMapping, ThreadsMapAtOnce) {
  TTempPrefix p;
  MakeHostDirs(p.HostC("games/HALVEX/hxpatch/ACTIVE"));
  for (int i = 0; i < 50; ++i)
    WriteHostFile(p.HostC("games/HALVEX/hxpatch/ACTIVE/p" + std::to_string(i) + ".gob"), "x");
  WaitUntilSettled(p.DriveC());
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int round = 0; round < 20; ++round)
        for (int i = 0; i < 50; ++i) {
          const std::string name = "P" + std::to_string(i) + ".GOB";
          if (ToHostPath("C:\\Games\\Halvex\\HXPatch\\active\\" + name) !=
              p.HostC("games/HALVEX/hxpatch/ACTIVE/p" + std::to_string(i) + ".gob"))
            ++wrong;
        }
    });
  for (std::thread& t : threads)
    t.join();
  EXPECT_EQ(wrong, 0);
}

// ---------------------------------------------------------------------------------------------
// Host paths to Windows paths

TEST(WinFsMapping, HostPathsTurnIntoTheMostSpecificDrive) {
  TTempPrefix p;
  MakeHostDirs(p.HostC("Games/Hx/Sub"));
  EXPECT_EQ(ToWindowsPath(p.HostC("Games/Hx/Sub/x.gob")), "C:\\Games\\Hx\\Sub\\x.gob");
  EXPECT_EQ(ToWindowsPath(p.DriveC()), "C:\\");
  EXPECT_EQ(ToWindowsPath("/usr/share"), "Z:\\usr\\share");
  EXPECT_EQ(ToWindowsPath("/"), "Z:\\");

  fs::create_directory_symlink("../drive_c/Games/Hx", p.Path() + "/dosdevices/d:");
  EXPECT_EQ(ToWindowsPath(p.HostC("Games/Hx/Sub/x.gob")), "D:\\Sub\\x.gob");
  EXPECT_EQ(ToWindowsPath(p.HostC("Games/other")), "C:\\Games\\other");
  EXPECT_EQ(ToHostPath("D:\\sub\\X.GOB"), p.HostC("Games/Hx/Sub/X.GOB"));

  // Links and ".." in the folders are resolved; a link as the last component keeps its name.
  fs::create_directory_symlink(p.HostC("Games/Hx"), p.HostC("link"));
  EXPECT_EQ(ToWindowsPath(p.HostC("link/Sub/../Sub/y")), "D:\\Sub\\y");
  EXPECT_EQ(ToWindowsPath(p.HostC("link")), "C:\\link");
  EXPECT_EQ(ToWindowsPath(p.HostC("new/deeper/../file")), "C:\\new\\file");

  for (const std::string& host : {p.HostC("Games/Hx/Sub"), p.HostC("Games/new.gob")}) {
    auto w = ToWindowsPath(host);
    ASSERT_TRUE(w.has_value());
    EXPECT_EQ(ToHostPath(*w), host);
  }

  {
    // Relative paths of both kinds start at the current folder.
    TCurrentFolder cwd(p.HostC("Games"));
    EXPECT_EQ(ToWindowsPath("Hx/Sub"), "D:\\Sub");
    EXPECT_EQ(ToWindowsPath("./new/../x"), "C:\\Games\\x");
    EXPECT_EQ(ToHostPath("hx\\SUB"), p.HostC("Games/Hx/Sub"));
    EXPECT_EQ(ToHostPath("..\\GAMES\\hx"), p.HostC("Games/Hx"));
    EXPECT_EQ(ToHostPath("\\games"), p.HostC("Games")); // root of the current folder's drive
  }

  // A Linux name with a backslash cannot be named from Windows.
  WriteHostFile(p.HostC("a\\b"), "x");
  EXPECT_EQ(ToWindowsPath(p.HostC("a\\b")), std::nullopt);

  fs::remove(p.Path() + "/dosdevices/z:");
  EXPECT_EQ(ToWindowsPath("/usr/share"), std::nullopt);
  EXPECT_EQ(ToWindowsPath(p.HostC("Games")), "C:\\Games");
}

TEST(WinFsMapping, MessagesNameFilesOutsideThePrefixByTheirLinuxPaths) {
  TTempPrefix p;
  fs::create_directory_symlink("/usr", p.Path() + "/dosdevices/h:");
  EXPECT_EQ(DriveRoots(), (std::vector<std::string>{"C:\\", "H:\\", "Z:\\"}));
  const struct {
    const char* Path;
    const char* Shown;
  } cases[] = {
      {"Z:\\tmp\\a b\\x.gob", "/tmp/a b/x.gob"}, // the root drive: a Linux path
      {"z:/tmp//x.gob", "/tmp/x.gob"},
      {"Z:", "/"},
      {"C:\\Games\\x.gob", "C:\\Games\\x.gob"}, // the prefix's own drives stay
      {"H:\\share\\x.gob", "H:\\share\\x.gob"},
      {"Q:\\x.gob", "Q:\\x.gob"}, // no such drive
      {"Z:x.gob", "Z:x.gob"},     // relative to the drive's folder: as it is
      {"/tmp/x.gob", "/tmp/x.gob"},
      {"file:///tmp/x.gob", "file:///tmp/x.gob"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DisplayPath(c.Path), c.Shown) << c.Path;
  EXPECT_EQ(EFOpenError("Z:\\tmp\\x.gob").Message(), "Cannot open file /tmp/x.gob");
  EXPECT_EQ(EFCreateError("C:\\x.gob").Message(), "Cannot create file C:\\x.gob");
}

// ---------------------------------------------------------------------------------------------
// Listing

TEST(WinFsFind, MasksOrderAndAttributes) {
  TTempPrefix p;
  const std::string dir = p.HostC("Games/Hx/HXPatch/");
  for (const char* n : {"b.GOB", "A.gob", "_x.gob", "é.gob", "Z.gob", "abc.gob", "ABC.gob", "c.txt",
                        "noext", ".hidden.gob"})
    WriteHostFile(dir + n, std::string("12345"));
  WriteHostFile(dir + "A.gob", std::string("1234567"));
  MakeHostDirs(dir + "Sub.gob");
  fs::create_symlink("A.gob", dir + "link.gob");
  fs::create_symlink("nowhere", dir + "dead.gob");

  const std::string mask = "C:\\GAMES\\hx\\hxpatch\\*.gob";
  EXPECT_EQ(Names(FindFiles(mask, 0)),
            (std::vector<std::string>{"A.gob", "ABC.gob", "abc.gob", "b.GOB", "link.gob", "Z.gob",
                                      "_x.gob", "é.gob"}));
  EXPECT_EQ(Names(FindFiles("C:\\Games\\Hx\\HXPatch\\*.GOB", faDirectory)),
            (std::vector<std::string>{"A.gob", "ABC.gob", "abc.gob", "b.GOB", "link.gob", "Sub.gob",
                                      "Z.gob", "_x.gob", "é.gob"}));
  auto withHidden = FindFiles(mask, faHidden);
  ASSERT_FALSE(withHidden.empty());
  EXPECT_EQ(withHidden[0].Name, ".hidden.gob");
  EXPECT_EQ(withHidden[0].Attr, faHidden | faArchive);

  auto all = FindFiles("C:\\Games\\Hx\\HXPatch\\*.*", faAnyFile);
  EXPECT_EQ(all.size(), 12u); // everything but the broken link
  EXPECT_EQ(Names(all), Names(FindFiles("C:\\Games\\Hx\\HXPatch\\*", faAnyFile)));
  EXPECT_EQ(FindRec(all, "dead.gob"), nullptr);
  EXPECT_NE(FindRec(all, "noext"), nullptr);
  EXPECT_EQ(Names(FindFiles("C:\\Games\\Hx\\HXPatch\\NOEXT.*", 0)),
            std::vector<std::string>{"noext"});
  EXPECT_EQ(Names(FindFiles("C:\\Games\\Hx\\HXPatch\\?.gob", 0)),
            (std::vector<std::string>{"A.gob", "b.GOB", "Z.gob", "é.gob"}));

  const TSearchRec* a = FindRec(all, "A.gob");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Attr, faArchive);
  EXPECT_EQ(a->Size, 7);
  struct stat st;
  ASSERT_EQ(::stat((dir + "A.gob").c_str(), &st), 0);
  EXPECT_EQ(a->Time, st.st_mtime);
  const TSearchRec* link = FindRec(all, "link.gob"); // reported as what it points at
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->Attr, faArchive);
  EXPECT_EQ(link->Size, 7);
  EXPECT_EQ(FindRec(all, "Sub.gob")->Attr, faDirectory);
  // Versions come with the same entries, a link's being what it points at.
  std::vector<std::string> versioned;
  for (const TFoundFile& f : FindVersions("C:\\Games\\Hx\\HXPatch\\*.*"))
    versioned.push_back(f.Name);
  EXPECT_EQ(versioned, Names(all));
  EXPECT_EQ(FindVersions(mask + "\\..\\link.gob")[0].Version,
            FindVersions(mask + "\\..\\A.gob")[0].Version);

  EXPECT_TRUE(FindFiles("C:\\Games\\Hx\\HXPatch\\*.zip", faAnyFile).empty());
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(FindFiles("C:\\Games\\None\\*.*", faAnyFile).empty());
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(WinFsFind, AVersionIsTrustedOnlyWhenEveryLaterChangeWouldShow) {
  // A listing at 1000.5 s of files last changed at these moments (modification, status change).
  const struct timespec readFrom = {1000, 500000000};
  struct TCase {
    struct timespec Modified, Changed;
    bool Settled;
  } cases[] = {
      {{1000, 490000000}, {1000, 490000000}, false}, // the next change may get the same stamp
      {{1000, 300000000}, {1000, 300000000}, true},
      {{1, 0}, {1000, 490000000}, false}, // written, then its modification time put back
      {{999, 0}, {999, 0}, false},        // whole seconds: a stamp may stand for two
      {{998, 0}, {998, 0}, true},
  };
  for (const TCase& c : cases) {
    struct stat st {};
    st.st_mtim = c.Modified;
    st.st_ctim = c.Changed;
    EXPECT_EQ(host::Settled(st, readFrom), c.Settled)
        << c.Changed.tv_sec << " " << c.Changed.tv_nsec;
  }
  // Any change of content or status within the same second gives another version.
  struct stat st {};
  st.st_mtim = st.st_ctim = {1000, 300000000};
  struct stat written = st, timesPutBack = st;
  written.st_mtim.tv_nsec = written.st_ctim.tv_nsec = 300001000;
  timesPutBack.st_ctim.tv_nsec = 300001000;
  EXPECT_NE(host::VersionOf(written), host::VersionOf(st));
  EXPECT_NE(host::VersionOf(timesPutBack), host::VersionOf(st));
}

TEST(WinFsFind, ReadOnlyEntries) {
  TTempPrefix p;
  const std::string dir = p.HostC("ro");
  TTinyFs tiny(dir, 1 << 20);
  WriteHostFile(dir + "/file.gob", std::string("x"));
  if (::geteuid() != 0) {
    fs::permissions(dir + "/file.gob", fs::perms::owner_read | fs::perms::group_read);
  } else if (!tiny.MakeReadOnly()) {
    GTEST_SKIP() << "cannot make a read-only file as root without mounting";
  }
  auto recs = FindFiles("C:\\RO\\*.*", 0);
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].Attr, faArchive | faReadOnly);
}

// ---------------------------------------------------------------------------------------------
// Moving and copying

TEST(WinFsMove, NeverReplacesAnExistingTarget) {
  TTempPrefix p;
  WriteHostFile(p.HostC("Hx/a.gob"), std::string("new"));
  WriteHostFile(p.HostC("Hx/b.gob"), std::string("old"));
  MakeHostDirs(p.HostC("Hx/active"));
  MakeHostDirs(p.HostC("Hx/other"));

  EXPECT_FALSE(MoveFile("C:\\hx\\A.GOB", "C:\\HX\\B.gob"));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(ReadHostFile(p.HostC("Hx/a.gob")), "new");
  EXPECT_EQ(ReadHostFile(p.HostC("Hx/b.gob")), "old");
  EXPECT_FALSE(MoveFile("C:\\hx\\active", "C:\\hx\\OTHER"));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

  EXPECT_TRUE(MoveFile("C:\\hx\\a.gob", "C:\\HX\\Active\\New.gob"));
  EXPECT_EQ(ReadHostFile(p.HostC("Hx/active/New.gob")), "new");
  EXPECT_FALSE(HostExists(p.HostC("Hx/a.gob")));
  EXPECT_TRUE(MoveFile("C:\\hx\\ACTIVE", "C:\\hx\\Inactive"));
  EXPECT_EQ(ReadHostFile(p.HostC("Hx/Inactive/New.gob")), "new");

  // Another spelling of the same name changes its letter case.
  EXPECT_TRUE(MoveFile("C:\\hx\\b.gob", "C:\\hx\\B.GOB"));
  EXPECT_EQ(HostListing(p.HostC("Hx")), (std::vector<std::string>{"B.GOB", "Inactive", "other"}));

  EXPECT_FALSE(MoveFile("C:\\hx\\none.gob", "C:\\hx\\x.gob"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(MoveFile("C:\\hx\\B.GOB", "C:\\nope\\x.gob"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(WinFsMove, AcrossFileSystemsCopiesThenDeletes) {
  TTempPrefix p;
  // Drive M: on another file system: a tiny mount, else /dev/shm when that is one.
  TTinyFs tiny(p.HostC("mnt"), 1 << 20);
  std::string other = p.HostC("mnt");
  struct stat shm, c;
  bool useShm = !tiny.Mounted() && ::stat("/dev/shm", &shm) == 0 &&
                ::stat(p.DriveC().c_str(), &c) == 0 && shm.st_dev != c.st_dev &&
                ::access("/dev/shm", W_OK) == 0;
  if (!tiny.Mounted() && !useShm) GTEST_SKIP() << "no second file system here";
  if (useShm) {
    char tmpl[] = "/dev/shm/dravik-move-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    other = tmpl;
  }
  TScopeExit cleanup([&] {
    std::error_code ignored;
    if (useShm) fs::remove_all(other, ignored);
  });
  fs::create_directory_symlink(other, p.Path() + "/dosdevices/m:");

  WriteHostFile(p.HostC("a.gob"), Pattern(300000));
  ::chmod(p.HostC("a.gob").c_str(), 0640);
  struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ::utimensat(AT_FDCWD, p.HostC("a.gob").c_str(), times, 0);
  WriteHostFile(p.HostC("tree/sub/f.txt"), std::string("f"));
  fs::create_symlink("sub/f.txt", p.HostC("tree/link"));

  EXPECT_TRUE(MoveFile("C:\\A.GOB", "M:\\a.gob"));
  EXPECT_FALSE(HostExists(p.HostC("a.gob")));
  EXPECT_EQ(ReadHostFile(other + "/a.gob"), Pattern(300000));
  struct stat st;
  ASSERT_EQ(::stat((other + "/a.gob").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(st.st_mtime, 1000000000);

  EXPECT_TRUE(MoveFile("C:\\tree", "M:\\Tree"));
  EXPECT_FALSE(HostExists(p.HostC("tree")));
  EXPECT_EQ(ReadHostFile(other + "/Tree/sub/f.txt"), "f");
  EXPECT_TRUE(fs::is_symlink(other + "/Tree/link"));
  EXPECT_EQ(HostListing(other), (std::vector<std::string>{"Tree", "a.gob"}));

  WriteHostFile(p.HostC("b.gob"), std::string("b"));
  EXPECT_FALSE(MoveFile("C:\\b.gob", "M:\\A.GOB"));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(ReadHostFile(p.HostC("b.gob")), "b");
}

TEST(WinFsCopy, ReplacesAtomically) {
  TTempPrefix p;
  const std::string data = Pattern(1 << 20 | 123); // several chunks
  WriteHostFile(p.HostC("src/big.bin"), data);
  struct timespec times[2] = {{1200000000, 0}, {1200000000, 0}};
  ::utimensat(AT_FDCWD, p.HostC("src/big.bin").c_str(), times, 0);
  WriteHostFile(p.HostC("dst/Big.bin"), std::string("old"));
  // A reader that has the old file open keeps seeing the old file: it is replaced, not
  // overwritten in place.
  int oldFd = ::open(p.HostC("dst/Big.bin").c_str(), O_RDONLY);
  ASSERT_GE(oldFd, 0);

  EXPECT_TRUE(CopyFile("C:\\SRC\\big.bin", "C:\\dst\\big.BIN", false));
  EXPECT_EQ(ReadHostFile(p.HostC("dst/Big.bin")), data);
  EXPECT_EQ(HostListing(p.HostC("dst")), std::vector<std::string>{"Big.bin"});
  char buf[4] = {};
  EXPECT_EQ(::read(oldFd, buf, 3), 3);
  EXPECT_STREQ(buf, "old");
  ::close(oldFd);
  struct stat st;
  ASSERT_EQ(::stat(p.HostC("dst/Big.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1200000000);

  WriteHostFile(p.HostC("src/other.bin"), std::string("zzz"));
  EXPECT_FALSE(CopyFile("C:\\src\\other.bin", "C:\\dst\\BIG.bin", true));
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_EQ(LastErrorText(), "File exists");
  EXPECT_EQ(ReadHostFile(p.HostC("dst/Big.bin")), data);
  EXPECT_TRUE(CopyFile("C:\\src\\other.bin", "C:\\dst\\Other.bin", true));
  EXPECT_EQ(ReadHostFile(p.HostC("dst/Other.bin")), "zzz");

  EXPECT_FALSE(CopyFile("C:\\src", "C:\\dst\\folder", false));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(CopyFile("C:\\src\\none.bin", "C:\\dst\\x.bin", false));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(CopyFile("C:\\src\\other.bin", "C:\\nope\\x.bin", false));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(HostListing(p.HostC("dst")), (std::vector<std::string>{"Big.bin", "Other.bin"}));
}

TEST(WinFsCopy, AFailedCopyLeavesTheOldTargetWhole) {
  TTempPrefix p;
  WriteHostFile(p.HostC("big.bin"), Pattern(1 << 20));
  TTinyFs full(p.HostC("full"), 64 * 1024);
  int expected = ERROR_DISK_FULL;
  if (!full.Mounted()) {
    if (::geteuid() == 0) GTEST_SKIP() << "needs a tiny file system or an unprivileged user";
    expected = ERROR_ACCESS_DENIED;
  }
  WriteHostFile(p.HostC("full/t.bin"), std::string("old"));
  if (!full.Mounted()) ::chmod(p.HostC("full").c_str(), 0555);

  EXPECT_FALSE(CopyFile("C:\\big.bin", "C:\\full\\T.BIN", false));
  EXPECT_EQ(GetLastError(), expected);
  if (expected == ERROR_DISK_FULL) {
    EXPECT_EQ(LastErrorText(), "No space left on device");
  }
  EXPECT_EQ(ReadHostFile(p.HostC("full/t.bin")), "old");
  EXPECT_EQ(HostListing(p.HostC("full")), std::vector<std::string>{"t.bin"});
  ::chmod(p.HostC("full").c_str(), 0755);
}

TEST(WinFsFiles, DeleteReplaceAndFolders) {
  TTempPrefix p;
  WriteHostFile(p.HostC("Hx/x.gob"), std::string("x"));
  WriteHostFile(p.HostC("Hx/X.tmp"), std::string("new"));
  EXPECT_EQ(FileSize("C:\\hx\\X.GOB"), 1);
  EXPECT_TRUE(ReplaceFile("C:\\HX\\x.TMP", "C:\\HX\\X.GOB"));
  EXPECT_EQ(HostListing(p.HostC("Hx")), std::vector<std::string>{"x.gob"});
  EXPECT_EQ(ReadHostFile(p.HostC("Hx/x.gob")), "new");

  EXPECT_FALSE(DeleteFile("C:\\hx"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(RemoveDir("C:\\HX"));
  EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
  EXPECT_EQ(LastErrorText(), "Directory not empty");
  EXPECT_TRUE(DeleteFile("C:\\HX\\X.GOB"));
  EXPECT_FALSE(FileExists("C:\\hx\\x.gob"));
  EXPECT_TRUE(RemoveDir("C:\\HX\\"));
  EXPECT_FALSE(DirectoryExists("C:\\hx"));
}

// ---------------------------------------------------------------------------------------------
// Trees and the temporary folder

TEST(WinFsTree, RemoveTreeNeverFollowsLinks) {
  TTempPrefix p;
  TTempDir outside;
  WriteHostFile(outside.Path() + "/keep.txt", std::string("keep"));
  WriteHostFile(p.HostC("t/a/b/file"), std::string("1"));
  WriteHostFile(p.HostC("t/.hidden"), std::string("2"));
  fs::create_directory_symlink(outside.Path(), p.HostC("t/a/out"));
  fs::create_symlink(outside.Path() + "/keep.txt", p.HostC("t/f"));
  fs::create_directory_symlink(outside.Path(), p.HostC("l"));

  EXPECT_TRUE(RemoveTree("C:\\T"));
  EXPECT_FALSE(HostExists(p.HostC("t")));
  EXPECT_TRUE(RemoveTree("C:\\L")); // the link goes, not what it points at
  EXPECT_FALSE(HostExists(p.HostC("l")));
  EXPECT_EQ(HostListing(outside.Path()), std::vector<std::string>{"keep.txt"});
  EXPECT_EQ(ReadHostFile(outside.Path() + "/keep.txt"), "keep");

  EXPECT_FALSE(RemoveTree("C:\\t"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  // A drive root is never removed as a whole.
  MakeHostDirs(p.HostC("Games"));
  EXPECT_FALSE(RemoveTree("C:\\"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(RemoveTree("C:\\Games\\.."));
  EXPECT_TRUE(HostExists(p.HostC("Games")));
}

TEST(WinFsTemp, APrivateFolderInWindowsForm) {
  TTempPrefix p;
  const std::string t = GetTempPath();
  ASSERT_FALSE(t.empty());
  EXPECT_EQ(t.back(), '\\');
  EXPECT_EQ(t.rfind("Z:\\", 0), 0u);
  EXPECT_TRUE(DirectoryExists(t));
  EXPECT_EQ(GetTempPath(), t);
  struct stat st;
  ASSERT_EQ(::stat(ToHostPath(t).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  const std::string a = MakeTempDir(), b = MakeTempDir();
  EXPECT_NE(a, b);
  for (const auto& d : {a, b}) {
    EXPECT_EQ(d.rfind(t, 0), 0u);
    EXPECT_EQ(d.back(), '\\');
    EXPECT_TRUE(DirectoryExists(d));
  }
  WriteHostFile(ToHostPath(a + "x.bin"), std::string("x"));
  EXPECT_TRUE(RemoveTree(a));
  EXPECT_TRUE(RemoveTree(b));
  EXPECT_FALSE(DirectoryExists(a));
}

TEST(WinFsTemp, InsideThePrefixWhenNoDriveHoldsTheSystemsOneAndGoneAtExit) {
  TTempPrefix p;
  const std::string first = ToHostPath(GetTempPath());
  fs::remove(p.Path() + "/dosdevices/z:");
  const std::string t = GetTempPath();
  EXPECT_EQ(t.rfind("C:\\windows\\temp\\dravik-", 0), 0u) << t;
  EXPECT_TRUE(DirectoryExists(t));

  // A child process makes its own folder and removes only that one when it exits.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(fds[0]);
    std::string mine = ToHostPath(GetTempPath());
    (void)!::write(fds[1], mine.data(), mine.size());
    ::close(fds[1]);
    std::exit(0);
  }
  ::close(fds[1]);
  std::string childFolder;
  char buf[512];
  ssize_t n;
  while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
    childFolder.append(buf, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(childFolder.rfind(p.DriveC() + "/windows/temp/dravik-", 0), 0u) << childFolder;
  EXPECT_NE(childFolder, ToHostPath(t));
  EXPECT_FALSE(HostExists(childFolder));
  EXPECT_TRUE(DirectoryExists(t));
  EXPECT_TRUE(HostExists(first));
}

// ---------------------------------------------------------------------------------------------
// Errors

TEST(WinFsErrors, CodesAndTexts) {
  TTempPrefix p;
  WriteHostFile(p.HostC("file"), std::string("x"));
  EXPECT_FALSE(DeleteFile("C:\\x.gob"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(LastErrorText(), "No such file or directory");
  EXPECT_FALSE(DeleteFile("C:\\nope\\x.gob"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(CreateDir("C:\\nope\\sub"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(DeleteFile("C:\\file\\x"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(LastErrorText(), "Not a directory");
  EXPECT_EQ(FileSize("C:\\x.gob"), -1);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(CreateDir("C:\\" + std::string(300, 'n')));
  EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
  EXPECT_EQ(LastErrorText(), "File name too long");

  EXPECT_EQ(SysErrorMessage(ERROR_FILE_NOT_FOUND), "No such file or directory");
  EXPECT_EQ(SysErrorMessage(ERROR_ACCESS_DENIED), "Permission denied");
  EXPECT_EQ(SysErrorMessage(ERROR_DISK_FULL), "No space left on device");
  EXPECT_EQ(SysErrorMessage(ERROR_ALREADY_EXISTS), "File exists");
  EXPECT_EQ(SysErrorMessage(12345), "Unknown error 12345");

  SetLastError(ERROR_PATH_NOT_FOUND);
  try {
    RaiseLastInOutError();
    ADD_FAILURE() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), 3);
    EXPECT_EQ(e.Message(), "Invalid filename");
  }

  // The last error belongs to the thread.
  SetLastError(ERROR_ACCESS_DENIED);
  std::thread([] {
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    SetLastError(ERROR_DISK_FULL);
  }).join();
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}
