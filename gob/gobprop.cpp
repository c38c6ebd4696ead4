#include "gobprop.h"

#include "platform/accessibility.h"
#include "platform/stringgrid.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace dravik {

static QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

TGOBPropForm::TGOBPropForm(QWidget* parent) : QDialog(parent) {
  setObjectName("GOBPropForm");
  setWindowTitle("GOB Properties");
  resize(356, 343);
  setSizeGripEnabled(true);

  PatchName = new QLineEdit(this);
  PatchName->setAccessibleName("Patch name");
  PatchType = new QComboBox(this);
  PatchType->setEditable(true);
  PatchType->setInsertPolicy(QComboBox::NoInsert);
  PatchType->addItems({"Item", "Force", "Saber", "Skin", "Weapon", "Unknown", "Other"});
  PatchType->setCurrentText("Unknown");
  SetComboBoxName(PatchType, "Patch Type");
  PatchDesc = new QPlainTextEdit(this);
  PatchDesc->setTabChangesFocus(true);
  PatchDesc->setAccessibleName("Description");
  PropertyGrid = new TadStringGrid(this);
  PropertyGrid->SetColumns({{"Property", 103}, {"Value", 161}});
  PropertyGrid->SetAccessibleName("Custom properties");
  OKButton = new QPushButton("&OK", this);
  OKButton->setDefault(true);
  OKButton->setAccessibleName("OK");
  CancelButton = new QPushButton("&Cancel", this);
  CancelButton->setAccessibleName("Cancel");

  PopupMenu1 = new QMenu(this);
  InsertRow1 = PopupMenu1->addAction("&Insert Row");
  InsertRow1->setShortcut(QKeySequence(Qt::Key_Insert));
  DeleteRow1 = PopupMenu1->addAction("&Delete Row");
  DeleteRow1->setShortcut(QKeySequence(Qt::Key_Delete));
  PropertyGrid->SetPopupMenu(PopupMenu1);

  auto label = [this](const char* text, QWidget* buddy) {
    auto* l = new QLabel(text, this);
    l->setBuddy(buddy);
    return l;
  };
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label("Patch &Name:", PatchName));
  layout->addWidget(PatchName);
  layout->addWidget(label("Patch &Type", PatchType));
  layout->addWidget(PatchType);
  layout->addWidget(label("&Description:", PatchDesc));
  layout->addWidget(PatchDesc, 1);
  layout->addWidget(label("&Custom:", PropertyGrid));
  layout->addWidget(PropertyGrid, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(OKButton);
  buttons->addWidget(CancelButton);
  layout->addLayout(buttons);

  connect(OKButton, &QPushButton::clicked, this, &TGOBPropForm::accept);
  connect(CancelButton, &QPushButton::clicked, this, &TGOBPropForm::reject);
  connect(InsertRow1, &QAction::triggered, this, [this] { InsertRow1Click(); });
  connect(DeleteRow1, &QAction::triggered, this, [this] { DeleteRow1Click(); });
  PropertyGrid->OnKeyDown = [this](TadStringGrid* s, int key, Qt::KeyboardModifiers m,
                                   bool& handled) { PropertyGridKeyDown(s, key, m, handled); };
  PropertyGrid->OnMouseDown = [this](TadStringGrid* s, Qt::MouseButton b, int col, int row) {
    PropertyGridMouseDown(s, b, col, row);
  };
  LoadDefaults();
}

void TGOBPropForm::LoadDefaults() {
  PatchName->clear();
  PatchDesc->clear();
  PatchType->setCurrentText("Unknown");
  PropertyGrid->SetRowCount(1);
  PropertyGrid->SetRowCount(4);
  const char* keys[] = {"Author", "Email", "Home Page"};
  for (int i = 0; i < 3; ++i) {
    PropertyGrid->SetCells(0, i + 1, keys[i]);
    PropertyGrid->SetCells(1, i + 1, std::string());
  }
  PropertyGrid->SetRow(1);
}

void TGOBPropForm::LoadFrom(const TStringList& lines) {
  if (lines.Empty()) {
    LoadDefaults();
    return;
  }
  PatchName->setText(Q(lines.Values("Name")));
  PatchDesc->setPlainText(Q(lines.Values("Description")));
  PatchType->setCurrentText(lines.IndexOfName("Type") >= 0 ? Q(lines.Values("Type"))
                                                           : QString("Unknown"));
  std::vector<std::pair<std::string, std::string>> rows;
  for (int i = 0; i < lines.Count(); ++i) {
    const std::string key = lines.Names(i);
    if (key.empty() || key == "Name" || key == "Type" || key == "Description") continue;
    rows.push_back({key, lines.Values(key)});
  }
  if (rows.empty()) rows.push_back({});
  PropertyGrid->SetRowCount(1); // drops every earlier row
  PropertyGrid->SetRowCount(static_cast<int>(rows.size()) + 1);
  for (size_t i = 0; i < rows.size(); ++i) {
    PropertyGrid->SetCells(0, static_cast<int>(i) + 1, rows[i].first);
    PropertyGrid->SetCells(1, static_cast<int>(i) + 1, rows[i].second);
  }
  PropertyGrid->SetRow(1);
}

void TGOBPropForm::StoreTo(TStringList& lines) {
  PropertyGrid->CommitEdit();
  QString desc = PatchDesc->toPlainText();
  desc.replace("\r\n", " ").replace('\r', ' ').replace('\n', ' ');
  lines.SetValue("Name", PatchName->text().toStdString());
  lines.SetValue("Description", desc.toStdString());
  lines.SetValue("Type", PatchType->currentText().toStdString());
  for (int row = 1; row < PropertyGrid->RowCount(); ++row)
    lines.SetValue(PropertyGrid->Cells(0, row), PropertyGrid->Cells(1, row));
}

void TGOBPropForm::InsertRow1Click() {
  PropertyGrid->CommitEdit();
  PropertyGrid->InsertRow();
}

void TGOBPropForm::DeleteRow1Click() {
  PropertyGrid->CommitEdit();
  PropertyGrid->DeleteRow();
}

void TGOBPropForm::PropertyGridKeyDown(TadStringGrid* sender, int key, Qt::KeyboardModifiers,
                                       bool& handled) {
  if (key == Qt::Key_Up || key == Qt::Key_Down) handled = sender->ArrowKeyRowRule(key);
}

void TGOBPropForm::PropertyGridMouseDown(TadStringGrid* sender, Qt::MouseButton, int col, int row) {
  sender->MouseDownRowRule(col, row);
}

void TGOBPropForm::accept() {
  PropertyGrid->CommitEdit();
  QDialog::accept();
}

} // namespace dravik
