// Building the repository window: the cool bar with its menu bar, the repository choice and the
// tool bar, the HTML pane over the list, the menus, and what their items and events run.
#include "platform/accessibility.h"
#include "platform/dialogs.h"
#include "platform/html.h"
#include "platform/icons.h"
#include "repositoryform.h"

#include <QActionGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace dravik {

QAction* TRepositoryForm::NewAction(QMenu* menu, const char* name, const char* caption,
                                    QKeySequence key) {
  QAction* item = menu->addAction(caption);
  item->setObjectName(name);
  item->setShortcut(key);
  return item;
}

// The bands wrap onto two rows, so the window can be as narrow as placement beside the main
// window makes it: the menu bar and the tool bar, then the repository choice.
void TRepositoryForm::CreateCoolBar() {
  CoolBar1 = new QWidget(this);
  CoolBar1->setObjectName("CoolBar1");
  ToolBar2 = new QMenuBar(CoolBar1);
  ToolBar2->setObjectName("ToolBar2");
  ToolBar2->setNativeMenuBar(false);
  ToolBar2->setAccessibleName("Menu bar");
  File1 = ToolBar2->addMenu("&File");
  File1->setObjectName("File1");
  MainViewMenu = ToolBar2->addMenu("&View");
  MainViewMenu->setObjectName("MainViewMenu");

  RepositoryName = new QComboBox(CoolBar1);
  RepositoryName->setObjectName("RepositoryName");
  RepositoryName->setEditable(false);
  RepositoryName->setToolTip("Select a Patch Repository");
  SetComboBoxName(RepositoryName, "Location");
  RepositoryName->setAccessibleDescription("Select a Patch Repository");
  RepositoryName->setMinimumContentsLength(12);
  RepositoryName->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  auto* location = new QLabel("Location", CoolBar1);
  location->setBuddy(RepositoryName);

  CreateToolBar();

  auto* bands = new QVBoxLayout(CoolBar1);
  bands->setContentsMargins(2, 0, 2, 2);
  bands->setSpacing(0);
  auto* top = new QHBoxLayout;
  top->addWidget(ToolBar2);
  top->addStretch(1);
  top->addWidget(ToolBar1);
  auto* second = new QHBoxLayout;
  second->setContentsMargins(2, 0, 0, 0);
  second->setSpacing(4);
  second->addWidget(location);
  second->addWidget(RepositoryName, 1);
  bands->addLayout(top);
  bands->addLayout(second);
}

void TRepositoryForm::CreateToolBar() {
  ToolBar1 = new QToolBar(CoolBar1);
  ToolBar1->setObjectName("ToolBar1");
  ToolBar1->setIconSize(QSize(16, 16));
  auto tool = [this](const char* name, const char* icon, const char* hint) {
    auto* button = new QToolButton(ToolBar1);
    button->setObjectName(name);
    button->setIcon(ToolIcon(icon));
    button->setToolTip(hint);
    button->setAccessibleName(hint);
    button->setAutoRaise(true);
    button->setFixedSize(29, 26);
    return button;
  };
  AbortButton = tool("AbortButton", "abort", "Abort Patch List Retrieval");
  RefreshButton = tool("RefreshButton", "refresh", "Refresh Patch List");
  InstallButton = tool("InstallButton", "install", "Download and Install Selected Patches");
  ViewButton = tool("ViewButton", "view", "View");
  // No mnemonic: Alt+V belongs to the View menu.
  ViewButton->setText("View");
  ViewButton->setPopupMode(QToolButton::MenuButtonPopup);
  ViewButton->setFixedSize(41, 26);
  ToolBar1->addWidget(AbortButton);
  ToolBar1->addWidget(RefreshButton);
  ToolBar1->addSeparator();
  ToolBar1->addWidget(InstallButton);
  ToolBar1->addSeparator();
  ToolBar1->addWidget(ViewButton);
  SetToolBarAccess(ToolBar1, "Repository tools");
}

// The HTML pane over the list, split where the user drags.
void TRepositoryForm::CreatePanes() {
  HTML1 = new THTML(this);
  HTML1->setObjectName("HTML1");
  HTML1->SetAccessibleName("Repository news");
  ListView1 = new TRepositoryListView(Entries, this);
  ListView1->setObjectName("ListView1");
  ListView1->SetAccessibleName("Patches in the repository");
  Splitter1 = new QSplitter(Qt::Vertical, this);
  Splitter1->setObjectName("Splitter1");
  Splitter1->setHandleWidth(2);
  Splitter1->setOpaqueResize(true);
  Splitter1->setChildrenCollapsible(false);
  Splitter1->addWidget(HTML1);
  Splitter1->addWidget(ListView1);
  Splitter1->setStretchFactor(0, 0);
  Splitter1->setStretchFactor(1, 1);
  Splitter1->setSizes({97, 300});
}

void TRepositoryForm::ArrangeControls() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(CoolBar1);
  layout->addWidget(Splitter1, 1);
}

void TRepositoryForm::CreateFileMenu() {
  InstallSelected1 = NewAction(File1, "InstallSelected1", "&Install Selected Patches",
                               QKeySequence(Qt::CTRL | Qt::Key_I));
  SelectAll1 = NewAction(File1, "SelectAll1", "Select &All", QKeySequence(Qt::CTRL | Qt::Key_A));
  File1->addSeparator();
  EditRepositoryList1 = NewAction(File1, "EditRepositoryList1", "Edit Repository &List...");
  File1->addSeparator();
  Close1 = NewAction(File1, "Close1", "&Close", QKeySequence(Qt::CTRL | Qt::Key_F4));
}

// The list's pop-up menu with its View menu (also the View button's), and the main View menu;
// the view items of each are one radio group, tagged with the view style they choose.
void TRepositoryForm::CreateViewMenus() {
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  Install1 = NewAction(PopupMenu1, "Install1", "&Install");
  PopupViewMenu = PopupMenu1->addMenu("&View");
  PopupViewMenu->setObjectName("PopupViewMenu");
  const char* const views[] = {"Lar&ge Icons", "S&mall Icons", "&List", "&Details"};
  const char* const mainNames[] = {"LargeIcons1", "SmallIcons1", "List1", "Details1"};
  const char* const popupNames[] = {"LargeIcons2", "SmallIcons2", "List2", "Details2"};
  auto* mainGroup = new QActionGroup(this);
  auto* popupGroup = new QActionGroup(this);
  for (int tag = 0; tag < 4; ++tag) {
    for (auto [menu, group, items, names] :
         {std::tuple{MainViewMenu, mainGroup, &MainViewItems, mainNames},
          std::tuple{PopupViewMenu, popupGroup, &PopupViewItems, popupNames}}) {
      QAction* item = NewAction(menu, names[tag], views[tag]);
      item->setCheckable(true);
      item->setData(tag);
      group->addAction(item);
      (*items)[size_t(tag)] = item;
    }
  }
  MainViewItems[3]->setChecked(true);
  PopupViewItems[3]->setChecked(true);
  MainViewMenu->addSeparator();
  Refresh1 = NewAction(MainViewMenu, "Refresh1", "&Refresh", QKeySequence(Qt::Key_F5));
  Stop1 = NewAction(MainViewMenu, "Stop1", "Sto&p", QKeySequence(Qt::Key_Escape));
  ViewButton->setMenu(PopupViewMenu);
  ListView1->SetPopupMenu(PopupMenu1);
  NameMenus(this);
}

void TRepositoryForm::ConnectHandlers() {
  auto onClick = [this](auto* sender, auto handler) {
    using TSender = std::remove_pointer_t<decltype(sender)>;
    if constexpr (std::is_same_v<TSender, QAction>)
      connect(sender, &QAction::triggered, this, [handler] { Guarded(handler); });
    else
      connect(sender, &QToolButton::clicked, this, [handler] { Guarded(handler); });
  };
  for (auto* items : {&MainViewItems, &PopupViewItems})
    for (QAction* item : *items)
      onClick(item, [this, item] { ViewStyleClick(item); });
  onClick(InstallSelected1, [this] { Install1Click(); });
  onClick(Install1, [this] { Install1Click(); });
  onClick(InstallButton, [this] { Install1Click(); });
  onClick(SelectAll1, [this] { SelectAll1Click(); });
  onClick(EditRepositoryList1, [this] { EditRepositoryList1Click(); });
  onClick(Close1, [this] { Close1Click(); });
  onClick(Refresh1, [this] { RefreshButtonClick(); });
  onClick(RefreshButton, [this] { RefreshButtonClick(); });
  onClick(Stop1, [this] { Stop1Click(); });
  onClick(AbortButton, [this] { Stop1Click(); });
  onClick(ViewButton, [this] { ViewButtonClick(); });
  connect(RepositoryName, &QComboBox::activated, this,
          [this](int) { Guarded([this] { RepositoryNameChange(); }); });
  ListView1->OnColumnClick = [this](int column) {
    Guarded([this, column] { ListView1ColumnClick(column); });
  };
  ListView1->OnDblClick = [this] { Guarded([this] { ListView1DblClick(); }); };
  ListView1->OnSelectionChange = [this] { UpdateCommands(); };
  ListView1->Model->DragText = [this](const std::vector<int>& rows) { return DragText(rows); };

  HTML1->OnDoRequestDoc = [this](THTML&, const std::string& url, bool& enable) {
    HTML1DoRequestDoc(url, enable);
  };
  HTML1->OnBeginRetrieval = [this](THTML&) { HTML1BeginRetrieval(); };
  HTML1->OnUpdateRetrieval = [this](THTML&) { HTML1UpdateRetrieval(); };
  HTML1->OnDoNewElement = [this](THTML&, const std::string& type, bool endTag,
                                 const THTMLAttributes& attributes, const std::string& text,
                                 bool& enable) {
    HTML1DoNewElement(type, endTag, attributes, text, enable);
  };
  HTML1->OnParseComplete = [this](THTML&) { HTML1ParseComplete(); };
}

} // namespace dravik
