// dravik-make-icons: draws every picture of resources/icons/ (program icon, state pictures,
// tool-button pictures, repository category icons, the two games' .ico files).
//
// Run it once from the resources/ folder after changing a drawing and commit what it writes:
//   cd resources && ../build/tools/dravik-make-icons
// It writes into icons/ below the current folder (made when missing).

#include "iconfiles.h"
#include "iconpictures.h"
#include "platform/sysutils.h"

#include <QGuiApplication>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace dravik;
using namespace dravik::icons;

struct TNamed {
  const char* Name;
  TDraw Draw;
};

void Run() {
  MakeFolder("icons");
  MakeFolder("icons\\toolbar");
  MakeFolder("icons\\category");

  WriteBytes("icons\\dravik.png", Png(Render(DrawProgram, 256, 256, 256)));

  const TNamed states[] = {
      {"inactive", DrawStateInactive}, {"active", DrawStateActive}, {"blocked", DrawStateBlocked}};
  for (const TNamed& s : states) {
    WriteBytes(std::string("icons\\state-") + s.Name + ".png", Png(Render(s.Draw, 16, 16, 16)));
    WriteBytes(std::string("icons\\state-") + s.Name + "@2x.png", Png(Render(s.Draw, 32, 32, 16)));
  }

  const TNamed tools[] = {{"add", DrawAdd},
                          {"remove", DrawRemove},
                          {"activate", DrawActivate},
                          {"launch", DrawLaunch},
                          {"properties", DrawProperties},
                          {"refresh", DrawRefresh},
                          {"repository", DrawRepository},
                          {"new", DrawNew},
                          {"open", DrawOpen},
                          {"save", DrawSave},
                          {"addfiles", DrawAddFiles},
                          {"delete", DrawDelete},
                          {"gobproperties", DrawGobProperties},
                          {"newdir", DrawNewDir},
                          {"abort", DrawAbort},
                          {"install", DrawInstall},
                          {"view", DrawView}};
  for (const TNamed& t : tools)
    WriteBytes(std::string("icons\\toolbar\\") + t.Name + ".png", Png(Render(t.Draw, 24, 24, 24)));

  const TNamed categories[] = {{"force", DrawForce},
                               {"item", DrawItem},
                               {"saber", DrawSaber},
                               {"skin", DrawSkin},
                               {"other", DrawOther}};
  for (const TNamed& c : categories)
    for (int size : {16, 32})
      WriteBytes(Format("icons\\category\\%s-%d.png", c.Name, size),
                 Png(Render(c.Draw, size, size, 24)));

  const TNamed games[] = {{"halvex", DrawHalvex}, {"morvane", DrawMorvane}};
  for (const TNamed& g : games) {
    std::vector<QImage> sizes;
    for (int size : {16, 32, 48})
      sizes.push_back(Render(g.Draw, size, size, 32));
    WriteBytes(std::string("icons\\") + g.Name + ".ico", Ico(sizes));
  }
}

} // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  try {
    Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "dravik-make-icons: %s\n", e.what());
    return 1;
  }
  return 0;
}
