#include "platform/sysutils.h"
#include "platform/unzip.h"
#include "tests/fixtures/tempprefix.h"
#include "tests/fixtures/zipmaker.h"
#include "tests/platform/testhelpers.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

using namespace dravik;
using namespace dravik::test;
namespace fs = std::filesystem;

namespace {

// Archives are made in C:\in\ and extracted into C:\deep\er\out\, so that anything written
// above the base folder shows up inside the prefix.
class Unzip : public ::testing::Test {
protected:
  Unzip() {
    MakeHostDirs(In());
    MakeHostDirs(Out());
  }
  std::string In() const { return P.HostC("in"); }
  std::string Out() const { return P.HostC("deep/er/out"); }
  static std::string Archive(const std::string& name) { return "C:\\in\\" + name; }
  static constexpr const char* kBase = "C:\\deep\\er\\out\\";

  // Extracts with the request's archive and base folder filled in; records every event.
  int Extract(const std::string& archive, TUnzipRequest r = {}) {
    r.ArchiveName = Archive(archive);
    r.BaseDir = kBase;
    if (!r.Callback)
      r.Callback = [this](const TUnzipEvent& e) {
        Events.push_back(e);
        return false;
      };
    return UnzipExtract(r);
  }
  // Error codes of the messages received.
  std::vector<int> Errors() const {
    std::vector<int> codes;
    for (const auto& e : Events)
      if (e.Action == uaMessage && e.ErrorCode != ueNone) codes.push_back(e.ErrorCode);
    return codes;
  }
  // Every file, folder and link in the prefix's drive C, relative to it.
  std::set<std::string> Everything() const {
    std::set<std::string> all;
    for (const auto& e : fs::recursive_directory_iterator(P.DriveC()))
      all.insert(fs::relative(e.path(), P.DriveC()).string());
    return all;
  }
  // The files in the base folder (relative paths), temporary files included.
  std::set<std::string> OutFiles() const {
    std::set<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(Out()))
      if (!e.is_directory()) files.insert(fs::relative(e.path(), Out()).string());
    return files;
  }
  std::string OutText(const std::string& rel) const { return ReadHostFile(Out() + "/" + rel); }
  std::string Failure(const std::string& archive) {
    return ExceptionMessage([&] { Extract(archive); });
  }

  TTempPrefix P;
  std::vector<TUnzipEvent> Events;
};

// A `zip` archive with folders: a.gob, B.GOB, readme.txt, sub/c.gob, sub/deep/d.gob.
void MakeToolArchive(const std::string& dir, const std::string& name) {
  WriteHostFile(dir + "/src/a.gob", std::string("alpha"));
  WriteHostFile(dir + "/src/B.GOB", std::string("bravo"));
  WriteHostFile(dir + "/src/readme.txt", std::string("read me"));
  WriteHostFile(dir + "/src/sub/c.gob", std::string(70000, 'c'));
  WriteHostFile(dir + "/src/sub/deep/d.gob", std::string("delta"));
  RunIn(dir + "/src", "zip -q -r ../" + name + " a.gob B.GOB readme.txt sub");
}

} // namespace

TEST_F(Unzip, MasksPickFilesAndFolderNamesAreDroppedByDefault) {
  MakeToolArchive(In(), "tool.zip");
  TUnzipRequest r;
  r.Masks = {"*.gob"};
  EXPECT_EQ(Extract("tool.zip", r), 4);
  EXPECT_EQ(OutFiles(), (std::set<std::string>{"a.gob", "B.GOB", "c.gob", "d.gob"}));
  EXPECT_EQ(OutText("c.gob"), std::string(70000, 'c'));
  EXPECT_EQ(OutText("d.gob"), "delta");
  EXPECT_TRUE(Errors().empty());

  // Begin, progress and end for each file, in that order.
  ASSERT_FALSE(Events.empty());
  EXPECT_EQ(Events.front().Action, uaFileBegin);
  EXPECT_EQ(Events.front().Text, "a.gob");
  EXPECT_EQ(Events.front().Size, 5);
  EXPECT_EQ(Events.back().Action, uaFileEnd);
  EXPECT_EQ(Events.back().ErrorCode, ueNone);
}

TEST_F(Unzip, MaskWithAFolderAndFolderNamesKept) {
  MakeToolArchive(In(), "tool.zip");
  TUnzipRequest r;
  r.Masks = {"SUB/*.gob"}; // letter case ignored, "/" and "\" alike, "*" spans folders
  r.DirNames = true;
  EXPECT_EQ(Extract("tool.zip", r), 2);
  EXPECT_EQ(OutFiles(), (std::set<std::string>{"sub/c.gob", "sub/deep/d.gob"}));

  // No masks: everything.
  fs::remove_all(Out());
  MakeHostDirs(Out());
  EXPECT_EQ(Extract("tool.zip"), 5);
  EXPECT_EQ(OutFiles().size(), 5u);
}

TEST_F(Unzip, ExistingFilesAreKeptUnlessOverwriteIsOn) {
  MakeToolArchive(In(), "tool.zip");
  WriteHostFile(Out() + "/a.gob", std::string("old a"));
  WriteHostFile(Out() + "/b.gob", std::string("old b")); // the archive says "B.GOB"
  TUnzipRequest r;
  r.Masks = {"a.gob", "b.gob"};
  EXPECT_EQ(Extract("tool.zip", r), 0);
  EXPECT_EQ(OutText("a.gob"), "old a");
  EXPECT_EQ(OutText("b.gob"), "old b");

  r.Overwrite = true;
  EXPECT_EQ(Extract("tool.zip", r), 2);
  EXPECT_EQ(OutText("a.gob"), "alpha");
  // The existing file is replaced under its own spelling, as Windows would find it.
  EXPECT_EQ(OutText("b.gob"), "bravo");
  EXPECT_EQ(OutFiles(), (std::set<std::string>{"a.gob", "b.gob"}));
}

TEST_F(Unzip, FreshenAndUpdateReplaceOnlyOlderFiles) {
  MakeToolArchive(In(), "tool.zip");
  WriteHostFile(Out() + "/a.gob", std::string("old a"));
  WriteHostFile(Out() + "/B.GOB", std::string("new b"));
  const auto longAgo = fs::file_time_type::clock::now() - std::chrono::hours(24 * 365 * 10);
  const auto future = fs::file_time_type::clock::now() + std::chrono::hours(24 * 365);
  fs::last_write_time(Out() + "/a.gob", longAgo);
  fs::last_write_time(Out() + "/B.GOB", future);

  TUnzipRequest r;
  r.Masks = {"*.gob"};
  r.Freshen = true;
  EXPECT_EQ(Extract("tool.zip", r), 1);
  EXPECT_EQ(OutText("a.gob"), "alpha");
  EXPECT_EQ(OutText("B.GOB"), "new b");
  EXPECT_EQ(OutFiles().size(), 2u); // nothing new

  r.Freshen = false;
  r.Update = true;
  EXPECT_EQ(Extract("tool.zip", r), 2); // c.gob and d.gob are new; a.gob is now as new
  EXPECT_EQ(OutFiles().size(), 4u);
}

TEST_F(Unzip, ArchivesFromPythonWithAndWithoutDataDescriptorsAndZip64) {
  RunPython(In(), R"(
import subprocess, sys, zipfile
def fill(z):
    z.writestr('stored.gob', b'S' * 1000, zipfile.ZIP_STORED)
    z.writestr('dir/deflated.gob', b'D' * 50000, zipfile.ZIP_DEFLATED)
with zipfile.ZipFile('plain.zip', 'w') as z:
    fill(z)
# An unseekable output makes zipfile put the sizes after the data (flag bit 3).
prog = 'import sys, zipfile\nwith zipfile.ZipFile(sys.stdout.buffer, "w") as z:\n' \
       '    z.writestr("stored.gob", b"S" * 1000, zipfile.ZIP_STORED)\n' \
       '    z.writestr("dir/deflated.gob", b"D" * 50000, zipfile.ZIP_DEFLATED)\n'
with open('stream.zip', 'wb') as out:
    p = subprocess.Popen([sys.executable, '-c', prog], stdout=subprocess.PIPE)
    out.write(p.stdout.read())
    assert p.wait() == 0
assert open('stream.zip', 'rb').read()[6] & 8
with zipfile.ZipFile('zip64.zip', 'w') as z:
    for name, method, data in (('stored.gob', zipfile.ZIP_STORED, b'S' * 1000),
                               ('dir/deflated.gob', zipfile.ZIP_DEFLATED, b'D' * 50000)):
        info = zipfile.ZipInfo(name)
        info.compress_type = method
        with z.open(info, 'w', force_zip64=True) as f:
            f.write(data)
)");
  for (const char* archive : {"plain.zip", "stream.zip", "zip64.zip"}) {
    SCOPED_TRACE(archive);
    fs::remove_all(Out());
    MakeHostDirs(Out());
    TUnzipRequest r;
    r.DirNames = true;
    EXPECT_EQ(Extract(archive, r), 2);
    EXPECT_EQ(OutText("stored.gob"), std::string(1000, 'S'));
    EXPECT_EQ(OutText("dir/deflated.gob"), std::string(50000, 'D'));
    EXPECT_TRUE(Errors().empty());

    auto list = UnzipListEntries(Archive(archive));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].Name, "dir/deflated.gob");
    EXPECT_EQ(list[1].UncompressedSize, 50000u);
    EXPECT_EQ(list[1].Method, 8);
    EXPECT_EQ(list[0].CompressedSize, 1000u);
  }
}

TEST_F(Unzip, StreamingZipToolArchives) {
  WriteHostFile(In() + "/a.gob", std::string("alpha"));
  RunIn(In(), "zip -q - a.gob | cat > described.zip"); // data descriptors
  // Standard input goes in as "-", recorded as a pipe.
  RunIn(In(), "printf piped | zip -q - - | cat > piped.zip");
  EXPECT_EQ(Extract("described.zip"), 1);
  EXPECT_EQ(OutText("a.gob"), "alpha");
  TUnzipRequest r;
  r.Masks = {"-"};
  EXPECT_EQ(Extract("piped.zip", r), 1);
  EXPECT_EQ(OutText("-"), "piped");
}

TEST_F(Unzip, HostileNamesLandInTheBaseFolderOrAreSkipped) {
  RunPython(In(), R"(
import zipfile
names = ['../../x.gob', '/etc/x.gob', 'C:\\x.gob', 'a\\..\\..\\x.gob', '..\\..\\y.gob',
         'C:z.gob', '..', '../', '/', 'C:']
with zipfile.ZipFile('hostile.zip', 'w') as z:
    for n in names:
        z.writestr(n, n)
)");
  const std::set<std::string> before = Everything();
  TUnzipRequest r;
  EXPECT_EQ(Extract("hostile.zip", r), 3);
  EXPECT_EQ(OutFiles(), (std::set<std::string>{"x.gob", "y.gob", "z.gob"}));
  EXPECT_EQ(OutText("x.gob"), "../../x.gob"); // the first one; the others find it there
  EXPECT_EQ(OutText("z.gob"), "C:z.gob");
  EXPECT_FALSE(HostExists("/etc/x.gob"));
  std::set<std::string> after = Everything();
  for (const auto& p : after) {
    if (!before.count(p)) {
      EXPECT_EQ(p.rfind("deep/er/out/", 0), 0u) << p;
    }
  }

  // Folder names kept: the folders are made inside the base folder.
  fs::remove_all(Out());
  MakeHostDirs(Out());
  r.DirNames = true;
  EXPECT_EQ(Extract("hostile.zip", r), 5);
  EXPECT_EQ(OutFiles(), (std::set<std::string>{"x.gob", "etc/x.gob", "a/x.gob", "y.gob", "z.gob"}));
  after = Everything();
  for (const auto& p : after) {
    if (!before.count(p)) {
      EXPECT_EQ(p.rfind("deep/er/out/", 0), 0u) << p;
    }
  }
}

TEST_F(Unzip, SymbolicLinksAreNeitherMadeNorFollowed) {
  MakeHostDirs(P.HostC("outside"));
  WriteHostFile(P.HostC("outside/target.gob"), std::string("precious"));
  WriteHostFile(In() + "/src/real.gob", std::string("real"));
  fs::create_symlink(P.HostC("outside/target.gob"), In() + "/src/link.gob");
  RunIn(In() + "/src", "zip -q --symlinks ../links.zip link.gob real.gob");

  EXPECT_EQ(Extract("links.zip"), 1);
  EXPECT_EQ(OutFiles(), (std::set<std::string>{"real.gob"}));
  EXPECT_EQ(Errors(), (std::vector<int>{ueSymlink}));

  // A link already in the base folder is replaced as a name, never written through.
  fs::create_symlink(P.HostC("outside/target.gob"), Out() + "/x.gob");
  fs::create_symlink(P.HostC("outside"), Out() + "/sub");
  WriteHostFile(In() + "/src2/x.gob", std::string("new x"));
  WriteHostFile(In() + "/src2/sub/y.gob", std::string("new y"));
  RunIn(In() + "/src2", "zip -q -r ../plain.zip x.gob sub");
  TUnzipRequest r;
  EXPECT_EQ(Extract("plain.zip", r), 1); // x.gob exists (as a link) and is kept; y.gob new
  EXPECT_TRUE(fs::is_symlink(Out() + "/x.gob"));
  r.Overwrite = true;
  r.DirNames = true;
  Events.clear();
  EXPECT_EQ(Extract("plain.zip", r), 1);
  EXPECT_FALSE(fs::is_symlink(Out() + "/x.gob"));
  EXPECT_EQ(OutText("x.gob"), "new x");
  // sub is a link: neither the folder entry nor sub/y.gob goes through it.
  EXPECT_EQ(Errors(), (std::vector<int>{ueCannotWrite, ueCannotWrite}));
  EXPECT_EQ(ReadHostFile(P.HostC("outside/target.gob")), "precious");
  EXPECT_FALSE(HostExists(P.HostC("outside/y.gob")));
}

TEST_F(Unzip, DataPastTheDeclaredSizeOrWithABadCrcIsNeverPutInPlace) {
  RunPython(In(), std::string(kPyZipHelpers) + R"(
import zipfile
with zipfile.ZipFile('bomb.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('bomb.gob', b'A' * 2000000)
    z.writestr('ok.gob', b'fine')
patch32('bomb.zip', 22, 1000)                # declared uncompressed size: local header
patch32('bomb.zip', 24, 1000, central=True)  # and central directory
with zipfile.ZipFile('crc.zip', 'w', zipfile.ZIP_STORED) as z:
    z.writestr('bad.gob', b'0123456789')
    z.writestr('good.gob', b'good')
rename('crc.zip', b'0123456789', b'0123456780')
)");
  EXPECT_EQ(Extract("bomb.zip"), 1);
  EXPECT_EQ(OutFiles(), (std::set<std::string>{"ok.gob"})); // no temporary file left either
  EXPECT_EQ(Errors(), (std::vector<int>{ueOversized}));
  // It was stopped just past its declared size.
  for (const auto& e : Events) {
    if (e.Action == uaFileEnd && e.Text == "bomb.gob") {
      EXPECT_LE(e.Size, 1001);
    }
  }

  Events.clear();
  EXPECT_EQ(Extract("crc.zip"), 1);
  EXPECT_EQ(OutFiles(), (std::set<std::string>{"ok.gob", "good.gob"}));
  EXPECT_EQ(Errors(), (std::vector<int>{ueBadData}));
}

TEST_F(Unzip, NamesAreCodePage437UnlessFlaggedUtf8) {
  RunPython(In(), std::string(kPyZipHelpers) + R"(
import zipfile
with zipfile.ZipFile('names.zip', 'w') as z:
    z.writestr('@.gob', b'cp437')          # becomes byte 0x81, no UTF-8 flag
    z.writestr('\u03a9mega.gob', b'utf8')  # zipfile sets the UTF-8 flag itself
rename('names.zip', b'@.gob', b'\x81.gob')
)");
  EXPECT_EQ(Extract("names.zip"), 2);
  EXPECT_EQ(OutFiles(), (std::set<std::string>{"\xC3\xBC.gob", "\xCE\xA9mega.gob"}));
  EXPECT_EQ(OutText("\xC3\xBC.gob"), "cp437");
}

TEST_F(Unzip, ArchiveFailuresThrowWithTheArchiveName) {
  WriteHostFile(In() + "/random.zip", std::string(4096, '\x5A') + "PK\x05\x06 junk");
  MakeToolArchive(In(), "tool.zip");
  const std::string whole = ReadHostFile(In() + "/tool.zip");
  WriteHostFile(In() + "/cut.zip", whole.substr(0, whole.size() / 2));

  for (const char* name : {"random.zip", "cut.zip", "missing.zip"})
    EXPECT_NE(Failure(name).find(Archive(name)), std::string::npos) << name;
  EXPECT_THROW(UnzipListEntries(Archive("cut.zip")), Exception);

  TUnzipRequest r;
  r.ArchiveName = Archive("tool.zip");
  r.BaseDir = "C:\\no\\such\\folder\\";
  EXPECT_THROW(UnzipExtract(r), Exception);
}

TEST_F(Unzip, CancellingLeavesNoPartialFile) {
  MakeToolArchive(In(), "tool.zip");
  TUnzipRequest r;
  r.Masks = {"sub\\c.gob", "a.gob"};
  int progress = 0;
  r.Callback = [&](const TUnzipEvent& e) { return e.Action == uaProgress && ++progress == 2; };
  EXPECT_EQ(Extract("tool.zip", r), 1); // a.gob, then c.gob cut off
  EXPECT_EQ(OutFiles(), (std::set<std::string>{"a.gob"}));
}

TEST_F(Unzip, EncryptedEntriesAreSkipped) {
  WriteHostFile(In() + "/src/secret.gob", std::string("secret"));
  RunIn(In() + "/src", "zip -q -P pw ../secret.zip secret.gob");
  EXPECT_EQ(Extract("secret.zip"), 0);
  EXPECT_EQ(Errors(), (std::vector<int>{ueEncrypted}));
  EXPECT_TRUE(OutFiles().empty());
}
