#include "addresses.h"

#include "registry.h"

namespace dravik {

const char* const ProgramSettingsKey = "\\SOFTWARE\\Orlemont\\HXPatch";

const char* const DefaultHomePage = "https://dravik.example.org/";
const char* const DefaultZonePage = "https://zone.example.org/";
const char* const DefaultAnonymousEMail = "dravik@users.invalid";

static std::string ReadOverride(const char* name, const char* fallback) {
  try {
    TRegistry reg(HKEY_CURRENT_USER);
    if (!reg.OpenKeyReadOnly(ProgramSettingsKey)) return fallback;
    TRegDataType type = reg.GetDataType(name);
    if (type == TRegDataType::rdString || type == TRegDataType::rdExpandString) {
      std::string value = reg.ReadString(name);
      if (!value.empty()) return value;
    }
  } catch (const std::exception&) {
    // An unreadable store leaves the default in force.
  }
  return fallback;
}

std::string HomePage() {
  return ReadOverride("HomePage", DefaultHomePage);
}

std::string ZonePage() {
  return ReadOverride("ZonePage", DefaultZonePage);
}

std::string AnonymousEMail() {
  return ReadOverride("AnonymousEMail", DefaultAnonymousEMail);
}

} // namespace dravik
