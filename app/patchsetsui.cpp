#include "patchsetsui.h"

#include "managesetsform.h"
#include "patches/patchedapp.h"
#include "patches/setswitch.h"
#include "patchform.h"
#include "patchlistview.h"
#include "platform/accessibility.h"
#include "platform/dialogs.h"
#include "platform/sound.h"
#include "platform/sysutils.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QMenu>
#include <QToolBar>

namespace dravik {

TPatchSetsUI::TPatchSetsUI(QWidget* window, QMenu* patchMenu, QAction* before, QToolBar* toolBar,
                           std::function<THXPatchedApp*()> app, std::function<void()> refresh)
    : QObject(window), FWindow(window), FApp(std::move(app)), FRefresh(std::move(refresh)) {
  setObjectName("PatchSetsUI");
  PatchSets1 = new QMenu("Patch &Sets", window);
  PatchSets1->setObjectName("PatchSets1");
  PatchSets1->setAccessibleName("Patch Sets"); // read out as the menu opens
  patchMenu->insertMenu(before, PatchSets1);
  if (before) patchMenu->insertSeparator(before);

  SaveSet1 = PatchSets1->addAction("&Save Current Set...");
  SaveSet1->setObjectName("SaveSet1");
  PatchSets1->addSeparator();
  FGroup = new QActionGroup(this);
  NoSet1 = PatchSets1->addAction(NoSetName);
  NoSet1->setObjectName("NoSet1");
  NoSet1->setCheckable(true);
  NoSet1->setActionGroup(FGroup);
  FSetsEnd = PatchSets1->addSeparator();
  ManageSets1 = PatchSets1->addAction("&Manage Sets...");
  ManageSets1->setObjectName("ManageSets1");

  PatchSetCombo = new QComboBox(toolBar);
  PatchSetCombo->setObjectName("PatchSetCombo");
  SetComboBoxName(PatchSetCombo, "Patch set");
  PatchSetCombo->setToolTip("Patch Set");
  PatchSetCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  PatchSetCombo->setMinimumContentsLength(10);
  toolBar->addSeparator();
  toolBar->addWidget(PatchSetCombo);

  connect(SaveSet1, &QAction::triggered, this, [this] { Guarded([this] { SaveSetClick(); }); });
  connect(NoSet1, &QAction::triggered, this, [this] { Guarded([this] { SwitchTo(NoSetName); }); });
  connect(ManageSets1, &QAction::triggered, this,
          [this] { Guarded([this] { ManageSetsClick(); }); });
  connect(PatchSetCombo, &QComboBox::activated, this, [this](int index) {
    const std::string name = PatchSetCombo->itemData(index).toString().toStdString();
    Guarded([&] {
      if (name == CustomSetName)
        Update();
      else
        SwitchTo(name);
    });
  });
  Update();
}

void TPatchSetsUI::Update() {
  THXPatchedApp* app = FApp();
  std::vector<TPatchSet> sets;
  std::string match = NoSetName;
  try {
    if (app) {
      sets = TPatchSets(app->AppName).Load();
      match = MatchingSet(app->Patches, sets);
    }
  } catch (const std::exception&) {
    // Sets that cannot be read are not offered; the commands say why when used.
  }
  // The old items may be the one being triggered: they go once the event is over.
  for (QAction* item : FSetItems) {
    PatchSets1->removeAction(item);
    item->setActionGroup(nullptr);
    item->setObjectName(QString());
    item->deleteLater();
  }
  FSetItems.clear();
  for (size_t i = 0; i < sets.size(); ++i) {
    const std::string name = sets[i].Name;
    auto* item = new QAction(QString::fromStdString(name).replace('&', "&&"), this);
    item->setObjectName(QString("PatchSet%1").arg(i));
    item->setCheckable(true);
    item->setActionGroup(FGroup);
    item->setChecked(name == match);
    connect(item, &QAction::triggered, this, [this, name] { Guarded([&] { SwitchTo(name); }); });
    PatchSets1->insertAction(FSetsEnd, item);
    FSetItems.push_back(item);
  }
  NoSet1->setChecked(match == NoSetName);

  const QSignalBlocker block(PatchSetCombo);
  PatchSetCombo->clear();
  PatchSetCombo->addItem(NoSetName, QString(NoSetName));
  for (const TPatchSet& set : sets)
    PatchSetCombo->addItem(QString::fromStdString(set.Name), QString::fromStdString(set.Name));
  if (match == CustomSetName) PatchSetCombo->addItem(CustomSetName, QString(CustomSetName));
  PatchSetCombo->setCurrentIndex(PatchSetCombo->findData(QString::fromStdString(match)));
  PatchSets1->menuAction()->setEnabled(app != nullptr);
  PatchSetCombo->setEnabled(app != nullptr);
}

void TPatchSetsUI::SwitchTo(const std::string& name) {
  THXPatchedApp* app = FApp();
  if (!app) return;
  TSetSwitchResult result;
  try {
    result = SwitchToSet(*app, name);
  } catch (...) {
    // The store is as it was; the window shows it so.
    Guarded(FRefresh);
    throw;
  }
  FRefresh();
  if (result.Moved > 0) PlaySoundResource("CLICK");
  if (const std::string message = result.Message(); !message.empty())
    Dialogs().MessageDlg(message, mtWarning, {mbOK});
}

void TPatchSetsUI::SaveSetClick() {
  THXPatchedApp* app = FApp();
  if (!app) return;
  TPatchSets sets(app->AppName);
  std::string name = MatchingSet(app->Patches, sets.Load());
  if (name == NoSetName || name == CustomSetName) name.clear();
  if (!Dialogs().InputQuery("Save Patch Set", "Save the active patches as the set named:", name))
    return;
  name = Trim(name);
  if (const std::string problem = SetNameProblem(name); !problem.empty()) {
    Dialogs().MessageDlg(problem, mtWarning, {mbOK});
    return;
  }
  if (std::optional<TPatchSet> old = sets.Find(name);
      old && Dialogs().MessageDlg(
                 Format("A patch set named \"%s\" already exists. Replace it?", old->Name),
                 mtConfirmation, {mbYes, mbNo}) != mrYes)
    return;
  std::vector<std::string> leftOut;
  sets.Save(CurrentSet(app->Patches, name, leftOut));
  Update();
  if (leftOut.empty()) return;
  std::string names;
  for (const std::string& file : leftOut)
    names += (names.empty() ? "" : ", ") + file;
  Dialogs().MessageDlg(
      "A set cannot name a patch whose file name holds \"|\"; these were left out: " + names + ".",
      mtWarning, {mbOK});
}

void TPatchSetsUI::ManageSetsClick() {
  THXPatchedApp* app = FApp();
  if (!app) return;
  TManageSetsForm form(*app, FWindow);
  form.exec();
  Update();
}

// ---------------------------------------------------------------------------------------------
// The main window's part

void TPatchForm::CreatePatchSets() {
  PatchSets = new TPatchSetsUI(
      this, Patch1, PatchRepository1, ToolBar1, [this] { return CurrentApp(); },
      [this] {
        RefreshView();
        UpdateActivateControls(SelectedRow());
      });
  // A patch toggled by a double click only repaints the list.
  connect(PatchListModel, &QAbstractItemModel::dataChanged, PatchSets, &TPatchSetsUI::Update);
}

void TPatchForm::SwitchToStartSet() {
  if (!FStartSet || !CurrentApp()) return;
  bool switched = false;
  Guarded([&] {
    if (FStartSet->empty()) throw Exception("The -set switch needs the name of a patch set.");
    PatchSets->SwitchTo(*FStartSet);
    switched = true;
  });
  // Without its set the game is not started: the player chooses in the window.
  if (!switched) QuickStart = false;
}

} // namespace dravik
