#include "managesetsform.h"

#include "patches/patchedapp.h"
#include "patches/setswitch.h"
#include "platform/dialogs.h"
#include "platform/sysutils.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace dravik {

namespace {

QListWidget* NewList(QWidget* parent, const char* name, const char* accessibleName) {
  auto* list = new QListWidget(parent);
  list->setObjectName(name);
  list->setAccessibleName(accessibleName);
  return list;
}

QPushButton* NewButton(QWidget* parent, const char* name, const char* caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

} // namespace

TManageSetsForm::TManageSetsForm(THXPatchedApp& app, QWidget* parent) : QDialog(parent), FApp(app) {
  setObjectName("ManageSetsForm");
  setWindowTitle("Patch Sets");
  SetList = NewList(this, "SetList", "Patch sets");
  MemberList = NewList(this, "MemberList", "Patches of the set");
  MemberList->setSelectionMode(QAbstractItemView::NoSelection);
  RenameButton = NewButton(this, "RenameButton", "&Rename...");
  DeleteButton = NewButton(this, "DeleteButton", "&Delete");
  CloseButton = NewButton(this, "CloseButton", "&Close");
  CloseButton->setDefault(true);

  auto* setsLabel = new QLabel("&Sets:", this);
  setsLabel->setBuddy(SetList);
  auto* membersLabel = new QLabel("&Patches of the set:", this);
  membersLabel->setBuddy(MemberList);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(RenameButton);
  buttons->addWidget(DeleteButton);
  buttons->addStretch();
  buttons->addWidget(CloseButton);
  auto* layout = new QGridLayout(this);
  layout->addWidget(setsLabel, 0, 0);
  layout->addWidget(membersLabel, 0, 1);
  layout->addWidget(SetList, 1, 0);
  layout->addWidget(MemberList, 1, 1);
  layout->addLayout(buttons, 2, 0, 1, 2);
  resize(460, 300);

  connect(SetList, &QListWidget::currentRowChanged, this,
          [this] { Guarded([this] { SetListChange(); }); });
  connect(RenameButton, &QPushButton::clicked, this,
          [this] { Guarded([this] { RenameClick(); }); });
  connect(DeleteButton, &QPushButton::clicked, this,
          [this] { Guarded([this] { DeleteClick(); }); });
  connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
  Reload("");
}

const TPatchSet* TManageSetsForm::Selected() const {
  const int row = SetList->currentRow();
  return row >= 0 && row < static_cast<int>(FSets.size()) ? &FSets[static_cast<size_t>(row)]
                                                          : nullptr;
}

void TManageSetsForm::Reload(const std::string& selected) {
  FSets = TPatchSets(FApp.AppName).Load();
  const QSignalBlocker block(SetList);
  SetList->clear();
  int row = FSets.empty() ? -1 : 0;
  for (size_t i = 0; i < FSets.size(); ++i) {
    SetList->addItem(QString::fromStdString(FSets[i].Name));
    if (SameSetName(FSets[i].Name, selected)) row = static_cast<int>(i);
  }
  SetList->setCurrentRow(row);
  SetListChange();
}

void TManageSetsForm::SetListChange() {
  const TPatchSet* set = Selected();
  RenameButton->setEnabled(set != nullptr);
  DeleteButton->setEnabled(set != nullptr);
  MemberList->clear();
  if (!set) return;
  for (const TSetMember& member : SetMembers(FApp.Patches, *set)) {
    auto* item = new QListWidgetItem(
        QString::fromStdString(member.Installed ? member.Name + " (" + member.File + ")"
                                                : member.File + " (not installed)"),
        MemberList);
    if (!member.Installed) item->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
  }
}

void TManageSetsForm::RenameClick() {
  const TPatchSet* set = Selected();
  if (!set) return;
  const std::string oldName = set->Name;
  std::string name = oldName;
  if (!Dialogs().InputQuery("Rename Patch Set", "New name of the patch set:", name)) return;
  name = Trim(name);
  if (std::string problem = SetNameProblem(name); !problem.empty()) {
    Dialogs().MessageDlg(problem, mtWarning, {mbOK});
    return;
  }
  TPatchSets sets(FApp.AppName);
  std::optional<TPatchSet> other = sets.Find(name);
  if (other && !SameSetName(other->Name, oldName) &&
      Dialogs().MessageDlg(
          Format("A patch set named \"%s\" already exists. Replace it?", other->Name),
          mtConfirmation, {mbYes, mbNo}) != mrYes)
    return;
  sets.Rename(oldName, name);
  Reload(name);
}

void TManageSetsForm::DeleteClick() {
  const TPatchSet* set = Selected();
  if (!set) return;
  const std::string name = set->Name;
  if (Dialogs().MessageDlg(Format("Delete the patch set \"%s\"?", name), mtConfirmation,
                           {mbYes, mbNo}) != mrYes)
    return;
  TPatchSets(FApp.AppName).Delete(name);
  Reload("");
}

} // namespace dravik
