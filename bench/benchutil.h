// Shared pieces of the benchmarks: a throw-away prefix with one installed game, GOB bytes,
// timing, and the last line every benchmark prints.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace dravik::bench {

// A prefix in a fresh temporary folder (removed on destruction) with the catalogue of one game,
// "Halvex", installed at C:\Games\Halvex\ (host: GameHost()).
class TBenchPrefix {
public:
  TBenchPrefix();
  ~TBenchPrefix();
  std::string Path;
  std::string GameHost() const { return Path + "/drive_c/Games/Halvex"; }
};

// GOB archive bytes: `members` (name, bytes) with a "patchinfo.txt" descriptor first when given.
std::string GOBBytes(const std::vector<std::pair<std::string, std::string>>& members,
                     const std::string& descriptor = "");

void WriteFile(const std::string& hostPath, const std::string& bytes);

inline double Since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Runs `f` `runs` times and returns the fastest time in seconds.
template <typename F> double Best(int runs, F&& f) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    double s = Since(t0);
    if (s < best) best = s;
  }
  return best;
}

inline void PrintResult(const char* what, double ours, const char* peer, double theirs) {
  std::printf("%s: ours %.3f s, %s %.3f s, ratio %.2f\n", what, ours, peer, theirs, ours / theirs);
}

} // namespace dravik::bench
