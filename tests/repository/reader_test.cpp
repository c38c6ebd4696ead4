#include "net/urlparser.h"
#include "platform/htmlparser.h"
#include "repository/reader.h"
#include "tests/net/nettest.h"
#include "tests/platform/pagefeed.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace dravik;
using dravik::test::FeedPage;
using dravik::test::TFakeStatusDialog;

namespace {

// The reader with a list of a fixed width, recording what it asks of the window.
class TTestReader : public TRepositoryReader {
public:
  int Usable = 400;
  int Begins = 0, Ends = 0, Cancels = 0;
  std::vector<std::string> Opened;
  std::string Page = "http://127.0.0.1:8080/repo/pages/list.html";
  THTMLRebuilder Shown;
  // Each element ("td", "/tr", "#text") with its EnableDefault, in order.
  std::vector<std::pair<std::string, bool>> Enables;

  // Reads `html` as the control would: whole (piece 0) or `piece` bytes at a time.
  void Read(const std::string& html, size_t piece = 0) {
    ResetForPage();
    Shown.Clear();
    Enables.clear();
    bool enable = true;
    DoRequestDoc(Page, enable);
    EXPECT_TRUE(enable);
    BeginRetrieval((long long)html.size());
    THTMLPushParser parser([this](const THTMLElement& e) {
      bool enable = true;
      DoNewElement(e.Type, e.EndTag, e.Attributes, e.Text, enable);
      Enables.push_back({(e.EndTag ? "/" : "") + e.Type, enable});
      if (enable) Shown.Add(e);
    });
    FeedPage(parser, html, piece);
    ParseComplete();
  }

  // For pages read in steps: starts a page as a refresh does, without the request; then Take
  // hands the reader each element as the control does.
  void BeginPage() {
    ResetForPage();
    BeginRetrieval(0);
  }
  void Take(const THTMLElement& e) {
    bool enable = true;
    DoNewElement(e.Type, e.EndTag, e.Attributes, e.Text, enable);
  }

  // The list as lines: columns "caption@width", entries "caption|sub-items...|icon".
  std::vector<std::string> List() const {
    std::vector<std::string> out;
    for (int c = 0; c < Entries.ColumnCount(); ++c)
      out.push_back(Entries.Column(c).Caption + "@" + std::to_string(Entries.Column(c).Width));
    for (int i = 0; i < Entries.Count(); ++i) {
      std::string line = Entries[i].Caption;
      for (const std::string& s : Entries[i].SubItems)
        line += "|" + s;
      out.push_back(line + "|#" + std::to_string(Entries[i].ImageIndex));
    }
    return out;
  }

protected:
  int ListUsableWidth() const override { return Usable; }
  void ListBeginUpdate() override { ++Begins; }
  void ListEndUpdate() override { ++Ends; }
  void OpenInBrowser(const std::string& url) override { Opened.push_back(url); }
  std::string PageURL() const override { return Page; }
  void StatusCancelClicked() override { ++Cancels; }
};

const char* const kRepository = R"(<html><head><title>Repo</title></head><body>
<h2>Welcome to the <i>Test</i> Repository</h2>
<p>News: two new sabers. <a href="news.html">More</a></p>
<table border="1">
  <tr>
    <td width="25%">Name</td>
    <td width="20%">Type</td>
    <td width="100">Size</td>
    <td>Description</td>
  </tr>
  <tr>
    <td><a href="./patches/azure.gob">Azure Blade</a></td>
    <td>Saber</td>
    <td>12 KB</td>
    <td>A blue blade.</td>
  </tr>
  <tr>
    <td><a href="../files/crimson.zip">Crimson
        Blade</a></td>
    <td>saber</td>
    <td>30 KB</td>
    <td>Written in <b>lower</b> case.</td>
  </tr>
  <tr>
    <td><a href="http://127.0.0.1:9/abs.gob">Absolute</a></td><td>Force</td><td></td><td>x</td>
  </tr>
</table>
<p>Not shown: after the table.</p>
<table><tr><td>Second</td></tr><tr><td>table</td></tr></table>
</body></html>
)";

} // namespace

TEST(RepositoryReader, ReadsColumnsEntriesIconsAndLinks) {
  TTestReader r;
  r.Read(kRepository);
  // 25% and 20% of 400 pixels; "100" without "%" and no width keep the default.
  EXPECT_EQ(r.List(), (std::vector<std::string>{
                          " Name@100",
                          " Type@80",
                          " Size@100",
                          " Description@100",
                          " Absolute| Force|| x|http://127.0.0.1:9/abs.gob|#0",
                          " Azure Blade| Saber| 12 KB| A blue blade.|./patches/azure.gob|#2",
                          " Crimson Blade| saber| 30 KB| Written in lower case.|../files/"
                          "crimson.zip|#4",
                      }));
  EXPECT_DOUBLE_EQ(r.ColumnFractions[0], 0.25);
  EXPECT_DOUBLE_EQ(r.ColumnFractions[1], 0.20);
  EXPECT_EQ(r.ColumnFractions[2], 0);
  EXPECT_EQ(r.ParseState, 3); // the second table changes nothing
  EXPECT_EQ(r.TypeColumn, -1);
  EXPECT_EQ(r.Begins, 1);
  EXPECT_EQ(r.Ends, 1);

  // The pane shows the greeting and nothing from the first table on.
  const std::string& shown = r.Shown.Html();
  EXPECT_NE(shown.find("Welcome to the <i>Test</i> Repository"), std::string::npos) << shown;
  EXPECT_NE(shown.find("<a href=\"news.html\">More</a>"), std::string::npos);
  for (const char* hidden : {"<table", "Name", "Azure", "after the table", "Second"})
    EXPECT_EQ(shown.find(hidden), std::string::npos) << hidden;
  // Every element from the table on was kept out of the pane, but for the header row's end,
  // whose start went nowhere (the pane drops it).
  size_t table = 0;
  while (table < r.Enables.size() && r.Enables[table].first != "table")
    ++table;
  ASSERT_LT(table, r.Enables.size());
  int shownAfter = 0;
  for (size_t i = table; i < r.Enables.size(); ++i)
    if (r.Enables[i].second) {
      ++shownAfter;
      EXPECT_EQ(r.Enables[i].first, "/tr");
    }
  EXPECT_EQ(shownAfter, 1);
}

TEST(RepositoryReader, SameListWhetherFedWholeOrInPieces) {
  TTestReader whole;
  whole.Read(kRepository);
  for (size_t piece : {1, 2, 3, 5, 7, 64}) {
    TTestReader pieces;
    pieces.Read(kRepository, piece);
    EXPECT_EQ(pieces.List(), whole.List()) << "pieces of " << piece;
    EXPECT_EQ(pieces.Shown.Html(), whole.Shown.Html()) << "pieces of " << piece;
  }
}

TEST(RepositoryReader, IconIsDecidedWhenTheCellAfterTheTypeBegins) {
  TTestReader r;
  r.BeginPage();
  std::vector<int> icons; // the first entry's icon after each element
  THTMLPushParser parser([&](const THTMLElement& e) {
    r.Take(e);
    if (r.Entries.Count() > 0) icons.push_back(r.Entries[0].ImageIndex);
  });
  parser.Feed("<table><tr><td>Name</td><td>Type</td><td>Size</td></tr>"
              "<tr><td>A</td><td>Skin</td><td>");
  EXPECT_EQ(icons.back(), 4); // the Size cell has begun, but no text yet
  parser.Feed("3 KB</td></tr>");
  EXPECT_EQ(icons.back(), 3);
  // Type in the last column: decided only when the page is complete.
  TTestReader last;
  last.BeginPage();
  THTMLPushParser lastParser([&](const THTMLElement& e) { last.Take(e); });
  lastParser.Feed("<table><tr><td>Name</td><td>Type</td></tr><tr><td>B</td><td>Item</td></tr>"
                  "<tr><td>C</td><td>Other</td></tr></table>");
  lastParser.Finish();
  ASSERT_EQ(last.Entries.Count(), 2);
  EXPECT_EQ(last.Entries[0].ImageIndex, 4);
  last.ParseComplete();
  EXPECT_EQ(last.Entries[0].ImageIndex, 1);
  EXPECT_EQ(last.Entries[1].ImageIndex, 4);
}

TEST(RepositoryReader, TypeInTheFirstColumnIsTheCaption) {
  TTestReader r;
  r.Read("<table><tr><td>Type</td><td>Name</td></tr>"
         "<tr><td>Force</td><td>Push</td></tr><tr><td>Skin</td></tr></table>");
  ASSERT_EQ(r.Entries.Count(), 2);
  EXPECT_EQ(r.Entries[0].ImageIndex, 0);
  EXPECT_EQ(r.Entries[1].ImageIndex, 3); // decided when the page completed
  EXPECT_EQ(r.Ends, 1);
}

TEST(RepositoryReader, RowsWithMoreCellsThanColumns) {
  TTestReader r;
  // Two columns: the fourth cell of a row starts a second entry; the third has no column and
  // its text never spoils the first entry's link.
  r.Read("<table><tr><td>Name</td><td>Size</td></tr>"
         "<tr><td><a href=\"a.gob\">A</a></td><td>1</td><td>extra</td><td>B</td><td>2</td></tr>"
         "</table>");
  EXPECT_EQ(r.List(),
            (std::vector<std::string>{" Name@100", " Size@100", " A| 1|a.gob|#4", " B| 2||#4"}));
}

TEST(RepositoryReader, ScriptsStylesAndNoscriptsAreNoCellText) {
  const std::string header =
      "<table><tr><td>Name<style>td { color: red }</style></td><td>Type</td></tr>";
  const struct {
    const char* row;
    const char* entry;
  } cases[] = {
      {"<td><a href=a.gob>A</a><script>var t = '<td>x</td>';</script></td><td>Saber</td>",
       " A| Saber|a.gob|#2"},
      {"<td>A</td><td><script>document.write('Skin')</script>Saber</td>", " A| Saber||#2"},
      {"<td>A<style>p {}</style></td><td>Skin<noscript>Turn scripts on</noscript></td>",
       " A| Skin||#3"},
      {"<td><noscript><a href=n.gob>N</a></noscript><a href=a.gob>A</a></td><td>Item</td>",
       " A| Item|a.gob|#1"},
  };
  for (const auto& c : cases) {
    TTestReader r;
    r.Read(header + "<tr>" + c.row + "</tr></table>");
    EXPECT_EQ(r.List(), (std::vector<std::string>{" Name@100", " Type@100", c.entry})) << c.row;
  }
  // A table inside a noscript is not the patch table.
  TTestReader r;
  r.Read("<noscript><table><tr><td>Enable</td></tr></table></noscript>" + header +
         "<tr><td>B</td><td>Force</td></tr></table>");
  EXPECT_EQ(r.List(), (std::vector<std::string>{" Name@100", " Type@100", " B| Force||#0"}));
}

TEST(RepositoryReader, OddPages) {
  // No table: no columns, no entries, the whole page shown.
  TTestReader none;
  none.Read("<h1>Closed</h1><p>Nothing to see.</p>");
  EXPECT_TRUE(none.List().empty());
  EXPECT_EQ(none.ParseState, 0);
  EXPECT_NE(none.Shown.Html().find("<h1>Closed</h1><p>Nothing to see.</p>"), std::string::npos);
  EXPECT_EQ(none.Ends, 1);

  // Text outside cells, a header row with 12 cells (the 12th keeps the default width), header
  // widths that are no percentages, rows without links, a table left open.
  TTestReader odd;
  std::string header = "<table>stray<tr>stray";
  for (int i = 0; i < 12; ++i)
    header += "<td width=\"" + std::string(i == 1 ? "abc%" : (i == 2 ? "150%" : "5%")) + "\">C" +
              std::to_string(i) + "</td>";
  odd.Read(header + "</tr>between<tr><td>Only</td></tr><tr>");
  ASSERT_EQ(odd.Entries.ColumnCount(), 12);
  EXPECT_EQ(odd.Entries.Column(0).Width, 20);
  EXPECT_EQ(odd.Entries.Column(1).Width, 100);
  EXPECT_EQ(odd.Entries.Column(2).Width, 100);
  EXPECT_EQ(odd.Entries.Column(10).Width, 20);
  EXPECT_EQ(odd.Entries.Column(11).Width, 100);
  EXPECT_EQ(odd.Entries.Column(0).Caption, " C0");
  ASSERT_EQ(odd.Entries.Count(), 1);
  EXPECT_EQ(odd.Entries[0].Caption, " Only");
  EXPECT_EQ(odd.Entries[0].Link(), "");

  // A header row without cells: each cell is an entry of its own.
  TTestReader bare;
  bare.Read("<table><tr></tr><tr><td>x</td><td>y</td></tr></table>");
  EXPECT_EQ(bare.Entries.Count(), 2);
}

TEST(RepositoryReader, ARefreshStartsClean) {
  TTestReader r;
  r.BeginPage();
  // A page cancelled in the middle of a row, with widths.
  THTMLPushParser parser([&](const THTMLElement& e) { r.Take(e); });
  parser.Feed("<table><tr><td width=50%>N</td><td>S</td></tr><tr><td>A</td><td>");
  EXPECT_EQ(r.CellIndex, 0);
  EXPECT_TRUE(r.InPageUpdate());
  r.EndPageUpdate(); // what a cancel does
  EXPECT_FALSE(r.InPageUpdate());
  EXPECT_EQ(r.Ends, 1);
  r.EndPageUpdate();
  EXPECT_EQ(r.Ends, 1);

  r.Read("<table><tr><td>N</td><td>S</td></tr><tr><td>B</td><td>2</td></tr></table>");
  EXPECT_EQ(r.List(), (std::vector<std::string>{" N@100", " S@100", " B| 2||#4"}));
  EXPECT_EQ(r.ColumnFractions[0], 0);
  r.Usable = 1000;
  r.LayoutColumns(); // no share given: the widths stay
  EXPECT_EQ(r.Entries.Column(0).Width, 100);
}

TEST(RepositoryReader, ColumnLayoutFollowsTheListWidth) {
  TTestReader r;
  r.Read("<table><tr><td width=\"25%\">N</td><td>S</td></tr></table>");
  EXPECT_EQ(r.Entries.Column(0).Width, 100);
  r.Usable = 602;
  r.LayoutColumns();
  EXPECT_EQ(r.Entries.Column(0).Width, 151); // 150.5 rounded
  EXPECT_EQ(r.Entries.Column(1).Width, 100);
}

TEST(RepositoryReader, ProgressDialogAndFollowedLinks) {
  TFakeStatusDialog dialog;
  TTestReader r;
  r.StatusDialog = &dialog;
  r.ResetForPage();
  bool enable = true;
  r.DoRequestDoc(r.Page, enable);
  EXPECT_TRUE(enable);
  EXPECT_TRUE(dialog.Shown);
  EXPECT_EQ(dialog.Caption, "Downloading Patch List");
  r.BeginRetrieval(4000);
  EXPECT_EQ(dialog.Max, 4000);
  r.UpdateRetrieval(1000, 4000);
  EXPECT_EQ(dialog.Line2, "1000 of 4000 bytes (25%) received.");
  EXPECT_EQ(dialog.Position, 1000);
  r.UpdateRetrieval(5120, 0);
  EXPECT_EQ(dialog.Line2, "5120 bytes received.");
  EXPECT_EQ(dialog.Position, 1000);
  dialog.ClickCancel();
  EXPECT_EQ(r.Cancels, 1);

  // Later requests are links the user followed: to the browser, never into the pane; only
  // addresses a browser should open.
  for (const char* url : {"http://127.0.0.1/news.html", "mailto:a@b.invalid", "javascript:x()",
                          "file:///etc/passwd", "C:\\Windows\\notepad.exe"}) {
    enable = true;
    r.DoRequestDoc(url, enable);
    EXPECT_FALSE(enable) << url;
  }
  EXPECT_EQ(r.Opened,
            (std::vector<std::string>{"http://127.0.0.1/news.html", "mailto:a@b.invalid"}));
  EXPECT_TRUE(TRepositoryReader::MayOpenLink("file:///C:/Repository/more.html",
                                             "file:///C:/Repository/index.html"));

  r.ParseComplete();
  EXPECT_FALSE(dialog.Shown);
}

TEST(RepositoryReader, CancelAfterTheReaderIsGoneOnlyHidesTheDialog) {
  TFakeStatusDialog dialog;
  {
    TTestReader r;
    r.StatusDialog = &dialog;
    bool enable = true;
    r.DoRequestDoc(r.Page, enable);
  }
  ASSERT_TRUE(dialog.Shown);
  dialog.ClickCancel();
  EXPECT_FALSE(dialog.Shown);
}

TEST(RepositoryLinks, RelativeLinksResolveAgainstThePage) {
  TURLParser parser;
  const std::string page = "http://127.0.0.1:8080/repo/pages/list.html";
  EXPECT_EQ(ResolveLink(parser, page, "files/x.zip"),
            "http://127.0.0.1:8080/repo/pages/files/x.zip");
  EXPECT_EQ(ResolveLink(parser, page, "./x.zip"), "http://127.0.0.1:8080/repo/pages/x.zip");
  EXPECT_EQ(ResolveLink(parser, page, "../files/x.zip"), "http://127.0.0.1:8080/repo/files/x.zip");
  EXPECT_EQ(ResolveLink(parser, page, "/x.zip"), "http://127.0.0.1:8080/x.zip");
  EXPECT_EQ(ResolveLink(parser, page, "ftp://127.0.0.1/pub/y.gob"), "ftp://127.0.0.1/pub/y.gob");
  EXPECT_EQ(ResolveLink(parser, "http://127.0.0.1/repo/", "a.gob"), "http://127.0.0.1/repo/a.gob");
  EXPECT_EQ(ResolveLink(parser, "file:///C:/Repository/index.html", "patches/a.gob"),
            "file:///C:/Repository/patches/a.gob");
  EXPECT_EQ(ResolveLink(parser, "https://127.0.0.1/r/index.html", "a.gob"),
            "https://127.0.0.1/r/a.gob");
  EXPECT_THROW(ResolveLink(parser, "gopher://127.0.0.1/r/index.html", "a.gob"), EInvalidProtocol);
}
