// Shared pieces of the benchmarks: timing, and the last line every benchmark prints. Prefixes
// and GOB bytes come from the tests' fixtures (tests/fixtures/testgame.h, gobmaker.h).
#pragma once

#include <chrono>
#include <cstdio>

namespace dravik::bench {

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
