#include "prefix.h"

#include <cstdlib>
#include <mutex>

namespace dravik {

static std::mutex gPrefixMutex;
static std::string gPrefixOverride;

static std::string StripSlash(std::string p) {
  while (p.size() > 1 && p.back() == '/')
    p.pop_back();
  return p;
}

std::string EnvironmentWinePrefix() {
  if (const char* env = std::getenv("WINEPREFIX"); env && *env) return StripSlash(env);
  const char* home = std::getenv("HOME");
  return StripSlash(std::string(home && *home ? home : "") + "/.wine");
}

std::string WinePrefix() {
  {
    std::lock_guard<std::mutex> lock(gPrefixMutex);
    if (!gPrefixOverride.empty()) return gPrefixOverride;
  }
  return EnvironmentWinePrefix();
}

void SetWinePrefix(const std::string& hostPath) {
  std::lock_guard<std::mutex> lock(gPrefixMutex);
  gPrefixOverride = hostPath.empty() ? std::string() : StripSlash(hostPath);
}

} // namespace dravik
