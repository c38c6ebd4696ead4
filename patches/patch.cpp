#include "patch.h"

#include "gob/gobformat.h"
#include "platform/filestream.h"
#include "platform/sysutils.h"

#include <algorithm>

namespace dravik {

bool IsNeutralFile(std::string_view name) {
  return SameText(name, "misc\\models.dat");
}

TPatch::~TPatch() {
  for (TPatch* other : Conflicts) {
    auto& theirs = other->Conflicts;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
  }
}

void TPatch::LoadFromFile(std::string_view path) {
  TFileStream file(path, fmOpenRead);
  const int64_t size = file.Size();
  // The entries' storage serves the thread's next patch too.
  static thread_local std::vector<TGOBEntry> entries;
  ReadGOBDirectory(file, size, entries);
  Files.Clear();
  Files.Reserve(static_cast<int>(entries.size()));
  for (TGOBEntry& e : entries) {
    if (!IsGOBDescriptor(e.Name)) {
      if (!e.Name.empty() && e.Name[0] == '\\') e.Name.erase(0, 1);
      Files.Add(std::move(e.Name));
      continue;
    }
    if (!e.DataFits(size)) continue; // a descriptor past the end of the file is skipped
    Info.SetText(GOBDescriptorText(ReadGOBData(file, e)));
    Name = Info.Values("Name");
  }
  for (int i = Info.Count() - 1; i >= 0; --i)
    if (Info[i].find('=') == std::string::npos) Info.Delete(i);
  if (Info.IndexOfName("Type") < 0) Info.SetValue("Type", "Unknown");
  // The file's own name, never the descriptor's: every "File Name" line it brings goes, or one
  // could sort before ours and name a file outside the store.
  for (int i; (i = Info.IndexOfName("File Name")) >= 0;)
    Info.Delete(i);
  std::string fileName = ExtractFileName(path);
  Info.SetValue("File Name", fileName);
  if (Name.empty()) Name = fileName.size() > 4 ? fileName.substr(0, fileName.size() - 4) : "";
  Info.Sort();
  if (entries.capacity() > 4096) std::vector<TGOBEntry>().swap(entries); // kept small
}

void TPatch::Link(TPatch* other) {
  Conflicts.push_back(other);
  other->Conflicts.push_back(this);
}

bool TPatch::ConflictsWith(TPatch* other) {
  if (other == this) return false;
  if (std::find(Conflicts.begin(), Conflicts.end(), other) != Conflicts.end()) return true;
  for (const std::string& name : Files.Lines()) {
    if (IsNeutralFile(name)) continue;
    if (other->Files.IndexOf(name) >= 0) {
      Link(other);
      return true;
    }
  }
  return false;
}

TPatchState TPatch::State() const {
  if (Active == 1) return psActive;
  for (const TPatch* c : Conflicts)
    if (c->Active == 1) return psConflicting;
  return psInactive;
}

std::string TPatch::ConflictText(TPatchStates states) const {
  std::string text;
  for (const TPatch* c : Conflicts) {
    if (!states.Contains(c->State())) continue;
    if (!text.empty()) text += "; ";
    text += c->Name;
  }
  return text;
}

} // namespace dravik
