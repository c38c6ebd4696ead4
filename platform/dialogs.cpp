#include "dialogs.h"

#include <cstdio>

namespace dravik {

namespace {

// Until the program or a test installs dialogs: never blocks, declines every question.
class TDefaultDialogs : public TDialogs {
public:
  int MessageDlg(const std::string& msg, TMsgDlgType, const TMsgDlgButtons& buttons,
                 std::optional<TMsgDlgBtn>) override {
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

} // namespace

bool TDialogs::ChooseItem(const std::string&, const std::string&, const std::vector<std::string>&,
                          int&) {
  return false;
}

bool TDialogs::SelectHostFolder(const std::string&, std::string&) {
  return false;
}

bool TDialogs::WaitUntil(const std::string&, const std::function<bool()>& done) {
  return done();
}

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

} // namespace dravik
