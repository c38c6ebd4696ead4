#include "nogameform.h"

#include "locategame.h"
#include "platform/dialogs.h"
#include "platform/prefix.h"
#include "platform/shell.h"
#include "prefixchoice.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace dravik {

// A line of plain text below the message that can be selected (and so copied).
static QLabel* NoteLabel(const std::string& text, const char* name, QWidget* parent) {
  auto* label = new QLabel(QString::fromStdString(text), parent);
  label->setObjectName(name);
  label->setWordWrap(true);
  label->setTextFormat(Qt::PlainText);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

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
  PrefixLabel =
      NoteLabel("Dravik looked in the Wine prefix " + WinePrefix() + ".", "PrefixLabel", this);
  // Where the start looked for a prefix holding the game, when it did.
  const std::string searchNote = PrefixSearchNote();
  SearchLabel = searchNote.empty() ? nullptr : NoteLabel(searchNote, "SearchLabel", this);

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
  if (SearchLabel) layout->addWidget(SearchLabel);
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
