#include "gob/gobformat.h"
#include "platform/sysutils.h"
#include "tests/fixtures/gobmaker.h"
#include "tests/fixtures/tempprefix.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace dravik;
using namespace dravik::test;

namespace {

class GobFormat : public ::testing::Test {
protected:
  TTempPrefix prefix;
  std::string Host(const std::string& name) { return prefix.HostC(name); }
  std::string Win(const std::string& name) { return "C:\\" + name; }

  static std::unique_ptr<TGOBThing> Thing(const std::string& name, const std::string& bytes) {
    auto t = std::make_unique<TGOBThing>();
    t->Name = name;
    t->Data.assign(bytes.begin(), bytes.end());
    return t;
  }
  static std::string Bytes(const TGOBThing& t) { return std::string(t.Data.begin(), t.Data.end()); }
};

TEST_F(GobFormat, WritesTheDocumentedLayout) {
  auto a = Thing("a.cog", "12345");
  auto b = Thing("b.3do", "abcdefg");
  WriteGOB(Win("x.gob"), {{"", a.get()}, {"3do\\", b.get()}});
  std::string bytes = ReadHostFile(Host("x.gob"));
  ASSERT_EQ(bytes.size(), 300u);
  EXPECT_EQ(bytes, MakeGOBBytes({{"a.cog", "12345"}, {"3do\\b.3do", "abcdefg"}}));
  EXPECT_EQ(a->Offset, 288);
  EXPECT_EQ(b->Offset, 293);
  EXPECT_EQ(b->Name, "b.3do"); // the member keeps its file name alone
}

TEST_F(GobFormat, EmptyArchiveIsSixteenBytesBothWays) {
  WriteGOB(Win("e.gob"), {});
  EXPECT_EQ(ReadHostFile(Host("e.gob")), MakeGOBBytes({}));
  EXPECT_EQ(ReadHostFile(Host("e.gob")).size(), 16u);
  EXPECT_TRUE(ReadGOB(Win("e.gob")).empty());
}

TEST_F(GobFormat, RoundTripKeepsNamesOrderBytesAndOffsets) {
  auto m1 = Thing("z.mat", "zzz");
  auto m2 = Thing("empty.cog", "");
  auto m3 = Thing("caf\xC3\xA9.wav", std::string(1000, '\x7F'));
  WriteGOB(Win("r.gob"), {{"3do\\mat\\", m1.get()}, {"cog\\", m2.get()}, {"", m3.get()}});
  // Windows-1252 on disk.
  EXPECT_NE(ReadHostFile(Host("r.gob")).find("caf\xE9.wav"), std::string::npos);
  auto read = ReadGOB(Win("r.gob"));
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[0].FullName, "3do\\mat\\z.mat");
  EXPECT_EQ(read[0].Thing->Name, "z.mat");
  EXPECT_EQ(read[1].FullName, "cog\\empty.cog");
  EXPECT_EQ(read[1].Thing->Length, 0);
  EXPECT_EQ(read[1].Thing->Offset, m2->Offset);
  EXPECT_EQ(read[2].FullName, "caf\xC3\xA9.wav");
  EXPECT_EQ(Bytes(*read[2].Thing), std::string(1000, '\x7F'));
  EXPECT_EQ(read[2].Thing->Offset, m3->Offset);
  // Writing what was read gives the same file again.
  std::string first = ReadHostFile(Host("r.gob"));
  WriteGOB(Win("r2.gob"), {{"3do\\mat\\", read[0].Thing.get()},
                           {"cog\\", read[1].Thing.get()},
                           {"", read[2].Thing.get()}});
  EXPECT_EQ(ReadHostFile(Host("r2.gob")), first);
}

TEST_F(GobFormat, ReadsThroughOffsetsWhateverTheLayout) {
  // Data stored in reverse order with gaps, a directory-offset field that is not 12, a
  // 128-character name without NUL and a name with a leading backslash.
  std::string name128(128, 'n');
  std::string bytes = MakeGOBBytes({{name128, ""}, {"\\patchinfo.txt", ""}});
  PutLE32(bytes, 8, 999);
  bytes += std::string(10, '\0');
  const size_t posA = bytes.size();
  bytes += "AAAA" + std::string(5, '\0');
  const size_t posB = bytes.size();
  bytes += "BB";
  PutLE32(bytes, 16, static_cast<int32_t>(posB)); // entry 0's data lies after entry 1's
  PutLE32(bytes, 20, 2);
  PutLE32(bytes, 16 + 136, static_cast<int32_t>(posA));
  PutLE32(bytes, 20 + 136, 4);
  WriteHostFile(Host("odd.gob"), bytes);
  auto read = ReadGOB(Win("odd.gob"));
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].FullName, name128);
  EXPECT_EQ(Bytes(*read[0].Thing), "BB");
  EXPECT_EQ(read[1].FullName, "\\patchinfo.txt");
  EXPECT_EQ(read[1].Thing->Name, "patchinfo.txt");
  EXPECT_EQ(Bytes(*read[1].Thing), "AAAA");
}

TEST_F(GobFormat, DamagedDirectoriesAreReadOnlyAsFarAsTheFileGoes) {
  std::string good = MakeGOBBytes({{"a.cog", "aaaa"}, {"b.cog", "bb"}});

  std::string countTooBig = good;
  PutLE32(countTooBig, 12, 1000000);
  WriteHostFile(Host("big.gob"), countTooBig);
  EXPECT_EQ(ReadGOB(Win("big.gob")).size(), 2u); // a third entry does not fit the file

  std::string countHuge = good;
  PutLE32(countHuge, 12, 0x7FFFFFFF);
  WriteHostFile(Host("huge.gob"), countHuge);
  EXPECT_EQ(ReadGOB(Win("huge.gob")).size(), 2u);

  std::string negative = good;
  PutLE32(negative, 12, -5);
  WriteHostFile(Host("neg.gob"), negative);
  EXPECT_TRUE(ReadGOB(Win("neg.gob")).empty());

  std::string badData = good;
  PutLE32(badData, 16, 1 << 30);      // a.cog's offset far past the end
  PutLE32(badData, 16 + 136 + 4, -1); // b.cog's length negative
  WriteHostFile(Host("bad.gob"), badData);
  EXPECT_TRUE(ReadGOB(Win("bad.gob")).empty());

  std::string pastEnd = good;
  PutLE32(pastEnd, 16 + 136 + 4, 3); // b.cog runs one byte past the end
  WriteHostFile(Host("past.gob"), pastEnd);
  auto read = ReadGOB(Win("past.gob"));
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].FullName, "a.cog");

  WriteHostFile(Host("short.gob"), std::string("GOB \x14\0\0", 7));
  EXPECT_TRUE(ReadGOB(Win("short.gob")).empty());

  // An empty member has no bytes to run past the end: it is kept, wherever its offset points.
  std::string empties = MakeGOBBytes({{"far.cog", ""}, {"neg.cog", ""}});
  PutLE32(empties, 16, 1 << 30);
  PutLE32(empties, 16 + 136, -7);
  WriteHostFile(Host("empties.gob"), empties);
  read = ReadGOB(Win("empties.gob"));
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[1].FullName, "neg.cog");
  EXPECT_TRUE(read[0].Thing->Data.empty() && read[1].Thing->Data.empty());
}

TEST_F(GobFormat, MissingFileFailsWithTheOpenMessage) {
  try {
    ReadGOB(Win("nothere.gob"));
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file C:\\nothere.gob");
  }
}

TEST_F(GobFormat, RefusesLongOrUnstorableNamesBeforeWriting) {
  WriteHostFile(Host("old.gob"), MakeGOBBytes({{"keep.cog", "k"}}));
  std::string old = ReadHostFile(Host("old.gob"));
  auto ok = Thing("fine.cog", "x");
  auto longName = Thing(std::string(120, 'L') + ".cog", "x"); // 124 chars + "3do\" = 128
  try {
    WriteGOB(Win("old.gob"), {{"", ok.get()}, {"3do\\", longName.get()}});
    FAIL();
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find("3do\\" + longName->Name), std::string::npos);
  }
  auto exact = Thing(std::string(123, 'E'), "x"); // "3do\" + 123 = 127: allowed
  EXPECT_NO_THROW(WriteGOB(Win("ok.gob"), {{"3do\\", exact.get()}}));
  auto cjk = Thing("\xE6\x97\xA5.cog", "x");
  EXPECT_THROW(WriteGOB(Win("old.gob"), {{"", cjk.get()}}), Exception);
  EXPECT_EQ(ReadHostFile(Host("old.gob")), old);
}

TEST_F(GobFormat, FailedWriteLeavesTheOldArchiveWhole) {
  WriteHostFile(Host("keep.gob"), MakeGOBBytes({{"keep.cog", "k"}}));
  std::string old = ReadHostFile(Host("keep.gob"));
  // In a child process, limit the file size so the write fails part-way, as on a full disk.
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {4096, 4096};
    setrlimit(RLIMIT_FSIZE, &lim);
    auto big = std::make_unique<TGOBThing>();
    big->Name = "big.bin";
    big->Data.assign(100000, 1);
    try {
      WriteGOB("C:\\keep.gob", {{"", big.get()}});
    } catch (const Exception&) {
      _exit(7); // reported
    }
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 7);
  EXPECT_EQ(ReadHostFile(Host("keep.gob")), old);
  // No temporary file is left beside it.
  int entries = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(prefix.DriveC()))
    ++entries;
  EXPECT_EQ(entries, 1);
}

} // namespace
