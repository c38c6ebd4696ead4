#include "gobdocument.h"

#include "platform/codepage.h"
#include "platform/dialogs.h"
#include "platform/filestream.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <new>

namespace dravik {

namespace {

std::atomic<uint64_t> gNextDirectoryId{1};

// Where added files go by their extension.
const char* const kExtensionDirs[] = {
    ".3do=3do\\",       ".ai=misc\\ai\\",   ".ai0=misc\\ai\\",  ".ai2=misc\\ai\\",
    ".bm=ui\\bm",       ".cmp=misc\\cmp\\", ".cog=cog\\",       ".dat=misc\\",
    ".hxl=hxl\\",       ".key=3do\\key\\",  ".mat=3do\\mat\\",  ".par=misc\\par\\",
    ".pup=misc\\pup\\", ".snd=misc\\snd\\", ".spr=misc\\spr\\", ".uni=ui\\",
};

// Length of a text in the archive's 8-bit characters (UTF-8 length when it has others).
size_t StoredLength(const std::string& s) {
  std::optional<std::string> stored = Utf8ToCp1252(s);
  return stored ? stored->size() : s.size();
}

void Refuse(const std::string& message) {
  Dialogs().MessageDlg(message, mtWarning, {mbOK});
}

} // namespace

TGOBDirectory::TGOBDirectory(std::string caption, TGOBDirectory* parent)
    : Caption(std::move(caption)), FParent(parent), FId(gNextDirectoryId++) {}

bool TGOBDirectory::Holds(const TGOBDirectory* dir) const {
  for (; dir; dir = dir->Parent())
    if (dir == this) return true;
  return false;
}

TGOBDirectory* TGOBDirectory::AddChild(std::string caption) {
  Children.push_back(std::make_unique<TGOBDirectory>(std::move(caption), this));
  return Children.back().get();
}

TGOBDocument::TGOBDocument() {
  Clear();
}

TGOBDocument::~TGOBDocument() = default;

void TGOBDocument::Clear() {
  FileName.clear();
  Caption = "Dazer Erezez";
  ExtensionDirs.Clear();
  for (const char* line : kExtensionDirs)
    ExtensionDirs.Add(line);
  Selected = nullptr;
  FRoot = std::make_unique<TGOBDirectory>("\\", nullptr);
  PatchInfo.Clear();
  Modified = false;
}

bool TGOBDocument::QuerySave() {
  if (!Modified) return true;
  const std::string name = FileName.empty() ? std::string("File") : ExtractFileName(FileName);
  switch (Dialogs().MessageDlg(name + " has changed! Save?", mtWarning, {mbYes, mbNo, mbCancel})) {
  case mrYes:
    if (OnSave) {
      if (!OnSave()) return false; // no archive was written: nothing may be lost
    } else {
      if (FileName.empty()) return false;
      WriteGOB(FileName);
    }
    Modified = false;
    return true;
  case mrNo:
    Modified = false;
    return true;
  default:
    return false;
  }
}

bool TGOBDocument::NewGOB() {
  if (!QuerySave()) return false;
  Clear();
  return true;
}

bool TGOBDocument::LoadGOB(const std::string& file) {
  if (!NewGOB()) return false;
  FileName = file;
  Caption = Format("Dazer Erezez - %s", ExtractFileName(file));
  for (TGOBMember& m : ReadGOB(file)) {
    std::string dir = ExtractFilePath(m.FullName);
    // A stored leading backslash names the root, not a directory without a name.
    if (!dir.empty() && dir[0] == '\\') dir.erase(0, 1);
    TGOBDirectory* node = ForceDirectory(dir, FRoot.get());
    if (IsGOBDescriptor(m.FullName)) {
      PatchInfo.SetText(GOBDescriptorText(m.Thing->Data));
      continue;
    }
    node->Members.push_back(std::move(m.Thing));
  }
  Modified = false;
  return true;
}

void TGOBDocument::WriteGOB(const std::string& file) {
  std::unique_ptr<TGOBThing> info;
  const std::string text = PatchInfo.Text();
  if (!text.empty()) {
    std::optional<std::string> bytes = Utf8ToCp1252(text);
    if (!bytes)
      throw Exception("Cannot store the patch properties in a GOB archive: they hold characters "
                      "the archive cannot carry");
    info = std::make_unique<TGOBThing>();
    info->Name = GOB_DESCRIPTOR_NAME;
    info->Data.assign(bytes->begin(), bytes->end());
    info->Length = static_cast<int32_t>(info->Data.size());
  }
  TGOBWriteList list;
  std::function<void(TGOBDirectory*)> visit = [&](TGOBDirectory* dir) {
    const std::string path = NodePath(dir);
    for (auto& m : dir->Members)
      list.push_back({path, m.get()});
    if (dir->IsRoot() && info) list.push_back({std::string(), info.get()});
    for (auto& child : dir->Children)
      visit(child.get());
  };
  visit(FRoot.get());
  ::dravik::WriteGOB(file, list);
  FileName = file;
  Modified = false;
}

void TGOBDocument::AddFile(const std::string& file, bool byExtension, std::string dirPath) {
  const std::string name = ExtractFileName(file);
  if (IsGOBDescriptor(name)) {
    PatchInfo.SetText(GOBDescriptorText(ReadFileBytes(file)));
    return;
  }
  if (!Utf8ToCp1252(name)) {
    Refuse(
        Format("%s cannot be added: a GOB archive cannot hold the characters of its name.", file));
    return;
  }
  auto thing = std::make_unique<TGOBThing>();
  thing->Name = name;
  try {
    const int64_t size = winfs::FileSize(file);
    if (size < 0 || size > std::numeric_limits<int32_t>::max()) throw EFOpenError(file);
    thing->Data = ReadFileBytes(file);
    if (thing->Data.size() > size_t(std::numeric_limits<int32_t>::max())) throw EFOpenError(file);
  } catch (const Exception&) {
    Modified = true; // unreadable files are skipped without a message
    return;
  } catch (const std::bad_alloc&) {
    Modified = true;
    return;
  }
  thing->Length = static_cast<int32_t>(thing->Data.size());

  TGOBDirectory* node;
  if (byExtension) {
    dirPath = ExtensionDirs.Values(ExtractFileExt(name));
    node = ForceDirectory(dirPath, FRoot.get());
  } else {
    node = ForceDirectory(dirPath, Selected);
  }
  if (!dirPath.empty() && dirPath.back() != '\\') dirPath += '\\';

  auto same = std::find_if(node->Members.begin(), node->Members.end(),
                           [&](const auto& m) { return m->Name == thing->Name; });
  if (same == node->Members.end()) {
    node->Members.push_back(std::move(thing));
  } else if (Dialogs().MessageDlg(Format("Overwrite %s%s?", dirPath, thing->Name), mtConfirmation,
                                  {mbYes, mbNo}) == mrYes) {
    *same = std::move(thing);
  }
  Modified = true;
}

void TGOBDocument::AddFolder(const std::string& folderPath, std::string relPath) {
  std::string folder = folderPath;
  // "C:\mods\3do\" names the folder 3do; a drive's root keeps its backslash.
  if (folder.size() > 1 && folder.back() == '\\' && folder[folder.size() - 2] != ':')
    folder.pop_back();
  const std::string name = ExtractFileName(folder);
  if (!Utf8ToCp1252(name)) {
    Refuse(Format("%s cannot be added: a GOB archive cannot hold the characters of its name.",
                  folder));
    return;
  }
  if (!relPath.empty()) relPath += '\\';
  relPath += name;
  // Nothing below a directory path this long fits in an archive's 127-character names; going
  // no deeper also ends the walk through folders that link back to themselves.
  const std::string base = NodePath(Selected ? Selected : FRoot.get());
  if (StoredLength(base + relPath) + 2 > size_t(GOB_MAX_NAME)) {
    Refuse(Format("%s was not added: its path in the archive would be longer than %d characters.",
                  folder, GOB_MAX_NAME));
    return;
  }
  const std::string prefix = folder.back() == '\\' ? folder : folder + "\\";
  for (const winfs::TSearchRec& f : winfs::FindFiles(prefix + "*.*", 0))
    AddFile(prefix + f.Name, false, relPath);
  for (const winfs::TSearchRec& f : winfs::FindFiles(prefix + "*.*", winfs::faDirectory))
    if ((f.Attr & winfs::faDirectory) && !f.Name.empty() && f.Name[0] != '.')
      AddFolder(prefix + f.Name, relPath);
  Modified = true;
}

TGOBDirectory* TGOBDocument::ForceDirectory(std::string_view path, TGOBDirectory* start) {
  TGOBDirectory* node = start ? start : FRoot.get();
  while (!path.empty()) {
    const size_t cut = path.find('\\');
    const std::string_view name = path.substr(0, cut);
    path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
    auto found = std::find_if(node->Children.begin(), node->Children.end(),
                              [&](const auto& c) { return c->Caption == name; });
    node = found != node->Children.end() ? found->get() : node->AddChild(std::string(name));
  }
  return node;
}

std::string TGOBDocument::NodePath(const TGOBDirectory* node) {
  std::string path;
  for (; node && !node->IsRoot(); node = node->Parent())
    path = node->Caption + "\\" + path;
  return path;
}

TGOBDirectory* TGOBDocument::FindDirectory(uint64_t id) const {
  std::function<TGOBDirectory*(TGOBDirectory*)> find = [&](TGOBDirectory* d) -> TGOBDirectory* {
    if (d->Id() == id) return d;
    for (auto& c : d->Children)
      if (TGOBDirectory* r = find(c.get())) return r;
    return nullptr;
  };
  return find(FRoot.get());
}

TGOBDirectory* TGOBDocument::NewDirectory() {
  TGOBDirectory* parent = Selected ? Selected : FRoot.get();
  return parent->AddChild("New Directory");
}

std::string TGOBDocument::RenameDirectory(TGOBDirectory* dir, const std::string& caption) {
  if (!dir) return std::string();
  if (dir->IsRoot()) {
    dir->Caption = caption; // not part of any path
    return dir->Caption;
  }
  Modified = true;
  for (const auto& sibling : dir->Parent()->Children)
    if (sibling.get() != dir && sibling->Caption == caption) {
      Refuse("A directory by that name already exists.");
      return dir->Caption;
    }
  dir->Caption = caption;
  return dir->Caption;
}

void TGOBDocument::DeleteDirectory(TGOBDirectory* dir) {
  if (!dir || dir->IsRoot()) return;
  if (dir->Holds(Selected)) Selected = nullptr;
  auto& siblings = dir->Parent()->Children;
  auto it =
      std::find_if(siblings.begin(), siblings.end(), [&](const auto& c) { return c.get() == dir; });
  if (it == siblings.end()) return;
  siblings.erase(it);
  Modified = true;
}

static std::vector<int> Descending(std::vector<int> positions, size_t count) {
  std::sort(positions.begin(), positions.end(), std::greater<int>());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  positions.erase(std::remove_if(positions.begin(), positions.end(),
                                 [&](int p) { return p < 0 || size_t(p) >= count; }),
                  positions.end());
  return positions;
}

void TGOBDocument::DeleteMembers(TGOBDirectory* dir, std::vector<int> positions) {
  if (!dir) return;
  for (int p : Descending(std::move(positions), dir->Members.size()))
    dir->Members.erase(dir->Members.begin() + p);
  Modified = true;
}

void TGOBDocument::MoveMembers(TGOBDirectory* dir, std::vector<int> positions,
                               TGOBDirectory* target) {
  if (!dir || !target || target == dir) return;
  for (int p : Descending(std::move(positions), dir->Members.size())) {
    target->Members.push_back(std::move(dir->Members[size_t(p)]));
    dir->Members.erase(dir->Members.begin() + p);
  }
  Modified = true;
}

void TGOBDocument::RenameMember(TGOBDirectory* dir, int position, const std::string& name) {
  if (!dir || position < 0 || size_t(position) >= dir->Members.size()) return;
  dir->Members[size_t(position)]->Name = name;
  Modified = true;
}

void TGOBDocument::SortMembers(TGOBDirectory* dir) {
  if (!dir) return;
  // Compared in the archive's 8-bit characters, as they will be stored.
  std::vector<std::pair<std::string, std::unique_ptr<TGOBThing>>> keyed;
  keyed.reserve(dir->Members.size());
  for (auto& m : dir->Members)
    keyed.emplace_back(Utf8ToCp1252(m->Name).value_or(m->Name), std::move(m));
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return CompareText(a.first, b.first) < 0; });
  for (size_t i = 0; i < keyed.size(); ++i)
    dir->Members[i] = std::move(keyed[i].second);
}

void TGOBDocument::SetPatchInfo(const TStringList& lines) {
  PatchInfo = lines;
  Modified = true;
}

int TGOBDocument::MemberCount() const {
  std::function<int(const TGOBDirectory*)> count = [&](const TGOBDirectory* d) {
    int n = static_cast<int>(d->Members.size());
    for (const auto& c : d->Children)
      n += count(c.get());
    return n;
  };
  return count(FRoot.get());
}

} // namespace dravik
