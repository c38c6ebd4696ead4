// Saves killed part-way: a child process saves a hive (TRegistry writes) or an archive
// (WriteGOB) again and again, alternating a small and a large version, and dies by SIGKILL:
// first where a save has written its temporary file and is about to rename it over the target
// (the save's test seam), then at random moments. However it died, the file is whole: after a
// kill at the seam it is exactly the version saved before, after a random kill the old or the
// new one; never cut short, never missing.
#include "gob/gobformat.h"
#include "platform/filestream.h"
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
#include <optional>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace dravik;
using namespace dravik::test;

namespace {

using Clock = std::chrono::steady_clock;

// What a test gives the rounds: `Save(i)` writes version i (the versions alternate between
// two contents), `Held()` tells which of the two the file holds (0 or 1, -1 for anything else),
// `Leftovers()` counts the temporary files that killed saves left beside it.
struct TSaver {
  std::function<void(unsigned)> Save;
  std::function<int()> Held;
  std::function<int()> Leftovers;
};

// Runs `work` in a child process, sends it SIGKILL after `killAfter` when given, and tells
// whether it died by SIGKILL (a child that ends or fails in any other way did not).
bool DiesByKill(const std::function<void()>& work,
                std::optional<std::chrono::microseconds> killAfter = std::nullopt) {
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    try {
      work();
    } catch (...) {
    }
    _exit(3);
  }
  if (killAfter) {
    std::this_thread::sleep_for(*killAfter);
    ::kill(pid, SIGKILL);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

void KillRounds(const TSaver& s) {
  s.Save(0);
  unsigned saved = 0; // the last version saved whole
  // The child's k-th save dies at the seam: the saves before it are on the disk, its own is a
  // complete temporary file that never replaced the target.
  for (unsigned round = 0; round < 9; ++round) {
    const unsigned stopAt = 1 + round % 3;
    const int leftovers = s.Leftovers();
    EXPECT_TRUE(DiesByKill([&] {
      unsigned calls = 0;
      SetBeforeReplaceHook([&](const std::string&) {
        if (++calls == stopAt) ::raise(SIGKILL);
      });
      for (unsigned n = 1; n <= stopAt; ++n)
        s.Save(saved + n);
    })) << "the child failed, or its save never reached the rename";
    saved += stopAt - 1;
    ASSERT_EQ(s.Held(), int(saved % 2)) << "round " << round;
    EXPECT_EQ(s.Leftovers(), leftovers + 1);
  }

  // Random moments, up to the time of three saves.
  const auto timed = Clock::now();
  s.Save(1);
  s.Save(2);
  const auto twoSaves =
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - timed).count();
  const unsigned maxDelay = unsigned(std::max<long long>(2 * twoSaves, 1000));
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    const unsigned first = random();
    EXPECT_TRUE(DiesByKill(
        [&] {
          for (unsigned i = first;; ++i)
            s.Save(i);
        },
        std::chrono::microseconds(random() % maxDelay)))
        << "the saving child failed";
    ASSERT_NE(s.Held(), -1) << "random round " << round;
  }
}

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
  const std::string versions[2] = {"small", std::string(50000, 'L')};
  {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("Software\\Kill", true));
  }
  TSaver s;
  s.Save = [&](unsigned i) {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKey("Software\\Kill", false)) throw Exception("the key is gone");
    reg.WriteString("Value", versions[i % 2]);
  };
  s.Held = [&] {
    THive hive(prefix.Path() + "/system.reg", THive::hkMachine);
    hive.Refresh();
    const THiveKey* software = hive.SubKey(hive.Root(), u"Software");
    const THiveKey* key = software ? hive.SubKey(software, u"Kill") : nullptr;
    const TRegValue* value = key ? hive.FindValue(key, u"Value") : nullptr;
    if (!value) return -1;
    const std::string text = Utf16ToUtf8(StringText(value->Data));
    return text == versions[0] ? 0 : text == versions[1] ? 1 : -1;
  };
  s.Leftovers = [&] {
    return Leftovers(prefix.Path(), ".system.reg.dravik-", ".system.reg.dravik-lock");
  };
  KillRounds(s);
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
  const TGOBWriteList versions[2] = {list(smallThings), list(largeThings)};
  auto same = [](const std::vector<TGOBMember>& read, const TGOBWriteList& written) {
    if (read.size() != written.size()) return false;
    for (size_t i = 0; i < read.size(); ++i)
      if (read[i].FullName != written[i].first + written[i].second->Name ||
          read[i].Thing->Data != written[i].second->Data)
        return false;
    return true;
  };
  TSaver s;
  s.Save = [&](unsigned i) { WriteGOB("C:\\kill.gob", versions[i % 2]); };
  s.Held = [&] {
    const std::vector<TGOBMember> read = ReadGOB("C:\\kill.gob");
    return same(read, versions[0]) ? 0 : same(read, versions[1]) ? 1 : -1;
  };
  s.Leftovers = [&] { return Leftovers(prefix.DriveC(), ".kill.gob.", ""); };
  KillRounds(s);
}
