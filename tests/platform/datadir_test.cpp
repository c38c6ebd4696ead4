// The program's data folder: named by the environment, else the installed one, else the source
// tree's resources.
#include "platform/datadir.h"
#include "tests/fixtures/tempprefix.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

using namespace dravik;
using namespace dravik::test;
namespace fs = std::filesystem;

namespace {

TEST(DataFolder, TheEnvironmentWinsThenTheSourceTree) {
  TTempDir data;
  const fs::path old = fs::current_path();
  setenv("DRAVIK_DATADIR", data.Path().c_str(), 1);
  EXPECT_EQ(DataFolder(), data.Path());
  EXPECT_TRUE(EnterDataFolder());
  EXPECT_EQ(fs::current_path(), fs::canonical(data.Path()));
  setenv("DRAVIK_DATADIR", (data.Path() + "/missing").c_str(), 1);
  EXPECT_EQ(DataFolder(), "");
  EXPECT_FALSE(EnterDataFolder());
  unsetenv("DRAVIK_DATADIR");
  fs::current_path(old);
  // Not installed: the source tree's resources, where the documents are.
  if (!fs::exists(std::string(DRAVIK_DATADIR) + "/docs.html")) {
    EXPECT_EQ(fs::path(DataFolder()).filename(), "resources");
  }
}

} // namespace
