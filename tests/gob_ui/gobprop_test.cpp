#include "gob/gobprop.h"
#include "platform/stringgrid.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

using namespace dravik;

namespace {

class GobProp : public ::testing::Test {
protected:
  TGOBPropForm form;

  std::vector<std::pair<std::string, std::string>> Rows() {
    std::vector<std::pair<std::string, std::string>> r;
    for (int row = 1; row < form.PropertyGrid->RowCount(); ++row)
      r.push_back({form.PropertyGrid->Cells(0, row), form.PropertyGrid->Cells(1, row)});
    return r;
  }
  std::vector<std::string> Stored() {
    TStringList lines;
    form.StoreTo(lines);
    return lines.Lines();
  }
  QWidget* GridView() { return form.PropertyGrid->Table(); }
  void ShowActive() {
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  }
  QLineEdit* OpenEditor(int col, int row) {
    auto* table = form.PropertyGrid->Table();
    table->setFocus();
    table->setCurrentCell(row - 1, col);
    table->edit(table->model()->index(row - 1, col));
    return table->viewport()->findChild<QLineEdit*>();
  }
};

TEST_F(GobProp, ControlsAndEmptyDescriptor) {
  EXPECT_EQ(form.windowTitle(), "GOB Properties");
  EXPECT_EQ(form.size(), QSize(356, 343));
  QStringList types;
  for (int i = 0; i < form.PatchType->count(); ++i)
    types << form.PatchType->itemText(i);
  EXPECT_EQ(types, (QStringList{"Item", "Force", "Saber", "Skin", "Weapon", "Unknown", "Other"}));
  EXPECT_EQ(form.PropertyGrid->Cells(0, 0), "Property");
  EXPECT_EQ(form.PropertyGrid->Cells(1, 0), "Value");
  EXPECT_EQ(form.PropertyGrid->ColWidth(0), 103);
  EXPECT_EQ(form.InsertRow1->text(), "&Insert Row");
  EXPECT_EQ(form.DeleteRow1->text(), "&Delete Row");
  EXPECT_FALSE(form.PropertyGrid->accessibleName().isEmpty());

  form.PatchName->setText("left over");
  form.LoadFrom(TStringList());
  EXPECT_EQ(form.PatchName->text(), "");
  EXPECT_EQ(form.PatchDesc->toPlainText(), "");
  EXPECT_EQ(form.PatchType->currentText(), "Unknown");
  EXPECT_EQ(Rows(), (std::vector<std::pair<std::string, std::string>>{
                        {"Author", ""}, {"Email", ""}, {"Home Page", ""}}));
  EXPECT_EQ(form.PropertyGrid->Row(), 1);
  // OK without changes.
  EXPECT_EQ(Stored(), std::vector<std::string>{"Type=Unknown"});
}

TEST_F(GobProp, DescriptorLinesBecomeFieldsAndRowsAndBack) {
  form.LoadFrom({"Name=Big Guns", "Type=Weapon", "Author=Someone", "Home Page=", "no sign",
                 "Description=Loud"});
  EXPECT_EQ(form.PatchName->text(), "Big Guns");
  EXPECT_EQ(form.PatchType->currentText(), "Weapon");
  EXPECT_EQ(form.PatchDesc->toPlainText(), "Loud");
  EXPECT_EQ(Rows(), (std::vector<std::pair<std::string, std::string>>{{"Author", "Someone"},
                                                                      {"Home Page", ""}}));
  EXPECT_EQ(Stored(), (std::vector<std::string>{"Name=Big Guns", "Description=Loud", "Type=Weapon",
                                                "Author=Someone"}));
  // Only the fixed keys: one empty row, none of the earlier ones.
  form.LoadFrom({"Name=X", "Type=Skin"});
  EXPECT_EQ(Rows(), (std::vector<std::pair<std::string, std::string>>{{"", ""}}));
  EXPECT_EQ(form.PatchDesc->toPlainText(), "");
  // No Type line: "Unknown".
  form.LoadFrom({"Author=A"});
  EXPECT_EQ(form.PatchType->currentText(), "Unknown");
}

TEST_F(GobProp, KeyLookupsIgnoreCaseButTheExclusionDoesNot) {
  form.LoadFrom({"name=X"});
  EXPECT_EQ(form.PatchName->text(), "X");
  EXPECT_EQ(Rows(), (std::vector<std::pair<std::string, std::string>>{{"name", "X"}}));
  // The custom row replaces the text of the line Name=X in place.
  EXPECT_EQ(Stored(), (std::vector<std::string>{"name=X", "Type=Unknown"}));
}

TEST_F(GobProp, StoringFreeTypesFoldedDescriptionsAndOddRows) {
  form.LoadFrom({"Author=A"});
  form.PatchType->setCurrentText("Map");
  form.PatchDesc->setPlainText("first line\nsecond line");
  form.PropertyGrid->SetRowCount(5);
  form.PropertyGrid->SetCells(0, 2, "");
  form.PropertyGrid->SetCells(1, 2, "orphan");
  form.PropertyGrid->SetCells(0, 3, "AUTHOR");
  form.PropertyGrid->SetCells(1, 3, "B");
  form.PropertyGrid->SetCells(0, 4, "Email");
  EXPECT_EQ(Stored(), (std::vector<std::string>{"Description=first line second line", "Type=Map",
                                                "AUTHOR=B", "=orphan"}));
}

TEST_F(GobProp, ArrowKeysGrowAndShrinkTheRows) {
  ShowActive();
  form.LoadFrom({"Author=A"});
  GridView()->setFocus();
  QTest::keyClick(GridView(), Qt::Key_Down);
  EXPECT_EQ(form.PropertyGrid->RowCount(), 3);
  EXPECT_EQ(form.PropertyGrid->Row(), 2);
  QTest::keyClick(GridView(), Qt::Key_Up);
  EXPECT_EQ(form.PropertyGrid->RowCount(), 2);
  EXPECT_EQ(form.PropertyGrid->Row(), 1);
  // A single empty custom row stays.
  form.LoadFrom({"Name=X"});
  GridView()->setFocus();
  QTest::keyClick(GridView(), Qt::Key_Up);
  EXPECT_EQ(form.PropertyGrid->RowCount(), 2);
  EXPECT_EQ(form.PropertyGrid->Row(), 1);
}

TEST_F(GobProp, InsertAndDeleteShortcutsInTheGridAndItsEditor) {
  ShowActive();
  form.LoadFrom({"a=1", "b=2", "c=3"});
  form.PropertyGrid->SetRow(2);
  GridView()->setFocus();
  QTest::keyClick(GridView(), Qt::Key_Insert);
  EXPECT_EQ(Rows(), (std::vector<std::pair<std::string, std::string>>{
                        {"a", "1"}, {"", ""}, {"b", "2"}, {"c", "3"}}));
  EXPECT_EQ(form.PropertyGrid->Row(), 2);
  QTest::keyClick(GridView(), Qt::Key_Delete);
  EXPECT_EQ(Rows(),
            (std::vector<std::pair<std::string, std::string>>{{"a", "1"}, {"b", "2"}, {"c", "3"}}));
  // In the cell editor Ins still inserts a row, Del deletes a character.
  QLineEdit* editor = OpenEditor(1, 3);
  ASSERT_NE(editor, nullptr);
  editor->setText("xyz");
  editor->setCursorPosition(0);
  QTest::keyClick(editor, Qt::Key_Delete);
  EXPECT_EQ(editor->text(), "yz");
  EXPECT_EQ(form.PropertyGrid->RowCount(), 4);
  QTest::keyClick(editor, Qt::Key_Insert);
  EXPECT_EQ(Rows(), (std::vector<std::pair<std::string, std::string>>{
                        {"a", "1"}, {"b", "2"}, {"", ""}, {"c", "yz"}}));
  // Delete Row on the only row empties it.
  form.LoadFrom({"only=one"});
  form.DeleteRow1Click();
  EXPECT_EQ(Rows(), (std::vector<std::pair<std::string, std::string>>{{"", ""}}));
}

TEST_F(GobProp, RightPressChoosesTheRowForTheMenu) {
  ShowActive();
  form.LoadFrom({"a=1", "b=2"});
  auto* table = form.PropertyGrid->Table();
  form.PropertyGrid->SetRow(1);
  form.PropertyGrid->SetCol(1);
  QRect cell = table->visualRect(table->model()->index(1, 0));
  QTest::mousePress(table->viewport(), Qt::RightButton, {}, cell.center());
  EXPECT_EQ(form.PropertyGrid->Row(), 2);
  EXPECT_EQ(form.PropertyGrid->Col(), 1); // a press on Property keeps the column
  form.PropertyGrid->SetCol(0);
  cell = table->visualRect(table->model()->index(0, 1));
  QTest::mousePress(table->viewport(), Qt::RightButton, {}, cell.center());
  EXPECT_EQ(form.PropertyGrid->Row(), 1);
  EXPECT_EQ(form.PropertyGrid->Col(), 1);
}

TEST_F(GobProp, OkStoresAnOpenCellEdit) {
  ShowActive();
  form.LoadFrom({"Author="});
  QLineEdit* editor = OpenEditor(1, 1);
  ASSERT_NE(editor, nullptr);
  editor->setText("Typed");
  form.accept();
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_EQ(Stored(), (std::vector<std::string>{"Type=Unknown", "Author=Typed"}));
}

} // namespace
