#include "patchedapp.h"

#include "gob/gobformat.h"
#include "platform/dialogs.h"
#include "platform/filestream.h"
#include "platform/registry.h"
#include "platform/scopeexit.h"
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

// Refuses a file name that could lead out of its folder (a folder separator, a drive, "." or
// "..") or that holds a control character: whatever a patch brings, the store touches only the
// files of its own folders.
static void CheckFileName(const std::string& name) {
  bool plain = !name.empty() && name != "." && name != ".." &&
               std::none_of(name.begin(), name.end(), [](char c) {
                 return c == '\\' || c == '/' || c == ':' || uint8_t(c) < 0x20 || c == 0x7F;
               });
  if (plain) return;
  std::string shown = name;
  for (char& c : shown)
    if (uint8_t(c) < 0x20 || c == 0x7F) c = '?';
  throw Exception(Format("Cannot use the file name \"%s\": a patch's file name may hold no "
                         "folder, drive, \"..\" or control character",
                         shown));
}

// The path of the file `name` inside `folder`, after CheckFileName.
static std::string InFolder(const std::string& folder, const std::string& name) {
  CheckFileName(name);
  return folder + name;
}

void THXPatchedApp::ReadExtra(TRegistry& reg) {
  if (!reg.OpenKey("Repositories", false)) return;
  Repositories.Clear();
  TStringList names;
  reg.GetValueNames(names);
  for (const std::string& name : names.Lines())
    Repositories.Add(name + "=" + reg.ReadString(name));
}

std::string THXPatchedApp::OpenStore() {
  std::string dir = GameDir();
  if (dir.empty())
    throw Exception(
        Format("The folder of %s is not known: its DirectPlay registration has no Path", AppName));
  for (const char* sub : PatchDirs) {
    std::string path = dir + sub;
    if (!winfs::DirectoryExists(path) && !winfs::CreateDir(path)) winfs::RaiseLastInOutError();
  }
  return Rescan();
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

std::string THXPatchedApp::Rescan() {
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
  const bool named = skipped == FReportedSkips;
  FReportedSkips = skipped;
  if (skipped.empty() || named) return "";
  return "These files in the patch folders could not be read and are not listed:" + skipped;
}

// The file that keeps `name` from being moved into `folder`, as it is spelled on the disk (it may
// differ in letter case).
static std::string InTheWay(const std::string& folder, const std::string& name) {
  for (const winfs::TSearchRec& rec : winfs::FindFiles(folder + name, winfs::faAnyFile))
    if (SameText(rec.Name, name)) return folder + rec.Name;
  return folder + name;
}

void THXPatchedApp::ToggleActive(int position) {
  TPatch* patch = Patches[position];
  std::string dir = GameDir();
  // Switching on first switches off every active patch that carries one of its files; the
  // patch itself moves last. Every path is checked before the first move.
  struct TMove {
    TPatch* Patch;
    std::string From, To;
  };
  std::vector<TMove> moves;
  auto plan = [&](TPatch* p) {
    std::string name = p->FileName();
    moves.push_back({p, InFolder(dir + PatchDirs[p->Active], name),
                     InFolder(dir + PatchDirs[p->Active ^ 1], name)});
  };
  if (patch->Active == 0)
    for (TPatch* other : patch->Conflicts)
      if (other->Active == 1) plan(other);
  plan(patch);
  for (size_t i = 0; i < moves.size(); ++i) {
    const TMove& m = moves[i];
    if (winfs::MoveFile(m.From, m.To)) {
      m.Patch->Active ^= 1;
      continue;
    }
    const int error = winfs::GetLastError();
    std::string message =
        error == winfs::ERROR_ALREADY_EXISTS || error == winfs::ERROR_FILE_EXISTS
            ? Format("Cannot move %s: %s already exists", m.From,
                     InTheWay(dir + PatchDirs[m.Patch->Active ^ 1], m.Patch->FileName()))
            : Format("Cannot move %s: %s", m.From, winfs::LastErrorText());
    // Half a switch is no state to leave: what was switched off goes back on, last first.
    for (size_t j = i; j-- > 0;) {
      if (winfs::MoveFile(moves[j].To, moves[j].From))
        moves[j].Patch->Active ^= 1;
      else
        message += Format("\r\nCannot move %s back: %s", moves[j].To, winfs::LastErrorText());
    }
    throw Exception(message);
  }
}

void THXPatchedApp::DeletePatch(TPatch* patch) {
  int index = Patches.IndexOf(patch);
  if (index < 0) return;
  std::string name = patch->FileName();
  std::string path = InFolder(GameDir() + PatchDirs[patch->Active], name);
  // No is the default: Enter must not delete.
  if (Dialogs().MessageDlg(Format("Delete %s (%s)?", patch->Name, name), mtConfirmation,
                           {mbYes, mbNo}, mbNo) != mrYes)
    return;
  // A file that is already gone needs no deleting; the list follows the disk.
  if (!winfs::DeleteFile(path) && winfs::GetLastError() != winfs::ERROR_FILE_NOT_FOUND)
    throw Exception(Format("Cannot delete %s: %s", path, winfs::LastErrorText()));
  Patches.Delete(index);
}

void THXPatchedApp::SaveRepositories() {
  TRegistry& reg = CatalogueRegistry();
  std::string key = Format("\\SOFTWARE\\Orlemont\\HXPatch\\Applications\\%d\\Repositories", Number);
  if (!reg.OpenKey(key, false)) return;
  TScopeExit closeKey([&reg] { reg.CloseKey(); });
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

bool THXPatchedApp::InstallPatchFile(const std::string& path) {
  // The store names the file as it is named on the disk, never as its descriptor says.
  const std::string name = ExtractFileName(path);
  CheckFileName(name);
  // Only an archive becomes a patch, however damaged; any other file of a patch's name is not.
  if (TFileStream file(path, fmOpenRead); !HasGOBSignature(file))
    throw Exception(Format("Cannot install %s: it is not a GOB archive", path));
  // Read once: it tells an episode from a patch, and a patch joins the list as read.
  auto patch = std::make_unique<TPatch>();
  patch->LoadFromFile(path);
  if (patch->Files.IndexOf("episode.hx") < 0) return InstallPatch(path, name, std::move(patch));
  int answer = EpisodeToAll
                   ? mrAll
                   : Dialogs().MessageDlg(
                         Format("%s appears to contain an episode or a level, not a patch. It "
                                "will be installed to the Episodes directory and will be "
                                "available the next time you play. Continue?",
                                name),
                         mtConfirmation, {mbNo, mbOK, mbAll});
  if (answer != mrOk && answer != mrAll) return false;
  EpisodeToAll = answer == mrAll;
  return InstallEpisode(path, name);
}

// The failure of a copy into the store.
[[noreturn]] static void RaiseCopyError(const std::string& path) {
  throw Exception("Cannot copy " + path + ": " + winfs::LastErrorText());
}

bool THXPatchedApp::InstallEpisode(const std::string& path, const std::string& name) {
  std::string target = InFolder(GameDir() + kEpisodeDir, name);
  if (winfs::FileExists(target) && !MayOverwrite(name + " already exists. Overwrite?"))
    return false;
  // The copy replaces an existing episode only once it is complete.
  if (!winfs::CopyFile(path, target, false)) RaiseCopyError(path);
  return true;
}

bool THXPatchedApp::InstallPatch(const std::string& path, const std::string& name,
                                 std::unique_ptr<TPatch> patch) {
  std::string dir = GameDir();
  std::string inactive = InFolder(dir + PatchDirs[0], name);
  std::string active = InFolder(dir + PatchDirs[1], name);
  bool inStore = winfs::FileExists(inactive) || winfs::FileExists(active);
  if (inStore && !MayOverwrite("Patch " + name + " already exists. Overwrite?")) return false;
  // Copy first (the copy replaces an inactive file of that name only once it is complete); the
  // active copy goes only when the new file is in place, so a failed copy loses nothing.
  if (!winfs::CopyFile(path, inactive, false)) RaiseCopyError(path);
  std::string stuck; // why the old active copy could not be removed
  if (inStore) {
    for (int i = Patches.Count() - 1; i >= 0; --i)
      if (SameText(Patches[i]->FileName(), name)) Patches.Delete(i);
    if (!winfs::DeleteFile(active) && winfs::GetLastError() != winfs::ERROR_FILE_NOT_FOUND &&
        winfs::GetLastError() != winfs::ERROR_PATH_NOT_FOUND) {
      stuck = "Cannot delete " + active + ": " + winfs::LastErrorText();
      // The old patch is still switched on: the list shows it, as the game will load it.
      auto old = std::make_unique<TPatch>();
      try {
        old->LoadFromFile(active);
        old->Active = 1;
        Patches.Add(std::move(old));
      } catch (const Exception&) {
      }
    }
  }
  Patches.Add(std::move(patch));
  Patches.Sort();
  if (!stuck.empty()) throw Exception(stuck);
  return true;
}

THXAppInfo* THXPatchedAppList::CreateEntry() {
  return Append(std::make_unique<THXPatchedApp>());
}

} // namespace dravik
