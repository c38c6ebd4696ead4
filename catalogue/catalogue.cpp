#include "catalogue.h"

#include "platform/registry.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"

namespace dravik {

// The games' icons, compiled in from resources/icons/ (gameicons.cpp is generated).
extern const unsigned char kHalvexIco[];
extern const size_t kHalvexIcoSize;
extern const unsigned char kMorvaneIco[];
extern const size_t kMorvaneIcoSize;

const char* const kCatalogueKey32 = "Software\\Wow6432Node\\Orlemont\\HXPatch\\Applications";
const char* const kCatalogueKey = "Software\\Orlemont\\HXPatch\\Applications";
const char* const kDirectPlayKey = "Software\\Microsoft\\DirectPlay\\Applications";

const std::vector<TCatalogueGame>& CatalogueGames() {
  static const std::vector<TCatalogueGame> games = {
      {0, "Halvex", "Halvex", "Halvex Demo", "*.gob",
       std::vector<uint8_t>(kHalvexIco, kHalvexIco + kHalvexIcoSize), "C:\\Games\\Halvex\\",
       "halvex.exe"},
      {1, "Morvane", "Morvane", "Morvane Demo", "*.gob",
       std::vector<uint8_t>(kMorvaneIco, kMorvaneIco + kMorvaneIcoSize), "C:\\Games\\Morvane\\",
       "morvane.exe"},
  };
  return games;
}

void WriteCatalogue(TRegistry& reg, const std::string& key) {
  for (const TCatalogueGame& game : CatalogueGames()) {
    const std::string gameKey = "\\" + key + "\\" + std::to_string(game.Number);
    if (!reg.OpenKey(gameKey, true))
      throw ERegistryException(Format("Cannot create the key %s", gameKey));
    reg.WriteString("AppName", game.AppName);
    reg.WriteString("DirectPlay Name", game.DirectPlayName);
    reg.WriteString("DirectPlay Demo Name", game.DirectPlayDemoName);
    reg.WriteString("Patch Filter", game.PatchFilter);
    reg.WriteBinaryData("Icon", game.Icon.data(), static_cast<int>(game.Icon.size()));
    if (!reg.OpenKey(gameKey + "\\Repositories", true))
      throw ERegistryException(Format("Cannot create the key %s\\Repositories", gameKey));
    reg.CloseKey();
  }
}

void WriteRegistration(TRegistry& reg, const std::string& appsKey, const TCatalogueGame& game,
                       const std::string& folder) {
  const std::string key = "\\" + appsKey + "\\" + game.DirectPlayName;
  if (!reg.OpenKey(key, true)) throw ERegistryException(Format("Cannot create the key %s", key));
  reg.WriteString("Path", folder);
  reg.WriteString("File", game.ExeName);
  reg.WriteString("CurrentDirectory", folder);
  if (!reg.ValueExists("CommandLine")) reg.WriteString("CommandLine", "");
  reg.CloseKey();
}

std::vector<const TCatalogueGame*> GamesInFolder(const std::string& winFolder) {
  std::string folder = winFolder;
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  std::vector<const TCatalogueGame*> found;
  for (const TCatalogueGame& game : CatalogueGames())
    if (winfs::FileExists(folder + game.ExeName)) found.push_back(&game);
  return found;
}

const TCatalogueGame* GameOfProgram(const std::string& fileName) {
  for (const TCatalogueGame& game : CatalogueGames())
    if (SameText(fileName, game.ExeName)) return &game;
  return nullptr;
}

std::string KnownProgramsText() {
  std::string text;
  const std::vector<TCatalogueGame>& games = CatalogueGames();
  for (size_t i = 0; i < games.size(); ++i)
    text += (i == 0                  ? ""
             : i + 1 == games.size() ? " or "
                                     : ", ") +
            games[i].ExeName + " (" + games[i].AppName + ")";
  return text;
}

void SetUpGame(const TCatalogueGame& game, const std::string& winFolder) {
  std::string folder = winFolder;
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  // The plain paths, as a 32-bit program names them: the store redirects them as Wine does.
  TRegistry reg(HKEY_LOCAL_MACHINE);
  WriteCatalogue(reg, kCatalogueKey);
  WriteRegistration(reg, kDirectPlayKey, game, folder);
}

namespace {

// A string as .reg files quote it.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// hex:01,02,... wrapped as regedit wraps it: a backslash ends each full line, the next begins
// with two blanks.
std::string HexValue(const std::string& name, const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out = Quoted(name) + "=hex:";
  size_t column = out.size();
  for (size_t i = 0; i < bytes.size(); ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
    column += 2;
    if (i + 1 == bytes.size()) break;
    out += ',';
    ++column;
    if (column >= 76) {
      out += "\\\r\n  ";
      column = 2;
    }
  }
  return out + "\r\n";
}

} // namespace

std::string CatalogueRegText() {
  std::string text =
      "REGEDIT4\r\n\r\n"
      "; The games Dravik manages. Import with: wine regedit dravik-catalogue.reg\r\n"
      "; The catalogue stands in the 32-bit view of the registry, where Dravik, a\r\n"
      "; 32-bit Windows program, looks for it (Wow6432Node in a 64-bit prefix), and\r\n"
      "; again at the plain path for 32-bit prefixes.\r\n";
  for (const char* key : {kCatalogueKey32, kCatalogueKey}) {
    for (const TCatalogueGame& game : CatalogueGames()) {
      const std::string gameKey =
          std::string("HKEY_LOCAL_MACHINE\\") + key + "\\" + std::to_string(game.Number);
      text += "\r\n[" + gameKey + "]\r\n";
      text += Quoted("AppName") + "=" + Quoted(game.AppName) + "\r\n";
      text += Quoted("DirectPlay Name") + "=" + Quoted(game.DirectPlayName) + "\r\n";
      text += Quoted("DirectPlay Demo Name") + "=" + Quoted(game.DirectPlayDemoName) + "\r\n";
      text += Quoted("Patch Filter") + "=" + Quoted(game.PatchFilter) + "\r\n";
      text += HexValue("Icon", game.Icon);
      text += "\r\n[" + gameKey + "\\Repositories]\r\n";
    }
  }
  return text;
}

} // namespace dravik
