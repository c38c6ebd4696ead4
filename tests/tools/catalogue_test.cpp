#include "catalogue/catalogue.h"
#include "catalogue/hxapps.h"
#include "platform/prefix.h"
#include "tests/fixtures/tempprefix.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace dravik;
using namespace dravik::test;

namespace {

// What `wine regedit` leaves in a fresh prefix's system.reg after importing `reg`: each key of
// the file as a hive section (key paths relative to the machine root, backslashes doubled),
// values as they stand (both formats write strings and hex data alike). Keys whose path holds
// `skip` (when not empty) are left out.
std::string ImportedHive(const std::string& reg, bool win64, const std::string& skip = "") {
  std::string hive = std::string("WINE REGISTRY Version 2\n;; All keys relative to "
                                 "REGISTRY\\\\Machine\n\n#arch=") +
                     (win64 ? "win64" : "win32") + "\n";
  // A 64-bit prefix made by wineboot has the 32-bit view's key from the start.
  if (win64) hive += "\n[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows] 1700000000\n";
  std::istringstream in(reg);
  std::string line;
  bool first = true, skipping = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (first) {
      EXPECT_EQ(line, "REGEDIT4");
      first = false;
      continue;
    }
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const std::string root = "[HKEY_LOCAL_MACHINE\\";
      EXPECT_EQ(line.rfind(root, 0), 0u) << line;
      std::string key;
      for (char c : line.substr(root.size(), line.size() - root.size() - 1))
        key += c == '\\' ? "\\\\" : std::string(1, c);
      skipping = !skip.empty() && line.find(skip) != std::string::npos;
      if (!skipping) hive += "\n[" + key + "] 1700000000\n";
      continue;
    }
    if (!skipping) hive += line + "\n";
  }
  return hive;
}

} // namespace

TEST(CatalogueReg, CommittedFileIsTheCatalogue) {
  // resources/dravik-catalogue.reg is made by `dravik-demo-prefix --catalogue-reg`; a change of
  // the catalogue or of the games' icons needs it made again.
  EXPECT_EQ(ReadHostFile(DRAVIK_SOURCE_DIR "/resources/dravik-catalogue.reg"), CatalogueRegText());
}

TEST(CatalogueReg, PlainAsciiWithShortLines) {
  std::istringstream in(CatalogueRegText());
  std::string line;
  while (std::getline(in, line)) {
    ASSERT_FALSE(line.empty()) << "a line ends in LF without CR";
    EXPECT_EQ(line.back(), '\r');
    if (line[0] != '[') { // values wrap, keys cannot
      EXPECT_LE(line.size(), 81u) << line;
    }
    for (char c : line)
      EXPECT_TRUE(c == '\r' || (c >= 32 && c < 127)) << line;
  }
}

TEST(CatalogueReg, ImportedIntoEitherKindOfPrefixTheProgramFindsIt) {
  // A 64-bit prefix: the program reads the Wow6432Node copy (the other one alone would not do);
  // a 32-bit prefix: the plain copy.
  struct {
    bool Win64;
    std::string Skip;
    int Games;
  } cases[] = {{true, "", 2},
               {true, "\\Wow6432Node\\", 0},
               {true, "Software\\Orlemont", 2},
               {false, "", 2},
               {false, "\\Wow6432Node\\", 2}};
  for (const auto& c : cases) {
    TTempPrefix prefix;
    WriteHostFile(prefix.Path() + "/system.reg", ImportedHive(CatalogueRegText(), c.Win64, c.Skip));
    THXAppList list;
    list.LoadCatalogue();
    ASSERT_EQ(list.Count(), c.Games) << c.Win64 << " " << c.Skip;
    if (c.Games == 0) continue;
    for (int i = 0; i < 2; ++i) {
      const TCatalogueGame& game = CatalogueGames()[size_t(i)];
      EXPECT_EQ(list.Items(i)->AppName, game.AppName);
      EXPECT_EQ(list.Items(i)->DirectPlayName, game.DirectPlayName);
      EXPECT_EQ(list.Items(i)->DirectPlayDemoName, game.DirectPlayDemoName);
      EXPECT_EQ(list.Items(i)->PatchFilter, "*.gob");
      EXPECT_EQ(list.Items(i)->Icon, game.Icon);
    }
    // Not installed in a prefix without the games.
    EXPECT_FALSE(list.Items(0)->IsInstalled());
  }
}
