#include "nogameform.h"

#include "platform/shell.h"
#include "prefixchoice.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace dravik {

// The line saying where the start looked for a prefix holding the game; null when it did not.
static QLabel* WhereLookedLabel(QWidget* parent) {
  const std::string note = PrefixSearchNote();
  if (note.empty()) return nullptr;
  auto* label = new QLabel(QString::fromStdString(note), parent);
  label->setObjectName("SearchLabel");
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
  SearchLabel = WhereLookedLabel(this);

  OKButton = new QPushButton("&OK", this);
  OKButton->setObjectName("OKButton");
  OKButton->setDefault(true);
  OKButton->setFixedSize(75, 25);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  HelpButton = new QPushButton("&Help", this);
  HelpButton->setObjectName("HelpButton");
  HelpButton->setFixedSize(75, 25);
  connect(HelpButton, &QPushButton::clicked, this, [this] { HelpButtonClick(); });

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OKButton);
  buttons->addSpacing(9);
  buttons->addWidget(HelpButton);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 5, 4);
  layout->addWidget(Label1);
  if (SearchLabel) layout->addWidget(SearchLabel);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TNoGameForm::HelpButtonClick() {
  ShellExecute("docs.html", "", "", SW_SHOWNORMAL);
  accept();
}

} // namespace dravik
