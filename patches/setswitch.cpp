#include "setswitch.h"

#include "patches/patchedapp.h"
#include "platform/sysutils.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace dravik {

namespace {

// The store's patches by file name, letter case ignored; where a file lies in both folders, its
// active copy.
class TByName {
public:
  explicit TByName(const TPatchList& patches) {
    FMap.reserve(static_cast<size_t>(patches.Count()));
    for (int i = 0; i < patches.Count(); ++i) {
      TPatch* p = patches[i];
      auto [it, added] = FMap.emplace(UpperCase(p->FileName()), p);
      if (!added && p->Active == 1) it->second = p;
    }
  }
  // Null when the store holds no such patch, or would refuse the name.
  TPatch* Find(const std::string& file) const {
    if (!IsPlainFileName(file)) return nullptr;
    auto it = FMap.find(UpperCase(file));
    return it == FMap.end() ? nullptr : it->second;
  }

private:
  std::unordered_map<std::string, TPatch*> FMap;
};

// What a set comes to in the store.
struct TResolved {
  std::vector<TPatch*> On; // the patches to be active, in the set's order
  std::vector<std::string> Missing;
  std::vector<TSetSwitchResult::TLeftOff> LeftOff;
};

TResolved Resolve(const TByName& byName, const TPatchSet& set) {
  TResolved r;
  std::vector<TPatch*> found;
  std::unordered_set<std::string> seen;
  for (const std::string& file : set.Files) {
    if (!seen.insert(UpperCase(file)).second) continue; // named twice
    if (TPatch* p = byName.Find(file))
      found.push_back(p);
    else
      r.Missing.push_back(file);
  }
  // The later of two conflicting patches wins: walking back from the end, a patch stays off when
  // it conflicts with one already kept.
  std::unordered_set<const TPatch*> kept;
  std::vector<bool> keep(found.size());
  for (size_t i = found.size(); i-- > 0;) {
    TPatch* p = found[i];
    auto winner = std::find_if(p->Conflicts.begin(), p->Conflicts.end(),
                               [&](const TPatch* c) { return kept.count(c) != 0; });
    if (winner != p->Conflicts.end()) {
      r.LeftOff.push_back({p->FileName(), (*winner)->FileName()});
      continue;
    }
    kept.insert(p);
    keep[i] = true;
  }
  std::reverse(r.LeftOff.begin(), r.LeftOff.end());
  for (size_t i = 0; i < found.size(); ++i)
    if (keep[i]) r.On.push_back(found[i]);
  return r;
}

} // namespace

std::string TSetSwitchResult::Message() const {
  std::string message;
  auto line = [&](const std::string& text) { message += (message.empty() ? "" : "\r\n") + text; };
  if (!Missing.empty()) {
    std::string names;
    for (const std::string& file : Missing)
      names += (names.empty() ? "" : ", ") + file;
    line(Format("These patches of the set \"%s\" are no longer installed: %s.", SetName, names));
  }
  for (const TLeftOff& l : LeftOff)
    line(Format("%s stays off: it conflicts with %s, which comes later in the set \"%s\".", l.File,
                l.Winner, SetName));
  return message;
}

TSetSwitchResult SwitchToSet(THXPatchedApp& app, const TPatchSet& set) {
  TResolved r = Resolve(TByName(app.Patches), set);
  const std::unordered_set<const TPatch*> on(r.On.begin(), r.On.end());
  std::vector<TPatch*> moves;
  for (int i = 0; i < app.Patches.Count(); ++i)
    if (app.Patches[i]->Active == 1 && !on.count(app.Patches[i])) moves.push_back(app.Patches[i]);
  for (TPatch* p : r.On)
    if (p->Active == 0) moves.push_back(p);
  app.SwitchPatches(moves);
  return {set.Name, std::move(r.Missing), std::move(r.LeftOff), static_cast<int>(moves.size())};
}

TSetSwitchResult SwitchToSet(THXPatchedApp& app, const std::string& name) {
  if (SameText(name, NoSetName)) return SwitchToSet(app, TPatchSet{NoSetName, {}});
  std::optional<TPatchSet> set = TPatchSets(app.AppName).Find(name);
  if (!set) throw Exception(Format("%s has no patch set named \"%s\".", app.AppName, name));
  return SwitchToSet(app, *set);
}

std::string MatchingSet(const TPatchList& patches, const std::vector<TPatchSet>& sets) {
  size_t active = 0;
  for (int i = 0; i < patches.Count(); ++i)
    active += patches[i]->Active == 1;
  if (active == 0) return NoSetName;
  const TByName byName(patches);
  for (const TPatchSet& set : sets) {
    const std::vector<TPatch*> on = Resolve(byName, set).On;
    if (on.size() == active &&
        std::all_of(on.begin(), on.end(), [](const TPatch* p) { return p->Active == 1; }))
      return set.Name;
  }
  return CustomSetName;
}

TPatchSet CurrentSet(const TPatchList& patches, const std::string& name,
                     std::vector<std::string>& leftOut) {
  TPatchSet set{name, {}};
  for (int i = 0; i < patches.Count(); ++i) {
    if (patches[i]->Active != 1) continue;
    std::string file = patches[i]->FileName();
    (file.find('|') == std::string::npos ? set.Files : leftOut).push_back(std::move(file));
  }
  return set;
}

std::vector<TSetMember> SetMembers(const TPatchList& patches, const TPatchSet& set) {
  const TByName byName(patches);
  std::vector<TSetMember> members;
  for (const std::string& file : set.Files) {
    const TPatch* p = byName.Find(file);
    members.push_back({file, p != nullptr, p ? p->Name : std::string()});
  }
  return members;
}

} // namespace dravik
