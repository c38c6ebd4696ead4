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

TEST(PrefixSearch, FindsTheGameInTheFrontEndsFolders) {
  TFakeHome home;
  ::setenv("XDG_DATA_HOME", home.At("data").c_str(), 1); // moves Bottles' folder
  // Found: the program in any letter case, up to five folders below drive_c.
  home.MakePrefix("Games/halvex", {"GOG Games/Halvex/HALVEX.EXE"});
  home.MakePrefix("Games/gog/morvane", {"Program Files (x86)/O/Morvane/Bin/x86/Morvane.exe"});
  home.MakePrefix("data/bottles/bottles/Both", {"Games/Hx/halvex.exe", "Games/M/morvane.exe"});
  home.MakePrefix(".var/app/com.usebottles.bottles/data/bottles/bottles/hx", {"hx/halvex.exe"});
  home.MakePrefix(".local/share/Steam/steamapps/compatdata/4711/pfx", {"Halvex/halvex.exe"});
  home.MakePrefix("elsewhere/pfx", {"Halvex/halvex.exe"}); // named by a Lutris game
  WriteHostFile(home.At(".config/lutris/games/halvex-1700000000.yml"),
                "game:\n  prefix: '" + home.At("elsewhere/pfx") + "'\n  exe: x.exe\n");
  // Not found: ~/.wine with the program only in its windows folder, six folders deep or behind
  // a link; a folder that is no prefix; prefixes in places nobody uses.
  home.MakePrefix(".wine", {"windows/halvex.exe", "a/b/c/d/e/f/halvex.exe"});
  fs::create_directory_symlink(home.At("Games/halvex/drive_c"), home.At(".wine/drive_c/loop"));
  WriteHostFile(home.At("Games/notaprefix/drive_c/halvex.exe"), "MZ");
  home.MakePrefix("Documents/pfx", {"halvex.exe"});
  home.MakePrefix(".local/share/bottles/bottles/old", {"halvex.exe"});
  // Steam's usual link to its folder leads to the same prefixes, listed once.
  fs::create_directories(home.At(".steam"));
  fs::create_directory_symlink(home.At(".local/share/Steam"), home.At(".steam/steam"));

  std::vector<std::pair<std::string, std::vector<std::string>>> found;
  for (const TFoundPrefix& f : FindGamePrefixes(UsualPrefixPlaces(), {"halvex.exe", "morvane.exe"}))
    found.emplace_back(ShortHostPath(f.Path), f.Programs);
  EXPECT_EQ(found,
            (decltype(found){
                {"~/Games/halvex", {"halvex.exe"}},
                {"~/Games/gog/morvane", {"morvane.exe"}},
                {"~/data/bottles/bottles/Both", {"halvex.exe", "morvane.exe"}},
                {"~/.var/app/com.usebottles.bottles/data/bottles/bottles/hx", {"halvex.exe"}},
                {"~/.local/share/Steam/steamapps/compatdata/4711/pfx", {"halvex.exe"}},
                {"~/elsewhere/pfx", {"halvex.exe"}},
            }));
}

} // namespace
