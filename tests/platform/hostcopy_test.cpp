#include "platform/hostcopy.h"
#include "tests/fixtures/tempprefix.h"

#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace dravik;
using namespace dravik::test;

namespace {

// Whether two host files hold the same bytes, read a chunk at a time.
bool SameBytes(const std::string& a, const std::string& b) {
  int fa = ::open(a.c_str(), O_RDONLY | O_CLOEXEC), fb = ::open(b.c_str(), O_RDONLY | O_CLOEXEC);
  bool same = fa >= 0 && fb >= 0;
  constexpr size_t kChunk = 1 << 20;
  std::unique_ptr<char[]> x(new char[kChunk]), y(new char[kChunk]);
  while (same) {
    ssize_t n = ::read(fa, x.get(), kChunk), m = ::read(fb, y.get(), kChunk);
    same = n == m && n >= 0 && std::memcmp(x.get(), y.get(), static_cast<size_t>(n)) == 0;
    if (n <= 0) break;
  }
  ::close(fa);
  ::close(fb);
  return same;
}

} // namespace

// A sparse file is copied with its holes: the copy takes about as much disk as its data, not
// as its length, and reads the same.
TEST(HostCopy, HolesStayHoles) {
  constexpr off_t kSize = off_t(300) << 20;
  constexpr off_t kMiB = off_t(1) << 20;
  const std::string data(70000, 'd');
  struct TLayout {
    const char* What;
    std::vector<off_t> DataAt;
  };
  const TLayout layouts[] = {
      {"data first, a hole at the end", {0, 100 * kMiB + 12345}},
      {"a hole first, data at the end", {kSize - off_t(data.size())}},
      {"only a hole", {}},
  };
  TTempDir dir;
  for (const TLayout& l : layouts) {
    SCOPED_TRACE(l.What);
    const std::string src = dir.Path() + "/sparse.bin", dst = dir.Path() + "/copy.bin";
    ::unlink(src.c_str());
    ::unlink(dst.c_str());
    int fd = ::open(src.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    for (off_t at : l.DataAt)
      ASSERT_EQ(::pwrite(fd, data.data(), data.size(), at), ssize_t(data.size()));
    ASSERT_EQ(::ftruncate(fd, kSize), 0);
    ::close(fd);
    struct stat s;
    ASSERT_EQ(::stat(src.c_str(), &s), 0);
    if (s.st_blocks * 512 > kSize / 2) GTEST_SKIP() << "the file system here makes no holes";

    int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
    int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    ASSERT_GE(in, 0);
    ASSERT_GE(out, 0);
    EXPECT_TRUE(host::CopyData(in, out));
    ::close(in);
    ASSERT_EQ(::close(out), 0);
    struct stat d;
    ASSERT_EQ(::stat(dst.c_str(), &d), 0);
    EXPECT_EQ(d.st_size, kSize);
    EXPECT_LE(d.st_blocks * 512, s.st_blocks * 512 + 4 * kMiB);
    EXPECT_TRUE(SameBytes(src, dst));
  }
}
