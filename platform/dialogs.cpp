#include "dialogs.h"

#include "sysutils.h"

#include <cstdio>

namespace dravik {

namespace {

// Until the program or a test installs dialogs: never blocks, declines every question.
class TDefaultDialogs : public TDialogs {
public:
  int MessageDlg(const std::string& msg, TMsgDlgType, const TMsgDlgButtons& buttons) override {
    std::fprintf(stderr, "dravik: %s\n", msg.c_str());
    for (TMsgDlgBtn b : buttons)
      if (b == mbCancel) return mrCancel;
    return mrNo;
  }
  void ShowMessage(const std::string& msg) override {
    std::fprintf(stderr, "dravik: %s\n", msg.c_str());
  }
  bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }
  bool Execute(TFileDialog&, bool) override { return false; }
  void ShowException(const std::string& message) override {
    std::fprintf(stderr, "dravik: error: %s\n", message.c_str());
  }
};

TDefaultDialogs gDefault;
TDialogs* gDialogs = &gDefault;

std::string Describe(TMsgDlgType type, const std::string& msg, const TMsgDlgButtons& buttons) {
  static const char* kTypes[] = {"Warning", "Error", "Information", "Confirm", "Custom"};
  static const char* kButtons[] = {"Yes", "No", "OK", "Cancel", "Abort", "Retry", "Ignore", "All"};
  std::string d = std::string(kTypes[type]) + " box \"" + msg + "\" [";
  for (size_t i = 0; i < buttons.size(); ++i)
    d += (i ? "/" : "") + std::string(kButtons[buttons[i]]);
  return d + "]";
}

} // namespace

TDialogs& Dialogs() {
  return *gDialogs;
}

TDialogs* SetDialogs(TDialogs* dialogs) {
  TDialogs* previous = gDialogs;
  gDialogs = dialogs ? dialogs : &gDefault;
  return previous;
}

void ShowCommandError(const std::exception& e) {
  Dialogs().ShowException(e.what());
}

TScriptedDialogs::TScriptedDialogs() : FPrevious(SetDialogs(this)) {}

TScriptedDialogs::~TScriptedDialogs() {
  SetDialogs(FPrevious);
}

std::vector<std::string> TScriptedDialogs::Messages() const {
  std::vector<std::string> r;
  for (const auto& a : FAsked)
    if (a.Kind == "message" || a.Kind == "show" || a.Kind == "error") r.push_back(a.Text);
  return r;
}

int TScriptedDialogs::MessageDlg(const std::string& msg, TMsgDlgType type,
                                 const TMsgDlgButtons& buttons) {
  FAsked.push_back({"message", msg, type, buttons, {}, {}});
  if (FAnswers.empty()) throw EUnexpectedDialog("unexpected " + Describe(type, msg, buttons));
  int answer = FAnswers.front();
  FAnswers.pop_front();
  return answer;
}

void TScriptedDialogs::ShowMessage(const std::string& msg) {
  FAsked.push_back({"show", msg, mtCustom, {mbOK}, {}, {}});
}

bool TScriptedDialogs::InputQuery(const std::string& caption, const std::string& prompt,
                                  std::string& value) {
  FAsked.push_back({"input", prompt, mtCustom, {mbOK, mbCancel}, caption, {}});
  if (FInputs.empty()) throw EUnexpectedDialog("unexpected input box \"" + prompt + "\"");
  auto [text, ok] = FInputs.front();
  FInputs.pop_front();
  if (ok) value = text;
  return ok;
}

bool TScriptedDialogs::Execute(TFileDialog& dialog, bool save) {
  FAsked.push_back({save ? "save" : "open", dialog.Title, mtCustom, {}, {}, dialog});
  if (FFiles.empty()) throw EUnexpectedDialog("unexpected file dialog \"" + dialog.Title + "\"");
  std::vector<std::string> files = FFiles.front();
  FFiles.pop_front();
  if (files.empty()) return false;
  dialog.Files = files;
  dialog.FileName = files.front();
  return true;
}

void TScriptedDialogs::ShowException(const std::string& message) {
  FAsked.push_back({"error", message, mtError, {mbOK}, {}, {}});
}

} // namespace dravik
