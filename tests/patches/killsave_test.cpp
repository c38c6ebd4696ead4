// Saves killed at random moments: a child process saves a hive (TRegistry writes) or an archive
// (WriteGOB) over and over, alternating a small and a large version, and is killed with SIGKILL
// after a random short time. Whatever moment it died at, the file is the old version or the new
// one, whole: never cut short, never missing.
#include "gob/gobformat.h"
#include "platform/hive.h"
#include "platform/registry.h"
#include "platform/sysutils.h"
#include "tests/fixtures/tempprefix.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace dravik;
using namespace dravik::test;

namespace {

using Clock = std::chrono::steady_clock;

// Forks a child that runs save(n), save(n + 1), ... until it is killed after a random delay
// (up to the time of three saves), then runs `check`; round after round for `budget`. Returns
// the number of rounds.
int KillRounds(const std::function<void(unsigned)>& save, const std::function<void()>& check,
               std::chrono::milliseconds budget) {
  const auto timed = Clock::now();
  save(0);
  save(1);
  const auto twoSaves =
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - timed).count();
  const unsigned maxDelay = unsigned(std::max<long long>(2 * twoSaves, 1000));
  std::mt19937 random(7);
  int rounds = 0;
  const auto end = Clock::now() + budget;
  while (Clock::now() < end && !::testing::Test::HasFailure()) {
    const unsigned first = random();
    const pid_t pid = ::fork();
    if (pid < 0) {
      ADD_FAILURE() << "fork failed";
      break;
    }
    if (pid == 0) {
      for (unsigned i = first;; ++i) {
        try {
          save(i);
        } catch (...) {
          _exit(3); // a save failed: the round reports it
        }
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % maxDelay));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the saving child failed";
    check();
    ++rounds;
  }
  return rounds;
}

// Temporary files that killed saves left in `folder` (names beginning with `prefix`): proof
// that kills came in the middle of writing.
int Leftovers(const std::string& folder, const std::string& prefix, const std::string& except) {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    n += name.starts_with(prefix) && name != except;
  }
  return n;
}

} // namespace

TEST(KillWhileSaving, AHiveIsTheOldOrTheNewVersion) {
  TTempPrefix prefix;
  const std::string small = "small";
  const std::string large(50000, 'L');
  {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("Software\\Kill", true));
    reg.WriteString("Value", small);
  }
  int seen[2] = {0, 0};
  auto save = [&](unsigned i) {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKey("Software\\Kill", false)) throw Exception("the key is gone");
    reg.WriteString("Value", i % 2 ? large : small);
  };
  auto check = [&] {
    THive hive(prefix.Path() + "/system.reg", THive::hkMachine);
    hive.Refresh();
    const THiveKey* software = hive.SubKey(hive.Root(), u"Software");
    const THiveKey* key = software ? hive.SubKey(software, u"Kill") : nullptr;
    ASSERT_NE(key, nullptr) << "the hive lost its key";
    const TRegValue* value = hive.FindValue(key, u"Value");
    ASSERT_NE(value, nullptr) << "the hive lost its value";
    const std::string text = Utf16ToUtf8(StringText(value->Data));
    ASSERT_TRUE(text == small || text == large) << "a value of " << text.size() << " characters";
    ++seen[text == large];
  };
  const int rounds = KillRounds(save, check, std::chrono::milliseconds(4000));
  EXPECT_GT(rounds, 20);
  EXPECT_GT(seen[0], 0);
  EXPECT_GT(seen[1], 0);
  EXPECT_GT(Leftovers(prefix.Path(), ".system.reg.dravik-", ".system.reg.dravik-lock"), 0);
}

TEST(KillWhileSaving, AnArchiveIsTheOldOrTheNewVersion) {
  TTempPrefix prefix;
  auto thing = [](const std::string& name, size_t size, char fill) {
    auto t = std::make_unique<TGOBThing>();
    t->Name = name;
    t->Data.assign(size, uint8_t(fill));
    return t;
  };
  std::vector<std::unique_ptr<TGOBThing>> smallThings, largeThings;
  smallThings.push_back(thing("patchinfo.txt", 12, 's'));
  for (int i = 0; i < 40; ++i)
    largeThings.push_back(thing(Format("member%02d.mat", i), 8192, char('a' + i % 26)));
  auto list = [](const std::vector<std::unique_ptr<TGOBThing>>& things) {
    TGOBWriteList l;
    for (const auto& t : things)
      l.push_back({"textures\\", t.get()});
    return l;
  };
  const TGOBWriteList smallList = list(smallThings), largeList = list(largeThings);
  WriteGOB("C:\\kill.gob", smallList);
  auto same = [](const std::vector<TGOBMember>& read, const TGOBWriteList& written) {
    if (read.size() != written.size()) return false;
    for (size_t i = 0; i < read.size(); ++i)
      if (read[i].FullName != written[i].first + written[i].second->Name ||
          read[i].Thing->Data != written[i].second->Data)
        return false;
    return true;
  };
  int seen[2] = {0, 0};
  auto save = [&](unsigned i) { WriteGOB("C:\\kill.gob", i % 2 ? largeList : smallList); };
  auto check = [&] {
    const std::vector<TGOBMember> read = ReadGOB("C:\\kill.gob");
    const bool isSmall = same(read, smallList), isLarge = same(read, largeList);
    ASSERT_TRUE(isSmall || isLarge) << "an archive of " << read.size() << " members";
    ++seen[isLarge];
  };
  const int rounds = KillRounds(save, check, std::chrono::milliseconds(4000));
  EXPECT_GT(rounds, 20);
  EXPECT_GT(seen[0], 0);
  EXPECT_GT(seen[1], 0);
  EXPECT_GT(Leftovers(prefix.DriveC(), ".kill.gob.", ""), 0);
}
