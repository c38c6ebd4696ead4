// The patch store with a patch of any bytes (a GOB file, or a ZIP archive of them when the first
// byte is odd): installed, re-read, switched on and off and deleted, it touches nothing but the
// store's two folders and the episode folder, whatever its descriptor says.
#include "fuzzsupport.h"
#include "patches/installer.h"
#include "patches/patchedapp.h"
#include "platform/dialogs.h"
#include "platform/sysutils.h"

#include <algorithm>
#include <filesystem>

using namespace dravik;
using namespace dravik::fuzz;

namespace {

// Agrees to every question (Yes, else OK) and lets every message pass.
class TAgreeingDialogs : public TDialogs {
public:
  int MessageDlg(const std::string&, TMsgDlgType, const TMsgDlgButtons& buttons,
                 std::optional<TMsgDlgBtn>) override {
    return std::find(buttons.begin(), buttons.end(), mbYes) != buttons.end() ? mrYes : mrOk;
  }
  void ShowMessage(const std::string&) override {}
  bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }
  bool Execute(TFileDialog&, bool) override { return false; }
  void ShowException(const std::string&) override {}
};

// The store of one game at C:\Games\Halvex\, its catalogue written into the fuzz prefix once.
THXPatchedApp& Game() {
  static THXPatchedAppList* apps = [] {
    TFuzzPrefix& prefix = TFuzzPrefix::Get();
    WriteHostFile(prefix.Host() + "/system.reg",
                  "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n"
                  "#arch=win32\n\n"
                  "[Software\\\\Orlemont\\\\HXPatch\\\\Applications\\\\0] 1700000000\n"
                  "\"AppName\"=\"Halvex\"\n\"DirectPlay Name\"=\"Halvex\"\n"
                  "\"Patch Filter\"=\"*.gob\"\n\n"
                  "[Software\\\\Microsoft\\\\DirectPlay\\\\Applications\\\\Halvex] 1700000000\n"
                  "\"Path\"=\"C:\\\\Games\\\\Halvex\\\\\"\n\"File\"=\"halvex.exe\"\n");
    static TAgreeingDialogs dialogs;
    SetDialogs(&dialogs);
    auto* list = new THXPatchedAppList; // lives for the process, as the program's does
    list->LoadCatalogue();
    if (list->Count() != 1) Fail("the fuzz catalogue was not read");
    return list;
  }();
  return *apps->Items(0);
}

// Runs one store operation; refusals and read errors are expected, escapes of any other kind
// are faults.
template <typename F> void Try(F&& f) {
  try {
    f();
  } catch (const Exception&) {
  }
}

void CheckInsideStore(const std::string& source, const std::string& sourceBytes) {
  TFuzzPrefix& prefix = TFuzzPrefix::Get();
  for (const THostEntry& e : HostTree(prefix.HostC(""))) {
    const std::string& n = e.Name;
    auto directlyIn = [&n](const std::string& folder) {
      return n.starts_with(folder) && n.find('/', folder.size()) == std::string::npos;
    };
    // The fuzz prefix has no drive for the system's temporary folder, so the program's own
    // private folder lies in C:\windows\temp\; what an installation unpacks there must go.
    bool temp = n == "windows" || n == "windows/temp" ||
                (e.Kind == THostEntry::Folder && directlyIn("windows/temp/"));
    bool allowed = temp || n == "Games" || n == "Games/Halvex" || n == "in" ||
                   n == "in/" + source || n == "Games/Halvex/HXPatch" ||
                   n == "Games/Halvex/HXPatch/active" || n == "Games/Halvex/episode" ||
                   (e.Kind == THostEntry::File && (directlyIn("Games/Halvex/HXPatch/") ||
                                                   directlyIn("Games/Halvex/HXPatch/active/") ||
                                                   directlyIn("Games/Halvex/episode/")));
    Check(allowed, "the store wrote outside its folders: " + n);
  }
  Check(ReadHostFile(prefix.HostC("in/" + source)) == sourceBytes, "the installed file changed");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzPrefix& prefix = TFuzzPrefix::Get();
  THXPatchedApp& game = Game();
  TFuzzInput in(data, size);
  const std::string source = in.Byte() & 1 ? "pack.zip" : "patch.gob";
  const std::string bytes(in.Rest());
  RemoveHostTree(prefix.HostC("Games"));
  RemoveHostTree(prefix.HostC("in"));
  std::filesystem::create_directories(prefix.HostC("Games/Halvex/episode"));
  std::filesystem::create_directories(prefix.HostC("in"));
  WriteHostFile(prefix.HostC("in/" + source), bytes);

  game.OpenStore();
  TInstaller(game, nullptr).InstallFiles({TFuzzPrefix::WinC("in\\" + source)});
  CheckInsideStore(source, bytes);
  game.Rescan();
  // On and off again, each patch in turn, then delete them all.
  for (int round = 0; round < 2; ++round)
    for (int i = 0; i < game.Patches.Count(); ++i)
      Try([&] { game.ToggleActive(i); });
  CheckInsideStore(source, bytes);
  while (game.Patches.Count() > 0) {
    const int before = game.Patches.Count();
    Try([&] { game.DeletePatch(game.Patches[0]); });
    if (game.Patches.Count() == before) game.Patches.Delete(0); // refused: leave it on disk
  }
  CheckInsideStore(source, bytes);
  return 0;
}
