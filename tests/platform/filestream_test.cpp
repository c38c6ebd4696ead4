#include "platform/filestream.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"
#include "tests/fixtures/tempprefix.h"
#include "tests/platform/testhelpers.h"
#include "tests/platform/tinyfs.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

using namespace dravik;
using namespace dravik::test;
namespace fs = std::filesystem;

namespace {

mode_t ModeOf(const std::string& hostPath) {
  struct stat st {};
  ::stat(hostPath.c_str(), &st);
  return st.st_mode & 0777;
}

// Sets the file mode creation mask for a test and puts the old one back.
class TUmask {
public:
  explicit TUmask(mode_t mask) : FOld(::umask(mask)) {}
  ~TUmask() { ::umask(FOld); }

private:
  mode_t FOld;
};

} // namespace

TEST(FileStream, CreateWriteSeekAndRead) {
  TTempPrefix p;
  TUmask mask(027);
  MakeHostDirs(p.HostC("Hx"));
  {
    TFileStream f("C:\\HX\\Data.bin", fmCreate);
    EXPECT_EQ(f.FileName(), "C:\\HX\\Data.bin");
    f.WriteBuffer("hello world", 11);
    EXPECT_EQ(f.Position(), 11);
    EXPECT_EQ(f.Size(), 11);
    EXPECT_EQ(f.Seek(6), 6);
    char buf[8] = {};
    f.ReadBuffer(buf, 5);
    EXPECT_STREQ(buf, "world");
    EXPECT_EQ(f.Read(buf, 5), 0);
    EXPECT_THROW(f.ReadBuffer(buf, 1), EReadError);
    EXPECT_EQ(f.Seek(-1), -1);
    EXPECT_EQ(f.Position(), 11);
    f.Flush();
  }
  EXPECT_EQ(ModeOf(p.HostC("Hx/Data.bin")), 0640u);
  {
    TFileStream f("c:\\hx\\DATA.BIN", fmOpenReadWrite);
    EXPECT_EQ(f.Size(), 11);
    f.WriteBuffer("J", 1);
  }
  EXPECT_EQ(ReadHostFile(p.HostC("Hx/Data.bin")), "Jello world");
  {
    TFileStream r("c:\\hx\\data.bin", fmOpenRead);
    try {
      r.WriteBuffer("x", 1);
      ADD_FAILURE() << "wrote to a read-only stream";
    } catch (const EWriteError& e) {
      EXPECT_EQ(e.Message(), "Stream write error: Bad file descriptor");
    }
  }
  { TFileStream c("C:\\hx\\data.BIN", fmCreate); } // truncates, keeps the stored name
  EXPECT_EQ(ReadHostFile(p.HostC("Hx/Data.bin")), "");
  EXPECT_EQ(HostListing(p.HostC("Hx")), std::vector<std::string>{"Data.bin"});
}

TEST(FileStream, OpenErrorsNameTheWindowsPath) {
  TTempPrefix p;
  MakeHostDirs(p.HostC("Hx/folder"));
  ::mkfifo(p.HostC("Hx/pipe").c_str(), 0600);
  try {
    TFileStream f("C:\\Hx\\none.gob", fmOpenRead);
    ADD_FAILURE() << "opened a missing file";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file C:\\Hx\\none.gob");
    EXPECT_EQ(winfs::GetLastError(), winfs::ERROR_FILE_NOT_FOUND);
  }
  try {
    TFileStream f("C:\\nope\\x.gob", fmCreate);
    ADD_FAILURE() << "created a file in a missing folder";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "Cannot create file C:\\nope\\x.gob");
    EXPECT_EQ(winfs::GetLastError(), winfs::ERROR_PATH_NOT_FOUND);
  }
  EXPECT_THROW(TFileStream("Q:\\x.gob", fmOpenReadWrite), EFOpenError);
  EXPECT_THROW(TFileStream("", fmCreate), EFCreateError);
  EXPECT_THROW(TFileStream("C:\\hx\\FOLDER", fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream("C:\\hx\\folder", fmCreate), EFCreateError);
  // A named pipe without a writer would block an ordinary open.
  EXPECT_THROW(TFileStream("C:\\hx\\pipe", fmOpenRead), EFOpenError);
  EXPECT_THROW(ReadFileBytes("C:\\hx\\none"), EFOpenError);
}

TEST(FileStream, WriteErrorsCarryTheSystemsReason) {
  TTempPrefix p;
  TTinyFs full(p.HostC("full"), 64 * 1024);
  if (!full.Mounted()) GTEST_SKIP() << "cannot mount a tiny file system here";
  TFileStream f("C:\\full\\x.bin", fmCreate);
  std::vector<char> big(1 << 20, 'x');
  try {
    f.WriteBuffer(big.data(), static_cast<int64_t>(big.size()));
    ADD_FAILURE() << "a full disk took the data";
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.Message(), "Stream write error: No space left on device");
    EXPECT_EQ(winfs::GetLastError(), winfs::ERROR_DISK_FULL);
  }
}

TEST(SafeFileWriter, CommitReplacesAndKeepsThePermissions) {
  TTempPrefix p;
  WriteHostFile(p.HostC("Hx/user.reg"), std::string("old"));
  ::chmod(p.HostC("Hx/user.reg").c_str(), 0640);
  {
    TSafeFileWriter w("C:\\hx\\USER.REG");
    w.WriteBuffer("new", 3);
    auto names = HostListing(p.HostC("Hx"));
    ASSERT_EQ(names.size(), 2u);
    EXPECT_TRUE(std::regex_match(names[0], std::regex(R"(\.user\.reg\.[A-Za-z0-9]{6}\.tmp)")))
        << names[0];
    EXPECT_EQ(ReadHostFile(p.HostC("Hx/user.reg")), "old");
    w.Commit();
  }
  EXPECT_EQ(ReadHostFile(p.HostC("Hx/user.reg")), "new");
  EXPECT_EQ(ModeOf(p.HostC("Hx/user.reg")), 0640u);
  EXPECT_EQ(HostListing(p.HostC("Hx")), std::vector<std::string>{"user.reg"});

  {
    TUmask mask(022);
    WriteFileAtomically("C:\\hx\\New.txt", "abc", 3);
  }
  EXPECT_EQ(ReadHostFile(p.HostC("Hx/New.txt")), "abc");
  EXPECT_EQ(ModeOf(p.HostC("Hx/New.txt")), 0644u);

  // A link stays a link; the file it points at gets the new version.
  fs::create_symlink("user.reg", p.HostC("Hx/link.reg"));
  WriteFileAtomically("C:\\hx\\LINK.reg", "via link", 8);
  EXPECT_TRUE(fs::is_symlink(p.HostC("Hx/link.reg")));
  EXPECT_EQ(ReadHostFile(p.HostC("Hx/user.reg")), "via link");
}

TEST(SafeFileWriter, WithoutACommitNothingChanges) {
  TTempPrefix p;
  WriteHostFile(p.HostC("Hx/user.reg"), std::string("old"));
  {
    TSafeFileWriter w("C:\\hx\\user.reg");
    w.WriteBuffer("partial", 7);
  }
  EXPECT_EQ(ReadHostFile(p.HostC("Hx/user.reg")), "old");
  EXPECT_EQ(HostListing(p.HostC("Hx")), std::vector<std::string>{"user.reg"});

  try {
    TSafeFileWriter w("C:\\nope\\x.reg");
    ADD_FAILURE() << "made a temporary file in a missing folder";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "Cannot create file C:\\nope\\x.reg");
  }
  EXPECT_THROW(TSafeFileWriter("C:\\HX"), EFCreateError);
}

TEST(SafeFileWriter, AFullDiskLeavesTheOldFile) {
  TTempPrefix p;
  TTinyFs full(p.HostC("full"), 64 * 1024);
  if (!full.Mounted()) GTEST_SKIP() << "cannot mount a tiny file system here";
  WriteHostFile(p.HostC("full/user.reg"), std::string("old"));
  std::vector<char> big(1 << 20, 'x');
  {
    TSafeFileWriter w("C:\\full\\user.reg");
    EXPECT_THROW(w.WriteBuffer(big.data(), static_cast<int64_t>(big.size())), EWriteError);
    EXPECT_THROW(w.Commit(), EWriteError); // never puts the incomplete file in place
  }
  EXPECT_THROW(WriteFileAtomically("C:\\full\\user.reg", big.data(), 1 << 20), EWriteError);
  EXPECT_EQ(ReadHostFile(p.HostC("full/user.reg")), "old");
  EXPECT_EQ(HostListing(p.HostC("full")), std::vector<std::string>{"user.reg"});
}

TEST(ReadFileBytes, ReadsTheWholeFile) {
  TTempPrefix p;
  std::string data(200000, '\0');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 7);
  WriteHostFile(p.HostC("data.bin"), data);
  WriteHostFile(p.HostC("empty.bin"), std::string());
  auto bytes = ReadFileBytes("C:\\DATA.BIN");
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), data);
  EXPECT_TRUE(ReadFileBytes("C:\\empty.bin").empty());
}
