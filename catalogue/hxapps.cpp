#include "hxapps.h"

#include "platform/registry.h"
#include "platform/scopeexit.h"
#include "platform/stringlist.h"
#include "platform/sysutils.h"

namespace dravik {

const std::array<const char*, 3> DirectPlayValueNames = {"Path", "File", "CommandLine"};

static const char* const kCatalogueKey = "\\SOFTWARE\\Orlemont\\HXPatch\\Applications";
static const char* const kDirectPlayKey = "\\SOFTWARE\\Microsoft\\DirectPlay\\Applications\\";

TRegistry& CatalogueRegistry() {
  static TRegistry reg(HKEY_LOCAL_MACHINE);
  return reg;
}

void THXAppInfo::ReadExtra(TRegistry&) {}

bool THXAppInfo::OpenRegistration(TRegistry& reg) const {
  return reg.OpenKey(kDirectPlayKey + DirectPlayName, false) ||
         reg.OpenKey(kDirectPlayKey + DirectPlayDemoName, false);
}

bool THXAppInfo::IsInstalled() const {
  TRegistry& reg = CatalogueRegistry();
  TScopeExit closeKey([&reg] { reg.CloseKey(); });
  return OpenRegistration(reg);
}

std::string THXAppInfo::GetDirectPlayValue(int index) {
  std::string& cached = FCache.at(static_cast<size_t>(index));
  if (!cached.empty()) return cached;
  TRegistry& reg = CatalogueRegistry();
  TScopeExit closeKey([&reg] { reg.CloseKey(); });
  if (!OpenRegistration(reg)) return std::string();
  std::string value = reg.ReadString(DirectPlayValueNames[static_cast<size_t>(index)]);
  // The game's folder always ends in "\"; an empty path stays empty.
  if (index == 0 && !value.empty() && value.back() != '\\') value += '\\';
  cached = value;
  return value;
}

void THXAppInfo::SetDirectPlayValue(int index, const std::string& value) {
  std::string& cached = FCache.at(static_cast<size_t>(index));
  TRegistry& reg = CatalogueRegistry();
  TScopeExit closeKey([&reg] { reg.CloseKey(); });
  // A refused write leaves the remembered value as it was, so the windows show the truth.
  if (OpenRegistration(reg))
    reg.WriteString(DirectPlayValueNames[static_cast<size_t>(index)], value);
  cached = value;
}

void THXAppInfo::KeepDirectPlayValue(int index, const std::string& value) {
  FCache.at(static_cast<size_t>(index)) = value;
}

THXAppInfo* THXAppList::CreateEntry() {
  return Append(std::make_unique<THXAppInfo>());
}

void THXAppList::LoadCatalogue() {
  TRegistry& reg = CatalogueRegistry();
  TScopeExit closeKey([&reg] { reg.CloseKey(); });
  if (!reg.OpenKey(kCatalogueKey, false)) return;
  TStringList names;
  reg.GetKeyNames(names);
  for (const std::string& name : names.Lines()) {
    if (!reg.OpenKey(std::string(kCatalogueKey) + "\\" + name, false)) continue;
    THXAppInfo* entry = CreateEntry();
    entry->Number = StrToIntDef(name, 0);
    entry->AppName = reg.ReadString("AppName");
    entry->DirectPlayName = reg.ReadString("DirectPlay Name");
    entry->DirectPlayDemoName = reg.ReadString("DirectPlay Demo Name");
    entry->PatchFilter = reg.ReadString("Patch Filter");
    // A game without an icon gets the program's default one from the windows.
    int size = reg.GetDataSize("Icon");
    if (size > 0) {
      entry->Icon.resize(static_cast<size_t>(size));
      int got = reg.ReadBinaryData("Icon", entry->Icon.data(), size);
      entry->Icon.resize(static_cast<size_t>(got));
    }
    entry->ReadExtra(reg);
    reg.CloseKey();
  }
}

} // namespace dravik
