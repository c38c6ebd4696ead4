#include "prefixsearch.h"

#include "hostfile.h"
#include "sysutils.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>

namespace dravik {

namespace fs = std::filesystem;

namespace {

// Bounds that keep a look at a large or odd tree short.
constexpr int kMaxProgramDepth = 5; // folders below drive_c
constexpr int kMaxEntriesPerPrefix = 20000;
constexpr int kMaxFoldersPerPlace = 2000; // folders one "*" stands for
constexpr int kMaxLutrisConfigs = 1000;
constexpr std::streamsize kMaxLutrisConfigSize = 256 * 1024;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value && value[0] == '/' ? std::string(value) : std::string();
}

std::string Home() {
  std::string home = Environment("HOME");
  while (home.size() > 1 && home.back() == '/')
    home.pop_back();
  return home;
}

// The sub-folders of `folder` (symbolic links to folders included), by name.
std::vector<fs::path> SubFolders(const fs::path& folder) {
  std::vector<fs::path> found;
  std::error_code ec;
  fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
  for (int n = 0; !ec && it != fs::directory_iterator() && n < kMaxFoldersPerPlace;
       it.increment(ec), ++n)
    if (host::IsFolder(it->path())) found.push_back(it->path());
  std::sort(found.begin(), found.end());
  return found;
}

// The folders a place stands for.
std::vector<fs::path> Expand(const std::string& place) {
  std::vector<fs::path> paths = {"/"};
  for (const fs::path& part : fs::path(place).relative_path()) {
    std::vector<fs::path> next;
    for (const fs::path& p : paths) {
      if (part == "*") {
        for (fs::path& sub : SubFolders(p))
          next.push_back(std::move(sub));
      } else if (host::IsFolder(p / part)) {
        next.push_back(p / part);
      }
    }
    paths = std::move(next);
  }
  return paths;
}

// A value of a YAML line "prefix: <value>", without quotes; "" for any other line.
std::string LutrisPrefixValue(const std::string& line, const std::string& home) {
  std::string text = Trim(line);
  if (text.rfind("prefix:", 0) != 0) return std::string();
  std::string value = Trim(text.substr(7));
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
    value = value.substr(1, value.size() - 2);
  if (value.rfind("~/", 0) == 0) value = home + value.substr(1);
  // "$GAMEDIR" and other unexpanded or relative values name nothing we can find.
  return !value.empty() && value[0] == '/' && value.find('*') == std::string::npos ? value
                                                                                   : std::string();
}

// The prefixes Lutris's game configurations name (each game's "prefix:"), as written there.
std::vector<std::string> LutrisConfiguredPrefixes(const std::vector<std::string>& configFolders,
                                                  const std::string& home) {
  std::vector<std::string> prefixes;
  int files = 0;
  for (const std::string& folder : configFolders) {
    std::error_code ec;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    std::vector<fs::path> configs;
    for (; !ec && it != fs::directory_iterator() && files < kMaxLutrisConfigs; it.increment(ec)) {
      if (it->path().extension() != ".yml" || !it->is_regular_file(ec)) continue;
      configs.push_back(it->path());
      ++files;
    }
    std::sort(configs.begin(), configs.end());
    for (const fs::path& config : configs) {
      std::ifstream in(config);
      std::string line;
      std::streamsize read = 0;
      while (read < kMaxLutrisConfigSize && std::getline(in, line)) {
        read += static_cast<std::streamsize>(line.size()) + 1;
        std::string value = LutrisPrefixValue(line, home);
        if (!value.empty() && std::find(prefixes.begin(), prefixes.end(), value) == prefixes.end())
          prefixes.push_back(value);
      }
    }
  }
  return prefixes;
}

} // namespace

std::vector<std::string> UsualPrefixPlaces() {
  const std::string home = Home();
  if (home.empty()) return {};
  std::string dataHome = Environment("XDG_DATA_HOME");
  if (dataHome.empty()) dataHome = home + "/.local/share";
  std::string configHome = Environment("XDG_CONFIG_HOME");
  if (configHome.empty()) configHome = home + "/.config";
  const std::string flatpak = home + "/.var/app/";
  std::vector<std::string> places = {
      home + "/.wine",
      // Lutris: a game's folder is usually its prefix, sometimes a sub-folder of it, and some
      // installers keep games by store ("~/Games/gog/<game>").
      home + "/Games/*",
      home + "/Games/*/*",
      // Bottles, installed from the distribution and from Flathub.
      dataHome + "/bottles/bottles/*",
      flatpak + "com.usebottles.bottles/data/bottles/bottles/*",
      // Steam's compatibility prefixes, one per game ("~/.steam/steam" usually links to the first).
      home + "/.local/share/Steam/steamapps/compatdata/*/pfx",
      home + "/.steam/steam/steamapps/compatdata/*/pfx",
      flatpak + "com.valvesoftware.Steam/.local/share/Steam/steamapps/compatdata/*/pfx",
      home + "/.PlayOnLinux/wineprefix/*",
      home + "/Games/Heroic/Prefixes/default/*",
  };
  for (std::string& prefix :
       LutrisConfiguredPrefixes({configHome + "/lutris/games", dataHome + "/lutris/games",
                                 flatpak + "net.lutris.Lutris/config/lutris/games",
                                 flatpak + "net.lutris.Lutris/data/lutris/games"},
                                home))
    if (std::find(places.begin(), places.end(), prefix) == places.end())
      places.push_back(std::move(prefix));
  return places;
}

std::string ShortHostPath(const std::string& hostPath) {
  const std::string home = Home();
  if (home.size() > 1 && hostPath.rfind(home, 0) == 0 &&
      (hostPath.size() == home.size() || hostPath[home.size()] == '/'))
    return std::string("~").append(hostPath, home.size());
  return hostPath;
}

bool IsWinePrefixFolder(const std::string& hostPath) {
  std::error_code ec;
  return fs::is_directory(fs::path(hostPath) / "drive_c", ec) &&
         fs::is_regular_file(fs::path(hostPath) / "system.reg", ec);
}

std::vector<std::string> FindProgramsInPrefix(const std::string& prefix,
                                              const std::vector<std::string>& fileNames) {
  std::set<size_t> found;
  int entries = 0;
  std::vector<std::pair<fs::path, int>> folders = {{fs::path(prefix) / "drive_c", 0}};
  while (!folders.empty() && entries < kMaxEntriesPerPrefix && found.size() < fileNames.size()) {
    auto [folder, depth] = folders.back();
    folders.pop_back();
    std::error_code ec;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::directory_iterator() && entries < kMaxEntriesPerPrefix;
         it.increment(ec), ++entries) {
      const fs::file_status status = it->symlink_status(ec);
      if (ec) break;
      const std::string name = it->path().filename().string();
      if (fs::is_directory(status)) {
        if (depth < kMaxProgramDepth && !(depth == 0 && SameText(name, "windows")))
          folders.emplace_back(it->path(), depth + 1);
      } else if (fs::is_regular_file(status)) {
        for (size_t i = 0; i < fileNames.size(); ++i)
          if (SameText(name, fileNames[i])) found.insert(i);
      }
    }
  }
  std::vector<std::string> names;
  for (size_t i : found)
    names.push_back(fileNames[i]);
  return names;
}

std::vector<TFoundPrefix> FindGamePrefixes(const std::vector<std::string>& places,
                                           const std::vector<std::string>& fileNames) {
  std::vector<TFoundPrefix> found;
  std::set<fs::path> seen;
  for (const std::string& place : places) {
    for (const fs::path& path : Expand(place)) {
      std::error_code ec;
      fs::path identity = fs::canonical(path, ec);
      if (ec || !seen.insert(identity).second) continue;
      const std::string prefix = path.string();
      if (!IsWinePrefixFolder(prefix)) continue;
      std::vector<std::string> programs = FindProgramsInPrefix(prefix, fileNames);
      if (!programs.empty()) found.push_back({prefix, std::move(programs)});
    }
  }
  return found;
}

} // namespace dravik
