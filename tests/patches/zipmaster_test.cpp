#include "patches/zipmaster.h"
#include "platform/sysutils.h"
#include "platform/unzip.h"
#include "tests/fixtures/tempprefix.h"
#include "tests/fixtures/zipmaker.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

using namespace dravik;
using namespace dravik::test;
namespace fs = std::filesystem;

namespace {

class ZipMaster : public ::testing::Test {
protected:
  ZipMaster() {
    MakeHostDirs(In());
    MakeHostDirs(P.HostC("out"));
  }
  std::string In() const { return P.HostC("in"); }
  static std::string Archive(const std::string& name) { return "C:\\in\\" + name; }

  // The message that setting ZipFilename fails with ("" when it does not fail).
  std::string ReadFailure(TZipMaster& z, const std::string& name) {
    try {
      z.SetZipFilename(Archive(name));
    } catch (const Exception& e) {
      return e.Message();
    }
    return std::string();
  }
  static std::vector<std::string> Names(const TZipMaster& z) {
    std::vector<std::string> names;
    for (const auto& e : z.Contents())
      names.push_back(e.FileName);
    return names;
  }

  TTempPrefix P;
};

// A zip-tool archive of a.gob (deflated), b.txt (stored), sub/c.gob.
void MakeToolArchive(const std::string& dir) {
  WriteHostFile(dir + "/src/a.gob", std::string(3000, 'a'));
  WriteHostFile(dir + "/src/b.txt", std::string("bee"));
  WriteHostFile(dir + "/src/sub/c.gob", std::string("sea"));
  RunIn(dir + "/src", "zip -q -9 ../tool.zip a.gob && zip -q -0 ../tool.zip b.txt sub/c.gob");
}

} // namespace

TEST_F(ZipMaster, ToolArchiveListsLocalHeaders) {
  MakeToolArchive(In());
  TZipMaster z;
  int dirUpdates = 0;
  z.OnDirUpdate = [&] { ++dirUpdates; };
  z.SetZipFilename(Archive("tool.zip"));
  EXPECT_EQ(dirUpdates, 1);
  EXPECT_EQ(Names(z), (std::vector<std::string>{"a.gob", "b.txt", "sub/c.gob"}));
  const TZipDirEntry& a = z.Contents()[0];
  EXPECT_EQ(a.ComprMethod, 8);
  EXPECT_EQ(a.UncomprSize, 3000u);
  EXPECT_LT(a.ComprSize, 3000u);
  EXPECT_EQ(a.FileNameLength, 5);
  EXPECT_GT(a.ExtraFieldLength, 0); // the zip tool's time and owner fields
  EXPECT_NE(a.ModifDate, 0);
  EXPECT_FALSE(a.FromCentralDirectory);
  const TZipDirEntry& b = z.Contents()[1];
  EXPECT_EQ(b.ComprMethod, 0);
  EXPECT_EQ(b.ComprSize, 3u);
  EXPECT_EQ(b.UncomprSize, 3u);
  // The central directory agrees.
  auto central = UnzipListEntries(Archive("tool.zip"));
  ASSERT_EQ(central.size(), 3u);
  EXPECT_EQ(central[0].Crc32, a.CRC32);
  EXPECT_EQ(central[0].DosTime, a.ModifTime);
  EXPECT_EQ(central[0].DosDate, a.ModifDate);

  // A missing file: an empty list, no error.
  z.SetZipFilename(Archive("missing.zip"));
  EXPECT_TRUE(z.Contents().empty());
  EXPECT_EQ(dirUpdates, 1);
}

TEST_F(ZipMaster, DataDescriptorAndZip64ArchivesAreListedFromTheCentralDirectory) {
  RunPython(In(), R"(
import subprocess, sys, zipfile
prog = 'import sys, zipfile\nwith zipfile.ZipFile(sys.stdout.buffer, "w") as z:\n' \
       '    z.writestr("one.gob", b"1" * 100, zipfile.ZIP_STORED)\n' \
       '    z.writestr("dir/two.gob", b"2" * 5000, zipfile.ZIP_DEFLATED)\n' \
       '    z.writestr("three.txt", b"3", zipfile.ZIP_DEFLATED)\n'
with open('stream.zip', 'wb') as out:
    p = subprocess.Popen([sys.executable, '-c', prog], stdout=subprocess.PIPE)
    out.write(p.stdout.read())
    assert p.wait() == 0
with zipfile.ZipFile('zip64.zip', 'w') as z:
    for name, data in (('one.gob', b'1' * 100), ('dir/two.gob', b'2' * 5000), ('three.txt', b'3')):
        with z.open(zipfile.ZipInfo(name), 'w', force_zip64=True) as f:
            f.write(data)
)");
  WriteHostFile(In() + "/x.gob", std::string("x"));
  RunIn(In(), "zip -q - x.gob | cat > tool-stream.zip");
  // Standard input streamed: ZIP64 local sizes (0xFFFFFFFF) and a data descriptor.
  RunIn(In(), "printf piped | zip -q - - | cat > tool-piped.zip");

  for (const char* name : {"stream.zip", "zip64.zip"}) {
    SCOPED_TRACE(name);
    TZipMaster z;
    z.SetZipFilename(Archive(name));
    EXPECT_EQ(Names(z), (std::vector<std::string>{"one.gob", "dir/two.gob", "three.txt"}));
    EXPECT_EQ(z.Contents()[1].UncomprSize, 5000u);
    // zipfile fills in a ZIP64 archive's local sizes afterwards when it can seek.
    EXPECT_EQ(z.Contents()[1].FromCentralDirectory, std::string(name) == "stream.zip");

    z.FSpecArgs.Add("*.gob");
    z.ExtrBaseDir = std::string("C:\\out\\") + name + "\\";
    MakeHostDirs(P.HostC(std::string("out/") + name));
    z.Extract();
    EXPECT_EQ(z.SuccessCount(), 2);
    EXPECT_EQ(ReadHostFile(P.HostC(std::string("out/") + name + "/two.gob")),
              std::string(5000, '2'));
  }
  TZipMaster z;
  z.SetZipFilename(Archive("tool-stream.zip"));
  EXPECT_EQ(Names(z), (std::vector<std::string>{"x.gob"}));
  z.SetZipFilename(Archive("tool-piped.zip"));
  ASSERT_EQ(Names(z), (std::vector<std::string>{"-"}));
  EXPECT_EQ(z.Contents()[0].UncomprSize, 5u);
  EXPECT_TRUE(z.Contents()[0].FromCentralDirectory);
}

TEST_F(ZipMaster, DirectoryErrorsKeepTheirMessages) {
  MakeToolArchive(In());
  const std::string whole = ReadHostFile(In() + "/tool.zip");
  WriteHostFile(In() + "/empty.zip", std::string());
  WriteHostFile(In() + "/header.zip", whole.substr(0, 20));
  // Cut inside the first entry's data.
  const size_t dataAt = 30 + size_t(uint8_t(whole[26])) + size_t(uint8_t(whole[28])) +
                        256 * size_t(uint8_t(whole[29]));
  WriteHostFile(In() + "/cut.zip", whole.substr(0, dataAt + 2));
  // A header whose sizes run past the end of the file.
  std::string huge = whole;
  huge[18] = huge[19] = huge[20] = huge[21] = '\x7F';
  WriteHostFile(In() + "/huge.zip", huge);

  TZipMaster z;
  EXPECT_EQ(ReadFailure(z, "empty.zip"), "Error 1 reading Zip File");
  EXPECT_EQ(ReadFailure(z, "header.zip"), "Error 2 reading Zip file");
  EXPECT_EQ(ReadFailure(z, "huge.zip"), "Error 3 reading Zip file");
  EXPECT_EQ(z.Count(), 1); // the entries read so far stay
  EXPECT_EQ(ReadFailure(z, "cut.zip"), "Error 3 reading Zip file");
}

TEST_F(ZipMaster, RandomBytesEndPromptly) {
  std::mt19937 rng(7);
  std::string bytes(4 << 20, '\0');
  for (auto& c : bytes)
    c = static_cast<char>(rng());
  // Sprinkle local header signatures so that the reader has headers to follow.
  for (size_t at = 1000; at + 4 < bytes.size(); at += 65536)
    bytes.replace(at, 4, "PK\x03\x04");
  WriteHostFile(In() + "/random.zip", bytes);
  TZipMaster z;
  const auto start = std::chrono::steady_clock::now();
  // An error, or at most an empty list.
  if (ReadFailure(z, "random.zip").empty()) {
    EXPECT_TRUE(z.Contents().empty());
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(ZipMaster, NamesLongCodePage437AndUtf8) {
  const std::string longName(300, 'n');
  RunPython(In(), std::string(kPyZipHelpers) + R"(
import zipfile
with zipfile.ZipFile('names.zip', 'w') as z:
    z.writestr('@.gob', b'cp437')
    z.writestr('\u03a9.gob', b'utf8')
    z.writestr(')" + longName +
                      R"(.gob', b'long')
rename('names.zip', b'@.gob', b'\x81.gob')
)");
  TZipMaster z;
  z.SetZipFilename(Archive("names.zip"));
  EXPECT_EQ(Names(z),
            (std::vector<std::string>{"\xC3\xBC.gob", "\xCE\xA9.gob", longName + ".gob"}));
  EXPECT_EQ(z.Contents()[2].FileNameLength, 304);
  // The extraction library names the files alike.
  z.FSpecArgs.Add("*.gob");
  z.ExtrBaseDir = "C:\\out\\";
  z.Extract();
  EXPECT_EQ(z.SuccessCount(), 2); // the long name is too long for a Linux file name
  EXPECT_TRUE(HostExists(P.HostC("out/\xC3\xBC.gob")));
  EXPECT_TRUE(HostExists(P.HostC("out/\xCE\xA9.gob")));
}

TEST_F(ZipMaster, ExtractAsTheInstallerUsesIt) {
  MakeToolArchive(In());
  WriteHostFile(P.HostC("out/a.gob"), std::string("mine"));
  fs::create_symlink("/etc/hostname", In() + "/src/link.gob");
  RunIn(In() + "/src", "zip -q --symlinks ../tool.zip link.gob");

  TZipMaster z;
  z.SetZipFilename(Archive("tool.zip"));
  z.FSpecArgs.Add("*.gob");
  z.ExtrBaseDir = "C:\\out\\";
  std::vector<int> messages;
  std::vector<std::pair<TZipProgressType, std::string>> progress;
  z.OnMessage = [&](int code, const std::string&) { messages.push_back(code); };
  z.OnProgress = [&](TZipProgressType t, const std::string& name, int64_t) {
    progress.emplace_back(t, name);
  };
  const fs::path cwd = fs::current_path();
  z.Extract();
  EXPECT_EQ(fs::current_path(), cwd);
  EXPECT_EQ(z.SuccessCount(), 1); // c.gob; a.gob is there already, link.gob is a link
  EXPECT_TRUE(z.FSpecArgs.Empty());
  EXPECT_EQ(messages, (std::vector<int>{ueSymlink}));
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.front(), std::make_pair(zpNewFile, std::string("sub/c.gob")));
  EXPECT_EQ(progress.back(), std::make_pair(zpEndOfFile, std::string("sub/c.gob")));
  EXPECT_EQ(ReadHostFile(P.HostC("out/a.gob")), "mine");

  // Walking Contents as the installer does finds every matching file in the base folder.
  for (const auto& e : z.Contents()) {
    std::string name = e.FileName;
    std::replace(name.begin(), name.end(), '/', '\\');
    if (!MatchesMask(name, "*.gob") || e.FileName == "link.gob") continue;
    EXPECT_TRUE(HostExists(P.HostC("out/" + ExtractFileName(name)))) << name;
  }
  EXPECT_FALSE(HostExists(P.HostC("out/link.gob")));

  // With overwriting on, the file there is replaced.
  z.FSpecArgs.Add("a.gob");
  z.ExtrOptions.Include(ExtrOverWrite);
  z.Extract();
  EXPECT_EQ(z.SuccessCount(), 1);
  EXPECT_EQ(ReadHostFile(P.HostC("out/a.gob")), std::string(3000, 'a'));
}

TEST_F(ZipMaster, ExtractFailuresThrowAndStillClearTheMasks) {
  MakeToolArchive(In());
  TZipMaster z;
  z.SetZipFilename(Archive("tool.zip"));
  z.FSpecArgs.Add("*.gob");
  z.ExtrBaseDir = "C:\\no\\such\\";
  EXPECT_THROW(z.Extract(), Exception);
  EXPECT_TRUE(z.FSpecArgs.Empty());
  EXPECT_FALSE(HostExists(P.HostC("out/a.gob")));

  z.SetZipFilename(Archive("missing.zip"));
  z.ExtrBaseDir = "C:\\out\\";
  EXPECT_THROW(z.Extract(), Exception);
}
