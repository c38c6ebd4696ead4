#include "addresses.h"

#include "registry.h"

namespace dravik {

const char* const ProgramSettingsKey = "\\SOFTWARE\\Orlemont\\HXPatch";

namespace {

constexpr const char* kDefaultHomePage = "https://dravik.example.org/";
constexpr const char* kDefaultZonePage = "https://zone.example.org/";
constexpr const char* kDefaultAnonymousEMail = "dravik@users.invalid";

std::string ReadOverride(const char* name, const char* fallback) {
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

} // namespace

std::string HomePage() {
  return ReadOverride("HomePage", kDefaultHomePage);
}

std::string ZonePage() {
  return ReadOverride("ZonePage", kDefaultZonePage);
}

std::string AnonymousEMail() {
  return ReadOverride("AnonymousEMail", kDefaultAnonymousEMail);
}

} // namespace dravik
