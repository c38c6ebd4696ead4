// The HTML control: retrieval of file and http pages, the order of its events, what its pane
// shows, links clicked in it, failures and cancels.
#include "platform/html.h"
#include "tests/fixtures/nginxserver.h"
#include "tests/fixtures/tempprefix.h"
#include "tests/qtmain/eventloop.h"

#include <QTextBrowser>
#include <gtest/gtest.h>

using namespace dravik;
using namespace dravik::test;

namespace {

const char* const kPage = "<html><body><h3>Hello players</h3><p>Greeting &amp; news.</p>"
                          "<table><tr><td>Name</td></tr><tr><td>Secret row</td></tr></table>"
                          "<p>After</p></body></html>";

// A control whose owner lets everything through until the first table, recording events.
class HTML : public ::testing::Test {
protected:
  void SetUp() override {
    NoProxies();
    Html.OnDoRequestDoc = [this](THTML&, const std::string& url, bool& enable) {
      Log.push_back("request " + url);
      enable = AllowRequests;
    };
    Html.OnBeginRetrieval = [this](THTML& h) {
      Log.push_back("begin " + std::to_string(h.BytesTotal()));
      if (CancelAt == "begin") h.Cancel();
    };
    Html.OnUpdateRetrieval = [this](THTML& h) {
      ++Updates;
      LastDone = h.BytesDone();
    };
    Html.OnDoNewElement = [this](THTML& h, const std::string& type, bool endTag,
                                 const THTMLAttributes&, const std::string& text, bool& enable) {
      ++Elements;
      if (type == "table") InTable = true;
      enable = !InTable;
      if (!text.empty()) Texts.push_back(text);
      if (CancelAt == type) h.Cancel("Stopped by the test.");
      (void)endTag;
    };
    Html.OnParseComplete = [this](THTML&) { Log.push_back("complete"); };
  }

  bool Done() { return !Html.Busy(); }
  std::string Shown() const { return Html.Browser()->toPlainText().toStdString(); }

  THTML Html;
  std::vector<std::string> Log, Texts;
  int Updates = 0, Elements = 0;
  long long LastDone = 0;
  bool InTable = false, AllowRequests = true;
  std::string CancelAt;
};

} // namespace

TEST_F(HTML, FilePageOnAPrefixDrive) {
  TTempPrefix prefix;
  WriteHostFile(prefix.HostC("Repo Files/index.html"), kPage);
  const std::string url = "file:///C:/repo%20files/index.html"; // letter case as Windows has it
  Html.RequestDoc(url);
  EXPECT_TRUE(Html.Busy());
  ASSERT_TRUE(WaitFor([&] { return Done(); }));
  const long long size = (long long)std::string(kPage).size();
  EXPECT_EQ(Log, (std::vector<std::string>{"request " + url, "begin " + std::to_string(size),
                                           "complete"}));
  EXPECT_EQ(Html.ErrorText(), "");
  EXPECT_EQ(Html.DocumentURL(), url);
  EXPECT_EQ(Html.BytesTotal(), size);
  EXPECT_EQ(Html.BytesDone(), size);
  EXPECT_EQ(LastDone, size);
  EXPECT_GE(Updates, 1);
  EXPECT_NE(std::find(Texts.begin(), Texts.end(), "Secret row"), Texts.end());
  // The pane: the greeting, nothing from the table on.
  const std::string shown = Shown();
  EXPECT_NE(shown.find("Hello players"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Greeting & news."), std::string::npos) << shown;
  EXPECT_EQ(shown.find("Secret"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("After"), std::string::npos) << shown;
  EXPECT_EQ(Html.ShownHtml().find("table"), std::string::npos);

  const QUrl host =
      QUrl::fromLocalFile(QString::fromStdString(prefix.HostC("Repo Files/index.html")));
  EXPECT_EQ(THTML::DesktopURL(url), host.toString(QUrl::FullyEncoded).toStdString());
  EXPECT_EQ(THTML::DesktopURL("http://127.0.0.1/x.html"), "http://127.0.0.1/x.html");
}

TEST_F(HTML, LinksClickedInThePaneAreRequests) {
  TTempPrefix prefix;
  WriteHostFile(prefix.HostC("Repo/index.html"), "<p><a href=\"more.html\">more</a></p>");
  Html.RequestDoc("file:///C:/Repo/index.html");
  ASSERT_TRUE(WaitFor([&] { return Done(); }));
  Log.clear();
  AllowRequests = false;
  emit Html.Browser()->anchorClicked(QUrl("more.html"));
  emit Html.Browser()->anchorClicked(QUrl("../up/x.gob"));
  emit Html.Browser()->anchorClicked(QUrl("https://127.0.0.1/abs"));
  emit Html.Browser()->anchorClicked(QUrl("#top")); // within the page: no request
  EXPECT_EQ(Log, (std::vector<std::string>{"request file:///C:/Repo/more.html",
                                           "request file:///C:/up/x.gob",
                                           "request https://127.0.0.1/abs"}));
  EXPECT_FALSE(Html.Busy()); // refused: nothing fetched
  EXPECT_EQ(Html.DocumentURL(), "file:///C:/Repo/index.html");
}

TEST_F(HTML, FailuresAreShownAndStillComplete) {
  TTempPrefix prefix;
  Html.RequestDoc("file:///C:/Nowhere/index.html");
  ASSERT_TRUE(WaitFor([&] { return Done(); }));
  EXPECT_EQ(Log.back(), "complete");
  EXPECT_NE(Html.ErrorText(), "");
  EXPECT_NE(Shown().find("Cannot read file:///C:/Nowhere/index.html"), std::string::npos)
      << Shown();

  Log.clear();
  Html.RequestDoc("gopher://127.0.0.1/x");
  ASSERT_TRUE(WaitFor([&] { return Done(); }));
  EXPECT_EQ(Log,
            (std::vector<std::string>{"request gopher://127.0.0.1/x", "begin -1", "complete"}));
  EXPECT_NE(Shown().find("only http, https and file"), std::string::npos);

  // A page over the limit is read up to it.
  Log.clear();
  WriteHostFile(prefix.HostC("big.html"), "<p>start</p>" + std::string(5000, 'x'));
  Html.MaxPageBytes = 1000;
  Html.RequestDoc("file:///C:/big.html");
  ASSERT_TRUE(WaitFor([&] { return Done(); }));
  EXPECT_EQ(Html.BytesDone(), 1000);
  EXPECT_EQ(Log.back(), "complete");
  EXPECT_NE(Html.ErrorText().find("longer than 1000 bytes"), std::string::npos);
  EXPECT_NE(Shown().find("start"), std::string::npos);
}

TEST_F(HTML, HttpPagesRedirectsAndErrorPages) {
  TTempDir root;
  std::string big = "<html><body><p>Big page</p><table><tr><td>N</td></tr>";
  for (int i = 0; i < 4000; ++i)
    big += "<tr><td><a href=\"p" + std::to_string(i) + ".gob\">Patch " + std::to_string(i) +
           "</a></td></tr>\n";
  big += "</table></body></html>";
  WriteHostFile(root.Path() + "/repo/index.html", big);
  TNginxServer server(root.Path(), "absolute_redirect off;\n"
                                   "location = /moved { return 301 /repo/index.html; }\n");

  Html.RequestDoc(server.Url("/moved"));
  ASSERT_TRUE(WaitFor([&] { return Done(); }));
  EXPECT_EQ(Html.ErrorText(), "");
  EXPECT_EQ(Html.DocumentURL(), server.Url("/repo/index.html")); // links resolve against this
  EXPECT_EQ(Html.BytesTotal(), (long long)big.size());
  EXPECT_EQ(Html.BytesDone(), (long long)big.size());
  EXPECT_EQ(std::count_if(Texts.begin(), Texts.end(),
                          [](const std::string& t) { return t.rfind("Patch ", 0) == 0; }),
            4000);
  EXPECT_NE(Shown().find("Big page"), std::string::npos);

  // An error status: the server's page is shown, and the failure known.
  Log.clear();
  InTable = false;
  Html.RequestDoc(server.Url("/repo/missing.html"));
  ASSERT_TRUE(WaitFor([&] { return Done(); }));
  EXPECT_EQ(Log.back(), "complete");
  EXPECT_NE(Html.ErrorText(), "");
  EXPECT_NE(Shown().find("404 Not Found"), std::string::npos) << Shown();
}

TEST_F(HTML, CancelEndsTheEventsOfAPage) {
  TTempPrefix prefix;
  WriteHostFile(prefix.HostC("index.html"), kPage);
  // Cancelled when the first table begins: no further element, no completion.
  CancelAt = "table";
  Html.RequestDoc("file:///C:/index.html");
  ASSERT_TRUE(WaitFor([&] { return Done(); }));
  QTest::qWait(50);
  EXPECT_EQ(Log, (std::vector<std::string>{"request file:///C:/index.html",
                                           "begin " + std::to_string(std::string(kPage).size())}));
  EXPECT_EQ(std::find(Texts.begin(), Texts.end(), "Secret row"), Texts.end());
  EXPECT_NE(Shown().find("Stopped by the test."), std::string::npos);

  // Cancelled as data begins.
  Log.clear();
  CancelAt = "begin";
  Elements = 0;
  Html.RequestDoc("file:///C:/index.html");
  ASSERT_TRUE(WaitFor([&] { return Done(); }));
  QTest::qWait(50);
  EXPECT_EQ(Elements, 0);
  EXPECT_EQ(Log.size(), 2u);

  // A second request while one runs replaces it: one completion.
  Log.clear();
  CancelAt.clear();
  Html.RequestDoc("file:///C:/index.html");
  Html.RequestDoc("file:///C:/index.html");
  ASSERT_TRUE(WaitFor([&] { return Done(); }));
  QTest::qWait(50);
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "complete"), 1);
  // Cancel with nothing running does nothing.
  Html.Cancel("ignored");
  EXPECT_EQ(Shown().find("ignored"), std::string::npos);
}

TEST_F(HTML, PagesInWindows1252) {
  // Pages that say nothing, or say Latin-1, are windows-1252 as browsers read them; pages that
  // say UTF-8 stay UTF-8: from nginx, with its header, and from a file on a prefix drive.
  TTempDir root;
  TTempPrefix prefix;
  const std::string blade = "<p>Ardell\x92s Blade</p>";
  WriteHostFile(root.Path() + "/latin/index.html", blade);
  WriteHostFile(root.Path() + "/utf8/index.html", "<p>Ardell\xE2\x80\x99s Blade</p>");
  WriteHostFile(prefix.HostC("Repo/index.html"), blade);
  TNginxServer server(root.Path(), "location /latin/ { charset iso-8859-1; }\n"
                                   "location /utf8/ { charset utf-8; }\n");
  for (const std::string& url : {server.Url("/latin/index.html"), server.Url("/utf8/index.html"),
                                 std::string("file:///C:/Repo/index.html")}) {
    Texts.clear();
    InTable = false;
    Html.RequestDoc(url);
    ASSERT_TRUE(WaitFor([&] { return Done(); }));
    EXPECT_EQ(Html.ErrorText(), "");
    EXPECT_NE(std::find(Texts.begin(), Texts.end(), "Ardell\xE2\x80\x99s Blade"), Texts.end())
        << url;
    EXPECT_NE(Shown().find("Ardell\xE2\x80\x99s Blade"), std::string::npos)
        << url << ": " << Shown();
  }
}
