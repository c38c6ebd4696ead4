#include "patchedapp.h"

#include "gob/gobformat.h"
#include "platform/dialogs.h"
#include "platform/filemover.h"
#include "platform/filestream.h"
#include "platform/registry.h"
#include "platform/scopeexit.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <unordered_map>
#include <vector>

namespace dravik {

const std::array<const char*, 2> PatchDirs = {"HXPatch\\", "HXPatch\\active\\"};

static const char* const kEpisodeDir = "episode\\";

bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         std::none_of(name.begin(), name.end(), [](char c) {
           return c == '\\' || c == '/' || c == ':' || uint8_t(c) < 0x20 || c == 0x7F;
         });
}

// Refuses a file name that is not plain: whatever a patch brings, the store touches only the
// files of its own folders.
static void CheckFileName(const std::string& name) {
  if (IsPlainFileName(name)) return;
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

void THXPatchedApp::CreateStoreFolders() {
  std::string dir = GameDir();
  if (dir.empty())
    throw Exception(
        Format("The folder of %s is not known: its DirectPlay registration has no Path", AppName));
  for (const char* sub : PatchDirs) {
    std::string path = dir + sub;
    if (!winfs::DirectoryExists(path) && !winfs::CreateDir(path)) winfs::RaiseLastInOutError();
  }
}

std::string THXPatchedApp::OpenStore() {
  CreateStoreFolders();
  return Rescan();
}

namespace {

// A patch file read off the user-interface thread: the patch, or why it could not be read.
struct TLoaded {
  std::string Path;
  std::unique_ptr<TPatch> Patch;
  std::vector<uint64_t> FileHashes; // for the list's name index
  std::string Error;
  std::atomic<bool> Done{false};
};

// Reads the files on a few threads while the caller takes them in their order as they are done:
// reading a store is mostly waiting for the disk, and the files are independent. The caller
// reads files itself while the one it waits for is not yet taken.
class TLoader {
public:
  explicit TLoader(std::vector<TLoaded>& files) : FFiles(files) {
    const size_t threads = std::min<size_t>(4, files.size() / 64);
    for (size_t t = 0; t < threads; ++t)
      FThreads.emplace_back([this] {
        for (size_t i; (i = FNext.fetch_add(1)) < FFiles.size();)
          Load(FFiles[i]);
      });
  }
  ~TLoader() {
    for (std::thread& t : FThreads)
      t.join();
  }
  TLoader(const TLoader&) = delete;
  TLoader& operator=(const TLoader&) = delete;

  TLoaded& Get(size_t index) {
    TLoaded& file = FFiles[index];
    while (!file.Done.load(std::memory_order_acquire)) {
      if (size_t i = FNext.fetch_add(1); i < FFiles.size()) {
        Load(FFiles[i]);
        continue;
      }
      file.Done.wait(false, std::memory_order_acquire); // a reader has it
    }
    return file;
  }

private:
  static void Load(TLoaded& file) {
    auto patch = std::make_unique<TPatch>();
    try {
      patch->LoadFromFile(file.Path);
      file.FileHashes = TPatchList::FileHashes(*patch);
      file.Patch = std::move(patch);
    } catch (const Exception& e) {
      file.Error = e.Message();
    } catch (const std::exception& e) {
      file.Error = file.Path + ": " + e.what();
    }
    file.Done.store(true, std::memory_order_release);
    file.Done.notify_all();
  }

  std::vector<TLoaded>& FFiles;
  std::atomic<size_t> FNext{0};
  std::vector<std::thread> FThreads;
};

} // namespace

std::string THXPatchedApp::Rescan() {
  struct TListedFile {
    winfs::TFoundFile File;
    uint8_t Folder;
  };
  std::vector<TListedFile> listed;
  std::string dir;
  try {
    dir = GameDir();
    for (uint8_t d = 0; d < PatchDirs.size(); ++d)
      for (winfs::TFoundFile& f : winfs::FindVersions(dir + PatchDirs[d] + PatchFilter))
        listed.push_back({std::move(f), d});
  } catch (...) {
    Patches.Clear(); // the old list goes in any case
    throw;
  }
  // A patch read by an earlier rescan stays while its file is the same version: what it carries
  // is what reading the file again would give.
  std::array<std::unordered_map<std::string_view, size_t>, 2> where;
  for (size_t i = 0; i < listed.size(); ++i)
    where[listed[i].Folder].emplace(listed[i].File.Name, i);
  std::vector<TPatch*> order(listed.size(), nullptr);
  std::vector<bool> keep(size_t(Patches.Count()), false);
  for (int i = 0; i < Patches.Count(); ++i) {
    TPatch* p = Patches[i];
    if (!p->FSource) continue;
    const auto& names = where[p->FSource->Folder];
    auto it = names.find(p->FileName());
    if (it == names.end() || order[it->second] ||
        listed[it->second].File.Version != p->FSource->Version)
      continue;
    order[it->second] = p;
    keep[size_t(i)] = true;
  }
  std::vector<size_t> listedAt; // of each file to read
  for (size_t i = 0; i < listed.size(); ++i)
    if (order[i])
      order[i]->Active = listed[i].Folder; // the folder it was read from, as at that read
    else
      listedAt.push_back(i);
  std::vector<TLoaded> files(listedAt.size());
  for (size_t k = 0; k < listedAt.size(); ++k) {
    const TListedFile& l = listed[listedAt[k]];
    files[k].Path = dir + PatchDirs[l.Folder] + l.File.Name;
  }
  // The patches that go are freed while the files are read.
  TLoader loader(files);
  Patches.Retain(keep);
  // Linked in listing order, inactive folder first, as the files were found.
  std::string skipped;
  bool reserved = false;
  for (size_t k = 0; k < files.size(); ++k) {
    TLoaded& file = loader.Get(k);
    if (!file.Patch) {
      skipped += "\r\n" + file.Error;
      continue;
    }
    // The name index grows once, by the first patch read, for as many patches like it (within
    // reason: a first patch of many members may be an exception).
    if (!reserved)
      Patches.Reserve(static_cast<int>(files.size()),
                      std::min(files.size() * file.FileHashes.size(), size_t(1) << 20));
    reserved = true;
    const TListedFile& l = listed[listedAt[k]];
    file.Patch->Active = l.Folder;
    if (l.File.Settled) file.Patch->FSource = TPatch::TSource{l.File.Version, l.Folder};
    order[listedAt[k]] = file.Patch.get();
    Patches.Add(std::move(file.Patch), file.FileHashes);
  }
  order.erase(std::remove(order.begin(), order.end(), nullptr), order.end());
  Patches.Arrange(order);
  Patches.SortKind = pskName;
  Patches.Descending = false;
  Patches.Sort();
  EpisodeToAll = false;
  OverwriteToAll = false;
  // The same unreadable files are named once, not at every re-read.
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
  // Switching on first switches off every active patch that carries one of its files; the
  // patch itself moves last.
  std::vector<TPatch*> moves;
  if (patch->Active == 0)
    for (TPatch* other : patch->Conflicts)
      if (other->Active == 1) moves.push_back(other);
  moves.push_back(patch);
  SwitchPatches(moves);
}

void THXPatchedApp::SwitchPatches(const std::vector<TPatch*>& patches) {
  const std::string dir = GameDir();
  // Every name is checked before the first move.
  std::vector<std::pair<TPatch*, std::string>> moves;
  moves.reserve(patches.size());
  for (TPatch* p : patches) {
    std::string name = p->FileName();
    CheckFileName(name);
    moves.emplace_back(p, std::move(name));
  }
  // Where a patch's file is now.
  auto path = [&](const TPatch* p, const std::string& name) {
    return dir + PatchDirs[p->Active] + name;
  };
  winfs::TFileMover mover(dir + PatchDirs[0], dir + PatchDirs[1]);
  for (size_t i = 0; i < moves.size(); ++i) {
    auto& [patch, name] = moves[i];
    if (mover.Move(patch->Active, name)) {
      patch->Active ^= 1;
      continue;
    }
    const int error = winfs::GetLastError();
    std::string message =
        error == winfs::ERROR_ALREADY_EXISTS || error == winfs::ERROR_FILE_EXISTS
            ? Format("Cannot move %s: %s already exists", path(patch, name),
                     InTheWay(dir + PatchDirs[patch->Active ^ 1], name))
            : Format("Cannot move %s: %s", path(patch, name), winfs::LastErrorText());
    // Half a switch is no state to leave: what was moved goes back, last first.
    for (size_t j = i; j-- > 0;) {
      auto& [moved, movedName] = moves[j];
      if (mover.Move(moved->Active, movedName))
        moved->Active ^= 1;
      else
        message +=
            Format("\r\nCannot move %s back: %s", path(moved, movedName), winfs::LastErrorText());
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
  SaveRepositories(Number, Repositories);
}

void THXPatchedApp::SaveRepositories(int number, const TStringList& repositories) {
  TRegistry& reg = CatalogueRegistry();
  std::string key = Format("\\SOFTWARE\\Orlemont\\HXPatch\\Applications\\%d\\Repositories", number);
  if (!reg.OpenKey(key, false)) return;
  TScopeExit closeKey([&reg] { reg.CloseKey(); });
  TStringList names;
  reg.GetValueNames(names);
  for (const std::string& name : names.Lines())
    reg.DeleteValue(name);
  for (int i = 0; i < repositories.Count(); ++i) {
    std::string name = repositories.Names(i);
    reg.WriteString(name, repositories.Values(name));
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
