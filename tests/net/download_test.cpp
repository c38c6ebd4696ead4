// The retriever against the servers players meet: time-outs, names from the server, resumed
// transfers, redirections between schemes, proxies from the environment, progress.
#include "miniftp.h"
#include "net/proxyenv.h"
#include "net/retriever.h"
#include "nettest.h"
#include "platform/dialogs.h"
#include "platform/winfs.h"
#include "tests/fixtures/ftpserver.h"
#include "tests/fixtures/nginxserver.h"
#include "tests/fixtures/scripteddialogs.h"
#include "tests/fixtures/serverprocess.h"
#include "tests/fixtures/tcpserver.h"
#include "tests/fixtures/tempprefix.h"
#include "tests/fixtures/testca.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace dravik;
using namespace dravik::test;

namespace {

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i)
    s[i] = char((i * 7 + i / 251) & 0xFF);
  return s;
}

class Download : public ::testing::Test {
protected:
  Download() : R(Dialog) {
    for (const auto& f : winfs::FindFiles(R.TempDir + "*", winfs::faAnyFile))
      (void)winfs::DeleteFile(R.TempDir + f.Name);
    R.ReportErrors = false;
    R.ConnectTimeOut = 300;
    R.ReceiveTimeOut = 300;
  }
  std::string Read(const std::string& file) { return ReadHostFile(winfs::ToHostPath(file)); }
  std::vector<std::string> TempFiles() {
    std::vector<std::string> names;
    for (const auto& f : winfs::FindFiles(R.TempDir + "*", winfs::faAnyFile))
      names.push_back(f.Name);
    return names;
  }

  TNoProxies NoProxies;
  TTempPrefix Prefix;
  TScriptedDialogs Dialogs;
  TFakeStatusDialog Dialog;
  TRetriever R;
};

// The value of a request's header line ("" when it has none).
std::string HeaderOf(const std::string& request, const std::string& name) {
  const size_t at = request.find("\r\n" + name + ": ");
  if (at == std::string::npos) return std::string();
  const size_t begin = at + name.size() + 4;
  return request.substr(begin, request.find('\r', begin) - begin);
}

// Copies bytes both ways between a connection and 127.0.0.1:port until either side closes.
void Relay(TTcpConnection& c, int port) {
  const int fd = ConnectLocal(port);
  if (fd < 0) return;
  pollfd p[2] = {{c.Fd(), POLLIN, 0}, {fd, POLLIN, 0}};
  char buffer[16384];
  for (bool open = true; open && !c.Stopping();) {
    if (::poll(p, 2, 20) <= 0) continue;
    for (int i = 0; i < 2 && open; ++i) {
      if (!p[i].revents) continue;
      const ssize_t n = ::recv(p[i].fd, buffer, sizeof buffer, 0);
      open = n > 0 && ::send(p[1 - i].fd, buffer, size_t(n), MSG_NOSIGNAL) == n;
    }
  }
  ::close(fd);
}

} // namespace

TEST_F(Download, TimeOutsEndWithAClearMessage) {
  TSilentListener silent;
  TTcpServer mute([](TTcpConnection& c) { c.WaitClosed(10000); });
  TTcpServer stall([](TTcpConnection& c) {
    c.ReadUntil("\r\n\r\n");
    c.Send("HTTP/1.0 200 OK\r\nContent-Length: 9000\r\n\r\nfirst part");
    c.WaitClosed(10000);
  });
  TMiniFtpScript silentUser;
  silentUser.User = "";
  TMiniFtp ftp(silentUser);
  const struct {
    std::string Url, Message;
    bool PartialKept;
  } cases[] = {
      {"http://127.0.0.1:" + std::to_string(silent.Port()) + "/a.gob", "Connection timed out",
       false},
      {mute.Url("http", "/b.gob"), "No data received for 300 ms", false},
      {stall.Url("http", "/c.gob"), "No data received for 300 ms", true},
      {"ftp://127.0.0.1:" + std::to_string(ftp.Port()) + "/d.gob", "No data received for 300 ms",
       false},
  };
  for (const auto& c : cases) {
    const auto start = Clock::now();
    EXPECT_EQ(R.RetrieveFile(c.Url), "") << c.Url;
    EXPECT_LT(MsSince(start), 5000) << c.Url;
    EXPECT_EQ(R.LastResult().Outcome, roFailed) << c.Url;
    EXPECT_EQ(R.LastResult().Message, c.Message) << c.Url;
    EXPECT_EQ(R.LastResult().PartialKept, c.PartialKept) << c.Url;
  }
  EXPECT_EQ(NoDataText(60000), "No data received for 60 seconds");
  EXPECT_TRUE(Dialogs.Asked().empty()); // ReportErrors off
}

TEST_F(Download, NamesFromTheServerOrTheUrl) {
  const struct {
    std::string Path, Disposition, Name;
  } cases[] = {
      {"/download.php?id=42", "attachment; filename=\"sabers.zip\"", "sabers.zip"},
      {"/get/x%20y.gob?v=1#top", "", "x y.gob"},
      {"/a/b.gob", "attachment; filename*=UTF-8''S%C3%A4bel.gob; filename=\"S.gob\"", "Säbel.gob"},
      {"/dl", "attachment; filename=\"..\\\\..\\\\evil.gob\"", "evil.gob"},
      {"/dl/", "inline", "download.bin"},
  };
  for (const auto& c : cases) {
    TTcpServer server([&](TTcpConnection& conn) {
      conn.ReadUntil("\r\n\r\n");
      conn.Send("HTTP/1.0 200 OK\r\n" +
                (c.Disposition.empty() ? "" : "Content-Disposition: " + c.Disposition + "\r\n") +
                "\r\npatch");
    });
    const std::string file = R.RetrieveFile(server.Url("http", c.Path));
    EXPECT_EQ(file, R.TempDir + c.Name) << c.Path;
    EXPECT_EQ(Read(file), "patch");
    EXPECT_TRUE(winfs::DeleteFile(file));
  }
  EXPECT_TRUE(TempFiles().empty());
}

// A transfer that breaks off keeps its part; resuming gives the same bytes as an unbroken
// download whether the server continues (206), starts over (200) or cannot (416).
TEST_F(Download, BrokenHttpDownloadResumesByteForByte) {
  const std::string data = Pattern(200000);
  for (const std::string mode : {"206", "200", "416"}) {
    SCOPED_TRACE(mode);
    TRecord requests;
    TTcpServer server([&](TTcpConnection& c) {
      const std::string request = c.ReadUntil("\r\n\r\n");
      const std::string range = HeaderOf(request, "Range");
      if (requests.Add(request) == 1) {
        c.Send("HTTP/1.0 200 OK\r\nContent-Length: 200000\r\nETag: \"v1\"\r\n\r\n" +
               data.substr(0, 50000));
      } else if (!range.empty() && mode == "206") {
        const size_t from = std::stoul(range.substr(6));
        c.Send(Format("HTTP/1.0 206 Partial Content\r\nContent-Range: bytes %zu-199999/200000\r\n"
                      "Content-Length: %zu\r\n\r\n",
                      from, data.size() - from) +
               data.substr(from));
      } else if (!range.empty() && mode == "416") {
        c.Send("HTTP/1.0 416 Range Not Satisfiable\r\nContent-Range: bytes */200000\r\n\r\n");
      } else {
        c.Send("HTTP/1.0 200 OK\r\nContent-Length: 200000\r\n\r\n" + data);
      }
    });
    EXPECT_EQ(R.RetrieveFile(server.Url("http", "/r.gob")), "");
    EXPECT_EQ(R.LastResult().Message, "The connection was closed after 50000 of 200000 bytes.");
    ASSERT_TRUE(R.LastResult().PartialKept);
    ASSERT_TRUE(R.CanResume());
    const std::string file = R.ResumeFile();
    ASSERT_EQ(file, R.TempDir + "r.gob");
    EXPECT_TRUE(Read(file) == data);
    EXPECT_EQ(TempFiles(), std::vector<std::string>{"r.gob"});
    EXPECT_FALSE(R.CanResume());
    const auto items = requests.Items();
    ASSERT_GE(items.size(), 2u);
    EXPECT_EQ(HeaderOf(items[1], "Range"), "bytes=50000-");
    EXPECT_EQ(HeaderOf(items[1], "If-Range"), "\"v1\"");
    EXPECT_EQ(Dialog.Line2, "200000 of 200000 bytes (100%) received.");
    EXPECT_TRUE(winfs::DeleteFile(file));
  }
}

TEST_F(Download, BrokenFtpDownloadResumesWithRest) {
  TMiniFtpScript script;
  script.Retr = "150 Opening BINARY mode data connection for x.gob (10 bytes)";
  script.FirstSendOnly = 6;
  script.List = "550 Listing refused"; // does not stop the download
  TMiniFtp server(script);
  const std::string url = "ftp://127.0.0.1:" + std::to_string(server.Port()) + "/pub/x.gob";
  // Through the installer's downloader interface.
  const TDownload broken = R.Download(url);
  EXPECT_EQ(broken.Error, "The connection was closed after 6 of 10 bytes.");
  ASSERT_TRUE(broken.Resumable);
  const std::string file = R.Resume().File;
  EXPECT_EQ(Read(file), "0123456789");
  const auto commands = server.Commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "REST 6"), 1);
}

TEST_F(Download, RedirectionsBetweenSchemes) {
  TTestCA ca;
  TTrustTestCA trust(ca);
  TTempDir root;
  const std::string data = Pattern(70000);
  WriteHostFile(root.Path() + "/pub/x.gob", data);
  TNginxServer http(root.Path());
  TNginxServer https(root.Path(),
                     "location = /to-http { return 302 " + http.Url("/pub/x.gob") + "; }",
                     WithTls(ca.Good));
  TFtpServer ftp(root.Path());
  TTcpServer toHttps(
      Reply("HTTP/1.0 302 Found\r\nLocation: " + https.Url("/pub/x.gob") + "\r\n\r\n"));
  TTcpServer toFtp(Reply("HTTP/1.0 301 Moved\r\nLocation: " + ftp.Url("/pub/x.gob") + "\r\n\r\n"));
  for (const std::string& url :
       {toHttps.Url("http", "/a.gob"), https.Url("/to-http"), toFtp.Url("http", "/b.gob")}) {
    const std::string file = R.RetrieveFile(url);
    EXPECT_EQ(file, R.TempDir + "x.gob") << url << ": " << R.LastResult().Message;
    EXPECT_TRUE(Read(file) == data) << url;
    EXPECT_TRUE(winfs::DeleteFile(file));
  }
}

TEST_F(Download, ProxiesFromTheEnvironment) {
  TTestCA ca;
  TTrustTestCA trust(ca);
  TTempDir root;
  WriteHostFile(root.Path() + "/x.gob", "through the tunnel");
  TNginxServer https(root.Path(), "", WithTls(ca.Good));
  TNginxServer http(root.Path());
  TRecord seen;
  TTcpServer proxy([&](TTcpConnection& c) {
    const std::string request = c.ReadUntil("\r\n\r\n");
    seen.Add(request.substr(0, request.find('\r')));
    if (request.starts_with("CONNECT ")) {
      c.Send("HTTP/1.1 200 Connection established\r\n\r\n");
      Relay(c, https.Port());
    } else {
      c.Send("HTTP/1.0 200 OK\r\n\r\nfrom the proxy");
    }
  });
  const std::string proxyUrl = "http://127.0.0.1:" + std::to_string(proxy.Port());
  {
    TEnvironment env{{"http_proxy", proxyUrl}, {"HTTPS_PROXY", proxyUrl}, {"no_proxy", ""}};
    EXPECT_EQ(Read(R.RetrieveFile(http.Url("/x.gob"))), "from the proxy");
    EXPECT_EQ(Read(R.RetrieveFile(https.Url("/x.gob"))), "through the tunnel");
  }
  {
    TEnvironment env{{"http_proxy", proxyUrl}, {"NO_PROXY", "localhost,127.0.0.1"}};
    EXPECT_EQ(Read(R.RetrieveFile(http.Url("/x.gob"))), "through the tunnel"); // direct
  }
  EXPECT_EQ(seen.Items(), (std::vector<std::string>{
                              "GET " + http.Url("/x.gob") + " HTTP/1.0",
                              "CONNECT 127.0.0.1:" + std::to_string(https.Port()) + " HTTP/1.1"}));
}

TEST(ProxyEnvironment, ReadAsCurlReadsIt) {
  const struct {
    std::map<std::string, std::string> Env;
    std::string Scheme, Host, Proxy; // "" for direct
  } cases[] = {
      {{{"http_proxy", "http://p:3128/"}}, "http", "h", "p:3128"},
      {{{"HTTP_PROXY", "p:3128"}}, "http", "h", ""}, // upper case is not read for http
      {{{"HTTPS_PROXY", "p"}}, "https", "h", "p:1080"},
      {{{"https_proxy", "[::1]:8080"}, {"HTTPS_PROXY", "q:1"}}, "https", "h", "::1:8080"},
      {{{"ALL_PROXY", "p:9"}}, "https", "h", "p:9"},
      {{{"all_proxy", "socks5://p:9"}}, "http", "h", ""},
      {{{"http_proxy", "p:1"}, {"no_proxy", "*"}}, "http", "h", ""},
      {{{"http_proxy", "p:1"}, {"NO_PROXY", ".halvex.test, other"}}, "http", "dl.halvex.test", ""},
      {{{"http_proxy", "p:1"}, {"no_proxy", "halvex.test"}}, "http", "halvex.test", ""},
      {{{"http_proxy", "p:1"}, {"no_proxy", "halvex.test"}}, "http", "nothalvex.test", "p:1"},
      {{{"http_proxy", "p:1"}, {"no_proxy", "::1"}}, "http", "[::1]", ""},
      {{{"http_proxy", "p:1"}}, "ftp", "h", ""},
  };
  for (const auto& c : cases) {
    const auto proxy = ProxyFromEnvironment(c.Scheme, c.Host, [&](const char* name) {
      auto it = c.Env.find(name);
      return it == c.Env.end() ? nullptr : it->second.c_str();
    });
    EXPECT_EQ(proxy ? proxy->Host + ":" + std::to_string(proxy->Port) : "", c.Proxy)
        << c.Scheme << " " << c.Host;
  }
}

TEST_F(Download, ProgressIsRepaintedAtMostTenTimesASecond) {
  TTcpServer server([](TTcpConnection& c) {
    c.ReadUntil("\r\n\r\n");
    c.Send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n");
    for (int i = 0; i < 100 && c.Sleep(8); ++i)
      c.Send(std::string(1000, 'p'));
  });
  const auto start = Clock::now();
  const std::string file = R.RetrieveFile(server.Url("http", "/p.gob"));
  const long long ms = MsSince(start);
  EXPECT_EQ(Read(file).size(), 100000u);
  EXPECT_LE(Dialog.Lines2.size(), size_t(ms / 100 + 2));
  EXPECT_EQ(Dialog.Line2, "100000 of 100000 bytes (100%) received.");
  EXPECT_NE(Dialog.ProgressText.find("/s"), std::string::npos);
  EXPECT_EQ(RateText(3 * 1024 * 1024, 2.0, 3 * 1024 * 1024), "1.5 MB/s, 0:02 left");
  EXPECT_EQ(RateText(512, 1.0, 0), "512 B/s");
  EXPECT_EQ(RateText(100, 0.1, 5), "");
}

TEST_F(Download, FtpPathsAreDecoded) {
  TTempDir root;
  WriteHostFile(root.Path() + "/my dir/x y.gob", "spaced");
  TFtpServer server(root.Path());
  const std::string file = R.RetrieveFile(server.Url("/my%20dir/x%20y.gob"));
  EXPECT_EQ(file, R.TempDir + "x y.gob");
  EXPECT_EQ(Read(file), "spaced");
}
