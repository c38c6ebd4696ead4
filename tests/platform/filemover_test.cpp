#include "platform/filemover.h"
#include "platform/lasterror.h"
#include "tests/fixtures/tempprefix.h"

#include <gtest/gtest.h>

using namespace dravik;
using namespace dravik::winfs;
using namespace dravik::test;

namespace {

TEST(FileMover, MovesAsMoveFileDoesWithoutSearchingBeforeEveryMove) {
  TTempPrefix prefix;
  const std::string a = prefix.HostC("a/"), b = prefix.HostC("a/b/");
  MakeHostDirs(b);
  for (const char* name : {"one.gob", "Two.GOB", "three.gob"})
    WriteHostFile(a + name, name);
  WriteHostFile(b + "THREE.gob", "in the way");
  TFileMover mover("C:\\a", "C:\\a\\b\\");
  struct {
    int From;
    std::string Name;
    int Error; // 0: moved
  } cases[] = {
      {0, "one.gob", 0},
      {1, "one.gob", 0}, // and back
      {0, "two.gob", 0}, // found in another spelling, moved under the one asked for
      {0, "three.gob", ERROR_ALREADY_EXISTS}, // another spelling in the target is in the way
      {0, "gone.gob", ERROR_FILE_NOT_FOUND},
      {1, "two.gob", 0},
      {0, "TWO.GOB", 0}, // the folder listed once keeps track of its own moves
  };
  for (const auto& c : cases) {
    EXPECT_EQ(mover.Move(c.From, c.Name), c.Error == 0) << c.Name;
    if (c.Error) {
      EXPECT_EQ(GetLastError(), c.Error) << c.Name;
    }
  }
  EXPECT_TRUE(HostExists(a + "one.gob"));
  EXPECT_TRUE(HostExists(b + "TWO.GOB"));
  EXPECT_EQ(ReadHostFile(a + "three.gob"), "three.gob");
  // A folder that is not there: the move says why, as MoveFile does.
  TFileMover lost("C:\\a", "C:\\nowhere\\");
  EXPECT_FALSE(lost.Move(0, "one.gob"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

} // namespace
