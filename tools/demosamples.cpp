#include "demosamples.h"

#include "gob/gobformat.h"
#include "platform/filestream.h"
#include "platform/scopeexit.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"
#include "zipwriter.h"

#include <memory>

namespace dravik::demo {

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

const char* const kZipName = "saberpack.zip";

namespace {

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

} // namespace

// Makes every missing level of a Windows folder path ("C:\a\b\").
void MakeFolders(const std::string& winPath) {
  for (size_t at = winPath.find('\\', 3); at != std::string::npos;
       at = winPath.find('\\', at + 1)) {
    std::string folder = winPath.substr(0, at);
    if (!winfs::DirectoryExists(folder) && !winfs::CreateDir(folder))
      throw Exception(Format("Cannot create folder %s: %s", folder, winfs::LastErrorText()));
  }
}

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

void WriteText(const std::string& winPath, const std::string& text) {
  WriteFileAtomically(winPath, text.data(), static_cast<int64_t>(text.size()));
}

} // namespace dravik::demo
