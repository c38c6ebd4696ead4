#include "demoprefix.h"

#include "catalogue/catalogue.h"
#include "gob/gobformat.h"
#include "platform/filestream.h"
#include "platform/htmlparser.h"
#include "platform/prefix.h"
#include "platform/prefixlayout.h"
#include "platform/registry.h"
#include "platform/scopeexit.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"
#include "zipwriter.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace dravik {

const char* const kDemoDownloads = "C:\\users\\Public\\Downloads\\";
const char* const kDemoRepository = "C:\\Repository\\";
const char* const kDemoMarker = "dravik-demo.txt";

namespace {

const char* const kDirectPlayKey32 = "Software\\Wow6432Node\\Microsoft\\DirectPlay\\Applications";

enum TPlace { plInactive, plActive, plDownloads, plRepository };

struct TSampleMember {
  const char* Name; // stored path, "\" between folders
  const char* Text; // its contents; empty: made up from the name
};

struct TSample {
  int Game; // catalogue position
  TPlace Place;
  const char* File;
  const char* Name;
  const char* Type;
  const char* Description;
  const char* Author;
  std::vector<TSampleMember> Members;
  const char* Date = ""; // repository samples: the date the page gives
};

// The sample patches. Conflicts come from shared members: the two saber blades of each game
// share "3do\mat\saberblade.mat" (one of them active), the two Halvex skins share "3do\hero.3do"
// (both inactive), and the golden blade in the ZIP archive shares the blade with the active one.
const std::vector<TSample>& Samples() {
  static const std::vector<TSample> samples = {
      {0,
       plActive,
       "azureblade.gob",
       "Azure Saber Blade",
       "Saber",
       "A cool blue blade with a soft white core and a longer glow.",
       "Tamsin Ardell",
       {{"3do\\mat\\saberblade.mat", ""}, {"3do\\mat\\saberglow.mat", ""}}},
      {0,
       plInactive,
       "crimsonblade.gob",
       "Crimson Saber Blade",
       "Saber",
       "A deep red blade that flickers when it strikes.",
       "Oren Vask",
       {{"3do\\mat\\saberblade.mat", ""}, {"3do\\mat\\sabertip.mat", ""}}},
      {0,
       plActive,
       "forcepushplus.gob",
       "Force Push Plus",
       "Force",
       "Force Push reaches twice as far and knocks enemies off their feet.",
       "Mira Solberg",
       {{"cog\\force_push.cog", ""}}},
      {0,
       plInactive,
       "swiftrun.gob",
       "Swift Run",
       "Force",
       "Force Speed lasts twice as long and costs half the power.",
       "Mira Solberg",
       {{"cog\\force_speed.cog", ""}}},
      {0,
       plActive,
       "fieldmedkit.gob",
       "Field Medkit",
       "Item",
       "Medkits heal 50 points instead of 25 and come in a new green case.",
       "Jonah Breck",
       {{"cog\\item_medkit.cog", ""}, {"3do\\mat\\medkit.mat", ""}, {"3do\\medkit.3do", ""}}},
      {0,
       plInactive,
       "hoodedcloak.gob",
       "Hooded Cloak",
       "Skin",
       "Dresses the hero in a long travelling cloak with a deep hood.",
       "Ilse Navarre",
       {{"3do\\hero.3do", ""}, {"3do\\mat\\hero_cloak.mat", ""}}},
      {0,
       plInactive,
       "nightstalker.gob",
       "Night Stalker",
       "Skin",
       "Black armour with dim red lenses, for players who like to stay unseen.",
       "Ilse Navarre",
       {{"3do\\hero.3do", ""}, {"3do\\mat\\hero_night.mat", ""}}},
      {0,
       plInactive,
       "heavyrepeater.gob",
       "Heavy Repeater",
       "Weapon",
       "The repeater fires slower but each bolt hits much harder.",
       "Jonah Breck",
       {{"cog\\weap_repeater.cog", ""}, {"3do\\repeater.3do", ""}, {"sound\\repeat01.wav", ""}}},
      {1,
       plActive,
       "frostblade.gob",
       "Frost Blade",
       "Saber",
       "An ice-white blade that leaves a trail of frost.",
       "Tamsin Ardell",
       {{"3do\\mat\\saberblade.mat", ""}}},
      {1,
       plInactive,
       "emberblade.gob",
       "Ember Blade",
       "Saber",
       "An orange blade that sheds sparks as it swings.",
       "Oren Vask",
       {{"3do\\mat\\saberblade.mat", ""}, {"3do\\mat\\sparks.mat", ""}}},
      {1,
       plActive,
       "wanderer.gob",
       "Wanderer",
       "Skin",
       "A weathered pilot's jacket and a scarf that moves in the wind.",
       "Ilse Navarre",
       {{"3do\\hero.3do", ""}, {"3do\\mat\\wanderer.mat", ""}}},
      {1,
       plInactive,
       "quickdraw.gob",
       "Quick Draw",
       "Weapon",
       "The pistol comes out in half the time.",
       "Jonah Breck",
       {{"cog\\weap_pistol.cog", ""}}},
      {0,
       plDownloads,
       "stormcaller.gob",
       "Storm Caller",
       "Force",
       "Force Lightning arcs to a second enemy close by.",
       "Mira Solberg",
       {{"cog\\force_lightning.cog", ""}, {"3do\\mat\\lightning.mat", ""}}},
      {0,
       plDownloads,
       "cavernrun.gob",
       "Cavern Run",
       "Other",
       "A short episode of three levels deep under the northern cliffs.",
       "Petra Lind",
       {{"episode.hx", "EPISODE \"Cavern Run\"\r\nLEVELS 3\r\n1: cavern1.hxl\r\n2: cavern2.hxl\r\n"
                       "3: cavern3.hxl\r\n"},
        {"hxl\\cavern1.hxl", ""},
        {"hxl\\cavern2.hxl", ""},
        {"hxl\\cavern3.hxl", ""}}},
      // The demo repositories' patches (the saber blades conflict with the stores' ones).
      {0,
       plRepository,
       "twinsuns.gob",
       "Twin Suns Blade",
       "Saber",
       "A blade of pale gold that glows brighter as it swings.",
       "Tamsin Ardell",
       {{"3do\\mat\\saberblade.mat", ""}, {"3do\\mat\\twinsuns.mat", ""}},
       "2024-05-18"},
      {0,
       plRepository,
       "violetedge.gob",
       "Violet Edge",
       "Saber",
       "A violet blade with a thin dark core.",
       "Oren Vask",
       {{"3do\\mat\\saberblade.mat", ""}},
       "2023-11-02"},
      {0,
       plRepository,
       "steadygrip.gob",
       "Steady Grip",
       "Force",
       "Force Grip holds twice as long and no longer drains power while held.",
       "Mira Solberg",
       {{"cog\\force_grip.cog", ""}},
       "2024-02-09"},
      {0,
       plRepository,
       "holocronfinder.gob",
       "Holocron Finder",
       "Item",
       "The map shows where the level's hidden holocrons lie.",
       "Jonah Breck",
       {{"cog\\item_holocron.cog", ""}, {"3do\\mat\\holocron.mat", ""}},
       "2023-08-27"},
      {0,
       plRepository,
       "desertnomad.gob",
       "Desert Nomad",
       "Skin",
       "Sand-coloured robes and goggles for long walks in the dunes.",
       "Ilse Navarre",
       {{"3do\\hero.3do", ""}, {"3do\\mat\\hero_desert.mat", ""}},
       "2024-06-30"},
      {0,
       plRepository,
       "thermalplus.gob",
       "Thermal Detonator Plus",
       "Weapon",
       "Thermal detonators throw further and bounce once before they go off.",
       "Jonah Breck",
       {{"cog\\weap_thermal.cog", ""}},
       "2022-12-14"},
      {1,
       plRepository,
       "glacierblade.gob",
       "Glacier Blade",
       "Saber",
       "A blue-white blade that hums like wind over ice.",
       "Tamsin Ardell",
       {{"3do\\mat\\saberblade.mat", ""}},
       "2024-04-04"},
      {1,
       plRepository,
       "scoutjacket.gob",
       "Scout Jacket",
       "Skin",
       "A short padded jacket with many pockets.",
       "Ilse Navarre",
       {{"3do\\hero.3do", ""}, {"3do\\mat\\scout.mat", ""}},
       "2023-10-21"},
      {1,
       plRepository,
       "deepbreath.gob",
       "Deep Breath",
       "Force",
       "Force Persuasion lasts longer and makes no sound.",
       "Mira Solberg",
       {{"cog\\force_persuasion.cog", ""}},
       "2024-01-15"},
      {1,
       plRepository,
       "fieldrations.gob",
       "Field Rations",
       "Item",
       "Rations restore a little health and shield over ten seconds.",
       "Jonah Breck",
       {{"cog\\item_rations.cog", ""}},
       "2022-07-08"},
  };
  return samples;
}

// The patches packed into the sample ZIP archive (with a read-me beside them).
const std::vector<TSample>& ZipSamples() {
  static const std::vector<TSample> samples = {
      {0,
       plDownloads,
       "goldenblade.gob",
       "Golden Saber Blade",
       "Saber",
       "A warm golden blade with a bright white edge.",
       "Tamsin Ardell",
       {{"3do\\mat\\saberblade.mat", ""}, {"3do\\mat\\saberglow.mat", ""}}},
      {0,
       plDownloads,
       "saberhum.gob",
       "Deep Saber Hum",
       "Saber",
       "A lower, fuller hum for every saber.",
       "Petra Lind",
       {{"sound\\saberhum.wav", ""}}},
  };
  return samples;
}

const char* const kZipName = "saberpack.zip";
const char* const kZipFolder = "Saber Pack/";
const char* const kZipReadme =
    "Saber Pack\r\n\r\nTwo saber patches for Halvex: a golden blade and a deeper hum.\r\n"
    "Add this archive to Dravik as it is: it installs both patches.\r\n";

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// Made-up contents for a sample member, telling what it stands for.
std::vector<uint8_t> MemberBytes(const TSample& sample, const TSampleMember& member) {
  if (*member.Text) return Bytes(member.Text);
  std::string name = member.Name;
  std::string ext = name.substr(name.rfind('.') + 1);
  if (ext == "cog")
    return Bytes(Format("# %s: %s\r\n# A script of the demo patch \"%s\".\r\n\r\nsymbols\r\n"
                        "message startup\r\nend\r\n\r\ncode\r\nstartup:\r\n  return;\r\nend\r\n",
                        ExtractFileName(name), sample.Name, sample.Name));
  return Bytes(Format("DEMO %s\r\n%s of the demo patch \"%s\".\r\n", ext, name, sample.Name));
}

std::string Descriptor(const TSample& sample) {
  return Format("Name=%s\r\nType=%s\r\nDescription=%s\r\nAuthor=%s\r\n", sample.Name, sample.Type,
                sample.Description, sample.Author);
}

// Writes a sample as a GOB archive at `winPath`.
void WritePatch(const std::string& winPath, const TSample& sample) {
  std::vector<std::unique_ptr<TGOBThing>> things;
  TGOBWriteList list;
  auto add = [&](const std::string& folder, const std::string& name, std::vector<uint8_t> data) {
    auto thing = std::make_unique<TGOBThing>();
    thing->Name = name;
    thing->Length = static_cast<int32_t>(data.size());
    thing->Data = std::move(data);
    list.emplace_back(folder, thing.get());
    things.push_back(std::move(thing));
  };
  add("", "patchinfo.txt", Bytes(Descriptor(sample)));
  for (const TSampleMember& member : sample.Members) {
    std::string name = member.Name;
    size_t slash = name.rfind('\\');
    std::string folder = slash == std::string::npos ? "" : name.substr(0, slash + 1);
    add(folder, name.substr(folder.size()), MemberBytes(sample, member));
  }
  WriteGOB(winPath, list);
}

// Makes every missing level of a Windows folder path ("C:\a\b\").
void MakeFolders(const std::string& winPath) {
  for (size_t at = winPath.find('\\', 3); at != std::string::npos;
       at = winPath.find('\\', at + 1)) {
    std::string folder = winPath.substr(0, at);
    if (!winfs::DirectoryExists(folder) && !winfs::CreateDir(folder))
      throw Exception(Format("Cannot create folder %s: %s", folder, winfs::LastErrorText()));
  }
}

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

// Writes the sample at `winPath` unless the user still has it somewhere (both store folders
// count, so a patch the user switched on or off stays where it is).
bool PutSample(const std::string& winPath, const std::vector<std::string>& alsoAt,
               const TSample& sample) {
  if (winfs::FileExists(winPath)) return false;
  for (const std::string& other : alsoAt)
    if (winfs::FileExists(other)) return false;
  WritePatch(winPath, sample);
  return true;
}

void WriteZip(const std::string& winPath) {
  std::string temp = winfs::MakeTempDir();
  if (temp.empty())
    throw Exception(Format("Cannot make a temporary folder: %s", winfs::LastErrorText()));
  TZipMembers members;
  {
    // A leftover goes with the temporary folder at exit; an error on the way is the one to tell.
    TScopeExit removeTemp([&temp] { (void)winfs::RemoveTree(temp); });
    for (const TSample& sample : ZipSamples()) {
      WritePatch(temp + sample.File, sample);
      members.emplace_back(std::string(kZipFolder) + sample.File,
                           ReadFileBytes(temp + sample.File));
    }
  }
  members.emplace_back(std::string(kZipFolder) + "readme.txt", Bytes(kZipReadme));
  std::vector<uint8_t> zip = MakeStoredZip(members);
  WriteFileAtomically(winPath, zip.data(), static_cast<int64_t>(zip.size()));
}

// -- The demo repositories -----------------------------------------------------------------------

// A game's repository folder: "C:\Repository\halvex\".
std::string RepositoryFolder(const TCatalogueGame& game) {
  return kDemoRepository + LowerCase(game.AppName) + "\\";
}

// The address a game's repository page has in the games' repository lists.
std::string RepositoryURL(const TCatalogueGame& game, const std::string& page) {
  return "file:///C:/Repository/" + LowerCase(game.AppName) + "/" + page;
}

struct TRepositoryRow {
  std::string Link, Name, Type, Date, Description;
  int64_t Size = 0;
};

// A repository page: a greeting, then the table whose header row names the columns.
std::string RepositoryPage(const std::string& title, const std::string& greeting,
                           const std::vector<TRepositoryRow>& rows) {
  std::string page = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>" +
                     HTMLEscape(title) + "</title>\n</head>\n<body>\n" + greeting +
                     "\n<table border=\"1\" cellpadding=\"2\">\n"
                     "<tr><td width=\"30%\">Name</td><td width=\"10%\">Type</td>"
                     "<td width=\"10%\">Size</td><td width=\"14%\">Date</td>"
                     "<td width=\"36%\">Description</td></tr>\n";
  for (const TRepositoryRow& row : rows)
    page += Format("<tr><td><a href=\"%s\">%s</a></td><td>%s</td><td>%lld KB</td><td>%s</td>"
                   "<td>%s</td></tr>\n",
                   HTMLEscape(row.Link), HTMLEscape(row.Name), HTMLEscape(row.Type),
                   (long long)((row.Size + 1023) / 1024), HTMLEscape(row.Date),
                   HTMLEscape(row.Description));
  page += "</table>\n<p>Written by dravik-demo-prefix.</p>\n</body>\n</html>\n";
  return page;
}

void WriteText(const std::string& winPath, const std::string& text) {
  WriteFileAtomically(winPath, text.data(), static_cast<int64_t>(text.size()));
}

// Writes a game's repository: its patches (when missing), the ZIP archive beside them (Halvex),
// the page listing them all, and a second page of the sabers alone one folder down. Returns
// the number of patch files written.
int WriteRepository(const TCatalogueGame& game) {
  const std::string folder = RepositoryFolder(game);
  MakeFolders(folder + "patches\\");
  MakeFolders(folder + "lists\\");
  int written = 0;
  std::vector<TRepositoryRow> rows, sabers;
  for (const TSample& sample : Samples()) {
    if (sample.Game != game.Number || sample.Place != plRepository) continue;
    const std::string path = folder + "patches\\" + sample.File;
    written += PutSample(path, {}, sample);
    TRepositoryRow row{std::string("patches/") + sample.File,
                       sample.Name,
                       sample.Type,
                       sample.Date,
                       sample.Description,
                       winfs::FileSize(path)};
    rows.push_back(row);
    if (row.Type == "Saber") {
      row.Link = "../" + row.Link;
      sabers.push_back(row);
    }
  }
  if (game.Number == 0) {
    const std::string zip = folder + kZipName;
    if (!winfs::FileExists(zip)) {
      WriteZip(zip);
      ++written;
    }
    TRepositoryRow pack{kZipName,
                        "Saber Pack",
                        "Saber",
                        "2024-03-14",
                        "Golden Saber Blade and Deep Saber Hum in one ZIP archive.",
                        winfs::FileSize(zip)};
    rows.push_back(pack);
    pack.Link = "../" + pack.Link;
    sabers.push_back(pack);
  }
  const std::string name = game.AppName;
  WriteText(folder + "index.html",
            RepositoryPage(
                "Dravik Demo Repository: " + name,
                "<p><b>Dravik Demo Repository</b> for " + name +
                    ". These patches are kept inside the demo prefix, so this repository works "
                    "without a network.<br>\nSelect patches and choose Install, double-click one, "
                    "or drag them onto the patch list. See also <a href=\"lists/sabers.html\">the "
                    "sabers alone</a>.</p>",
                rows));
  WriteText(folder + "lists\\sabers.html",
            RepositoryPage("Dravik Demo Sabers: " + name,
                           "<p><b>Dravik Demo Sabers</b> for " + name +
                               ": the saber patches of the demo repository, on a page of their "
                               "own.<br>\nBack to <a href=\"../index.html\">all patches</a>.</p>",
                           sabers));
  return written;
}

// Lists each game's two demo repository pages among its repositories, unless the player has
// an entry of that name.
void RegisterRepositories() {
  TRegistry reg(HKEY_LOCAL_MACHINE);
  for (const TCatalogueGame& game : CatalogueGames()) {
    const std::string key =
        std::string("\\") + kCatalogueKey32 + "\\" + std::to_string(game.Number) + "\\Repositories";
    if (!reg.OpenKey(key, true)) throw ERegistryException(Format("Cannot create the key %s", key));
    const std::pair<std::string, std::string> entries[] = {
        {"Dravik Demo Repository", RepositoryURL(game, "index.html")},
        {"Dravik Demo Sabers", RepositoryURL(game, "lists/sabers.html")}};
    for (const auto& [name, url] : entries)
      if (!reg.ValueExists(name)) reg.WriteString(name, url);
    reg.CloseKey();
  }
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
