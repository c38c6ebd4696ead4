#include "demoprefix.h"

#include "catalogue/catalogue.h"
#include "demorepository.h"
#include "demosamples.h"
#include "platform/filestream.h"
#include "platform/prefix.h"
#include "platform/prefixlayout.h"
#include "platform/registry.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"

#include <algorithm>
#include <optional>

namespace dravik {

const char* const kDemoDownloads = "C:\\users\\Public\\Downloads\\";
const char* const kDemoRepository = "C:\\Repository\\";
const char* const kDemoMarker = "dravik-demo.txt";

using namespace demo;

namespace {

const char* const kDirectPlayKey32 = "Software\\Wow6432Node\\Microsoft\\DirectPlay\\Applications";

std::string WindowsPathOf(const std::string& hostPath) {
  std::optional<std::string> win = winfs::ToWindowsPath(hostPath);
  if (!win) throw Exception(Format("%s lies on no drive of the prefix", hostPath));
  return *win;
}

void WriteRegistry(TDemoPrefixResult& result) {
  TRegistry reg(HKEY_LOCAL_MACHINE);
  WriteCatalogue(reg, kCatalogueKey32);
  for (const TCatalogueGame& game : CatalogueGames()) {
    WriteRegistration(reg, kDirectPlayKey32, game, game.DemoFolder);
    // The game's identity for a lobby, which the demo makes up.
    const std::string key = std::string("\\") + kDirectPlayKey32 + "\\" + game.DirectPlayName;
    if (!reg.OpenKey(key, false)) throw ERegistryException(Format("Cannot open the key %s", key));
    reg.WriteString("Guid",
                    Format("{6C2F5A%02d-4B1E-4D7A-9C3E-5A7B0D1E2F%02d}", game.Number, game.Number));
    reg.CloseKey();
  }
  result.Lines.push_back("system.reg: the catalogue of " + std::to_string(CatalogueGames().size()) +
                         " games and their DirectPlay registrations");
}

const char* const kMarkerText =
    "This folder is a demo prefix made by Dravik's dravik-demo-prefix tool.\n"
    "It is laid out like a Wine prefix: system.reg holds the catalogue of the games Halvex and\n"
    "Morvane and their DirectPlay registrations; drive_c/Games/ holds the two games, each with\n"
    "a stand-in program that records how it was started in launch.log, and sample patches;\n"
    "drive_c/users/Public/Downloads/ holds patches to add, and drive_c/Repository/ a patch\n"
    "repository for each game, registered as the games' repositories.\n"
    "Run the tool on this folder again to put back what is missing.\n";

} // namespace

TDemoPrefixResult MakeDemoPrefix(const std::string& hostFolder,
                                 const std::string& standInHostPath) {
  TDemoPrefixResult result;
  const std::string root = AbsoluteHostPath(hostFolder);
  const std::string standIn = AbsoluteHostPath(standInHostPath);
  if (auto entries = HostFolderEntries(root); entries && !entries->empty()) {
    if (std::find(entries->begin(), entries->end(), kDemoMarker) == entries->end())
      throw Exception(
          Format("%s is not empty and is not a demo prefix; give a new or empty folder", root));
    result.Refreshed = true;
  }
  CreatePrefixLayout(root);
  SetWinePrefix(root);
  winfs::SetLastError(0);

  const std::string marker = WindowsPathOf(root) + "\\" + kDemoMarker;
  WriteFileAtomically(marker, kMarkerText, static_cast<int64_t>(std::string(kMarkerText).size()));
  WriteRegistry(result);

  const std::string standInWin = WindowsPathOf(standIn);
  if (!winfs::FileExists(standInWin))
    throw Exception(Format("The stand-in game %s does not exist", standIn));

  for (const TCatalogueGame& game : CatalogueGames()) {
    const std::string folder = game.DemoFolder;
    MakeFolders(folder + "HXPatch\\active\\");
    MakeFolders(folder + "episode\\");
    if (!winfs::CopyFile(standInWin, folder + game.ExeName, false))
      throw Exception(Format("Cannot copy %s to %s: %s", standIn, folder + game.ExeName,
                             winfs::LastErrorText()));
    int written = 0;
    for (const TSample& sample : Samples()) {
      if (sample.Game != game.Number || sample.Place == plDownloads || sample.Place == plRepository)
        continue;
      const std::string inactive = folder + "HXPatch\\" + sample.File;
      const std::string active = folder + "HXPatch\\active\\" + sample.File;
      bool put = sample.Place == plActive ? PutSample(active, {inactive}, sample)
                                          : PutSample(inactive, {active}, sample);
      written += put;
    }
    result.Lines.push_back(Format("%s%s: the stand-in game; %d sample patches written", folder,
                                  game.ExeName, written));
  }

  MakeFolders(kDemoDownloads);
  int downloads = 0;
  for (const TSample& sample : Samples())
    if (sample.Place == plDownloads)
      downloads += PutSample(kDemoDownloads + std::string(sample.File), {}, sample);
  const std::string zip = kDemoDownloads + std::string(kZipName);
  if (!winfs::FileExists(zip)) {
    WriteZip(zip);
    ++downloads;
  }
  result.Lines.push_back(Format("%s: %d files to add written", kDemoDownloads, downloads));

  int repository = 0;
  for (const TCatalogueGame& game : CatalogueGames())
    repository += WriteRepository(game);
  RegisterRepositories();
  result.Lines.push_back(Format("%s: a patch repository for each game, %d files written, "
                                "listed as the games' repositories",
                                kDemoRepository, repository));
  return result;
}

} // namespace dravik
