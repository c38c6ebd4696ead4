#include "installer.h"

#include "patches/downloader.h"
#include "patches/patchedapp.h"
#include "patches/zipmaster.h"
#include "platform/dialogs.h"
#include "platform/inifile.h"
#include "platform/scopeexit.h"
#include "platform/shelllink.h"
#include "platform/sysutils.h"
#include "platform/unzip.h"
#include "platform/winfs.h"

#include <utility>

namespace dravik {

namespace {

// `text` with every `path` in it (in either of the forms messages give it) put as `name`: the
// user knows the archive or the URL, not the private file it was unpacked or downloaded to.
std::string Naming(std::string text, const std::string& path, const std::string& name) {
  for (const std::string& form : {path, winfs::DisplayPath(path)}) {
    if (form == name || form.empty()) continue;
    for (size_t at = 0; (at = text.find(form, at)) != std::string::npos; at += name.size())
      text.replace(at, form.size(), name);
  }
  return text;
}

} // namespace

std::string ResolveShellLink(const std::string& path) {
  std::string target = ResolveShellLinkFile(path);
  if (target.size() > 260) target.resize(260);
  return target;
}

TInstaller::TInstaller(THXPatchedApp& game, TDownloader* downloader)
    : FGame(game), FDownloader(downloader) {}

TInstallReport TInstaller::InstallFiles(const std::vector<std::string>& paths) {
  for (const std::string& path : paths)
    InstallFile(path, winfs::DisplayPath(path), 0);
  return std::exchange(FReport, {});
}

TInstallReport TInstaller::InstallURLs(const std::vector<std::string>& urls) {
  for (const std::string& url : urls)
    InstallFromURL(url, 0);
  return std::exchange(FReport, {});
}

void TInstaller::Add(TInstallOutcome outcome, const std::string& name, const std::string& reason) {
  FReport.push_back({outcome, name, reason});
}

void TInstaller::InstallFile(const std::string& path, const std::string& name, int depth) {
  if (!winfs::FileExists(path)) {
    Add(ioSkipped, name, Format("There is no file %s", name));
    return;
  }
  const bool url = MatchesMask(path, "*.url");
  const bool link = !url && MatchesMask(path, "*.lnk");
  const bool zip = !url && !link && MatchesMask(path, "*.zip");
  if ((url || link || zip) && depth >= kMaxDepth) {
    Add(ioFailed, name,
        Format("Cannot install %s: it leads through more than %d shell links, Internet "
               "shortcuts or archives",
               name, kMaxDepth));
    return;
  }
  try {
    if (url) {
      InstallUrlShortcut(path, name, depth + 1);
    } else if (link) {
      const std::string target = ResolveShellLink(path);
      InstallFile(target, winfs::DisplayPath(target), depth + 1);
    } else if (zip) {
      InstallZip(path, name, depth + 1);
    } else if (MatchesMask(path, FGame.PatchFilter)) {
      if (FGame.InstallPatchFile(path))
        Add(ioInstalled, name, "");
      else
        Add(ioSkipped, name, Format("%s was not installed: the answer was No", name));
    } else {
      Add(ioSkipped, name, Format("%s is no patch, ZIP archive or shortcut", name));
    }
  } catch (const Exception& e) {
    Add(ioFailed, name, Naming(e.Message(), path, name));
  }
}

void TInstaller::InstallZip(const std::string& path, const std::string& name, int depth) {
  TZipMaster zip;
  try {
    zip.SetZipFilename(path);
  } catch (const Exception& e) {
    Add(ioFailed, name, Format("Cannot read %s: %s", name, e.Message()));
    return;
  }
  // A folder of its own: nothing that lay somewhere before is taken for the archive's file.
  const std::string base = winfs::MakeTempDir();
  if (base.empty()) {
    Add(ioFailed, name,
        Format("Cannot make a folder to unpack %s: %s", name, winfs::LastErrorText()));
    return;
  }
  // Only frees space early: whatever is left goes with the temporary folder at exit.
  TScopeExit remover([&base] { (void)winfs::RemoveTree(base); });
  zip.ExtrBaseDir = base;
  zip.FSpecArgs.Clear();
  zip.FSpecArgs.Add(FGame.PatchFilter);
  zip.ExtrOptions.Clear();
  // The files are copied into the store, which puts them on the disk, and deleted.
  zip.Durable = false;
  // What the library could not unpack (encrypted, damaged or oversized entries, links, a full
  // disk) is said once for the archive.
  std::string lost;
  zip.OnMessage = [&lost](int errorCode, const std::string& message) {
    if (errorCode != ueNone) lost += "\r\n" + message;
  };
  zip.Extract();
  if (!lost.empty())
    Add(ioFailed, name, Format("Not everything in %s was unpacked:%s", name, lost));
  for (const TZipDirEntry& entry : zip.Contents()) {
    std::string entryName = entry.FileName;
    for (char& c : entryName)
      if (c == '/') c = '\\';
    const std::string candidate = base + ExtractFileName(entryName);
    if (!MatchesMask(candidate, FGame.PatchFilter)) continue;
    // Entries of one name in several folders unpack once: the first installs it.
    TScopeExit unpacked([&candidate] { (void)winfs::DeleteFile(candidate); });
    InstallFile(candidate, entry.FileName + " in " + name, depth);
  }
}

void TInstaller::InstallUrlShortcut(const std::string& path, const std::string& name, int depth) {
  const std::string url = ReadIniString(path, "InternetShortcut", "URL");
  if (url.empty()) {
    Add(ioFailed, name, Format("Cannot install %s: it names no URL", name));
    return;
  }
  InstallFromURL(url, depth);
}

void TInstaller::InstallFromURL(const std::string& url, int depth) {
  if (!FDownloader) {
    Add(ioFailed, url, Format("Cannot download %s: no downloads here", url));
    return;
  }
  TDownload download = FDownloader->Download(url);
  // A transfer that broke off after part of the file arrived: the user may go on from there.
  while (download.File.empty() && download.Resumable) {
    if (Dialogs().MessageDlg(download.Error +
                                 "\r\n\r\nPart of the file has arrived. Try again and go on "
                                 "from there?",
                             mtError, {mbYes, mbNo}) != mrYes) {
      FDownloader->DiscardPartial();
      Add(ioSkipped, url, Format("Cannot download %s: %s", url, download.Error));
      return;
    }
    download = FDownloader->Resume();
  }
  if (download.File.empty()) {
    if (download.Error.empty())
      Add(ioSkipped, url, Format("The download of %s was cancelled", url));
    else
      Add(ioFailed, url, Format("Cannot download %s: %s", url, download.Error));
    return;
  }
  TScopeExit downloaded([&download] { (void)winfs::DeleteFile(download.File); });
  // What the server sent is named as the server named it; something else than a patch, an
  // archive or a shortcut is said, not dropped in silence.
  const std::string& file = download.File;
  bool known = MatchesMask(file, FGame.PatchFilter);
  for (const char* mask : {"*.url", "*.lnk", "*.zip"})
    known = known || MatchesMask(file, mask);
  if (!known) {
    Add(ioFailed, url, Format("%s is not a patch file", ExtractFileName(file)));
    return;
  }
  InstallFile(file, url, depth);
}

} // namespace dravik
