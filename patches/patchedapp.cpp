#include "patchedapp.h"

#include "patches/zipmaster.h"
#include "platform/dialogs.h"
#include "platform/inifile.h"
#include "platform/messages.h"
#include "platform/registry.h"
#include "platform/shelllink.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace dravik {

const std::array<const char*, 2> PatchDirs = {"HXPatch\\", "HXPatch\\active\\"};

static const char* const kEpisodeDir = "episode\\";
// A chain of shell links longer than this is taken for a loop.
static const int kMaxLinkDepth = 8;

void THXPatchedApp::ReadExtra(TRegistry& reg) {
  if (!reg.OpenKey("Repositories", false)) return;
  Repositories.Clear();
  TStringList names;
  reg.GetValueNames(names);
  for (const std::string& name : names.Lines())
    Repositories.Add(name + "=" + reg.ReadString(name));
}

void THXPatchedApp::OpenStore() {
  std::string dir = GameDir();
  if (dir.empty())
    throw Exception(
        Format("The folder of %s is not known: its DirectPlay registration has no Path", AppName));
  for (const char* sub : PatchDirs) {
    std::string path = dir + sub;
    if (!winfs::DirectoryExists(path) && !winfs::CreateDir(path)) winfs::RaiseLastInOutError();
  }
  Rescan();
}

namespace {

// A patch file read off the user-interface thread: the patch, or why it could not be read.
struct TLoaded {
  std::string Path;
  uint8_t Active = 0;
  std::unique_ptr<TPatch> Patch;
  std::string Error;
};

// Reads the files on a few threads at once: reading a store is mostly waiting for the disk,
// and the files are independent. The results keep the order of `files`.
void LoadAll(std::vector<TLoaded>& files) {
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i; (i = next.fetch_add(1)) < files.size();) {
      auto patch = std::make_unique<TPatch>();
      try {
        patch->LoadFromFile(files[i].Path);
        files[i].Patch = std::move(patch);
      } catch (const Exception& e) {
        files[i].Error = e.Message();
      } catch (const std::exception& e) {
        files[i].Error = files[i].Path + ": " + e.what();
      }
    }
  };
  const size_t threads = std::min<size_t>(4, files.size() / 64);
  std::vector<std::thread> pool;
  for (size_t t = 1; t < threads; ++t)
    pool.emplace_back(work);
  work();
  for (std::thread& t : pool)
    t.join();
}

} // namespace

void THXPatchedApp::Rescan() {
  Patches.Clear();
  std::string dir = GameDir();
  std::vector<TLoaded> files;
  for (uint8_t d = 0; d < PatchDirs.size(); ++d) {
    std::string folder = dir + PatchDirs[d];
    for (const winfs::TSearchRec& rec : winfs::FindFiles(folder + PatchFilter, winfs::faAnyFile))
      files.push_back({folder + rec.Name, d, nullptr, {}});
  }
  LoadAll(files);
  // Linked in listing order, inactive folder first, as the files were found.
  std::string skipped;
  for (TLoaded& file : files) {
    if (!file.Patch) {
      skipped += "\r\n" + file.Error;
      continue;
    }
    file.Patch->Active = file.Active;
    Patches.Add(std::move(file.Patch));
  }
  Patches.SortKind = pskName;
  Patches.Descending = false;
  Patches.Sort();
  EpisodeToAll = false;
  OverwriteToAll = false;
  // The same unreadable files are named once, not at every re-read (start-up reads twice).
  if (!skipped.empty() && skipped != FReportedSkips)
    Dialogs().MessageDlg("These files in the patch folders could not be read and are not listed:" +
                             skipped,
                         mtWarning, {mbOK});
  FReportedSkips = skipped;
}

void THXPatchedApp::ToggleActive(int position) {
  TPatch* patch = Patches[position];
  std::string dir = GameDir();
  if (patch->Active == 0) {
    // Switching on: first switch off every active patch that carries one of its files. A copy,
    // since each toggle leaves the links as they are but the loop must not depend on that.
    std::vector<TPatch*> conflicts = patch->Conflicts;
    for (TPatch* other : conflicts)
      if (other->Active == 1) ToggleActive(Patches.IndexOf(other));
  }
  std::string name = patch->FileName();
  std::string from = dir + PatchDirs[patch->Active] + name;
  std::string to = dir + PatchDirs[patch->Active ^ 1] + name;
  if (!winfs::MoveFile(from, to))
    throw Exception(Format("Cannot move %s: %s", from, winfs::LastErrorText()));
  patch->Active ^= 1;
}

void THXPatchedApp::DeletePatch(TPatch* patch) {
  int index = Patches.IndexOf(patch);
  if (index < 0) return;
  std::string name = patch->FileName();
  if (Dialogs().MessageDlg("Delete " + name + "?", mtConfirmation, {mbYes, mbNo}) != mrYes) return;
  std::string path = GameDir() + PatchDirs[patch->Active] + name;
  // A file that is already gone needs no deleting; the list follows the disk.
  if (!winfs::DeleteFile(path) && winfs::GetLastError() != winfs::ERROR_FILE_NOT_FOUND)
    throw Exception(Format("Cannot delete %s: %s", path, winfs::LastErrorText()));
  Patches.Delete(index);
}

void THXPatchedApp::SaveRepositories() {
  TRegistry& reg = CatalogueRegistry();
  std::string key = Format("\\SOFTWARE\\Orlemont\\HXPatch\\Applications\\%d\\Repositories", Number);
  if (!reg.OpenKey(key, false)) return;
  struct TCloser {
    TRegistry& R;
    ~TCloser() { R.CloseKey(); }
  } closer{reg};
  TStringList names;
  reg.GetValueNames(names);
  for (const std::string& name : names.Lines())
    reg.DeleteValue(name);
  for (int i = 0; i < Repositories.Count(); ++i) {
    std::string name = Repositories.Names(i);
    reg.WriteString(name, Repositories.Values(name));
  }
}

bool THXPatchedApp::MayOverwrite(const std::string& question) {
  int answer =
      OverwriteToAll ? mrAll : Dialogs().MessageDlg(question, mtConfirmation, {mbYes, mbNo, mbAll});
  if (answer != mrYes && answer != mrAll) return false;
  OverwriteToAll = answer == mrAll;
  return true;
}

void THXPatchedApp::InstallFile(const std::string& path) {
  if (!winfs::FileExists(path)) return;
  if (MatchesMask(path, "*.url")) {
    InstallUrlShortcut(path);
    return;
  }
  if (MatchesMask(path, "*.lnk")) {
    if (FLinkDepth >= kMaxLinkDepth)
      throw Exception(Format("Cannot install %s: it leads through more than %d shell links", path,
                             kMaxLinkDepth));
    std::string target = ResolveShellLink(path);
    ++FLinkDepth;
    struct TDepth {
      int& D;
      ~TDepth() { --D; }
    } depth{FLinkDepth};
    InstallFile(target);
    return;
  }
  if (MatchesMask(path, "*.zip")) {
    InstallZip(path);
    return;
  }
  if (!MatchesMask(path, PatchFilter)) return;

  // Read once: it tells an episode from a patch, and a patch joins the list as read.
  auto patch = std::make_unique<TPatch>();
  patch->LoadFromFile(path);
  std::string name = ExtractFileName(path);
  if (patch->Files.IndexOf("episode.hx") >= 0) {
    int answer = EpisodeToAll
                     ? mrAll
                     : Dialogs().MessageDlg(
                           "This file appears to contain an episode or a level, not a patch. It "
                           "will be installed to the Episodes directory and will be available the "
                           "next time you play. Continue?",
                           mtConfirmation, {mbNo, mbOK, mbAll});
    if (answer != mrOk && answer != mrAll) return;
    EpisodeToAll = answer == mrAll;
    InstallEpisode(path, name);
  } else {
    InstallPatch(path, std::move(patch));
  }
}

void THXPatchedApp::InstallEpisode(const std::string& path, const std::string& name) {
  std::string target = GameDir() + kEpisodeDir + name;
  if (winfs::FileExists(target) && !MayOverwrite(name + " already exists. Overwrite?")) return;
  // The copy replaces an existing episode only once it is complete.
  if (!winfs::CopyFile(path, target, false))
    Dialogs().ShowMessage("Cannot copy " + path + ": " + winfs::LastErrorText());
}

void THXPatchedApp::InstallPatch(const std::string& path, std::unique_ptr<TPatch> patch) {
  const std::string name = patch->FileName();
  std::string dir = GameDir();
  std::string inactive = dir + PatchDirs[0] + name;
  std::string active = dir + PatchDirs[1] + name;
  bool inStore = winfs::FileExists(inactive) || winfs::FileExists(active);
  if (inStore && !MayOverwrite("Patch " + name + " already exists. Overwrite?")) return;
  // Copy first (the copy replaces an inactive file of that name only once it is complete); the
  // active copy goes only when the new file is in place, so a failed copy loses nothing.
  if (!winfs::CopyFile(path, inactive, false)) {
    Dialogs().ShowMessage("Cannot copy " + path + ": " + winfs::LastErrorText());
    return;
  }
  if (inStore) {
    if (!winfs::DeleteFile(active) && winfs::GetLastError() != winfs::ERROR_FILE_NOT_FOUND &&
        winfs::GetLastError() != winfs::ERROR_PATH_NOT_FOUND)
      return Dialogs().ShowMessage("Cannot delete " + active + ": " + winfs::LastErrorText());
    for (int i = Patches.Count() - 1; i >= 0; --i)
      if (SameText(Patches[i]->FileName(), name)) Patches.Delete(i);
  }
  Patches.Add(std::move(patch));
  Patches.Sort();
}

void THXPatchedApp::InstallZip(const std::string& path) {
  TZipMaster zip;
  zip.SetZipFilename(path);
  std::string base = winfs::MakeTempDir();
  if (base.empty())
    throw Exception(Format("Cannot make a folder to unpack %s: %s", path, winfs::LastErrorText()));
  struct TRemover {
    const std::string& Dir;
    ~TRemover() { (void)winfs::RemoveTree(Dir); } // else the temporary folder goes at exit
  } remover{base};
  zip.ExtrBaseDir = base;
  zip.FSpecArgs.Clear();
  zip.FSpecArgs.Add(PatchFilter);
  zip.ExtrOptions.Clear();
  zip.Extract();
  for (const TZipDirEntry& entry : zip.Contents()) {
    std::string name = entry.FileName;
    for (char& c : name)
      if (c == '/') c = '\\';
    std::string candidate = base + ExtractFileName(name);
    if (!MatchesMask(candidate, PatchFilter)) continue;
    InstallFile(candidate);
    (void)winfs::DeleteFile(candidate); // only frees space early: the folder goes as a whole
  }
}

void THXPatchedApp::InstallUrlShortcut(const std::string& path) {
  std::string url = ReadIniString(path, "InternetShortcut", "URL");
  SendMessage(MainWindow(), WM_DOWNLOAD_INSTALL, 0, reinterpret_cast<LPARAM>(url.c_str()));
}

std::string THXPatchedApp::ResolveShellLink(const std::string& path) {
  std::string target = ResolveShellLinkFile(path);
  if (target.size() > 260) target.resize(260);
  return target;
}

THXAppInfo* THXPatchedAppList::CreateEntry() {
  return Append(std::make_unique<THXPatchedApp>());
}

} // namespace dravik
