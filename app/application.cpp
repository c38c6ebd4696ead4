#include "application.h"

#include "aboutbox.h"
#include "debugform.h"
#include "net/dlstatus.h"
#include "net/retriever.h"
#include "nogameform.h"
#include "patchform.h"
#include "platform/addresses.h"
#include "platform/icons.h"
#include "platform/instance.h"
#include "platform/prefix.h"
#include "propertyform.h"

#include <QApplication>

namespace dravik {

static TApplication* gApplication = nullptr;

TApplication* Application() {
  return gApplication;
}

TApplication::TApplication() {
  gApplication = this;
  QApplication::setApplicationName(QString::fromStdString(Title));
  QApplication::setWindowIcon(ProgramIcon());
}

TApplication::~TApplication() {
  FInstanceServer.reset();
  Retriever.reset();
  DLStatus.reset();
  DebugForm.reset();
  AboutBox.reset();
  PropertyForm.reset();
  PatchForm.reset();
  FNoGameForm.reset();
  if (gApplication == this) gApplication = nullptr;
}

void TApplication::CreateForms(const std::vector<std::string>& args) {
  PatchForm = std::make_unique<TPatchForm>(args);
  PropertyForm = std::make_unique<TPropertyForm>();
  AboutBox = std::make_unique<TAboutBox>();
  DebugForm = std::make_unique<TDebugForm>();
  // The retriever holds the progress dialog from its creation on, so the dialog comes first.
  DLStatus = std::make_unique<TDLStatus>();
  Retriever = std::make_unique<TRetriever>(*DLStatus);
  Retriever->FTPClient.Password = AnonymousEMail();
}

int TApplication::Run() {
  if (FTerminated) return 0;
  if (ShowMainForm && PatchForm) PatchForm->show();
  if (FTerminated) return 0;
  FInLoop = true;
  int result = QApplication::exec();
  FInLoop = false;
  return result;
}

void TApplication::Terminate() {
  FTerminated = true;
  if (FInLoop) QApplication::quit();
}

bool TApplication::ListenForOtherStarts() {
  if (!FInstanceServer) {
    FInstanceServer = std::make_unique<TInstanceServer>();
    FInstanceServer->OnReceive = [this](const THandedOver& what) {
      if (PatchForm) PatchForm->ReceiveArguments(what);
    };
  }
  return FInstanceServer->Listen(InstanceName(WinePrefix()));
}

void TApplication::PrefixChanged() {
  if (FInstanceServer) FInstanceServer->Listen(InstanceName(WinePrefix()));
}

TNoGameForm* TApplication::NoGameForm() {
  if (!FNoGameForm) FNoGameForm = std::make_unique<TNoGameForm>();
  return FNoGameForm.get();
}

} // namespace dravik
