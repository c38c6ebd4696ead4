// Start-up of the whole program up to its shown main window, with a store of 2,000 patches
// (benchstore.h) in the letter case Dravik asks for and in another, against the same program on
// an empty store in the same run. Each start is a process of its own on the offscreen platform,
// with "-quickstart": once the window is shown and set up, it launches the game (a stand-in that
// does nothing) and ends. Median of 5 starts of each.
//
//   bench_startup [--keep FOLDER] [PROGRAM]
//
// PROGRAM is the Dravik to start (the one built beside this benchmark by default). --keep makes
// the three prefixes in FOLDER (empty, exact, other) and leaves them there, to trace a start by
// hand: WINEPREFIX=FOLDER/exact QT_QPA_PLATFORM=offscreen strace -f -c dravik -quickstart
#include "bench/benchstore.h"
#include "bench/benchutil.h"
#include "tests/fixtures/tempprefix.h"
#include "tests/fixtures/testgame.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

using namespace dravik;
using namespace dravik::bench;
using namespace dravik::test;
namespace fs = std::filesystem;

namespace {

// A prefix with the two games' catalogue and registrations (as the tests have it), Halvex's
// folder in Dravik's letter case or in another, and its stand-in program.
void MakePrefix(const std::string& dir, bool otherCase, bool withStore) {
  fs::create_directories(dir + "/drive_c");
  fs::create_directories(dir + "/dosdevices");
  fs::create_directory_symlink("../drive_c", dir + "/dosdevices/c:");
  fs::create_directory_symlink("/", dir + "/dosdevices/z:");
  WriteHostFile(dir + "/system.reg", TestCatalogueHive({}));
  const TStoreFolders where = StoreFolders(otherCase);
  const std::string c = dir + "/drive_c/";
  fs::create_directories(c + where.Active);
  fs::create_directories(c + (otherCase ? "games/Morvane" : "Games/Morvane"));
  const std::string game = c + where.Game + "/halvex.exe";
  WriteHostFile(game, "#!/bin/sh\nexit 0\n");
  fs::permissions(game, fs::perms::owner_all);
  if (withStore) WriteStore(c + where.Inactive, c + where.Active);
}

// Runs the program on a prefix once, its output discarded; seconds from start to end.
double StartOnce(const std::string& program, const std::string& prefix) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "WINEPREFIX=", 11) != 0 && std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0)
      env.emplace_back(*e);
  env.push_back("WINEPREFIX=" + prefix);
  env.push_back("QT_QPA_PLATFORM=offscreen");
  std::vector<char*> envp;
  for (std::string& e : env)
    envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string arg0 = program, arg1 = "-quickstart";
  char* argv[] = {arg0.data(), arg1.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid;
  int status = 0;
  const bool ran = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()) == 0 &&
                   waitpid(pid, &status, 0) == pid;
  const double seconds = Since(t0);
  posix_spawn_file_actions_destroy(&actions);
  if (!ran || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s on %s did not end well\n", program.c_str(), prefix.c_str());
    std::exit(1);
  }
  return seconds;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
  std::string program = DRAVIK_PROGRAM, keep;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--keep") == 0 && i + 1 < argc)
      keep = argv[++i];
    else
      program = argv[i];
  }
  TTempDir temp;
  const std::string base = keep.empty() ? temp.Path() : keep;
  const std::string empty = base + "/empty", exact = base + "/exact", other = base + "/other";
  MakePrefix(empty, false, false);
  MakePrefix(exact, false, true);
  MakePrefix(other, true, true);

  const std::vector<std::string> prefixes{empty, exact, other};
  for (const std::string& prefix : prefixes)
    StartOnce(program, prefix); // the page cache and the program's own first start
  std::vector<std::vector<double>> times(prefixes.size());
  for (int run = 0; run < 5; ++run)
    for (size_t i = 0; i < prefixes.size(); ++i)
      times[i].push_back(StartOnce(program, prefixes[i]));
  const double emptyTime = Median(times[0]);
  std::printf("start-up with an empty store: %.3f s\n", emptyTime);
  PrintResult("start-up, 2,000 patches, folders in Dravik's case", Median(times[1]), "empty store",
              emptyTime);
  PrintResult("start-up, 2,000 patches, folders in another case", Median(times[2]), "empty store",
              emptyTime);
  return 0;
}
