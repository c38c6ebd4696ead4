#include "tests/fixtures/tempprefix.h"
#include "tests/fixtures/zipmaker.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>
#include <vector>

using namespace dravik::test;

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

// The lines of one launch record after its "==" heading.
std::vector<std::string> Record(const std::vector<std::string>& lines, size_t heading) {
  std::vector<std::string> body;
  for (size_t i = heading + 1; i < lines.size() && lines[i].rfind("==", 0) != 0; ++i)
    body.push_back(lines[i]);
  return body;
}

} // namespace

TEST(StandInGame, RecordsEachLaunchInItsWorkingFolder) {
  TTempPrefix prefix; // C: is drive_c/ of a temporary prefix
  const std::string game = prefix.HostC("Games/Halvex");
  MakeHostDirs(game);
  RunIn(game, std::string("cp '") + DRAVIK_STAND_IN_GAME + "' halvex.exe");
  const std::string env = "WINEPREFIX='" + prefix.Path() + "' ";
  // The launch command line as the shell layer passes it: one argument each.
  RunIn(game, env + "./halvex.exe -path 'HXPatch\\active\\' -framerate '+name Kyra Tal' > out.txt");
  RunIn(game, env + "./halvex.exe -path 'HXPatch\\active\\' > /dev/null");

  const std::string log = ReadHostFile(game + "/launch.log");
  EXPECT_EQ(ReadHostFile(game + "/out.txt"), log.substr(0, ReadHostFile(game + "/out.txt").size()));
  std::vector<std::string> lines = Lines(log);
  std::vector<size_t> headings;
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].rfind("== halvex.exe started ", 0) == 0) headings.push_back(i);
  ASSERT_EQ(headings.size(), 2u) << log;
  EXPECT_EQ(Record(lines, headings[0]),
            (std::vector<std::string>{"working folder: C:\\Games\\Halvex", "linux folder: " + game,
                                      "arguments: 4", "argument 1: -path",
                                      "argument 2: HXPatch\\active\\", "argument 3: -framerate",
                                      "argument 4: +name Kyra Tal"}));
  EXPECT_EQ(Record(lines, headings[1]),
            (std::vector<std::string>{"working folder: C:\\Games\\Halvex", "linux folder: " + game,
                                      "arguments: 2", "argument 1: -path",
                                      "argument 2: HXPatch\\active\\"}));
}

TEST(StandInGame, WorksOutsideAnyPrefix) {
  TTempDir dir;
  RunIn(dir.Path(),
        std::string("WINEPREFIX=/nonexistent '") + DRAVIK_STAND_IN_GAME + "' > /dev/null");
  std::vector<std::string> lines = Lines(ReadHostFile(dir.Path() + "/launch.log"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "working folder: (on no drive of the prefix)");
  EXPECT_EQ(lines[3], "arguments: 0");
}

TEST(SoundGenerator, CommittedSoundsAreItsOutput) {
  // resources/sounds/ is made by tools/make-sounds.py; a change there needs them made again.
  // Sample values may differ by one where the platform's sine rounds differently.
  TTempDir dir;
  RunIn(dir.Path(),
        "/usr/bin/python3 '" DRAVIK_SOURCE_DIR "/tools/make-sounds.py' out > /dev/null");
  for (const char* name : {"CLICK.wav", "LAUNCH.wav"}) {
    std::string made = ReadHostFile(dir.Path() + "/out/" + name);
    std::string committed =
        ReadHostFile(std::string(DRAVIK_SOURCE_DIR "/resources/sounds/") + name);
    ASSERT_EQ(made.size(), committed.size()) << name;
    ASSERT_GT(made.size(), 44u);
    EXPECT_EQ(made.substr(0, 44), committed.substr(0, 44)) << name;
    int worst = 0;
    for (size_t i = 44; i + 1 < made.size(); i += 2) {
      int a = int16_t(uint8_t(made[i]) | uint8_t(made[i + 1]) << 8);
      int b = int16_t(uint8_t(committed[i]) | uint8_t(committed[i + 1]) << 8);
      worst = std::max(worst, std::abs(a - b));
    }
    EXPECT_LE(worst, 1) << name;
  }
}
