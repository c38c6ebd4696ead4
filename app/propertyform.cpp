#include "propertyform.h"

#include "patches/patch.h"
#include "patchproperties.h"
#include "platform/icons.h"
#include "platform/stringgrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace dravik {

TPropertyForm::TPropertyForm(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("PropertyForm");
  setWindowTitle("Patch Properties");
  setWindowIcon(ToolIcon("properties"));
  resize(354, 416);

  NameLabel = new QLabel(this);
  NameLabel->setObjectName("NameLabel");
  NameLabel->setTextFormat(Qt::PlainText);
  QFont big("Arial");
  big.setPixelSize(27);
  big.setBold(true);
  NameLabel->setFont(big);
  QPalette maroon = NameLabel->palette();
  maroon.setColor(QPalette::WindowText, QColor(0x80, 0, 0));
  NameLabel->setPalette(maroon);

  PropertyGrid = new TadStringGrid(this);
  PropertyGrid->setObjectName("PropertyGrid");
  PropertyGrid->SetColumns({{"Property", 64}, {"Value", 267}});
  PropertyGrid->SetEditable(false);
  PropertyGrid->SetDefaultRowHeight(PropertyGrid->fontMetrics().height() + 6);
  PropertyGrid->SetAccessibleName("Patch properties");
  QPalette dialogColour = PropertyGrid->Table()->palette();
  dialogColour.setColor(QPalette::Base, dialogColour.color(QPalette::Window));
  PropertyGrid->Table()->setPalette(dialogColour);

  DescriptionLabel = new QLabel("Description:", this);
  DescriptionMemo = new QPlainTextEdit(this);
  DescriptionMemo->setObjectName("DescriptionMemo");
  DescriptionMemo->setReadOnly(true);
  DescriptionMemo->setPalette(dialogColour);
  DescriptionMemo->setAccessibleName("Description");
  DescriptionMemo->installEventFilter(this);
  DescriptionLabel->setBuddy(DescriptionMemo);

  FilesLabel = new QLabel("Files in Patch:", this);
  FileTreeView = new QTreeWidget(this);
  FileTreeView->setObjectName("FileTreeView");
  FileTreeView->setHeaderHidden(true);
  FileTreeView->setHeaderLabel("Files");
  FileTreeView->setIndentation(21);
  FileTreeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FileTreeView->setAccessibleName("Files in patch");
  FilesLabel->setBuddy(FileTreeView);

  OKButton = new QPushButton("OK", this);
  OKButton->setObjectName("OKButton");
  OKButton->setDefault(true);
  OKButton->setFixedSize(75, 25);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 4, 8, 8);
  layout->addWidget(NameLabel);
  layout->addWidget(PropertyGrid, 3);
  layout->addWidget(DescriptionLabel);
  layout->addWidget(DescriptionMemo, 2);
  layout->addWidget(FilesLabel);
  layout->addWidget(FileTreeView, 4);
  layout->addWidget(OKButton, 0, Qt::AlignRight);
}

static void AddNodes(QTreeWidgetItem* item, const TFileTreeNode& node, const QIcon& fileIcon,
                     const QIcon& folderIcon) {
  for (const TFileTreeNode& child : node.Children) {
    auto* childItem = new QTreeWidgetItem(item, QStringList{QString::fromStdString(child.Caption)});
    childItem->setIcon(0, child.Folder ? folderIcon : fileIcon);
    AddNodes(childItem, child, fileIcon, folderIcon);
  }
}

void TPropertyForm::FormShow() {
  std::vector<TPropertyRow> rows;
  if (Patch) rows = PropertyRows(*Patch);
  PropertyGrid->SetRowCount(static_cast<int>(rows.size()) + 1);
  for (size_t i = 0; i < rows.size(); ++i) {
    PropertyGrid->SetCells(0, static_cast<int>(i) + 1, rows[i].Key);
    PropertyGrid->SetCells(1, static_cast<int>(i) + 1, rows[i].Value);
  }
  DescriptionMemo->setPlainText(Patch ? QString::fromStdString(Patch->Info.Values("Description"))
                                      : QString());
  NameLabel->setText(Patch ? QString::fromStdString(Patch->Name) : QString());

  FileTreeView->clear();
  const QIcon fileIcon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
  const QIcon folderIcon = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
  TFileTreeNode tree = BuildFileTree(Patch ? Patch->Files : TStringList());
  auto* root = new QTreeWidgetItem(FileTreeView, QStringList{QString::fromStdString(tree.Caption)});
  root->setIcon(0, folderIcon);
  AddNodes(root, tree, fileIcon, folderIcon);
  FileTreeView->expandAll();
}

bool TPropertyForm::IgnoreKeyPress(QKeyEvent* event) {
  // Printable characters only: Enter still reaches the OK button, Ctrl+C still copies.
  const QString text = event->text();
  return !text.isEmpty() && text.at(0).isPrint() && !(event->modifiers() & Qt::ControlModifier);
}

bool TPropertyForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == DescriptionMemo && event->type() == QEvent::KeyPress &&
      IgnoreKeyPress(static_cast<QKeyEvent*>(event)))
    return true;
  return QDialog::eventFilter(watched, event);
}

void TPropertyForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

} // namespace dravik
