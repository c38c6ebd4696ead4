#include "registry.h"

#include "hive.h"
#include "prefix.h"
#include "sysutils.h"
#include "wineserver.h"

#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

namespace dravik {

namespace {

constexpr const char* kWineRunning =
    "Wine is running for this prefix; close its programs (or run \"wineserver -k\") and try again.";
// Most links followed while opening one path (they may chain or loop).
constexpr int kMaxLinks = 16;

// One hive object per file for the whole process, shared by every TRegistry that uses it.
std::shared_ptr<THive> HiveOf(TRootKey root) {
  bool machine = root == HKEY_LOCAL_MACHINE;
  std::string path = WinePrefix() + (machine ? "/system.reg" : "/user.reg");
  static std::mutex mutex;
  static std::map<std::string, std::weak_ptr<THive>> hives;
  std::lock_guard<std::mutex> lock(mutex);
  std::erase_if(hives, [](const auto& entry) { return entry.second.expired(); });
  std::shared_ptr<THive> hive = hives[path].lock();
  if (!hive) {
    hive = std::make_shared<THive>(path, machine ? THive::hkMachine : THive::hkUser);
    hives[path] = hive;
  }
  return hive;
}

EWineRunning WineRunning(const std::string& name) {
  return EWineRunning(Format("Failed to set data for '%s': %s", name, kWineRunning));
}

THiveKey* FindPath(THive& hive, const std::vector<std::string>& path) {
  THiveKey* key = hive.Root();
  for (size_t i = 0; key && i < path.size(); ++i)
    key = hive.SubKey(key, Utf8ToUtf16(path[i]));
  return key;
}

std::vector<std::string> PathNames(const THiveKey* key) {
  std::vector<std::string> names;
  for (; key && key->Parent; key = key->Parent)
    names.insert(names.begin(), Utf16ToUtf8(key->Name, true));
  return names;
}

bool InSoftware(const THiveKey* key) {
  if (!key->Parent) return false;
  while (key->Parent->Parent)
    key = key->Parent;
  return SameName(key->Name, u"Software");
}

// Looks a path up as a 32-bit Windows program would: through link keys, and in a 64-bit
// machine hive through the Wow6432Node child of keys under Software.
class TResolver {
public:
  explicit TResolver(THive& hive)
      : FHive(hive), FRedirect(hive.Kind() == THive::hkMachine && hive.IsWin64()) {}

  struct TWalk {
    THiveKey* Key; // the last key reached (redirected, ready for the next name); nullptr: a
                   // link leads nowhere
    size_t Found;  // how many of the names were found
  };

  TWalk Walk(THiveKey* key, const std::vector<std::u16string>& names) {
    size_t i = 0;
    for (; i < names.size(); ++i) {
      if (FRedirect && !SameName(names[i], u"Wow6432Node") && InSoftware(key))
        if (THiveKey* wow = FHive.SubKey(key, u"Wow6432Node")) key = wow;
      THiveKey* sub = FHive.SubKey(key, names[i]);
      if (!sub) break;
      if (!(key = Follow(sub))) break;
    }
    return {key, i};
  }

  // The key a link key stands for (the key itself when it is none); nullptr when the target is
  // missing, in another hive, or the links go round.
  THiveKey* Follow(THiveKey* key) {
    while (key && FHive.IsLink(key)) {
      const TRegValue* target = FHive.FindValue(key, u"SymbolicLinkValue");
      if (!target || target->Type != REG_LINK || ++FLinks > kMaxLinks) return nullptr;
      std::u16string path = StringText(target->Data);
      std::u16string_view root = FHive.Kind() == THive::hkMachine
                                     ? u"\\Registry\\Machine"
                                     : u"\\Registry\\User\\S-1-5-21-0-0-0-1000";
      if (path.size() < root.size() || !SameName(path.substr(0, root.size()), root) ||
          (path.size() > root.size() && path[root.size()] != u'\\'))
        return nullptr;
      std::vector<std::u16string> names =
          SplitKeyPath(std::u16string_view(path).substr(root.size()));
      bool redirect = std::exchange(FRedirect, false); // a link names the real key
      TWalk walk = Walk(FHive.Root(), names);
      FRedirect = redirect;
      key = walk.Found == names.size() ? walk.Key : nullptr;
    }
    return key;
  }

private:
  THive& FHive;
  bool FRedirect;
  int FLinks = 0;
};

bool IsRelative(const std::string& key) {
  return key.empty() || key[0] != '\\';
}

std::optional<TRegValue> FindOpenValue(const std::shared_ptr<THive>& hive, bool open,
                                       const std::vector<std::string>& path,
                                       const std::string& name) {
  if (!open || !hive) return std::nullopt;
  std::lock_guard<std::mutex> lock(hive->Mutex());
  THiveKey* key = FindPath(*hive, path);
  const TRegValue* value = key ? hive->FindValue(key, Utf8ToUtf16(name)) : nullptr;
  if (!value) return std::nullopt;
  return *value;
}

ERegistryException InvalidType(const std::string& name) {
  return ERegistryException(Format("Invalid data type for '%s'", name));
}

} // namespace

TRegistry::TRegistry(TRootKey root) : FRoot(root) {}

TRegistry::~TRegistry() = default;

void TRegistry::SetRootKey(TRootKey root) {
  CloseKey();
  FRoot = root;
  FHive.reset();
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  std::vector<std::string> base = IsRelative(key) && FOpen ? FKeyPath : std::vector<std::string>();
  std::shared_ptr<THive> hive = FOpen && IsRelative(key) ? FHive : HiveOf(FRoot);
  CloseKey();
  FHive = hive;
  std::vector<std::u16string> names = SplitKeyPath(Utf8ToUtf16(key));
  std::lock_guard<std::mutex> lock(hive->Mutex());
  hive->Refresh();
  auto locate = [&]() -> TResolver::TWalk {
    THiveKey* start = FindPath(*hive, base);
    if (!start) return {nullptr, 0};
    return TResolver(*hive).Walk(start, names);
  };
  TResolver::TWalk walk = locate();
  if (walk.Key && walk.Found == names.size()) {
    FKeyPath = PathNames(walk.Key);
    FOpen = true;
    return true;
  }
  if (!canCreate || !walk.Key) return false;
  if (WineServerRunning(hive->Folder())) throw WineRunning(key);
  std::vector<std::string> path;
  try {
    hive->Update([&] {
      TResolver::TWalk w = locate(); // on the file as it is now
      if (!w.Key) throw EHiveError("the key cannot be made");
      if (hive->Depth(w.Key) + (names.size() - w.Found) > kMaxKeyDepth)
        throw EHiveError("the key path is too deep");
      bool made = w.Found < names.size();
      for (size_t i = w.Found; i < names.size(); ++i)
        w.Key = hive->AddSubKey(w.Key, names[i]);
      if (made) hive->AddKeyLine(w.Key); // a key without sub-keys has a key line
      path = PathNames(w.Key);
      return made;
    });
  } catch (const EHiveError&) {
    return false;
  }
  FKeyPath = std::move(path);
  FOpen = true;
  return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key) {
  FReadOnly = OpenKey(key, false);
  return FReadOnly;
}

void TRegistry::CloseKey() noexcept {
  FOpen = false;
  FReadOnly = false;
  FKeyPath.clear();
}

bool TRegistry::HasOpenKey() const noexcept {
  return FOpen;
}

std::string TRegistry::CurrentPath() const {
  std::string path;
  for (const std::string& name : FKeyPath)
    path += (path.empty() ? "" : "\\") + name;
  return path;
}

bool TRegistry::KeyExists(const std::string& key) {
  bool relative = IsRelative(key) && FOpen;
  std::shared_ptr<THive> hive = relative ? FHive : HiveOf(FRoot);
  std::lock_guard<std::mutex> lock(hive->Mutex());
  hive->Refresh();
  THiveKey* start = FindPath(*hive, relative ? FKeyPath : std::vector<std::string>());
  if (!start) return false;
  std::vector<std::u16string> names = SplitKeyPath(Utf8ToUtf16(key));
  TResolver::TWalk walk = TResolver(*hive).Walk(start, names);
  return walk.Key && walk.Found == names.size();
}

bool TRegistry::ValueExists(const std::string& name) const {
  return FindOpenValue(FHive, FOpen, FKeyPath, name).has_value();
}

int TRegistry::GetDataSize(const std::string& name) const {
  std::optional<TRegValue> value = FindOpenValue(FHive, FOpen, FKeyPath, name);
  return value ? static_cast<int>(value->Data.size()) : -1;
}

TRegDataType TRegistry::GetDataType(const std::string& name) const {
  std::optional<TRegValue> value = FindOpenValue(FHive, FOpen, FKeyPath, name);
  switch (value ? value->Type : REG_NONE) {
  case REG_SZ:
    return TRegDataType::rdString;
  case REG_EXPAND_SZ:
    return TRegDataType::rdExpandString;
  case REG_DWORD:
    return TRegDataType::rdInteger;
  case REG_BINARY:
    return TRegDataType::rdBinary;
  default:
    return TRegDataType::rdUnknown;
  }
}

std::string TRegistry::ReadString(const std::string& name) const {
  std::optional<TRegValue> value = FindOpenValue(FHive, FOpen, FKeyPath, name);
  if (!value) return std::string();
  if (value->Type != REG_SZ && value->Type != REG_EXPAND_SZ) throw InvalidType(name);
  return Utf16ToUtf8(StringText(value->Data));
}

int TRegistry::ReadBinaryData(const std::string& name, void* buffer, int bufSize) const {
  std::optional<TRegValue> value = FindOpenValue(FHive, FOpen, FKeyPath, name);
  if (!value) return 0;
  int size = static_cast<int>(value->Data.size());
  if (value->Type != REG_BINARY || size > bufSize) throw InvalidType(name);
  if (size > 0) std::memcpy(buffer, value->Data.data(), value->Data.size());
  return size;
}

std::vector<uint8_t> TRegistry::ReadBinary(const std::string& name) const {
  std::optional<TRegValue> value = FindOpenValue(FHive, FOpen, FKeyPath, name);
  if (!value) return {};
  if (value->Type != REG_BINARY) throw InvalidType(name);
  return value->Data;
}

int TRegistry::ReadInteger(const std::string& name) const {
  std::optional<TRegValue> value = FindOpenValue(FHive, FOpen, FKeyPath, name);
  if (!value) throw ERegistryException(Format("Failed to get data for '%s'", name));
  const std::vector<uint8_t>& d = value->Data;
  if (value->Type != REG_DWORD || d.size() != 4) throw InvalidType(name);
  return static_cast<int>(d[0] | d[1] << 8 | d[2] << 16 | uint32_t(d[3]) << 24);
}

void TRegistry::WriteValue(const std::string& name, uint32_t type, std::vector<uint8_t> data) {
  if (!FOpen || FReadOnly || !FHive)
    throw ERegistryException(Format("Failed to set data for '%s'", name));
  std::lock_guard<std::mutex> lock(FHive->Mutex());
  FHive->Refresh();
  if (THiveKey* key = FindPath(*FHive, FKeyPath)) {
    // Writing what is stored already changes nothing: no save, so no need for Wine to be idle.
    const TRegValue* old = FHive->FindValue(key, Utf8ToUtf16(name));
    if (old && old->Type == type && old->Data == data) return;
  }
  if (WineServerRunning(FHive->Folder())) throw WineRunning(name);
  try {
    FHive->Update([&] {
      THiveKey* key = FindPath(*FHive, FKeyPath);
      if (!key) throw EHiveError("its key has been deleted");
      FHive->SetValue(key, {Utf8ToUtf16(name), type, std::move(data)});
      return true;
    });
  } catch (const EHiveError& e) {
    throw ERegistryException(Format("Failed to set data for '%s': %s", name, e.Message()));
  }
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  WriteValue(name, REG_SZ, StringValueData(Utf8ToUtf16(value)));
}

void TRegistry::WriteExpandString(const std::string& name, const std::string& value) {
  WriteValue(name, REG_EXPAND_SZ, StringValueData(Utf8ToUtf16(value)));
}

void TRegistry::WriteBinaryData(const std::string& name, const void* buffer, int size) {
  if (size < 0 || (size > 0 && !buffer))
    throw ERegistryException(Format("Failed to set data for '%s'", name));
  const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
  WriteValue(name, REG_BINARY, std::vector<uint8_t>(bytes, bytes + size));
}

void TRegistry::WriteInteger(const std::string& name, int value) {
  uint32_t v = static_cast<uint32_t>(value);
  WriteValue(name, REG_DWORD, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
}

bool TRegistry::DeleteValue(const std::string& name) {
  if (!FOpen || FReadOnly || !FHive) return false;
  std::lock_guard<std::mutex> lock(FHive->Mutex());
  THiveKey* key = FindPath(*FHive, FKeyPath);
  if (!key || !FHive->FindValue(key, Utf8ToUtf16(name))) return false;
  if (WineServerRunning(FHive->Folder())) throw WineRunning(name);
  bool deleted = false;
  try {
    FHive->Update([&] {
      THiveKey* k = FindPath(*FHive, FKeyPath);
      deleted = k && FHive->DeleteValue(k, Utf8ToUtf16(name));
      return deleted;
    });
  } catch (const EHiveError&) {
    return false;
  }
  return deleted;
}

void TRegistry::GetKeyNames(TStringList& names) const {
  names.Clear();
  if (!FOpen || !FHive) return;
  std::lock_guard<std::mutex> lock(FHive->Mutex());
  if (THiveKey* key = FindPath(*FHive, FKeyPath))
    for (const auto& [folded, sub] : key->SubKeys)
      names.Add(Utf16ToUtf8(sub->Name, true));
}

void TRegistry::GetValueNames(TStringList& names) const {
  names.Clear();
  if (!FOpen || !FHive) return;
  std::lock_guard<std::mutex> lock(FHive->Mutex());
  if (THiveKey* key = FindPath(*FHive, FKeyPath))
    for (const std::u16string& name : FHive->ValueNames(key))
      names.Add(Utf16ToUtf8(name, true));
}

bool TRegistry::HasSubKeys() const {
  if (!FOpen || !FHive) return false;
  std::lock_guard<std::mutex> lock(FHive->Mutex());
  THiveKey* key = FindPath(*FHive, FKeyPath);
  return key && !key->SubKeys.empty();
}

} // namespace dravik
