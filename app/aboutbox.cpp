#include "aboutbox.h"

#include "platform/addresses.h"
#include "platform/icons.h"
#include "platform/shell.h"
#include "platform/version.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace dravik {

TClickLabel::TClickLabel(QWidget* parent) : QLabel(parent) {
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
    emit clicked();
  QLabel::mouseReleaseEvent(event);
}

void TClickLabel::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space) {
    emit clicked();
    return;
  }
  QLabel::keyPressEvent(event);
}

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName("AboutBox");
  setWindowTitle("About Halvex Dravik");

  auto* panel = new QFrame(this);
  panel->setObjectName("Panel1");
  panel->setFrameShape(QFrame::Panel);
  panel->setFrameShadow(QFrame::Sunken);

  ProgramIcon = new TClickLabel(panel);
  ProgramIcon->setObjectName("ProgramIcon");
  ProgramIcon->setPixmap(dravik::ProgramIcon().pixmap(QSize(65, 57)));
  ProgramIcon->setFixedSize(65, 57);
  ProgramIcon->setAlignment(Qt::AlignCenter);
  ProgramIcon->setAccessibleName("Open the Dravik home page");
  ProgramIcon->setToolTip(QString::fromStdString(HomePage()));

  ProductName = new QLabel("Halvex Dravik", panel);
  ProductName->setObjectName("ProductName");
  QFont bold = ProductName->font();
  bold.setBold(true);
  ProductName->setFont(bold);

  Version = new QLabel("Version 4.0.0.0", panel);
  Version->setObjectName("Version");

  Comments = new QLabel("The patch manager for Halvex and Morvane.", panel);
  Comments->setObjectName("Comments");

  Copyright = new QLabel("Switch patches on and off, find new ones on-line, build your own, "
                         "and play with exactly the ones you chose.",
                         panel);
  Copyright->setObjectName("Copyright");
  Copyright->setWordWrap(true);

  URL = new TClickLabel(panel);
  URL->setObjectName("URL");
  URL->setText(QString::fromStdString(HomePage()));
  URL->setTextFormat(Qt::PlainText);
  QFont link = URL->font();
  link.setUnderline(true);
  URL->setFont(link);
  QPalette blue = URL->palette();
  blue.setColor(QPalette::WindowText, Qt::blue);
  URL->setPalette(blue);
  URL->setAccessibleName("Dravik home page");

  connect(ProgramIcon, &TClickLabel::clicked, this, [this] { LogoClick(); });
  connect(URL, &TClickLabel::clicked, this, [this] { LogoClick(); });

  auto* grid = new QGridLayout(panel);
  grid->addWidget(ProgramIcon, 0, 0, 2, 1);
  grid->addWidget(ProductName, 0, 1);
  grid->addWidget(Version, 1, 1);
  grid->addWidget(Comments, 2, 0, 1, 2);
  grid->addWidget(Copyright, 3, 0, 1, 2);
  grid->addWidget(URL, 4, 0, 1, 2);
  grid->setColumnStretch(1, 1);

  OKButton = new QPushButton("OK", this);
  OKButton->setObjectName("OKButton");
  OKButton->setDefault(true);
  OKButton->setFixedSize(75, 25);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addWidget(panel);
  layout->addWidget(OKButton, 0, Qt::AlignHCenter);
  setFixedSize(layout->sizeHint().expandedTo(QSize(298, 199)));
  OKButton->setFocus();

  FormCreate();
}

void TAboutBox::FormCreate() {
  Version->setText("Version " + QString::fromStdString(VersionString()));
}

void TAboutBox::LogoClick() {
  ShellExecute(HomePage(), "", "", SW_SHOWNORMAL);
}

} // namespace dravik
