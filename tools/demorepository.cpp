#include "demorepository.h"

#include "catalogue/catalogue.h"
#include "demoprefix.h"
#include "demosamples.h"
#include "platform/htmlparser.h"
#include "platform/registry.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"

namespace dravik::demo {

namespace {

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

} // namespace

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

} // namespace dravik::demo
