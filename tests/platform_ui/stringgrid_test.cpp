#include "platform/stringgrid.h"
#include "platform/sysutils.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableWidget>
#include <gtest/gtest.h>

using namespace dravik;

namespace {

void Key(QWidget* target, int key, const QString& text = QString()) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QApplication::sendEvent(target, &release);
}

// A grid of two columns holding the given (property, value) rows.
void Fill(TadStringGrid& g, const std::vector<std::pair<std::string, std::string>>& rows) {
  g.SetColumns({{"Property", 103}, {"Value", 161}});
  g.SetRowCount(static_cast<int>(rows.size()) + 1);
  for (size_t i = 0; i < rows.size(); ++i) {
    g.SetCells(0, int(i) + 1, rows[i].first);
    g.SetCells(1, int(i) + 1, rows[i].second);
  }
}

std::vector<std::string> Column(const TadStringGrid& g, int col) {
  std::vector<std::string> r;
  for (int row = 1; row < g.RowCount(); ++row)
    r.push_back(g.Cells(col, row));
  return r;
}

TEST(StringGrid, TitleRowIsRowZeroAndCountsInRowCount) {
  TadStringGrid g;
  Fill(g, {{"Author", "Someone"}, {"Email", ""}});
  EXPECT_EQ(g.RowCount(), 3);
  EXPECT_EQ(g.Table()->rowCount(), 2);
  EXPECT_EQ(g.Cells(0, 0), "Property");
  EXPECT_EQ(g.Cells(1, 0), "Value");
  EXPECT_EQ(g.Table()->horizontalHeaderItem(1)->text(), "Value");
  EXPECT_EQ(g.Cells(0, 1), "Author");
  EXPECT_EQ(g.Table()->item(0, 1)->text(), "Someone");
  EXPECT_EQ(g.Cells(1, 2), "");
  EXPECT_EQ(g.Cells(5, 1), ""); // outside: empty
  EXPECT_EQ(g.Cells(0, 3), "");
  EXPECT_THROW(g.SetCells(0, 3, "x"), Exception);
  // The current row is a grid row: the first data row is 1.
  EXPECT_EQ(g.Row(), 1);
  g.SetRow(2);
  EXPECT_EQ(g.Row(), 2);
  EXPECT_EQ(g.Table()->currentRow(), 1);
  g.SetRow(0); // the title row cannot be current
  EXPECT_EQ(g.Row(), 2);
  // No data rows: the row count is 1 and there is no current data row.
  g.SetRowCount(0);
  EXPECT_EQ(g.RowCount(), 1);
  EXPECT_EQ(g.Row(), 0);
  EXPECT_EQ(g.Cells(0, 0), "Property");
}

TEST(StringGrid, ColumnWidthsAndLastColumnFills) {
  TadStringGrid g;
  g.resize(400, 200);
  Fill(g, {{"a", "b"}});
  g.show();
  QApplication::processEvents();
  EXPECT_EQ(g.ColWidth(0), 103);
  EXPECT_GT(g.ColWidth(1), 161); // widened to the grid's width
  EXPECT_EQ(g.Table()->textElideMode(), Qt::ElideRight);
  EXPECT_EQ(g.Table()->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
}

TEST(StringGrid, ArrowsGrowAndShrinkAtTheLastRow) {
  TadStringGrid g;
  Fill(g, {{"Author", "x"}});
  g.SetRow(1);
  // Down in a last row with a property adds an empty row and moves there.
  EXPECT_TRUE(g.ArrowKeyRowRule(Qt::Key_Down));
  EXPECT_EQ(g.RowCount(), 3);
  EXPECT_EQ(g.Row(), 2);
  // Down in a last row without a property: ordinary movement (nothing consumed).
  EXPECT_FALSE(g.ArrowKeyRowRule(Qt::Key_Down));
  // Up in the empty last row removes it.
  EXPECT_TRUE(g.ArrowKeyRowRule(Qt::Key_Up));
  EXPECT_EQ(g.RowCount(), 2);
  EXPECT_EQ(g.Row(), 1);
  // Up in a last row with a property: ordinary movement.
  EXPECT_FALSE(g.ArrowKeyRowRule(Qt::Key_Up));
  // A single empty row stays.
  g.SetCells(0, 1, "");
  EXPECT_TRUE(g.ArrowKeyRowRule(Qt::Key_Up));
  EXPECT_EQ(g.RowCount(), 2);
  // Not in the last row: the rules do not apply.
  Fill(g, {{"", ""}, {"b", ""}});
  g.SetRow(1);
  EXPECT_FALSE(g.ArrowKeyRowRule(Qt::Key_Up));
  EXPECT_FALSE(g.ArrowKeyRowRule(Qt::Key_Down));
}

TEST(StringGrid, KeysReachTheHandlerFromTheGridAndFromTheCellEditor) {
  TadStringGrid g;
  Fill(g, {{"Author", "x"}});
  g.OnKeyDown = [](TadStringGrid* s, int key, Qt::KeyboardModifiers, bool& handled) {
    handled = s->ArrowKeyRowRule(key);
  };
  g.show();
  g.Table()->setFocus();
  Key(g.Table(), Qt::Key_Down);
  EXPECT_EQ(g.RowCount(), 3);
  EXPECT_EQ(g.Row(), 2);
  // Typing a property in the new row's editor, then Down: the typed text counts.
  g.Table()->edit(g.Table()->model()->index(1, 0));
  auto* editor = g.Table()->viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->setText("Email");
  Key(editor, Qt::Key_Down);
  EXPECT_EQ(g.Cells(0, 2), "Email");
  EXPECT_EQ(g.RowCount(), 4);
  EXPECT_EQ(g.Row(), 3);
  // Up in that empty last row takes it away again.
  Key(g.Table(), Qt::Key_Up);
  EXPECT_EQ(g.RowCount(), 3);
  EXPECT_EQ(g.Row(), 2);
}

TEST(StringGrid, InsertAndDeleteRows) {
  TadStringGrid g;
  Fill(g, {{"a", "1"}, {"b", "2"}, {"c", "3"}});
  g.SetRow(2);
  g.InsertRow(); // above b, and current
  EXPECT_EQ(Column(g, 0), (std::vector<std::string>{"a", "", "b", "c"}));
  EXPECT_EQ(Column(g, 1), (std::vector<std::string>{"1", "", "2", "3"}));
  EXPECT_EQ(g.Row(), 2);
  g.SetRow(4);
  g.DeleteRow(); // the last row: the current row moves up to the new last
  EXPECT_EQ(Column(g, 0), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(g.Row(), 3);
  g.SetRow(1);
  g.DeleteRow();
  EXPECT_EQ(Column(g, 0), (std::vector<std::string>{"", "b"}));
  EXPECT_EQ(g.Row(), 1);
  g.DeleteRow();
  g.DeleteRow(); // the only row is emptied, not removed
  EXPECT_EQ(g.RowCount(), 2);
  EXPECT_EQ(Column(g, 0), (std::vector<std::string>{""}));
  g.SetCells(1, 1, "v");
  g.DeleteRow();
  EXPECT_EQ(Column(g, 1), (std::vector<std::string>{""}));
}

TEST(StringGrid, MouseRuleKeepsTheColumnForTheFirstColumn) {
  TadStringGrid g;
  Fill(g, {{"a", "1"}, {"b", "2"}});
  g.SetRow(1);
  g.SetCol(1);
  g.MouseDownRowRule(0, 2);
  EXPECT_EQ(g.Row(), 2);
  EXPECT_EQ(g.Col(), 1);
  g.SetCol(0);
  g.MouseDownRowRule(1, 1);
  EXPECT_EQ(g.Row(), 1);
  EXPECT_EQ(g.Col(), 1);
  g.MouseDownRowRule(1, 0); // the title row
  g.MouseDownRowRule(0, 9); // below the rows
  EXPECT_EQ(g.Row(), 1);
}

TEST(StringGrid, ReadOnlyGridDoesNotEditAndEditsAreReported) {
  TadStringGrid g;
  Fill(g, {{"a", "1"}});
  std::vector<std::pair<int, int>> edited;
  g.OnCellEdited = [&](TadStringGrid*, int col, int row) { edited.push_back({col, row}); };
  g.show();
  g.Table()->edit(g.Table()->model()->index(0, 1));
  auto* editor = g.Table()->viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->setText("changed");
  EXPECT_TRUE(g.IsEditing());
  g.CommitEdit();
  EXPECT_EQ(g.Cells(1, 1), "changed");
  ASSERT_EQ(edited.size(), 1u);
  EXPECT_EQ(edited[0], std::make_pair(1, 1));
  g.SetCells(1, 1, "set"); // set by the program: not an edit
  EXPECT_EQ(edited.size(), 1u);

  TadStringGrid ro;
  ro.SetEditable(false);
  Fill(ro, {{"a", "1"}});
  ro.show();
  ro.Table()->setFocus();
  Key(ro.Table(), Qt::Key_X, "x");
  Key(ro.Table(), Qt::Key_F2);
  EXPECT_FALSE(ro.IsEditing());
  EXPECT_EQ(ro.Cells(0, 1), "a");
}

} // namespace
