#include "propertyform.h"

#include "patches/patchlist.h"
#include "patchproperties.h"
#include "platform/colours.h"
#include "platform/icons.h"
#include "platform/placewindow.h"
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
#include <algorithm>

namespace dravik {

namespace {

constexpr int kPropertyColumnWidth = 64; // the least; the labels widen it

} // namespace

TPropertyForm::TPropertyForm(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("PropertyForm");
  setWindowTitle("Patch Properties");
  setWindowIcon(ToolIcon("properties"));
  // Taller than the first design by the conflicts below the files.
  resize(354, 416 + 104);

  NameLabel = new QLabel(this);
  NameLabel->setObjectName("NameLabel");
  NameLabel->setTextFormat(Qt::PlainText);
  QFont big("Arial");
  big.setPixelSize(27);
  big.setBold(true);
  NameLabel->setFont(big);

  PropertyGrid = new TadStringGrid(this);
  PropertyGrid->setObjectName("PropertyGrid");
  PropertyGrid->SetColumns({{"Property", kPropertyColumnWidth}, {"Value", 267}});
  PropertyGrid->SetEditable(false);
  PropertyGrid->SetDefaultRowHeight(PropertyGrid->fontMetrics().height() + 6);
  PropertyGrid->SetAccessibleName("Patch properties");
  QPalette dialogColour = PropertyGrid->Table()->palette();
  dialogColour.setColor(QPalette::Base, dialogColour.color(QPalette::Window));
  PropertyGrid->Table()->setPalette(dialogColour);
  // The values fill what the labels leave; long ones end in an ellipsis.
  PropertyGrid->Table()->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

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

  ConflictsLabel = new QLabel("Conflicts:", this);
  ConflictsLabel->setObjectName("ConflictsLabel");
  ConflictTreeView = new QTreeWidget(this);
  ConflictTreeView->setObjectName("ConflictTreeView");
  ConflictTreeView->setHeaderHidden(true);
  ConflictTreeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ConflictTreeView->setAccessibleName("Conflicting patches and the files they share");
  ConflictsLabel->setBuddy(ConflictTreeView);

  OKButton = new QPushButton("OK", this);
  OKButton->setObjectName("OKButton");
  OKButton->setDefault(true);
  OKButton->setFixedSize(75, 25);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  // Each box can shrink to a few lines, so that the dialog fits a small or scaled screen.
  for (QWidget* box : std::initializer_list<QWidget*>{PropertyGrid, DescriptionMemo, FileTreeView,
                                                      ConflictTreeView}) {
    box->setMinimumHeight(box->fontMetrics().height() * 3);
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
  }
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 4, 8, 8);
  layout->addWidget(NameLabel);
  layout->addWidget(PropertyGrid, 3);
  layout->addWidget(DescriptionLabel);
  layout->addWidget(DescriptionMemo, 2);
  layout->addWidget(FilesLabel);
  layout->addWidget(FileTreeView, 4);
  layout->addWidget(ConflictsLabel);
  layout->addWidget(ConflictTreeView, 3);
  layout->addWidget(OKButton, 0, Qt::AlignRight);
}

void TPropertyForm::ColourName() {
  // Maroon where it reads well (light dialogs), a lighter shade of it on a dark one.
  QPalette named = NameLabel->palette();
  named.setColor(QPalette::WindowText,
                 ReadableOn(QColor(0x80, 0, 0), palette().color(QPalette::Window),
                            palette().color(QPalette::WindowText)));
  NameLabel->setPalette(named);
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
  // The labels whole ("File Name"); the values take the rest, and both can be dragged.
  PropertyGrid->Table()->resizeColumnToContents(0);
  PropertyGrid->SetColWidth(0, std::max(kPropertyColumnWidth, PropertyGrid->ColWidth(0)));
  DescriptionMemo->setPlainText(Patch ? QString::fromStdString(Patch->Info.Values("Description"))
                                      : QString());
  NameLabel->setText(Patch ? QString::fromStdString(Patch->Name) : QString());
  ColourName();

  FileTreeView->clear();
  const QIcon fileIcon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
  const QIcon folderIcon = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
  TFileTreeNode tree = BuildFileTree(Patch ? Patch->Files : TStringList());
  auto* root = new QTreeWidgetItem(FileTreeView, QStringList{QString::fromStdString(tree.Caption)});
  root->setIcon(0, folderIcon);
  AddNodes(root, tree, fileIcon, folderIcon);
  FileTreeView->expandAll();

  ConflictTreeView->clear();
  const std::vector<TConflict> conflicts =
      Patch && List ? List->ConflictsOf(*Patch) : std::vector<TConflict>{};
  for (const TConflict& conflict : conflicts) {
    auto* item = new QTreeWidgetItem(ConflictTreeView,
                                     QStringList{QString::fromStdString(conflict.Patch->Name)});
    item->setIcon(0, StatePicture(conflict.Patch->State()));
    for (const std::string& file : conflict.Files) {
      auto* shared = new QTreeWidgetItem(item, QStringList{QString::fromStdString(file)});
      shared->setIcon(0, fileIcon);
    }
  }
  ConflictTreeView->expandAll();
  ConflictsLabel->setText(conflicts.empty() ? "Conflicts: none" : "Conflicts:");
  ConflictTreeView->setVisible(!conflicts.empty());
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
  if (event->spontaneous()) return;
  CentreOnScreen(this, size());
  FormShow();
}

} // namespace dravik
