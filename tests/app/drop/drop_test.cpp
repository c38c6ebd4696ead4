#include "app/drop/drop.h"
#include "tests/fixtures/tempprefix.h"
#include "tests/qtmain/dragdriver.h"

#include <QApplication>
#include <QLabel>
#include <QMimeData>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace dravik;
using namespace dravik::test;

namespace {

std::vector<std::string> Strings(const TDropControl& dc, int index) {
  TStringList list;
  dc.GetDroppedStrings(list, index);
  return list.Lines();
}

QByteArray Utf16(const QString& s) {
  return QByteArray(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
}

class Drop : public ::testing::Test {
protected:
  TTempPrefix prefix;
  QLabel target{"drop here"};
  TDropControl dc;
  std::vector<std::string> events;

  void SetUp() override {
    dc.AcceptAll = true;
    dc.DefaultEffect = deCopy;
    dc.OnDragEnter = [this](TDropControl* s, QPoint, TShiftState, TDropEffect& e) {
      EXPECT_EQ(s, &dc);
      events.push_back("enter " + std::to_string(e));
    };
    dc.OnDragOver = [this](TDropControl*, QPoint, TShiftState, TDropEffect& e) {
      events.push_back("over " + std::to_string(e));
    };
    dc.BeforeDrop = [this](TDropControl*, QPoint, TShiftState, TDropEffect& e) {
      events.push_back("before " + std::to_string(e));
    };
    dc.OnDragLeave = [this](TDropControl*) { events.push_back("leave"); };
    dc.OnDrop = [this](TDropControl*) { events.push_back("drop"); };
    dc.SetControl(&target);
  }
};

TEST_F(Drop, FilesFromAFileManagerBecomeAWindowsFileList) {
  MakeHostDirs(prefix.HostC("My Mods"));
  QMimeData mime;
  mime.setData("x-special/gnome-icon-list", "icons");
  // Spaces and non-ASCII letters percent-encoded, as file managers write them; one file on
  // drive C:, one elsewhere (Z:), and a comment line.
  std::string inC =
      "file://" +
      QUrl::toPercentEncoding(QString::fromStdString(prefix.HostC("My Mods/w\xC3\xA4ll.mat")), "/")
          .toStdString();
  mime.setData("text/uri-list", QByteArray::fromStdString("# from the file manager\r\n" + inC +
                                                          "\r\nfile:///tmp/a%20b.cog\r\n"));
  mime.setData("text/plain", "/tmp/a b.cog");
  TDrag drag(&target, &mime);
  EXPECT_TRUE(target.acceptDrops());
  EXPECT_EQ(drag.Enter(), std::make_pair(true, Qt::CopyAction));
  drag.Move();
  EXPECT_EQ(drag.Drop(), std::make_pair(true, Qt::CopyAction));
  EXPECT_EQ(events, (std::vector<std::string>{"enter 1", "over 1", "before 1", "drop"}));
  EXPECT_EQ(dc.DroppedFormats().Lines(),
            (std::vector<std::string>{"x-special/gnome-icon-list", "CF_HDROP", "CF_TEXT"}));
  EXPECT_EQ(Strings(dc, 1),
            (std::vector<std::string>{"C:\\My Mods\\w\xC3\xA4ll.mat", "Z:\\tmp\\a b.cog"}));
  // The block is laid out as the platform's file list.
  const std::vector<uint8_t>& block = dc.DroppedData()[1].Data;
  ASSERT_GE(block.size(), 22u);
  EXPECT_EQ(block[0], 20);
  EXPECT_EQ(block[1] | block[2] | block[3], 0);
  EXPECT_EQ(std::string(block.begin() + 20, block.begin() + 40), "C:\\My Mods\\w\xC3\xA4ll.mat");
  EXPECT_EQ(block[block.size() - 1], 0);
  EXPECT_EQ(block[block.size() - 2], 0);
  EXPECT_EQ(Strings(dc, 2), (std::vector<std::string>{"/tmp/a b.cog"}));
  EXPECT_EQ(Strings(dc, 0), (std::vector<std::string>{"icons"}));
  EXPECT_TRUE(Strings(dc, 3).empty());
}

TEST_F(Drop, BrowserLinkBecomesOneUrlFormatInTheSourcesOrder) {
  QMimeData mime;
  mime.setData("text/x-moz-url", Utf16("http://127.0.0.1/patches/big%20guns.gob\nBig Guns"));
  mime.setData("text/uri-list", "http://127.0.0.1/patches/big%20guns.gob\r\n");
  mime.setData("_NETSCAPE_URL", "http://127.0.0.1/patches/big%20guns.gob\nBig Guns");
  mime.setData("text/html", "<a href=\"http://127.0.0.1/\">Big Guns</a>");
  mime.setData("text/plain;charset=utf-8", "http://127.0.0.1/patches/big%20guns.gob");
  mime.setData("text/plain", "http://127.0.0.1/patches/big%20guns.gob");
  TDrag drag(&target, &mime);
  drag.Enter();
  drag.Drop();
  EXPECT_EQ(dc.DroppedFormats().Lines(),
            (std::vector<std::string>{"UniformResourceLocator", "text/html", "CF_TEXT"}));
  EXPECT_EQ(Strings(dc, 0), (std::vector<std::string>{"http://127.0.0.1/patches/big%20guns.gob"}));

  // The main window's choice of formats: only the link is taken.
  dc.AcceptAll = false;
  dc.AcceptTypes = {"CF_HDROP", "uniformresourcelocator", "Netscape Bookmark"};
  QMimeData onlyUri;
  onlyUri.setData("text/uri-list", "https://127.0.0.1/x.zip\r\n");
  TDrag second(&target, &onlyUri);
  second.Enter();
  second.Drop();
  EXPECT_EQ(dc.DroppedFormats().Lines(), (std::vector<std::string>{"UniformResourceLocator"}));
  EXPECT_EQ(Strings(dc, 0), (std::vector<std::string>{"https://127.0.0.1/x.zip"}));
}

TEST_F(Drop, PlainTextIsNotAFileOrLinkAndEachDropReplacesTheLast) {
  dc.AcceptAll = false;
  dc.AcceptTypes = {"CF_HDROP", "UniformResourceLocator", "Netscape Bookmark"};
  QMimeData files;
  files.setData("text/uri-list", "file:///tmp/x.gob\n");
  TDrag first(&target, &files);
  first.Enter();
  first.Drop();
  EXPECT_EQ(dc.DroppedFormats().Count(), 1);
  QMimeData text;
  text.setText("just some words");
  TDrag drag(&target, &text);
  drag.Enter();
  drag.Drop();
  EXPECT_TRUE(dc.DroppedFormats().Empty());
  EXPECT_TRUE(dc.DroppedData().empty());
  EXPECT_EQ(events.back(), "drop"); // the drop event fires; there is nothing in it
  EXPECT_TRUE(Strings(dc, 0).empty());
}

TEST_F(Drop, EffectsFollowTheEventsAndLeaveEndsTheDrag) {
  dc.DefaultEffect = deLink;
  dc.OnDragEnter = [this](TDropControl*, QPoint, TShiftState, TDropEffect& e) {
    events.push_back("enter " + std::to_string(e));
    e = deMove;
  };
  TShiftState seenShift = 0;
  QPoint seenPoint;
  dc.OnDragOver = [&](TDropControl*, QPoint pt, TShiftState shift, TDropEffect& e) {
    events.push_back("over " + std::to_string(e));
    seenShift = shift;
    seenPoint = pt;
    e = deNone;
  };
  QMimeData mime;
  mime.setText("x");
  TDrag drag(&target, &mime);
  EXPECT_EQ(drag.Enter(), std::make_pair(true, Qt::MoveAction));
  auto [accepted, action] = drag.Move({7, 8}, Qt::ShiftModifier | Qt::ControlModifier);
  EXPECT_FALSE(accepted);
  EXPECT_EQ(seenShift, unsigned(ssShift | ssCtrl | ssLeft));
  EXPECT_EQ(seenPoint, target.mapToGlobal(QPoint(7, 8))); // screen coordinates
  drag.Leave();
  EXPECT_EQ(events, (std::vector<std::string>{"enter 4", "over 2", "leave"}));
  // A leave without a drag from outside is not reported.
  drag.Leave();
  EXPECT_EQ(events.size(), 3u);
}

TEST_F(Drop, SwitchedOffOrMovedTheControlTakesNothing) {
  QMimeData mime;
  mime.setText("x");
  dc.SetDropActive(false);
  EXPECT_FALSE(target.acceptDrops());
  TDrag(&target, &mime).Enter();
  EXPECT_TRUE(events.empty());
  dc.SetDropActive(true);
  TDrag(&target, &mime).Enter();
  EXPECT_EQ(events.size(), 1u);

  // A tree takes its drags on its viewport; its own drop setting comes back afterwards.
  QTreeWidget tree;
  tree.setAcceptDrops(true);
  const bool viewportAccepted = tree.viewport()->acceptDrops();
  dc.SetControl(&tree);
  EXPECT_FALSE(target.acceptDrops());
  TDrag(tree.viewport(), &mime).Enter();
  EXPECT_EQ(events.size(), 2u);
  dc.SetControl(nullptr);
  EXPECT_TRUE(tree.acceptDrops());
  EXPECT_EQ(tree.viewport()->acceptDrops(), viewportAccepted);
  TDrag(tree.viewport(), &mime).Enter();
  EXPECT_EQ(events.size(), 2u);
}

TEST(DropStrings, ReadsBlocksAsTheFileListAndTextFormatsLayThemOut) {
  auto read = [](const std::string& format, const std::string& bytes) {
    TDroppedData d{format, "", std::vector<uint8_t>(bytes.begin(), bytes.end())};
    TStringList list;
    DroppedStrings(d, list);
    return list.Lines();
  };
  // Empty strings between NULs are skipped; the last byte stands for the ending NUL.
  EXPECT_EQ(read("CF_TEXT", std::string("abc\0\0def", 8)), (std::vector<std::string>{"abc", "de"}));
  EXPECT_EQ(read("CF_TEXT", ""), std::vector<std::string>{});
  // A file list header naming an offset past the block gives nothing.
  std::string header("\x40\0\0\0", 4);
  EXPECT_EQ(read("CF_HDROP", header + "C:\\a\0\0"), std::vector<std::string>{});
  EXPECT_EQ(read("CF_HDROP", "\x01"), std::vector<std::string>{});
  std::string list("\x06\0\0\0\0\0C:\\a\0D:\\b\0\0", 18);
  EXPECT_EQ(read("CF_HDROP", list), (std::vector<std::string>{"C:\\a", "D:\\b"}));
}

} // namespace
