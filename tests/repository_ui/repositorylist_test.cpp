// The repository list editor: filled from the current game, the grid's row editing, and the
// list it gives back.
#include "platform/stringgrid.h"
#include "repository/repositorylist.h"
#include "tests/fixtures/testgame.h"
#include "uitest.h"

#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <gtest/gtest.h>

using namespace dravik;
using namespace dravik::test;

namespace {

class RepositoryList : public ::testing::Test {
protected:
  // Shows the editor for the game at `index` of a game whose repositories are `lines`.
  void Open(const std::vector<std::string>& lines, int index = 0) {
    Game = std::make_unique<TTestGame>(lines);
    List.LoadCatalogue();
    Main.Game = List.Items(index);
    Form.show();
    QApplication::setActiveWindow(&Form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
  }
  std::vector<std::pair<std::string, std::string>> Rows() {
    std::vector<std::pair<std::string, std::string>> r;
    for (int row = 1; row < Form.RepositoryGrid->RowCount(); ++row)
      r.push_back({Form.RepositoryGrid->Cells(0, row), Form.RepositoryGrid->Cells(1, row)});
    return r;
  }
  std::vector<std::string> Stored() {
    TStringList lines{"left over"};
    Form.StoreTo(lines);
    return lines.Lines();
  }
  QWidget* Grid() { return Form.RepositoryGrid->Table(); }

  std::unique_ptr<TTestGame> Game;
  THXPatchedAppList List;
  TTestMainWindow Main;
  TRepositoryListForm Form{nullptr, &Main};
};

using TRows = std::vector<std::pair<std::string, std::string>>;

} // namespace

TEST_F(RepositoryList, WindowAndAGameWithoutRepositories) {
  Open({}, 1);
  EXPECT_EQ(Form.windowTitle(), "Repository List Editor");
  EXPECT_EQ(Form.size(), QSize(432, 147));
  EXPECT_TRUE(Form.isModal());
  EXPECT_EQ(Form.RepositoryGrid->Cells(0, 0), "Repository Name");
  EXPECT_EQ(Form.RepositoryGrid->Cells(1, 0), "URL");
  EXPECT_EQ(Form.RepositoryGrid->ColWidth(0), 133);
  EXPECT_GE(Form.RepositoryGrid->ColWidth(1), 285);
  EXPECT_EQ(Form.RepositoryGrid->Table()->horizontalHeader()->height(), 18);
  EXPECT_EQ(Form.OKButton->text(), "&OK");
  EXPECT_TRUE(Form.OKButton->isDefault());
  EXPECT_EQ(Form.CancelButton->text(), "&Cancel");
  EXPECT_EQ(Form.InsertRow1->shortcut(), QKeySequence(Qt::Key_Insert));
  EXPECT_EQ(Form.DeleteRow1->shortcut(), QKeySequence(Qt::Key_Delete));
  for (QWidget* w : std::initializer_list<QWidget*>{
           Form.RepositoryGrid, Form.RepositoryGrid->Table(), Form.OKButton, Form.CancelButton})
    EXPECT_FALSE(w->accessibleName().isEmpty());
  // One empty row; OK without typing leaves the list empty.
  EXPECT_EQ(Rows(), (TRows{{"", ""}}));
  EXPECT_TRUE(Stored().empty());
  // Escape is Cancel.
  QTest::keyClick(&Form, Qt::Key_Escape);
  EXPECT_EQ(Form.result(), QDialog::Rejected);
  EXPECT_FALSE(Form.isVisible());
}

TEST_F(RepositoryList, RowsEditedAndStored) {
  Open({"One=http://127.0.0.1/1/", "Two=http://127.0.0.1/2/", "Three=http://127.0.0.1/3/"});
  EXPECT_EQ(Rows(), (TRows{{"One", "http://127.0.0.1/1/"},
                           {"Two", "http://127.0.0.1/2/"},
                           {"Three", "http://127.0.0.1/3/"}}));
  // Deleting the middle one keeps the others in order.
  Form.RepositoryGrid->SetRow(2);
  Grid()->setFocus();
  QTest::keyClick(Grid(), Qt::Key_Delete);
  EXPECT_EQ(Stored(),
            (std::vector<std::string>{"One=http://127.0.0.1/1/", "Three=http://127.0.0.1/3/"}));
  // Insert: an empty row at the current one, which stays current.
  QTest::keyClick(Grid(), Qt::Key_Insert);
  EXPECT_EQ(Rows(),
            (TRows{{"One", "http://127.0.0.1/1/"}, {"", ""}, {"Three", "http://127.0.0.1/3/"}}));
  EXPECT_EQ(Form.RepositoryGrid->Row(), 2);
  // A URL without a name is not kept; blanks around names and URLs go.
  Form.RepositoryGrid->SetCells(1, 2, "http://127.0.0.1/nameless/");
  Form.RepositoryGrid->SetCells(0, 3, "  Three ");
  Form.RepositoryGrid->SetCells(1, 3, " http://127.0.0.1/3/\n");
  EXPECT_EQ(Stored(),
            (std::vector<std::string>{"One=http://127.0.0.1/1/", "Three=http://127.0.0.1/3/"}));

  // Down on the last row with a name grows the table; Up on an empty last row shrinks it.
  Form.RepositoryGrid->SetRow(3);
  QTest::keyClick(Grid(), Qt::Key_Down);
  EXPECT_EQ(Form.RepositoryGrid->RowCount(), 5);
  EXPECT_EQ(Form.RepositoryGrid->Row(), 4);
  QTest::keyClick(Grid(), Qt::Key_Down); // empty: no further row
  EXPECT_EQ(Form.RepositoryGrid->RowCount(), 5);
  QTest::keyClick(Grid(), Qt::Key_Up);
  EXPECT_EQ(Form.RepositoryGrid->RowCount(), 4);
  EXPECT_EQ(Form.RepositoryGrid->Row(), 3);

  // Delete Row on the only row empties it.
  Form.LoadFrom({"Only=http://127.0.0.1/"});
  Form.DeleteRow1Click();
  EXPECT_EQ(Rows(), (TRows{{"", ""}}));
}

TEST_F(RepositoryList, RightPressChoosesTheRowForTheMenu) {
  Open({"A=http://127.0.0.1/a/", "B=http://127.0.0.1/b/"});
  auto* table = Form.RepositoryGrid->Table();
  Form.RepositoryGrid->SetRow(1);
  Form.RepositoryGrid->SetCol(1);
  QTest::mousePress(table->viewport(), Qt::RightButton, {},
                    table->visualRect(table->model()->index(1, 0)).center());
  EXPECT_EQ(Form.RepositoryGrid->Row(), 2);
  Form.DeleteRow1Click();
  EXPECT_EQ(Stored(), (std::vector<std::string>{"A=http://127.0.0.1/a/"}));
  EXPECT_EQ(Form.RepositoryGrid->PopupMenu(), Form.PopupMenu1);
}
