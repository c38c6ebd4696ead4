#include "patches/downloader.h"
#include "platform/sysutils.h"
#include "storetest.h"
#include "tests/fixtures/gobmaker.h"
#include "tests/fixtures/lnkwriter.h"
#include "tests/fixtures/zipmaker.h"

#include <algorithm>
#include <filesystem>
#include <map>

using namespace dravik;
using namespace dravik::test;
namespace fs = std::filesystem;

namespace {

// Serves host files by URL into the program's temporary folder, as the retriever would; any
// other URL fails as a missing page, "cancel" as a cancelled download.
class TFakeDownloader : public TDownloader {
public:
  std::map<std::string, std::string> Files; // URL -> host file
  std::vector<std::string> Asked;

  int Discarded = 0;

  TDownload Download(const std::string& url) override {
    Asked.push_back(url);
    if (url == "cancel") return {};
    // "broken:URL" breaks off after part of the file; Resume then brings URL's file.
    if (url.starts_with("broken:")) {
      FBroken = url.substr(7);
      return {"", "Connection reset by peer", true};
    }
    auto it = Files.find(url);
    if (it == Files.end()) return {"", "HTTP/1.1 404 Not Found"};
    const std::string local = winfs::GetTempPath() + url.substr(url.rfind('/') + 1);
    fs::copy_file(it->second, winfs::ToHostPath(local), fs::copy_options::overwrite_existing);
    return {local, ""};
  }
  TDownload Resume() override { return Download(FBroken); }
  void DiscardPartial() override { ++Discarded; }

private:
  std::string FBroken;
};

class Installer : public Store {
protected:
  TTempDir src;
  TFakeDownloader downloader;

  void SetUp() override {
    Store::SetUp();
    app->OpenStore();
  }
  TInstallReport InstallWithDownloads(const std::vector<std::string>& winPaths) {
    return TInstaller(*app, &downloader).InstallFiles(winPaths);
  }
  std::string Src(const std::string& name) { return src.Path() + "/" + name; }
  static std::vector<TInstallOutcome> Outcomes(const TInstallReport& report) {
    std::vector<TInstallOutcome> r;
    for (const TInstallResult& result : report)
      r.push_back(result.Outcome);
    return r;
  }
  // The program's temporary folder holds nothing but empty folders.
  static void ExpectNoTemporaryFiles() {
    const std::string temp = winfs::ToHostPath(winfs::GetTempPath());
    for (const auto& e : fs::recursive_directory_iterator(temp))
      EXPECT_TRUE(e.is_directory()) << e.path();
  }
};

TEST_F(Installer, ZipArchivesInstallEachPatchOnceAndLeaveNothingBehind) {
  MakeHostDirs(Src("pack/one"));
  MakeHostDirs(Src("pack/two"));
  game.WritePatch(Src("pack/one/a.gob"), {"a.mat"}, "From one");
  game.WritePatch(Src("pack/two/a.gob"), {"a2.mat"}, "From two");
  game.WritePatch(Src("pack/B.GOB"), {"b.mat"});
  WriteHostFile(Src("pack/readme.txt"), "read me");
  RunIn(src.Path(), "zip -qr pack.zip pack");
  // A file of the same name beside the archive is not touched.
  game.WritePatch(Src("a.gob"), {"beside.mat"});
  std::string beside = ReadHostFile(Src("a.gob"));
  TInstallReport report = Install({W(Src("pack.zip"))});
  EXPECT_EQ(Listed(), (std::vector<std::string>{"B.GOB", "a.gob"})); // by name: "B", "From one"
  EXPECT_EQ(app->Patches[Position("a.gob")]->Name, "From one");
  EXPECT_EQ(ReadHostFile(Src("a.gob")), beside);
  EXPECT_TRUE(dialogs.Asked().empty());
  // Entries are named by the archive (outside the prefix's drives, by its Linux path); the
  // second a.gob finds no file and is skipped.
  ASSERT_EQ(report.size(), 3u);
  EXPECT_EQ(report[0].Name, "pack/one/a.gob in " + Src("pack.zip"));
  EXPECT_EQ(Outcomes(report), (std::vector<TInstallOutcome>{ioInstalled, ioSkipped, ioInstalled}));
  EXPECT_EQ(FailureMessage(report), "");
  // The private extraction folder is gone.
  ExpectNoTemporaryFiles();

  // Python's zipfile writing to a pipe puts the sizes after the data; such archives install too.
  game.WritePatch(Src("c.gob"), {"c.mat"});
  RunPython(src.Path(), "import zipfile, sys\n"
                        "with open('piped.zip', 'wb') as raw:\n"
                        "    class Pipe:\n"
                        "        def write(self, b): return raw.write(b)\n"
                        "        def flush(self): pass\n"
                        "    with zipfile.ZipFile(Pipe(), 'w', zipfile.ZIP_DEFLATED) as z:\n"
                        "        z.write('c.gob', 'dir/c.gob')\n");
  Install({W(Src("piped.zip"))});
  EXPECT_NE(Position("c.gob"), -1);
}

TEST_F(Installer, WhatIsNoPatchOrMissingIsSkippedAndADamagedZipFails) {
  WriteHostFile(Src("notes.txt"), "hello");
  WriteHostFile(Src("bad.zip"), std::string("PK\x03\x04garbage", 11));
  TInstallReport report = Install({W(Src("notes.txt")), W(Src("missing.gob")), W(Src("bad.zip"))});
  EXPECT_EQ(Outcomes(report), (std::vector<TInstallOutcome>{ioSkipped, ioSkipped, ioFailed}));
  EXPECT_TRUE(FailureMessage(report).starts_with("Cannot read " + Src("bad.zip") + ": Error "));
  EXPECT_EQ(app->Patches.Count(), 0);
  EXPECT_TRUE(dialogs.Asked().empty());
}

TEST_F(Installer, ShellLinksInstallTheirTargets) {
  game.WritePatch(Src("target.gob"), {"t.mat"});
  game.WritePatch(Src("zipped.gob"), {"z.mat"});
  RunIn(src.Path(), "zip -q linked.zip zipped.gob");
  WriteShellLink(Src("to patch.lnk"), {W(Src("target.gob")), "", "", false, false});
  WriteShellLink(Src("to zip.LNK"), {W(Src("linked.zip")), "", "", true, false});
  WriteShellLink(Src("to nothing.lnk"), {W(Src("gone.gob")), "", "", false, false});
  TInstallReport report =
      Install({W(Src("to patch.lnk")), W(Src("to zip.LNK")), W(Src("to nothing.lnk"))});
  EXPECT_EQ(Listed(), (std::vector<std::string>{"target.gob", "zipped.gob"}));
  EXPECT_EQ(FailureMessage(report), "");
}

TEST_F(Installer, InternetShortcutsDownloadTheirURLAndNameItInTheReport) {
  game.WritePatch(Src("served.gob"), {"s.mat"});
  downloader.Files["http://127.0.0.1/p/served.gob"] = Src("served.gob");
  WriteHostFile(Src("get.URL"), "[Other]\r\nURL=wrong\r\n[InternetShortcut]\r\nIconIndex="
                                "0\r\nurl = http://127.0.0.1/p/served.gob \r\n");
  WriteHostFile(Src("missing.url"), "[InternetShortcut]\r\nURL=http://127.0.0.1/p/gone.gob\r\n");
  WriteHostFile(Src("cancel.url"), "[InternetShortcut]\r\nURL=cancel\r\n");
  WriteHostFile(Src("empty.url"), "[InternetShortcut]\r\n");
  TInstallReport report = InstallWithDownloads(
      {W(Src("get.URL")), W(Src("missing.url")), W(Src("cancel.url")), W(Src("empty.url"))});
  EXPECT_EQ(downloader.Asked, (std::vector<std::string>{"http://127.0.0.1/p/served.gob",
                                                        "http://127.0.0.1/p/gone.gob", "cancel"}));
  EXPECT_EQ(Listed(), std::vector<std::string>{"served.gob"});
  ASSERT_EQ(report.size(), 4u);
  EXPECT_EQ(report[0].Name, "http://127.0.0.1/p/served.gob");
  EXPECT_EQ(Outcomes(report),
            (std::vector<TInstallOutcome>{ioInstalled, ioFailed, ioSkipped, ioFailed}));
  EXPECT_EQ(FailureMessage(report),
            "Not everything could be installed:\r\n"
            "Cannot download http://127.0.0.1/p/gone.gob: HTTP/1.1 404 Not Found\r\n"
            "Cannot install " +
                Src("empty.url") + ": it names no URL");
  ExpectNoTemporaryFiles(); // the download is deleted
  // Without a downloader a shortcut fails with a reason.
  EXPECT_EQ(Outcomes(Install({W(Src("get.URL"))})), std::vector<TInstallOutcome>{ioFailed});
}

TEST_F(Installer, ABrokenDownloadGoesOnWhenTheUserSaysSoAndWhatIsNoPatchIsSaid) {
  game.WritePatch(Src("served.gob"), {"s.mat"});
  WriteHostFile(Src("readme.txt"), "not a patch");
  downloader.Files = {{"http://h/served.gob", Src("served.gob")},
                      {"http://h/readme.txt", Src("readme.txt")}};
  dialogs.Answer(mrNo);
  dialogs.Answer(mrYes);
  TInstallReport report = TInstaller(*app, &downloader)
                              .InstallURLs({"broken:http://h/served.gob",
                                            "broken:http://h/served.gob", "http://h/readme.txt"});
  EXPECT_EQ(Outcomes(report), (std::vector<TInstallOutcome>{ioSkipped, ioInstalled, ioFailed}));
  EXPECT_EQ(downloader.Discarded, 1);
  EXPECT_EQ(dialogs.Asked().size(), 2u);
  EXPECT_TRUE(dialogs.Asked()[0].Text.starts_with("Connection reset by peer\r\n\r\nPart of"));
  EXPECT_EQ(Listed(), std::vector<std::string>{"served.gob"});
  EXPECT_EQ(FailureMessage(report), "readme.txt is not a patch file");
  ExpectNoTemporaryFiles();
}

TEST_F(Installer, ALoopOfLinksShortcutsAndArchivesEndsAtTheDepthLimit) {
  // An Internet shortcut whose address serves the same shortcut again.
  const std::string loopURL = "http://127.0.0.1/loop.url";
  WriteHostFile(Src("loop.url"), "[InternetShortcut]\r\nURL=" + loopURL + "\r\n");
  downloader.Files[loopURL] = Src("loop.url");
  TInstallReport report = InstallWithDownloads({W(Src("loop.url"))});
  EXPECT_EQ(downloader.Asked.size(), size_t(TInstaller::kMaxDepth));
  EXPECT_EQ(FailureMessage(report), "Cannot install " + loopURL +
                                        ": it leads through more than 8 shell links, Internet "
                                        "shortcuts or archives");
  ExpectNoTemporaryFiles();
  // A shell link to it counts as one step of the same chain.
  downloader.Asked.clear();
  WriteShellLink(Src("to loop.lnk"), {W(Src("loop.url")), "", "", false, false});
  InstallWithDownloads({W(Src("to loop.lnk"))});
  EXPECT_EQ(downloader.Asked.size(), size_t(TInstaller::kMaxDepth - 1));
  // A link that leads to itself.
  WriteShellLink(Src("self.lnk"), {W(Src("self.lnk")), "", "", false, false});
  report = Install({W(Src("self.lnk"))});
  ASSERT_EQ(Outcomes(report), std::vector<TInstallOutcome>{ioFailed});
  EXPECT_NE(report[0].Reason.find("more than 8 shell links"), std::string::npos);
}

TEST_F(Installer, WhatAZipCouldNotUnpackIsSaidOnceForTheArchive) {
  game.WritePatch(Src("ok.gob"), {"ok.mat"});
  WriteHostFile(Src("secret.gob"), MakePatchBytes({"s.mat"}));
  RunIn(src.Path(), "zip -q pack.zip ok.gob && zip -q -P pw pack.zip secret.gob");
  fs::create_symlink("/etc/hostname", Src("link.gob"));
  RunIn(src.Path(), "zip -q --symlinks pack.zip link.gob");
  RunPython(src.Path(), std::string(kPyZipHelpers) + R"(
import zipfile
with zipfile.ZipFile('pack.zip', 'a', zipfile.ZIP_DEFLATED) as z:
    z.writestr('big.gob', b'A' * 200000)
patch32('pack.zip', 22, 1000, nth=3)               # big.gob's declared size: local header
patch32('pack.zip', 24, 1000, central=True, nth=3) # and central directory
)");
  TInstallReport report = Install({W(Src("pack.zip"))});
  EXPECT_EQ(Listed(), std::vector<std::string>{"ok.gob"});
  const std::string message = FailureMessage(report);
  EXPECT_TRUE(message.starts_with("Not everything in " + Src("pack.zip") + " was unpacked:"))
      << message;
  for (const char* entry : {"secret.gob: encrypted", "link.gob: it is a symbolic link", "big.gob"})
    EXPECT_NE(message.find(entry), std::string::npos) << entry << " in " << message;
  EXPECT_EQ(std::count_if(report.begin(), report.end(),
                          [](const TInstallResult& r) { return r.Outcome == ioFailed; }),
            1); // one message for the archive, not one per entry
  ExpectNoTemporaryFiles();
}

TEST_F(Installer, FailuresOfOneInstallationMakeOneMessageByTheNamesTheUserKnows) {
  // Twenty-five patches in an archive, each blocked by a folder of its name in the store, and
  // one that is no archive at all.
  MakeHostDirs(Src("pack"));
  for (int i = 0; i < 25; ++i) {
    const std::string name = Format("p%02d.gob", i);
    game.WritePatch(Src("pack/" + name), {name + ".mat"});
    MakeHostDirs(game.InactiveHost(name) + "/inside");
  }
  WriteHostFile(Src("pack/junk.gob"), "not an archive");
  RunIn(src.Path(), "zip -q pack.zip pack/*.gob"); // junk.gob first, then p00.gob to p24.gob
  WriteHostFile(Src("dropped.gob"), "");
  TInstallReport report = Install({W(Src("pack.zip")), W(Src("dropped.gob"))});
  EXPECT_EQ(report.size(), 27u);
  EXPECT_EQ(app->Patches.Count(), 0);
  const std::string message = FailureMessage(report);
  const std::string archive = Src("pack.zip");
  EXPECT_TRUE(message.starts_with("Not everything could be installed:\r\n"
                                  "Cannot install pack/junk.gob in " +
                                  archive +
                                  ": it is not a GOB archive\r\n"
                                  "Cannot copy pack/p00.gob in " +
                                  archive + ": "))
      << message;
  EXPECT_TRUE(message.ends_with("\r\n... and 7 more")) << message;
  for (const std::string& temp : {winfs::GetTempPath(), winfs::ToHostPath(winfs::GetTempPath())})
    EXPECT_EQ(message.find(temp.substr(0, temp.size() - 1)), std::string::npos) << message;
  EXPECT_EQ(report[26].Reason,
            "Cannot install " + Src("dropped.gob") + ": it is not a GOB archive");
  EXPECT_TRUE(dialogs.Asked().empty());
}

} // namespace
