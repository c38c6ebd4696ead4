#include "platform/shell.h"
#include "tests/fixtures/tempprefix.h"

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace dravik;
using namespace dravik::test;
namespace fs = std::filesystem;

namespace {

using TArgs = std::vector<std::string>;

TEST(CommandLineToArgv, BlanksQuotesAndBackslashes) {
  EXPECT_EQ(CommandLineToArgv(" -path HXPatch\\active\\ -framerate"),
            (TArgs{"-path", "HXPatch\\active\\", "-framerate"}));
  EXPECT_EQ(CommandLineToArgv(""), TArgs{});
  EXPECT_EQ(CommandLineToArgv(" \t "), TArgs{});
  EXPECT_EQ(CommandLineToArgv("a\tb  c"), (TArgs{"a", "b", "c"}));
  EXPECT_EQ(CommandLineToArgv("\"C:\\Program Files\\x\" y"), (TArgs{"C:\\Program Files\\x", "y"}));
  EXPECT_EQ(CommandLineToArgv("a\"b c\"d e"), (TArgs{"ab cd", "e"}));
  EXPECT_EQ(CommandLineToArgv("\"\" x"), (TArgs{"", "x"}));
  // Backslashes count only before a quote.
  EXPECT_EQ(CommandLineToArgv("a\\\\b"), TArgs{"a\\\\b"});
  EXPECT_EQ(CommandLineToArgv("a\\\"b"), TArgs{"a\"b"});
  EXPECT_EQ(CommandLineToArgv("a\\\\\"b c\""), TArgs{"a\\b c"});
  EXPECT_EQ(CommandLineToArgv("a\\\\\\\"b"), TArgs{"a\\\"b"});
  EXPECT_EQ(CommandLineToArgv("\"dir\\\\\" next"), (TArgs{"dir\\", "next"}));
  // Runs of quotes.
  EXPECT_EQ(CommandLineToArgv("\"a\"\"b\" c"), (TArgs{"a\"b c"}));
  EXPECT_EQ(CommandLineToArgv("\"\"\"x\"\"\" y"), (TArgs{"\"x\"", "y"}));
  // An open quote runs to the end.
  EXPECT_EQ(CommandLineToArgv("\"a b"), TArgs{"a b"});
}

class Shell : public ::testing::Test {
protected:
  TTempPrefix prefix;
  std::vector<std::string> opened;
  void SetUp() override {
    SetDesktopOpen([this](const std::string& url) {
      opened.push_back(url);
      return true;
    });
  }
  void TearDown() override { SetDesktopOpen(nullptr); }
  static std::string WaitRead(const std::string& path) {
    for (int i = 0; i < 500 && !HostExists(path); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return HostExists(path) ? ReadHostFile(path) : std::string();
  }
  // An executable script that writes its folder, its arguments and WINEPREFIX to `out`.
  static void WriteRecorder(const std::string& path, const std::string& out) {
    WriteHostFile(path, "#!/bin/sh\n{ pwd -P; printf '%s\\n' \"$WINEPREFIX\"; for a in \"$@\"; do "
                        "printf '[%s]\\n' \"$a\"; done; } > '" +
                            out + ".part' && mv '" + out + ".part' '" + out + "'\n");
    fs::permissions(path, fs::perms::owner_all);
  }
};

TEST_F(Shell, ProgramsStartInTheirFolderWithSplitParameters) {
  const std::string out = prefix.Path() + "/out.txt";
  WriteRecorder(prefix.HostC("Games/Hx/game.exe"), out);
  EXPECT_TRUE(ShellExecute("c:\\games\\hx\\GAME.EXE", " -path HXPatch\\active\\ \"two words\"",
                           "C:\\Games\\Hx\\", SW_SHOW));
  EXPECT_EQ(WaitRead(out), fs::canonical(prefix.HostC("Games/Hx")).string() + "\n" + prefix.Path() +
                               "\n[-path]\n[HXPatch\\active\\]\n[two words]\n");
  EXPECT_TRUE(opened.empty());
}

// Windows programs start through the Wine that $WINE names, else `wine` from the path.
TEST_F(Shell, WindowsProgramsGoThroughWine) {
  WriteHostFile(prefix.HostC("Games/Hx/hx.exe"), "MZ\x90");
  const char* const oldPath = std::getenv("PATH");
  const std::string path = oldPath ? oldPath : "";
  for (const bool named : {false, true}) { // then with a `wine` on the path that $WINE overrides
    const std::string out = prefix.Path() + (named ? "/named.txt" : "/path.txt");
    MakeHostDirs(prefix.Path() + "/bin");
    WriteRecorder(prefix.Path() + (named ? "/fakewine" : "/bin/wine"), out);
    if (named) setenv("WINE", (prefix.Path() + "/fakewine").c_str(), 1);
    setenv("PATH", (prefix.Path() + "/bin:" + path).c_str(), 1);
    EXPECT_TRUE(ShellExecute("C:\\Games\\Hx\\hx.exe", "-x", "C:\\Games\\Hx\\", SW_SHOW));
    unsetenv("WINE");
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(WaitRead(out), fs::canonical(prefix.HostC("Games/Hx")).string() + "\n" +
                                 prefix.Path() + "\n[" + prefix.HostC("Games/Hx/hx.exe") +
                                 "]\n[-x]\n")
        << named;
  }
}

TEST_F(Shell, DocumentsAndUrlsGoToTheDesktop) {
  WriteHostFile(prefix.HostC("docs/readme.html"), "<p>hi</p>");
  EXPECT_TRUE(ShellExecute("C:\\docs\\readme.html", "", "", SW_SHOWNORMAL));
  EXPECT_TRUE(ShellExecute("https://dravik.example.org/", "", "", SW_SHOWNORMAL));
  EXPECT_TRUE(ShellExecute("MAILTO:someone@users.invalid", "", "", SW_SHOWNORMAL));
  ASSERT_EQ(opened.size(), 3u);
  EXPECT_EQ(opened[0], "file://" + prefix.HostC("docs/readme.html"));
  EXPECT_EQ(opened[1], "https://dravik.example.org/");
  // What is not there, or a folder that does not exist, starts nothing.
  EXPECT_FALSE(ShellExecute("C:\\docs\\missing.html", "", "", SW_SHOWNORMAL));
  EXPECT_FALSE(ShellExecute("", "", "", SW_SHOWNORMAL));
  WriteHostFile(prefix.HostC("Games/run"), "#!/bin/sh\n");
  fs::permissions(prefix.HostC("Games/run"), fs::perms::owner_all);
  EXPECT_FALSE(ShellExecute("C:\\Games\\run", "", "C:\\Nowhere\\", SW_SHOW));
  EXPECT_EQ(opened.size(), 3u);
}

// A named pipe where the game should be (the catalogue names it) is neither read nor started:
// reading it would wait for a writer that never comes.
TEST_F(Shell, ANamedPipeStartsNothingAndDoesNotHang) {
  MakeHostDirs(prefix.HostC("Games"));
  const std::string fifo = prefix.HostC("Games/game.exe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0700), 0);
  auto run = std::async(std::launch::async,
                        [] { return ShellExecute("C:\\Games\\game.exe", "", "", SW_SHOW); });
  if (run.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "ShellExecute hangs on a named pipe";
    ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK)); // lets the reader go
  }
  EXPECT_FALSE(run.get());
  EXPECT_TRUE(opened.empty());
}

} // namespace
