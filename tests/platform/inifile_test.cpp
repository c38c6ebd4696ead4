#include "platform/inifile.h"
#include "tests/fixtures/tempprefix.h"

#include <chrono>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace dravik;
using namespace dravik::test;

TEST(IniFile, ReadsAShortcutNamedWithoutRegardToCase) {
  TTempPrefix p;
  WriteHostFile(p.HostC("Links/Patch.url"),
                std::string("[InternetShortcut]\r\nURL = http://127.0.0.1/caf\xE9.zip \r\n"));
  EXPECT_EQ(ReadIniString("C:\\links\\PATCH.URL", "internetshortcut", "url"),
            "http://127.0.0.1/caf\xC3\xA9.zip");
  EXPECT_EQ(ReadIniString("C:\\links\\missing.url", "InternetShortcut", "URL", "none"), "none");
}

// A named pipe must not hang the reader: no writer ever comes.
TEST(IniFile, ANamedPipeOrAFolderGivesTheDefault) {
  TTempPrefix p;
  MakeHostDirs(p.HostC("links/folder.url"));
  EXPECT_EQ(ReadIniString("C:\\links\\folder.url", "InternetShortcut", "URL", "none"), "none");

  const std::string fifo = p.HostC("links/pipe.url");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto read = std::async(std::launch::async, [] {
    return ReadIniString("C:\\links\\pipe.url", "InternetShortcut", "URL", "none");
  });
  if (read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "reading a named pipe hangs";
    // Release the reader: a writer that leaves at once gives it the end of the data.
    ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
  }
  EXPECT_EQ(read.get(), "none");
}
