#include "platform/shelllink.h"
#include "platform/sysutils.h"
#include "tests/fixtures/lnkwriter.h"
#include "tests/fixtures/tempprefix.h"
#include "tests/platform/testhelpers.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

using namespace dravik;
using namespace dravik::test;

namespace {

class ShellLink : public ::testing::Test {
protected:
  // Writes a link as C:\links\<name> and resolves it.
  std::string Resolve(const std::string& name, const TLnkLayout& layout) {
    WriteShellLink(P.HostC("links/" + name), layout);
    return ResolveShellLinkFile("C:\\links\\" + name);
  }
  // The message ResolveShellLinkFile fails with ("" when it does not fail).
  std::string Failure(const std::string& winPath) {
    return ExceptionMessage([&] { ResolveShellLinkFile(winPath); });
  }
  TTempPrefix P;
};

// What liblnk's own tool makes of a link file ("" when the tool is not installed).
std::string LnkInfo(const std::string& hostPath) {
  if (!std::filesystem::exists("/usr/bin/lnkinfo")) return std::string();
  std::string out;
  if (FILE* f = ::popen(("/usr/bin/lnkinfo '" + hostPath + "' 2>&1").c_str(), "r")) {
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0)
      out.append(buf.data(), n);
    ::pclose(f);
  }
  return out;
}

// Records the largest allocation made while it exists, in builds with a sanitizer (whose
// allocator takes hooks); Available() is false elsewhere.
extern "C" int
__sanitizer_install_malloc_and_free_hooks(void (*malloc)(const volatile void*, size_t),
                                          void (*free)(const volatile void*)) __attribute__((weak));

class TLargestAllocation {
public:
  TLargestAllocation() {
    static const bool installed =
        __sanitizer_install_malloc_and_free_hooks &&
        __sanitizer_install_malloc_and_free_hooks(&OnMalloc, &OnFree) != 0;
    FAvailable = installed;
    Largest() = 0;
    Recording() = true;
  }
  ~TLargestAllocation() { Recording() = false; }
  bool Available() const { return FAvailable; }
  size_t Bytes() const { return Largest(); }

private:
  static std::atomic<size_t>& Largest() {
    static std::atomic<size_t> largest{0};
    return largest;
  }
  static std::atomic<bool>& Recording() {
    static std::atomic<bool> recording{false};
    return recording;
  }
  static void OnMalloc(const volatile void*, size_t size) {
    if (Recording() && size > Largest()) Largest() = size;
  }
  static void OnFree(const volatile void*) {}
  bool FAvailable = false;
};

} // namespace

TEST_F(ShellLink, LocalTargetIsBasePathPlusSuffix) {
  TLnkLayout layout;
  layout.LocalBasePath = "C:\\Games\\Halvex\\patch.zip";
  EXPECT_EQ(Resolve("a.lnk", layout), "C:\\Games\\Halvex\\patch.zip");

  layout.LocalBasePath = "C:\\Games\\";
  layout.CommonPathSuffix = "Halvex\\patch.gob";
  EXPECT_EQ(Resolve("b.lnk", layout), "C:\\Games\\Halvex\\patch.gob");

  // The writer's links are what liblnk's own tool reads too.
  const std::string info = LnkInfo(P.HostC("links/a.lnk"));
  if (!info.empty()) {
    EXPECT_NE(info.find("C:\\Games\\Halvex\\patch.zip"), std::string::npos) << info;
  }
}

TEST_F(ShellLink, AnsiPathsAreWindows1252AndUnicodePathsWin) {
  TLnkLayout layout;
  layout.LocalBasePath = "C:\\Spiele\\\xC3\x9C"
                         "ber.zip"; // "Über" fits Windows-1252
  EXPECT_EQ(Resolve("ansi.lnk", layout), "C:\\Spiele\\\xC3\x9C"
                                         "ber.zip");

  layout.LocalBasePath = "C:\\\xCE\x94\xCE\xB5\\x.zip"; // Greek: only the Unicode form holds it
  layout.Unicode = true;
  EXPECT_EQ(Resolve("unicode.lnk", layout), "C:\\\xCE\x94\xCE\xB5\\x.zip");
}

TEST_F(ShellLink, NetworkOnlyLinkGivesShareBackslashSuffix) {
  TLnkLayout layout;
  layout.NetworkShareName = "\\\\server\\share";
  layout.CommonPathSuffix = "patches\\x.zip";
  EXPECT_EQ(Resolve("net.lnk", layout), "\\\\server\\share\\patches\\x.zip");

  // With both parts the local path is the target.
  layout.LocalBasePath = "Z:\\";
  EXPECT_EQ(Resolve("both.lnk", layout), "Z:\\patches\\x.zip");
}

TEST_F(ShellLink, FailuresNameTheFile) {
  EXPECT_NE(Failure("C:\\links\\missing.lnk").find("C:\\links\\missing.lnk"), std::string::npos);

  WriteHostFile(P.HostC("links/text.lnk"), std::string("[InternetShortcut]\r\nURL=x\r\n"));
  EXPECT_NE(Failure("C:\\links\\text.lnk").find("C:\\links\\text.lnk"), std::string::npos);

  // A header alone, cut short.
  TLnkLayout layout;
  layout.LocalBasePath = "C:\\x.zip";
  std::vector<uint8_t> cut = MakeShellLink(layout);
  cut.resize(40);
  WriteHostFile(P.HostC("links/cut.lnk"), cut);
  EXPECT_NE(Failure("C:\\links\\cut.lnk").find("C:\\links\\cut.lnk"), std::string::npos);

  TLnkLayout none;
  none.NoLinkInfo = true;
  WriteShellLink(P.HostC("links/none.lnk"), none);
  EXPECT_NE(Failure("C:\\links\\none.lnk").find("C:\\links\\none.lnk"), std::string::npos);

  MakeHostDirs(P.HostC("links/folder.lnk"));
  EXPECT_NE(Failure("C:\\links\\folder.lnk").find("folder.lnk"), std::string::npos);
}

TEST_F(ShellLink, TargetsLongerThanAPathBufferAreRefusedNotCut) {
  TLnkLayout layout;
  layout.LocalBasePath = "C:\\" + std::string(255, 'a') + ".zip"; // 262 characters
  WriteShellLink(P.HostC("links/long.lnk"), layout);
  EXPECT_NE(Failure("C:\\links\\long.lnk").find("longer than"), std::string::npos);

  layout.LocalBasePath = "C:\\" + std::string(252, 'a') + ".zip"; // 259 characters
  EXPECT_EQ(Resolve("fits.lnk", layout).size(), 259u);
}

// Found by fuzz_shelllink: a location information size of 0xFFFFFF00 in an 83-byte file, to be
// refused before anything of that size is allocated.
TEST_F(ShellLink, OversizedLocationInformationIsRefusedWithoutAllocatingIt) {
  static const uint8_t kInput[] = {
      0x4c, 0x00, 0x00, 0x00, 0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xc0, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x46, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x4c, 0x00,
      0x00, 0x00, 0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xc0, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x7a, 0x00, 0x00, 0xff, 0xff, 0xff, 0xff,
      0x00, 0x01, 0x00, 0x00, 0x4c, 0x6b, 0x00, 0x00, 0x00, 0x00, 0x00, 0x7a, 0x00, 0x00,
      0xff, 0xff, 0xff, 0xff, 0x00, 0x01, 0x00, 0xff, 0xff, 0xff, 0x00, 0x01, 0x00};
  WriteHostFile(P.HostC("links/huge.lnk"),
                std::vector<uint8_t>(std::begin(kInput), std::end(kInput)));
  TLargestAllocation largest;
  EXPECT_NE(Failure("C:\\links\\huge.lnk").find("not a valid shell link"), std::string::npos);
  if (largest.Available()) {
    EXPECT_LT(largest.Bytes(), size_t(1) << 20);
  }

  // A link of the usual layout still reads.
  TLnkLayout layout;
  layout.LocalBasePath = "C:\\Games\\";
  layout.CommonPathSuffix = "x.gob";
  EXPECT_EQ(Resolve("fits.lnk", layout), "C:\\Games\\x.gob");
}

// Found by fuzz_shelllink: a common path suffix whose NUL lies just past the location
// information, to be refused rather than read beyond the block.
TEST_F(ShellLink, AStringRunningPastTheLocationInformationIsRefused) {
  static const uint8_t kInput[] = {
      0x4c, 0x00, 0x00, 0x00, 0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xc0, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x46, 0x02, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x27, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x49, 0x00, 0x00, 0x00, 0x1c, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1c, 0x00, 0x00, 0x00, 0x3f, 0x00, 0x00, 0x00, 0x23,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x14, 0x00, 0x00, 0x00, 0x21, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
      0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x76, 0x65, 0x72, 0x5c, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0xc0};
  WriteHostFile(P.HostC("links/past.lnk"),
                std::vector<uint8_t>(std::begin(kInput), std::end(kInput)));
  EXPECT_NE(Failure("C:\\links\\past.lnk").find("not a valid shell link"), std::string::npos);

  // The same link with the string ended inside reads (its share has no name).
  std::vector<uint8_t> fixed(std::begin(kInput), std::end(kInput));
  fixed[0x90] = 0;
  WriteHostFile(P.HostC("links/fixed.lnk"), fixed);
  EXPECT_NE(Failure("C:\\links\\fixed.lnk").find("does not name a target path"), std::string::npos);
}
