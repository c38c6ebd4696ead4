#include "patches/patch.h"
#include "platform/sysutils.h"
#include "tests/fixtures/gobmaker.h"
#include "tests/fixtures/tempprefix.h"

#include <gtest/gtest.h>

using namespace dravik;
using namespace dravik::test;

namespace {

class PatchRead : public ::testing::Test {
protected:
  TTempPrefix prefix;
  // Writes `bytes` as C:\<name> and reads it as a patch.
  std::unique_ptr<TPatch> Load(const std::string& name, const std::string& bytes) {
    WriteHostFile(prefix.HostC(name), bytes);
    auto p = std::make_unique<TPatch>();
    p->LoadFromFile("C:\\" + name);
    return p;
  }
};

TEST_F(PatchRead, DescriptorGivesNameTypeAndSortedLines) {
  auto p = Load("biggun.gob", MakePatchBytes({"3do\\gun.3do"},
                                             "Name=Big Guns\r\ntype=Weapon\r\nauthor=Someone\r\n"));
  EXPECT_EQ(p->Name, "Big Guns");
  EXPECT_EQ(p->Info.Values("Type"), "Weapon");
  EXPECT_EQ(p->Info.Lines(), (std::vector<std::string>{"author=Someone", "File Name=biggun.gob",
                                                       "Name=Big Guns", "type=Weapon"}));
  EXPECT_EQ(p->Files.Lines(), std::vector<std::string>{"3do\\gun.3do"});
  EXPECT_EQ(p->Active, 0);
}

TEST_F(PatchRead, OnlyARootDescriptorCountsAndItsLeadingBackslashIsDropped) {
  std::string bytes = MakeGOBBytes({{"\\PATCHINFO.TXT", "Name=Rooted"},
                                    {"misc\\patchinfo.txt", "Name=Nested"},
                                    {"\\3do\\Mat\\Wall.MAT", ""}});
  auto p = Load("r.gob", bytes);
  EXPECT_EQ(p->Name, "Rooted");
  EXPECT_EQ(p->Files.Lines(),
            (std::vector<std::string>{"misc\\patchinfo.txt", "3do\\Mat\\Wall.MAT"}));
}

TEST_F(PatchRead, LinesWithoutEqualsSignAreDroppedAndDefaultsFilled) {
  auto p = Load("biggun.gob",
                MakePatchBytes({}, "Just some words\r\nabout my patch\r\nName = Big Guns\r\n"));
  EXPECT_EQ(p->Name, "biggun"); // "Name " with a blank is not the name key
  EXPECT_EQ(p->Info.Lines(),
            (std::vector<std::string>{"File Name=biggun.gob", "Name = Big Guns", "Type=Unknown"}));
  auto bare = Load("abc.gob", MakePatchBytes({"a.cog"}));
  EXPECT_EQ(bare->Name, "abc");
  EXPECT_EQ(bare->Info.Lines(), (std::vector<std::string>{"File Name=abc.gob", "Type=Unknown"}));
  EXPECT_EQ(Load(".gob", MakePatchBytes({}))->Name, ""); // four characters or fewer leave no name
}

TEST_F(PatchRead, FileNameLineNamesThePatchFileItself) {
  auto p = Load("mine.gob", MakePatchBytes({}, "File Name=other.gob\nType=Skin"));
  EXPECT_EQ(p->FileName(), "mine.gob");
  EXPECT_EQ(p->Info.IndexOf("File Name=other.gob"), -1);
  // Further lines of that key, which would sort before the file's own, are dropped as well.
  p = Load("mine.gob", MakePatchBytes({}, "File Name=a.gob\nFILE NAME=..\\..\\x.dll\n"
                                          "file name=\x01.gob\nType=Skin"));
  EXPECT_EQ(p->FileName(), "mine.gob");
  EXPECT_EQ(p->Info.Lines(), (std::vector<std::string>{"File Name=mine.gob", "Type=Skin"}));
}

TEST_F(PatchRead, LastDescriptorWinsAndNulEndsTheText) {
  std::string first = "Name=First\r\n";
  std::string second = std::string("Name=Second\rType=Item\0Hidden=yes\r\n", 34);
  auto p = Load("two.gob", MakeGOBBytes({{"patchinfo.txt", first}, {"patchinfo.txt", second}}));
  EXPECT_EQ(p->Name, "Second");
  EXPECT_EQ(p->Info.Values("Type"), "Item");
  EXPECT_EQ(p->Info.IndexOfName("Hidden"), -1);
}

TEST_F(PatchRead, DescriptorTextIsWindows1252) {
  auto p = Load("w.gob", MakePatchBytes({"caf\xE9.mat"}, "Name=Fa\xE7"
                                                         "ade \x80"));
  EXPECT_EQ(p->Name, "Fa\xC3\xA7"
                     "ade \xE2\x82\xAC");
  EXPECT_EQ(p->Files[0], "caf\xC3\xA9.mat");
}

TEST_F(PatchRead, DamagedFilesAreReadWithinTheirBounds) {
  std::string bytes = MakePatchBytes({"a.cog", "b.cog"}, "Name=Damaged");
  PutLE32(bytes, 16 + 4, 1 << 30); // descriptor length far past the end
  PutLE32(bytes, 12, 0x7FFFFFFF);  // count far past the end
  auto p = Load("d.gob", bytes);
  EXPECT_EQ(p->Name, "d");
  EXPECT_EQ(p->Files.Lines(), (std::vector<std::string>{"a.cog", "b.cog"}));

  auto tiny = Load("t.gob", "GOB");
  EXPECT_EQ(tiny->Files.Count(), 0);
  EXPECT_EQ(tiny->Info.Values("Type"), "Unknown");
}

TEST_F(PatchRead, UnreadableFileFailsWithOpenMessage) {
  TPatch p;
  try {
    p.LoadFromFile("C:\\missing.gob");
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file C:\\missing.gob");
  }
  EXPECT_EQ(p.Info.Count(), 0);
}

} // namespace
