// Finding the prefixes that hold a game in a home folder laid out as Wine and its front-ends
// leave it.
#include "platform/prefixsearch.h"
#include "tests/fixtures/fakehome.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace dravik;
using namespace dravik::test;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kPrograms = {"halvex.exe", "morvane.exe"};

std::vector<std::pair<std::string, std::vector<std::string>>> Found(const TFakeHome& home) {
  std::vector<std::pair<std::string, std::vector<std::string>>> found;
  for (const TFoundPrefix& f : FindGamePrefixes(UsualPrefixPlaces(), kPrograms))
    found.emplace_back(f.Path.substr(home.Path().size() + 1), f.Programs);
  return found;
}

TEST(PrefixSearch, FindsTheGameInTheFrontEndsFolders) {
  TFakeHome home;
  // Found: where Lutris, Bottles (both ways), Steam and Lutris's configurations keep prefixes;
  // the program's name in any letter case, up to five folders below drive_c.
  home.MakePrefix("Games/halvex", {"GOG Games/Halvex/HALVEX.EXE"});
  home.MakePrefix("Games/gog/morvane",
                  {"Program Files (x86)/Orlemont/Morvane/Bin/x86/Morvane.exe"});
  home.MakePrefix(".local/share/bottles/bottles/Both",
                  {"Games/Hx/halvex.exe", "Games/M/morvane.exe"});
  home.MakePrefix(".var/app/com.usebottles.bottles/data/bottles/bottles/hx", {"hx/halvex.exe"});
  home.MakePrefix(".local/share/Steam/steamapps/compatdata/4711/pfx", {"Halvex/halvex.exe"});
  home.MakePrefix("elsewhere/pfx", {"Halvex/halvex.exe"});
  WriteHostFile(home.At(".config/lutris/games/halvex-1700000000.yml"),
                "game:\n  exe: x.exe\n  prefix: '" + home.At("elsewhere/pfx") +
                    "'\nscript:\n  game:\n    prefix: $GAMEDIR\n");
  // Not found: ~/.wine without the game, the program only in drive_c/windows or six folders
  // deep or behind a symbolic link, a folder that is no prefix, a prefix that no place names.
  home.MakePrefix(".wine", {"windows/halvex.exe", "a/b/c/d/e/f/halvex.exe"});
  fs::create_directory_symlink(home.At("Games/halvex/drive_c"), home.At(".wine/drive_c/loop"));
  WriteHostFile(home.At("Games/notaprefix/drive_c/halvex.exe"), "MZ");
  home.MakePrefix("Documents/pfx", {"halvex.exe"});
  // Steam's usual link to its folder leads to the same prefixes, listed once.
  MakeHostDirs(home.At(".steam"));
  fs::create_directory_symlink(home.At(".local/share/Steam"), home.At(".steam/steam"));

  using TFound = std::vector<std::pair<std::string, std::vector<std::string>>>;
  EXPECT_EQ(Found(home),
            (TFound{
                {"Games/halvex", {"halvex.exe"}},
                {"Games/gog/morvane", {"morvane.exe"}},
                {".local/share/bottles/bottles/Both", {"halvex.exe", "morvane.exe"}},
                {".var/app/com.usebottles.bottles/data/bottles/bottles/hx", {"halvex.exe"}},
                {".local/share/Steam/steamapps/compatdata/4711/pfx", {"halvex.exe"}},
                {"elsewhere/pfx", {"halvex.exe"}},
            }));
  EXPECT_EQ(ShortHostPath(home.At("Games/*")), "~/Games/*");
}

// $XDG_DATA_HOME moves the Bottles of the distribution, as it moves Bottles' own data.
TEST(PrefixSearch, FollowsXdgDataHome) {
  TFakeHome home;
  ::setenv("XDG_DATA_HOME", home.At("data").c_str(), 1);
  home.MakePrefix("data/bottles/bottles/b", {"morvane.exe"});
  home.MakePrefix(".local/share/bottles/bottles/old", {"morvane.exe"});
  ASSERT_EQ(FindGamePrefixes(UsualPrefixPlaces(), kPrograms).size(), 1u);
  EXPECT_EQ(FindGamePrefixes(UsualPrefixPlaces(), kPrograms)[0].Path,
            home.At("data/bottles/bottles/b"));
}

} // namespace
