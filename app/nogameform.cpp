#include "nogameform.h"

#include "locategame.h"
#include "platform/dialogs.h"
#include "platform/prefix.h"
#include "platform/shell.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace dravik {

TNoGameForm::TNoGameForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("NoGameForm");
  setWindowTitle("Game Not Found");

  Label1 = new QLabel(
      "Dravik was unable to detect valid DirectPlay entries for Halvex or Morvane. Please "
      "install the game and try again. For more information, please check the Dravik "
      "documentation, FAQ, and home page.",
      this);
  Label1->setObjectName("Label1");
  Label1->setWordWrap(true);
  Label1->setTextFormat(Qt::PlainText);
  Label1->setMinimumWidth(529);

  PrefixLabel = new QLabel(
      QString::fromStdString("Dravik looked in the Wine prefix " + WinePrefix() + "."), this);
  PrefixLabel->setObjectName("PrefixLabel");
  PrefixLabel->setWordWrap(true);
  PrefixLabel->setTextFormat(Qt::PlainText);
  PrefixLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

  OKButton = new QPushButton("&OK", this);
  OKButton->setObjectName("OKButton");
  OKButton->setDefault(true);
  OKButton->setFixedSize(75, 25);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  HelpButton = new QPushButton("&Help", this);
  HelpButton->setObjectName("HelpButton");
  HelpButton->setFixedSize(75, 25);
  connect(HelpButton, &QPushButton::clicked, this, [this] { HelpButtonClick(); });

  LocateButton = new QPushButton("&Locate Game...", this);
  LocateButton->setObjectName("LocateButton");
  LocateButton->setMinimumSize(75, 25);
  connect(LocateButton, &QPushButton::clicked, this,
          [this] { Guarded([this] { LocateButtonClick(); }); });

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OKButton);
  buttons->addSpacing(9);
  buttons->addWidget(HelpButton);
  buttons->addSpacing(9);
  buttons->addWidget(LocateButton);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 5, 4);
  layout->addWidget(Label1);
  layout->addWidget(PrefixLabel);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TNoGameForm::LocateButtonClick() {
  Located = LocateGame();
  if (!Located.empty()) accept();
}

void TNoGameForm::HelpButtonClick() {
  ShellExecute("docs.html", "", "", SW_SHOWNORMAL);
  accept();
}

} // namespace dravik
