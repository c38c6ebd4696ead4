// The repository window on pages in a test prefix: its controls, showing and placement,
// installing, sorting, views, the repository choice, followed links, stopping, the list
// editor's result, and drags.
#include "platform/dialogs.h"
#include "platform/html.h"
#include "platform/icons.h"
#include "platform/pendingsaves.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/stringgrid.h"
#include "repository/repositoryform.h"
#include "repository/repositorylist.h"
#include "tests/fixtures/fakewineserver.h"
#include "tests/fixtures/nginxserver.h"
#include "tests/fixtures/scripteddialogs.h"
#include "tests/fixtures/testgame.h"
#include "tests/net/nettest.h"
#include "tests/qtmain/menukeys.h"
#include "tests/qtmain/modal.h"
#include "uitest.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <gtest/gtest.h>
#include <memory>

using namespace dravik;
using namespace dravik::test;

namespace {

const char* const kPage = R"(<html><body>
<h3>Welcome to the test repository</h3><p>See the <a href="news.html">news</a>.</p>
<table>
<tr><td width="40%">Name</td><td width="15%">Type</td><td width="20%">Date</td>
    <td>Description</td></tr>
<tr><td><a href="./patches/b.gob">Bravo</a></td><td>Saber</td><td>2024-02-10</td>
    <td>Second</td></tr>
<tr><td><a href="../a.gob">alpha</a></td><td>Force</td><td>2023-12-01</td><td>First</td></tr>
<tr><td><a href="c.zip">Charlie</a></td><td>Weapon</td><td>soon</td><td>Third</td></tr>
<tr><td><a href="http://127.0.0.1:9/d.gob">delta</a></td><td>Skin</td><td>2024-01-05</td>
    <td>Fourth</td></tr>
<tr><td>No link</td><td>Item</td><td>2022-01-01</td><td>Fifth</td></tr>
</table></body></html>
)";

class RepositoryWindow : public ::testing::Test {
protected:
  void SetUp() override {
    NoProxies();
    WriteHostFile(Game.Prefix.HostC("Repo/index.html"), kPage);
    WriteHostFile(Game.Prefix.HostC("Repo/second.html"),
                  "<p>Second</p><table><tr><td>Name</td></tr><tr><td>Only</td></tr></table>");
    List.LoadCatalogue();
    Main.Game = List.Items(0);
    Main.Status = &Dialog;
  }
  void TearDown() override { EXPECT_TRUE(Dialogs.AllAnswered()); }

  std::unique_ptr<TRepositoryForm> Form(QWidget* mainWidget = nullptr) {
    return std::make_unique<TRepositoryForm>(mainWidget, &Main);
  }
  static bool Loaded(TRepositoryForm& form) { return !HtmlOf(form)->Busy(); }
  static std::vector<std::string> Captions(TRepositoryForm& form) { return ColumnTexts(form); }
  static int Row(TRepositoryForm& form, const std::string& caption) {
    const std::vector<std::string> captions = Captions(form);
    auto at = std::find(captions.begin(), captions.end(), caption);
    return at == captions.end() ? -1 : int(at - captions.begin());
  }
  // Which category picture an entry shows (an index of CategoryIcon); -1 for another.
  static int Picture(TRepositoryForm& form, int row) {
    const QIcon icon = ListOf(form)->Model->index(row, 0).data(Qt::DecorationRole).value<QIcon>();
    const QImage shown = icon.pixmap(16, 16).toImage();
    for (int k = 0; k < 5; ++k)
      if (CategoryIcon(k).pixmap(16, 16).toImage() == shown) return k;
    return -1;
  }
  // Which of a View menu's four view items is checked; -1 for none.
  static int CheckedView(TRepositoryForm& form, const char* menu) {
    const QList<QAction*> items = Named<QMenu>(form, menu)->actions();
    for (int i = 0; i < 4; ++i)
      if (items[i]->isChecked()) return i;
    return -1;
  }

  TTestGame Game{{"Main=file:///C:/Repo/index.html", "Second=file:///C:/Repo/second.html"}};
  THXPatchedAppList List;
  TFakeStatusDialog Dialog;
  TTestMainWindow Main;
  TScriptedDialogs Dialogs;
};

} // namespace

TEST_F(RepositoryWindow, ControlsMenusAndNames) {
  auto form = Form();
  TRepositoryForm& f = *form;
  EXPECT_EQ(f.windowTitle(), "Patch Repository");
  auto* names = Named<QComboBox>(f, "RepositoryName");
  EXPECT_FALSE(names->isEditable());
  EXPECT_EQ(names->toolTip(), "Select a Patch Repository");
  const std::vector<std::pair<QToolButton*, const char*>> tools = {
      {Named<QToolButton>(f, "AbortButton"), "Abort Patch List Retrieval"},
      {Named<QToolButton>(f, "RefreshButton"), "Refresh Patch List"},
      {Named<QToolButton>(f, "InstallButton"), "Download and Install Selected Patches"}};
  for (auto [button, hint] : tools) {
    EXPECT_EQ(button->toolTip(), hint);
    EXPECT_EQ(button->accessibleName(), hint);
    EXPECT_FALSE(button->icon().isNull()) << hint;
  }
  auto* viewButton = Named<QToolButton>(f, "ViewButton");
  EXPECT_EQ(viewButton->text(), "View");
  EXPECT_EQ(viewButton->menu(), Named<QMenu>(f, "PopupViewMenu"));
  for (QWidget* w :
       std::initializer_list<QWidget*>{names, viewButton, HtmlOf(f), HtmlOf(f)->Browser(),
                                       ListOf(f), ListOf(f)->ReportView, ListOf(f)->IconView})
    EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();

  auto texts = [](QMenu* menu) {
    std::vector<std::string> out;
    for (QAction* a : menu->actions())
      out.push_back(
          a->isSeparator()
              ? "-"
              : a->text().toStdString() +
                    (a->shortcut().isEmpty() ? "" : " " + a->shortcut().toString().toStdString()));
    return out;
  };
  EXPECT_EQ(texts(Named<QMenu>(f, "File1")),
            (std::vector<std::string>{"&Install Selected Patches Ctrl+I", "Select &All Ctrl+A", "-",
                                      "Edit Repository &List...", "-", "&Close Ctrl+F4"}));
  EXPECT_EQ(texts(Named<QMenu>(f, "MainViewMenu")),
            (std::vector<std::string>{"Lar&ge Icons", "S&mall Icons", "&List", "&Details", "-",
                                      "&Refresh F5", "Sto&p Esc"}));
  EXPECT_EQ(texts(Named<QMenu>(f, "PopupMenu1")), (std::vector<std::string>{"&Install", "&View"}));
  EXPECT_EQ(texts(Named<QMenu>(f, "PopupViewMenu")),
            (std::vector<std::string>{"Lar&ge Icons", "S&mall Icons", "&List", "&Details"}));
  EXPECT_EQ(CheckedView(f, "MainViewMenu"), 3);
  EXPECT_EQ(CheckedView(f, "PopupViewMenu"), 3);
  EXPECT_EQ(ListOf(f)->ViewStyle(), TRepositoryListView::vsReport);
  EXPECT_EQ(Named<QSplitter>(f, "Splitter1")->handleWidth(), 2);
  EXPECT_TRUE(Main.Messages.empty());
  EXPECT_EQ(AccessKeyClashes(&f).join("; ").toStdString(), "");
}

TEST_F(RepositoryWindow, StopIsOfferedOnlyWhileAPageIsRead) {
  auto form = Form();
  auto offered = [&] {
    const bool button = Named<QToolButton>(*form, "AbortButton")->isEnabled();
    EXPECT_EQ(Named(*form, "Stop1")->isEnabled(), button);
    return button;
  };
  EXPECT_FALSE(offered());
  form->show(); // the page is requested
  EXPECT_TRUE(offered());
  ASSERT_TRUE(WaitFor([&] { return Loaded(*form); }));
  EXPECT_FALSE(offered());
  form->RefreshButtonClick();
  form->Stop1Click();
  EXPECT_FALSE(offered());
}

TEST_F(RepositoryWindow, ColumnsShowTheirTextsAndKeepTheWidthsTheUserGivesThem) {
  auto form = Form();
  form->resize(form->minimumSizeHint().width(), 420); // the share of "Date" cuts its dates
  form->show();
  ASSERT_TRUE(WaitFor([&] { return Loaded(*form); }));
  QHeaderView* header = ListOf(*form)->ReportView->header();
  const QFontMetrics metrics(ListOf(*form)->ReportView->font());
  for (const std::string& date : ColumnTexts(*form, 2))
    EXPECT_GT(header->sectionSize(2), metrics.horizontalAdvance(QString::fromStdString(date)));
  const int dragged = header->sectionSize(2) + 37; // "Date", as a drag does
  header->resizeSection(2, dragged);
  EXPECT_EQ(form->ColumnWidths(), (TColumnWidths{{"Date", dragged}}));
  form->RefreshButtonClick();
  ASSERT_TRUE(WaitFor([&] { return Loaded(*form); }));
  EXPECT_EQ(header->sectionSize(2), dragged);
  // Another window given the widths (the settings) shows the page with them.
  auto again = Form();
  again->SetColumnWidths(form->ColumnWidths());
  again->show();
  ASSERT_TRUE(WaitFor([&] { return Loaded(*again); }));
  EXPECT_EQ(ListOf(*again)->ReportView->header()->sectionSize(2), dragged);
}

TEST_F(RepositoryWindow, LongNamesInTheIconViewsDoNotRunIntoEachOther) {
  std::string rows;
  for (const char* name : {"A Saber Whose Name Goes On And On Without End", "Short",
                           "Another Rather Long Patch Name For The List", "X"})
    rows += std::string("<tr><td>") + name + "</td></tr>";
  WriteHostFile(Game.Prefix.HostC("Repo/second.html"),
                "<table><tr><td>Name</td></tr>" + rows + "</table>");
  auto form = Form();
  form->show();
  ASSERT_TRUE(WaitFor([&] { return Loaded(*form); }));
  Named<QComboBox>(*form, "RepositoryName")->setCurrentIndex(1);
  form->RepositoryNameChange();
  ASSERT_TRUE(WaitFor([&] { return Loaded(*form); }));
  QListView* view = ListOf(*form)->IconView;
  for (const char* style : {"SmallIcons1", "LargeIcons1"}) {
    Named(*form, style)->trigger();
    view->doItemsLayout();
    for (int i = 0; i < EntryCount(*form); ++i)
      for (int j = i + 1; j < EntryCount(*form); ++j)
        EXPECT_FALSE(view->visualRect(ListOf(*form)->Model->index(i, 0))
                         .intersects(view->visualRect(ListOf(*form)->Model->index(j, 0))))
            << style << " " << i << " " << j;
  }
}

TEST_F(RepositoryWindow, ShowingLoadsThePageAndPlacesTheWindowBesideTheMainWindow) {
  QWidget mainWidget;
  mainWidget.setGeometry(100, 50, 600, 400);
  mainWidget.show();
  ASSERT_TRUE(WaitFor([&] { return mainWidget.isVisible(); }));
  const QRect mainFrame = mainWidget.frameGeometry();
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  auto form = Form(&mainWidget);
  form->resize(546, 420);
  form->show();
  ASSERT_TRUE(WaitFor([&] { return Loaded(*form); }));
  EXPECT_EQ(Main.Messages, (std::vector<TTestMainWindow::TMessage>{{WM_REPOSITORY_SHOWN, ""}}));

  // The page: sorted by name, icons by type; the greeting in the pane.
  EXPECT_EQ(Captions(*form),
            (std::vector<std::string>{"alpha", "Bravo", "Charlie", "delta", "No link"}));
  EXPECT_EQ(Picture(*form, Row(*form, "Bravo")), 2);
  EXPECT_EQ(Picture(*form, Row(*form, "alpha")), 0);
  EXPECT_EQ(Picture(*form, Row(*form, "Charlie")), 4);
  EXPECT_EQ(Picture(*form, Row(*form, "No link")), 1);
  EXPECT_EQ(ListOf(*form)->Model->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
            "Date");
  EXPECT_EQ(ListOf(*form)->Model->index(0, 3).data().toString(), "First");
  const std::string pane = HtmlOf(*form)->Browser()->toPlainText().toStdString();
  EXPECT_NE(pane.find("Welcome to the test repository"), std::string::npos);
  EXPECT_EQ(pane.find("Bravo"), std::string::npos);
  EXPECT_EQ(Dialog.Caption, "Downloading Patch List");
  EXPECT_EQ(Dialog.ShowCount, 1); // one page request
  EXPECT_FALSE(Dialog.Shown);
  EXPECT_FALSE(ListOf(*form)->Updating());
  EXPECT_EQ(Named<QComboBox>(*form, "RepositoryName")->count(), 2);
  EXPECT_EQ(Named<QComboBox>(*form, "RepositoryName")->currentText(), "Main");
  // Column widths from the header's shares of the usable width.
  const int usable = ListOf(*form)->ClientWidth() -
                     ListOf(*form)->style()->pixelMetric(QStyle::PM_ScrollBarExtent) - 2;
  EXPECT_EQ(ListOf(*form)->ReportView->header()->sectionSize(0), int(std::lround(usable * 0.4)));
  EXPECT_EQ(ListOf(*form)->ReportView->header()->sectionSize(3), kDefaultColumnWidth);

  // Placement: side by side, narrowed in proportion when they do not fit (frames counted).
  const int margins = form->frameGeometry().width() - form->geometry().width();
  const int room = screen.width() - 10;
  const int combined = mainFrame.width() + 546 + margins;
  ASSERT_GT(combined, room); // the offscreen screen is narrower than the pair
  const int mainWidth = int(std::lround(double(room) * mainFrame.width() / combined));
  const int left = screen.left() + screen.width() / 2 - room / 2;
  EXPECT_EQ(mainWidget.frameGeometry(),
            QRect(left, mainFrame.top(), mainWidth, mainFrame.height()));
  EXPECT_EQ(form->frameGeometry(),
            QRect(left + mainWidth + 1, mainFrame.top(), room - mainWidth, mainFrame.height()));

  // Hiding gives the main window its bounds back.
  form->Close1Click();
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(mainWidget.frameGeometry(), mainFrame);
  EXPECT_EQ(mainWidget.geometry(), QRect(100, 50, 600, 400));
  EXPECT_EQ(Main.Messages.back().Message, WM_REPOSITORY_HIDDEN);
  // Hidden, the list stays; shown again, the page is read again.
  EXPECT_EQ(EntryCount(*form), 5);
  form->show();
  ASSERT_TRUE(WaitFor([&] { return Loaded(*form); }));
  EXPECT_EQ(Dialog.ShowCount, 2);
  EXPECT_EQ(EntryCount(*form), 5);
}

TEST_F(RepositoryWindow, InstallSendsOneDownloadPerSelectedEntryThenOneRefresh) {
  auto form = Form();
  form->show();
  ASSERT_TRUE(WaitFor([&] { return Loaded(*form); }));
  Main.Messages.clear();
  TRepositoryForm& f = *form;
  ListOf(f)->SelectRows({Row(f, "Bravo"), Row(f, "alpha"), Row(f, "delta"), Row(f, "No link")});
  Named<QToolButton>(f, "InstallButton")->click();
  // In list order; relative links resolved against the page; the entry without a link skipped.
  EXPECT_EQ(Main.Messages, (std::vector<TTestMainWindow::TMessage>{
                               {WM_DOWNLOAD_INSTALL, "file:///C:/a.gob"},
                               {WM_DOWNLOAD_INSTALL, "file:///C:/Repo/patches/b.gob"},
                               {WM_DOWNLOAD_INSTALL, "http://127.0.0.1:9/d.gob"},
                               {WM_REFRESH, ""},
                           }));

  // The same through the main window's message (a drag onto its patch list), while a download
  // refreshes the list under it.
  Main.Messages.clear();
  Main.OnDownload = [&](const std::string&) { f.RefreshButtonClick(); };
  ListOf(f)->SelectRows({Row(f, "Charlie"), Row(f, "Bravo")});
  EXPECT_EQ(f.HandleMessage(WM_INSTALL_SELECTED, 0, 0), 0);
  EXPECT_EQ(Main.Downloads(),
            (std::vector<std::string>{"file:///C:/Repo/patches/b.gob", "file:///C:/Repo/c.zip"}));
  EXPECT_EQ(Main.Sent(WM_REFRESH).size(), 1u);
  Main.OnDownload = nullptr;
  ASSERT_TRUE(WaitFor([&] { return Loaded(f); }));

  // Nothing selected: Install is not offered.
  Main.Messages.clear();
  ListOf(f)->SelectRows({});
  for (const char* name : {"InstallSelected1", "Install1"})
    EXPECT_FALSE(Named(f, name)->isEnabled()) << name;
  EXPECT_FALSE(Named<QToolButton>(f, "InstallButton")->isEnabled());
  Named(f, "InstallSelected1")->trigger();
  EXPECT_TRUE(Main.Messages.empty());

  // A double click installs the first selected entry.
  Main.Messages.clear();
  ListOf(f)->SelectRows({Row(f, "delta"), Row(f, "Charlie")});
  f.ListView1DblClick();
  EXPECT_EQ(Main.Downloads(), (std::vector<std::string>{"file:///C:/Repo/c.zip"}));
  EXPECT_EQ(Main.Sent(WM_REFRESH).size(), 1u);

  // What failed is shown once for the command, after the refresh.
  Main.Report = {{ioFailed, "a", "Cannot download a: gone"},
                 {ioInstalled, "b", ""},
                 {ioFailed, "c", "Cannot download c: gone"}};
  Named<QToolButton>(f, "InstallButton")->click();
  EXPECT_EQ(Dialogs.Messages(), std::vector<std::string>{"Not everything could be installed:\r\n"
                                                         "Cannot download a: gone\r\n"
                                                         "Cannot download c: gone"});
  Main.Report.clear();

  // Select all selects every entry.
  Named(f, "SelectAll1")->trigger();
  EXPECT_EQ(ListOf(f)->SelectedRows(), (std::vector<int>{0, 1, 2, 3, 4}));

  // A drag carries the entries' addresses under the program's own type.
  ListOf(f)->SelectRows({Row(f, "alpha"), Row(f, "Charlie")});
  QModelIndexList indexes;
  for (int row : ListOf(f)->SelectedRows())
    indexes << ListOf(f)->Model->index(row, 0) << ListOf(f)->Model->index(row, 1);
  std::unique_ptr<QMimeData> mime(ListOf(f)->Model->mimeData(indexes));
  ASSERT_TRUE(mime);
  EXPECT_EQ(mime->formats(), QStringList{kRepositoryEntriesMime});
  EXPECT_EQ(mime->data(kRepositoryEntriesMime).toStdString(),
            "file:///C:/a.gob\nfile:///C:/Repo/c.zip\n");
  EXPECT_TRUE(ListOf(f)->Model->flags(indexes[0]) & Qt::ItemIsDragEnabled);
  EXPECT_FALSE(ListOf(f)->Model->flags(indexes[0]) & Qt::ItemIsEditable);
}

TEST_F(RepositoryWindow, SortingByDatesAndText) {
  auto form = Form();
  form->show();
  ASSERT_TRUE(WaitFor([&] { return Loaded(*form); }));
  TRepositoryForm& f = *form;
  QHeaderView* header = ListOf(f)->ReportView->header();
  emit header->sectionClicked(2); // Date: in date order; "soon" compares as text
  EXPECT_EQ(header->sortIndicatorSection(), 2);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
  std::vector<std::string> dates = ColumnTexts(f, 2);
  // Text order would put 2024-01-05 after 2023-12-01 too, but "soon" sorts after every date.
  EXPECT_EQ(dates.back(), "soon");
  std::vector<std::string> real(dates.begin(), dates.end() - 1);
  EXPECT_TRUE(std::is_sorted(real.begin(), real.end()));
  EXPECT_EQ(header->sortIndicatorSection(), 2);
  emit header->sectionClicked(2);
  EXPECT_EQ(ColumnTexts(f, 2).front(), "soon");
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
  f.ListView1ColumnClick(0); // another column: ascending
  EXPECT_EQ(header->sortIndicatorSection(), 0);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
  EXPECT_EQ(Captions(f).front(), "alpha"); // letter case ignored
  // Selection follows the entries when they change places.
  ListOf(f)->SelectRows({Row(f, "delta")});
  f.ListView1ColumnClick(0);
  EXPECT_EQ(ListOf(f)->SelectedRows(), (std::vector<int>{Row(f, "delta")}));
  EXPECT_EQ(Row(f, "delta"), 1);

  // A reload sorts by the first column again, in the direction last chosen.
  f.RefreshButtonClick();
  ASSERT_TRUE(WaitFor([&] { return Loaded(f); }));
  EXPECT_EQ(header->sortIndicatorSection(), 0);
  EXPECT_EQ(Captions(f).front(), "No link");
}

TEST_F(RepositoryWindow, ShortDatesOfTheLocale) {
  const QLocale us(QLocale::English, QLocale::UnitedStates); // M/d/yy
  const QLocale de(QLocale::German, QLocale::Germany);       // dd.MM.yy
  EXPECT_EQ(ShortDateDays("1/5/24", us), ISODateDays("2024-01-05"));
  EXPECT_EQ(ShortDateDays("12/31/1999", us), ISODateDays("1999-12-31"));
  EXPECT_EQ(ShortDateDays("12/31/99", us), ISODateDays("1999-12-31"));
  EXPECT_EQ(ShortDateDays(" 2024-03-14 ", us), ISODateDays("2024-03-14"));
  EXPECT_EQ(ShortDateDays("05.01.24", de), ISODateDays("2024-01-05"));
  EXPECT_EQ(ShortDateDays("05.01.2024", de), ISODateDays("2024-01-05"));
  for (const char* bad : {"", "soon", "13/40/24", "1/5", "12 KB"})
    EXPECT_FALSE(ShortDateDays(bad, us)) << bad;
}

TEST_F(RepositoryWindow, ViewsAndColumnLayout) {
  auto form = Form();
  form->show();
  ASSERT_TRUE(WaitFor([&] { return Loaded(*form); }));
  TRepositoryForm& f = *form;
  // The View button steps through the views; details goes to large icons.
  Named<QToolButton>(f, "ViewButton")->click();
  EXPECT_EQ(ListOf(f)->ViewStyle(), TRepositoryListView::vsIcon);
  EXPECT_EQ(ListOf(f)->IconView->viewMode(), QListView::IconMode);
  EXPECT_EQ(ListOf(f)->IconView->iconSize(), QSize(32, 32));
  EXPECT_TRUE(ListOf(f)->IconView->isVisible());
  EXPECT_EQ(CheckedView(f, "MainViewMenu"), 0);
  EXPECT_EQ(CheckedView(f, "PopupViewMenu"), 0);
  f.ViewButtonClick();
  EXPECT_EQ(ListOf(f)->ViewStyle(), TRepositoryListView::vsSmallIcon);
  EXPECT_EQ(ListOf(f)->IconView->iconSize(), QSize(16, 16));
  f.ViewButtonClick();
  EXPECT_EQ(ListOf(f)->ViewStyle(), TRepositoryListView::vsList);
  EXPECT_EQ(ListOf(f)->IconView->flow(), QListView::TopToBottom);
  EXPECT_EQ(ListOf(f)->IconView->model()->rowCount(), 5);

  // Choosing details from the pop-up menu checks the main menu's item too, and lays out the
  // columns for the list's width.
  f.resize(700, 420);
  QTest::qWait(20);
  Named(f, "Details2")->trigger();
  EXPECT_EQ(ListOf(f)->ViewStyle(), TRepositoryListView::vsReport);
  EXPECT_EQ(CheckedView(f, "MainViewMenu"), 3);
  EXPECT_TRUE(ListOf(f)->ReportView->isVisible());
  const int usable =
      ListOf(f)->ClientWidth() - ListOf(f)->style()->pixelMetric(QStyle::PM_ScrollBarExtent) - 2;
  EXPECT_EQ(ListOf(f)->ReportView->header()->sectionSize(1), int(std::lround(usable * 0.15)));
  // Resizing the window alone leaves the widths.
  f.resize(600, 420);
  QTest::qWait(20);
  EXPECT_EQ(ListOf(f)->ReportView->header()->sectionSize(1), int(std::lround(usable * 0.15)));
  // The same selection in every view.
  ListOf(f)->SelectRows({2});
  Named(f, "LargeIcons1")->trigger();
  EXPECT_TRUE(ListOf(f)->IconView->selectionModel()->isRowSelected(2, QModelIndex()));
}

TEST_F(RepositoryWindow, RepositoryChoiceAndGameChanges) {
  auto form = Form();
  form->show();
  ASSERT_TRUE(WaitFor([&] { return Loaded(*form); }));
  TRepositoryForm& f = *form;
  Named<QComboBox>(f, "RepositoryName")->setCurrentIndex(1);
  emit Named<QComboBox>(f, "RepositoryName")->activated(1);
  ASSERT_TRUE(WaitFor([&] { return Loaded(f); }));
  EXPECT_EQ(Captions(f), (std::vector<std::string>{"Only"}));
  EXPECT_EQ(Named<QComboBox>(f, "RepositoryName")->currentText(), "Second");
  EXPECT_EQ(HtmlOf(f)->DocumentURL(), "file:///C:/Repo/second.html");
  const int shows = Dialog.ShowCount;
  emit Named<QComboBox>(f, "RepositoryName")->activated(1); // the same again: nothing
  EXPECT_EQ(Dialog.ShowCount, shows);
  // The names reloaded show the first; picking the one shown before reads it again.
  f.HandleMessage(WM_REFRESH, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return Loaded(f); }));
  EXPECT_EQ(Named<QComboBox>(f, "RepositoryName")->currentText(), "Main");
  EXPECT_EQ(Captions(f).size(), 5u);
  Named<QComboBox>(f, "RepositoryName")->setCurrentIndex(1);
  emit Named<QComboBox>(f, "RepositoryName")->activated(1);
  ASSERT_TRUE(WaitFor([&] { return Loaded(f); }));
  EXPECT_EQ(Captions(f), (std::vector<std::string>{"Only"}));

  // The main window's game changed: its repositories, a name without URL used as the URL.
  Main.Game->Repositories.Clear();
  Main.Game->Repositories.Add("file:///C:/Repo/second.html=");
  Main.Game->Repositories.Add("Main=file:///C:/Repo/index.html");
  f.HandleMessage(WM_REFRESH, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return Loaded(f); }));
  EXPECT_EQ(Named<QComboBox>(f, "RepositoryName")->count(), 2);
  EXPECT_EQ(Named<QComboBox>(f, "RepositoryName")->currentText(), "file:///C:/Repo/second.html");
  EXPECT_EQ(Captions(f), (std::vector<std::string>{"Only"}));

  // A game without repositories, also while a page is on its way: an empty choice, nothing
  // read, nothing of the other game's repository left to install.
  for (bool loading : {false, true}) {
    Main.Game->Repositories.Clear();
    Main.Game->Repositories.Add("Main=file:///C:/Repo/index.html");
    f.HandleMessage(WM_REFRESH, 0, 0);
    if (!loading) {
      ASSERT_TRUE(WaitFor([&] { return Loaded(f); }));
    }
    Main.Game->Repositories.Clear();
    f.HandleMessage(WM_REFRESH, 0, 0);
    EXPECT_EQ(Named<QComboBox>(f, "RepositoryName")->count(), 0);
    EXPECT_FALSE(HtmlOf(f)->Busy());
    EXPECT_FALSE(Dialog.Shown);
    EXPECT_EQ(EntryCount(f), 0);
    EXPECT_EQ(ListOf(f)->Model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "");
    EXPECT_EQ(HtmlOf(f)->Browser()->toPlainText(), "");
    Main.Messages.clear();
    f.SelectAll1Click();
    f.Install1Click();
    EXPECT_EQ(Main.Downloads(), std::vector<std::string>{});
  }
}

TEST_F(RepositoryWindow, LinksInThePaneOpenInTheBrowser) {
  std::vector<std::string> opened;
  TDesktopOpen previous =
      SetDesktopOpen([&](const std::string& url) { return opened.push_back(url), true; });
  auto form = Form();
  form->show();
  ASSERT_TRUE(WaitFor([&] { return Loaded(*form); }));
  emit HtmlOf(*form)->Browser()->anchorClicked(QUrl("news.html"));
  emit HtmlOf(*form)->Browser()->anchorClicked(QUrl("javascript:alert(1)"));
  emit HtmlOf(*form)->Browser()->anchorClicked(QUrl("http://127.0.0.1:9/page"));
  SetDesktopOpen(previous);
  const std::string news =
      QUrl::fromLocalFile(QString::fromStdString(Game.Prefix.HostC("Repo/news.html")))
          .toString(QUrl::FullyEncoded)
          .toStdString();
  EXPECT_EQ(opened, (std::vector<std::string>{news, "http://127.0.0.1:9/page"}));
  EXPECT_FALSE(HtmlOf(*form)->Busy());
  EXPECT_EQ(HtmlOf(*form)->DocumentURL(), "file:///C:/Repo/index.html");
  EXPECT_EQ(EntryCount(*form), 5);
}

TEST_F(RepositoryWindow, StoppingASlowPageLeavesTheListDrawing) {
  TTempDir root;
  std::string page = "<p>Slow</p><table><tr><td>Name</td></tr>";
  for (int i = 0; i < 2000; ++i)
    page += "<tr><td><a href=\"p.gob\">Patch " + std::to_string(i) + "</a></td></tr>\n";
  WriteHostFile(root.Path() + "/slow/index.html", page + "</table>");
  TNginxServer server(root.Path(), "location /slow/ { limit_rate 4k; }\n");
  Main.Game->Repositories.Clear();
  Main.Game->Repositories.Add("Slow=" + server.Url("/slow/index.html"));

  for (int way = 0; way < 3; ++way) {
    auto form = Form();
    TRepositoryForm& f = *form;
    f.show();
    // Part of the page has arrived; the window is live meanwhile.
    ASSERT_TRUE(WaitFor([&] { return EntryCount(f) > 3; }));
    EXPECT_TRUE(ListOf(f)->Updating());
    EXPECT_TRUE(Dialog.Shown);
    EXPECT_NE(Dialog.Line2.find("bytes"), std::string::npos);
    if (way == 0) Named<QToolButton>(f, "AbortButton")->click();
    if (way == 1) Dialog.ClickCancel();
    if (way == 2) f.RefreshButtonClick(); // a new read of the page replaces the old one
    if (way < 2) {
      EXPECT_FALSE(HtmlOf(f)->Busy());
      EXPECT_FALSE(Dialog.Shown);
      EXPECT_FALSE(ListOf(f)->Updating());
      EXPECT_TRUE(ListOf(f)->ReportView->updatesEnabled());
      const int count = EntryCount(f);
      QTest::qWait(100);
      EXPECT_EQ(EntryCount(f), count); // nothing more arrives
    } else {
      EXPECT_EQ(EntryCount(f), 0);
      EXPECT_TRUE(HtmlOf(f)->Busy());
      Named(f, "Stop1")->trigger();
      EXPECT_FALSE(ListOf(f)->Updating());
    }
  }
}

TEST_F(RepositoryWindow, EditingTheRepositoryList) {
  auto form = Form();
  form->show();
  ASSERT_TRUE(WaitFor([&] { return Loaded(*form); }));
  TRepositoryForm& f = *form;

  // Cancel changes nothing.
  WhenModal([](QWidget* w) {
    auto* editor = qobject_cast<TRepositoryListForm*>(w);
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->RepositoryGrid->RowCount(), 3);
    editor->RepositoryGrid->SetCells(0, 1, "Changed");
    editor->reject();
  });
  f.EditRepositoryList1Click();
  EXPECT_EQ(Main.Game->Repositories.Lines(),
            (std::vector<std::string>{"Main=file:///C:/Repo/index.html",
                                      "Second=file:///C:/Repo/second.html"}));

  // OK: the rows with names, in grid order, saved in the store; the names reloaded.
  WhenModal([](QWidget* w) {
    auto* editor = static_cast<TRepositoryListForm*>(w);
    editor->RepositoryGrid->SetRow(1);
    editor->DeleteRow1Click(); // Main goes
    editor->RepositoryGrid->SetRowCount(4);
    editor->RepositoryGrid->SetCells(0, 2, "Third");
    editor->RepositoryGrid->SetCells(1, 2, "file:///C:/Repo/index.html");
    editor->RepositoryGrid->SetCells(1, 3, "file:///C:/nameless.html");
    editor->OKButton->click();
  });
  f.EditRepositoryList1Click();
  EXPECT_EQ(Main.Game->Repositories.Lines(),
            (std::vector<std::string>{"Second=file:///C:/Repo/second.html",
                                      "Third=file:///C:/Repo/index.html"}));
  THXPatchedAppList again;
  again.LoadCatalogue();
  EXPECT_EQ(again.Items(0)->Repositories.Lines(), Main.Game->Repositories.Lines());
  EXPECT_EQ(Named<QComboBox>(f, "RepositoryName")->count(), 2);
  EXPECT_EQ(Named<QComboBox>(f, "RepositoryName")->currentText(), "Second");
  ASSERT_TRUE(WaitFor([&] { return Loaded(f); }));
  EXPECT_EQ(Captions(f), (std::vector<std::string>{"Only"}));

  // While Wine runs the list waits (the window shows it), and is saved once Wine has ended.
  auto wine = std::make_unique<TFakeWineServer>(Game.Prefix.Path());
  Dialogs.Answer(mrCancel);
  WhenModal([](QWidget* w) {
    auto* editor = static_cast<TRepositoryListForm*>(w);
    editor->RepositoryGrid->SetCells(0, 2, "Fourth");
    editor->OKButton->click();
  });
  f.EditRepositoryList1Click();
  EXPECT_NE(Dialogs.Asked().back().Text.find("save the repository list of Halvex"),
            std::string::npos);
  EXPECT_EQ(Main.Game->Repositories.Names(1), "Fourth");
  wine.reset();
  PendingSaves().Flush();
  THXPatchedAppList saved;
  saved.LoadCatalogue();
  EXPECT_EQ(saved.Items(0)->Repositories.Values("Fourth"), "file:///C:/Repo/index.html");
  Dialogs.ClearRecord();

  // A name with "=" is refused; the dialog stays open until cancelled.
  Dialogs.Answer(mrOk);
  WhenModal([](QWidget* w) {
    auto* editor = static_cast<TRepositoryListForm*>(w);
    editor->RepositoryGrid->SetCells(0, 1, "a=b");
    editor->OKButton->click();
    EXPECT_TRUE(editor->isVisible());
    editor->CancelButton->click();
  });
  f.EditRepositoryList1Click();
  ASSERT_EQ(Dialogs.Messages().size(), 1u);
  EXPECT_NE(Dialogs.Messages()[0].find("\"a=b\""), std::string::npos);
  EXPECT_EQ(Main.Game->Repositories.Count(), 2);
}

TEST_F(RepositoryWindow, TheProgramsWindowIsMadeOnceAndGoesWithTheMainWindow) {
  auto* mainWidget = new QWidget;
  TRepositoryForm* first = RepositoryForm(mainWidget, &Main);
  ASSERT_TRUE(first);
  EXPECT_EQ(RepositoryForm(mainWidget, &Main), first);
  EXPECT_TRUE(first->isWindow());
  EXPECT_FALSE(first->testAttribute(Qt::WA_QuitOnClose)); // the main window ends the program
  QPointer<TRepositoryForm> watch = first;
  delete mainWidget;
  EXPECT_TRUE(watch.isNull());
}
