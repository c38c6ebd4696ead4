// Finding the wineserver that runs for a prefix: Wine's own server, and stand-ins for the places
// each kind of Wine build keeps it; what a write to the registry does meanwhile.
#include "platform/registry.h"
#include "platform/wineserver.h"
#include "tests/fixtures/fakewineserver.h"
#include "tests/fixtures/tempprefix.h"
#include "tests/fixtures/wine.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace dravik;
using namespace dravik::test;

TEST(WineServer, FoundWhereverItsBuildKeepsItAndOnlyWhileItsLockIsHeld) {
  for (auto layout :
       {TFakeWineServer::wlUpstream, TFakeWineServer::wlDebian, TFakeWineServer::wlProcessOnly}) {
    SCOPED_TRACE(layout);
    TTempPrefix other;
    TTempPrefix prefix;
    EXPECT_FALSE(WineServerRunning(prefix.Path()));
    TFakeWineServer server(prefix.Path(), layout);
    ASSERT_TRUE(server.Running());
    EXPECT_TRUE(WineServerRunning(prefix.Path()));
    EXPECT_TRUE(WineServerRunning(prefix.Path() + "/")); // the same folder by another name
    // Another prefix, even one whose note names the same private folder, has no server.
    if (layout == TFakeWineServer::wlDebian)
      WriteHostFile(other.Path() + "/wineserver", ReadHostFile(prefix.Path() + "/wineserver"));
    EXPECT_FALSE(WineServerRunning(other.Path()));
    // An ended server leaves its folders (and Debian's note) behind: they do not count.
    server.Stop();
    EXPECT_FALSE(WineServerRunning(prefix.Path()));
  }
  EXPECT_FALSE(WineServerRunning("/nonexistent/prefix"));
}

TEST(WineServer, ABadNoteInThePrefixIsIgnored) {
  TTempPrefix prefix;
  const std::string note = prefix.Path() + "/wineserver";
  for (const std::string& text :
       {std::string(""), std::string(".."), std::string("../tmp"), std::string("/tmp"),
        std::string(100000, 'x'), std::string("wine-\0x", 7), std::string("\n")}) {
    WriteHostFile(note, text);
    EXPECT_FALSE(WineServerRunning(prefix.Path()));
  }
  // Nor is a note that is no file read (a pipe would keep a reader waiting).
  std::filesystem::remove(note);
  ASSERT_EQ(mkfifo(note.c_str(), 0600), 0);
  EXPECT_FALSE(WineServerRunning(prefix.Path()));
  std::filesystem::remove(note);
  std::filesystem::create_directory(note);
  EXPECT_FALSE(WineServerRunning(prefix.Path()));
}

// Wine's own server: a write made while it runs would be lost at its next save, so it is
// refused; once the server has ended the same write is taken, and Wine reads it.
TEST(WineServer, WinesOwnServerIsSeenAndARetriedWriteReachesWine) {
  if (!WineInstalled()) GTEST_SKIP() << "Wine is not installed (scripts/deps install)";
  TTempPrefix prefix;
  ASSERT_TRUE(MakeRunnablePrefix(prefix.Path()));
  TWineServer server(prefix.Path());
  ASSERT_TRUE(server.Started());
  EXPECT_TRUE(WineServerRunning(prefix.Path()));

  TRegistry reg(HKEY_CURRENT_USER);
  EXPECT_THROW(reg.OpenKey("Software\\Dravik", true), EWineRunning);
  server.Stop();
  EXPECT_FALSE(WineServerRunning(prefix.Path()));
  ASSERT_TRUE(reg.OpenKey("Software\\Dravik", true));
  reg.WriteString("Kept", "yes");

  std::string out;
  EXPECT_EQ(RunOnPrefix(prefix.Path(), {"wine", "reg", "query", "HKCU\\Software\\Dravik"}, &out), 0)
      << out;
  EXPECT_NE(out.find("Kept    REG_SZ    yes"), std::string::npos) << out;
  EndWine(prefix.Path());
}
