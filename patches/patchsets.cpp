#include "patchsets.h"

#include "platform/addresses.h"
#include "platform/hive.h"
#include "platform/registry.h"
#include "platform/sysutils.h"

#include <algorithm>

namespace dravik {

const char* const NoSetName = "(none)";
const char* const CustomSetName = "(custom)";

bool SameSetName(const std::string& a, const std::string& b) {
  return SameName(Utf8ToUtf16(a), Utf8ToUtf16(b));
}

std::string SetNameProblem(const std::string& name) {
  if (Trim(name).empty()) return "A patch set needs a name.";
  if (SameSetName(name, NoSetName) || SameSetName(name, CustomSetName))
    return Format("\"%s\" cannot name a patch set.", name);
  if (std::any_of(name.begin(), name.end(), [](char c) { return uint8_t(c) < 0x20 || c == 0x7F; }))
    return "A patch set's name may hold no control character.";
  return "";
}

std::string JoinSetFiles(const std::vector<std::string>& files) {
  std::string data;
  for (const std::string& file : files) {
    if (file.find('|') != std::string::npos)
      throw Exception(Format("A patch set cannot name %s: its name holds \"|\"", file));
    if (!data.empty()) data += '|';
    data += file;
  }
  return data;
}

std::vector<std::string> SplitSetFiles(const std::string& data) {
  std::vector<std::string> files;
  size_t start = 0;
  while (start <= data.size()) {
    size_t end = std::min(data.find('|', start), data.size());
    if (end > start) files.push_back(data.substr(start, end - start));
    start = end + 1;
  }
  return files;
}

TPatchSets::TPatchSets(std::string appName)
    : FKey(std::string(ProgramSettingsKey) + "\\Sets\\" + std::move(appName)) {}

std::vector<TPatchSet> TPatchSets::Load() const {
  std::vector<TPatchSet> sets;
  TRegistry reg(HKEY_CURRENT_USER);
  if (!reg.OpenKeyReadOnly(FKey)) return sets;
  TStringList names;
  reg.GetValueNames(names);
  for (const std::string& name : names.Lines()) {
    const TRegDataType type = reg.GetDataType(name);
    if ((type != TRegDataType::rdString && type != TRegDataType::rdExpandString) ||
        !SetNameProblem(name).empty())
      continue;
    sets.push_back({name, SplitSetFiles(reg.ReadString(name))});
  }
  std::sort(sets.begin(), sets.end(),
            [](const TPatchSet& a, const TPatchSet& b) { return CompareText(a.Name, b.Name) < 0; });
  return sets;
}

std::optional<TPatchSet> TPatchSets::Find(const std::string& name) const {
  for (TPatchSet& set : Load())
    if (SameSetName(set.Name, name)) return std::move(set);
  return std::nullopt;
}

// Opens `key` for writing, creating it; throws when it cannot be opened.
static void OpenForWriting(TRegistry& reg, const std::string& key, const std::string& value) {
  if (!reg.OpenKey(key, true))
    throw ERegistryException(Format("Failed to set data for '%s'", value));
}

void TPatchSets::Save(const TPatchSet& set) {
  if (std::string problem = SetNameProblem(set.Name); !problem.empty()) throw Exception(problem);
  const std::string data = JoinSetFiles(set.Files);
  TRegistry reg(HKEY_CURRENT_USER);
  OpenForWriting(reg, FKey, set.Name);
  reg.WriteString(set.Name, data);
}

bool TPatchSets::Delete(const std::string& name) {
  TRegistry reg(HKEY_CURRENT_USER);
  return reg.OpenKey(FKey, false) && reg.DeleteValue(name);
}

bool TPatchSets::Rename(const std::string& oldName, const std::string& newName) {
  if (std::string problem = SetNameProblem(newName); !problem.empty()) throw Exception(problem);
  std::optional<TPatchSet> set = Find(oldName);
  if (!set) return false;
  if (set->Name == newName) return true;
  TRegistry reg(HKEY_CURRENT_USER);
  OpenForWriting(reg, FKey, newName);
  const std::string data = reg.ReadString(set->Name);
  if (SameSetName(set->Name, newName)) {
    // Only the spelling changes: the store keeps a name's first spelling until it is deleted.
    if (!reg.DeleteValue(set->Name))
      throw ERegistryException(Format("Failed to set data for '%s'", newName));
    reg.WriteString(newName, data);
    return true;
  }
  reg.WriteString(newName, data);
  if (!reg.DeleteValue(set->Name))
    throw ERegistryException(Format("Failed to set data for '%s'", set->Name));
  return true;
}

} // namespace dravik
