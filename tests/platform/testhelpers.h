// Small helpers the platform tests share for setting up and checking data.
#pragma once

#include "platform/sysutils.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace dravik::test {

// The names in a host folder, ascending by byte value.
inline std::vector<std::string> HostListing(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The message of the Exception `f` throws; "" when it throws none.
inline std::string ExceptionMessage(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message();
  }
  return std::string();
}

} // namespace dravik::test
