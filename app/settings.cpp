#include "settings.h"

#include "platform/addresses.h"
#include "platform/registry.h"
#include "platform/sysutils.h"

namespace dravik {

std::string ReadLastGame() {
  TRegistry reg(HKEY_CURRENT_USER);
  if (!reg.OpenKey(ProgramSettingsKey, false)) return std::string();
  try {
    return reg.ReadString("LastGame");
  } catch (const ERegistryException&) {
    return std::string(); // a damaged value must not keep the program from starting
  }
}

void LoadProgramSettings(TOptionFlags& flags, std::string& customOptions, bool& activeConflicts) {
  TRegistry reg(HKEY_CURRENT_USER);
  // Reading does not need the key: when it is missing and cannot be made (Wine holds the
  // registry), there is nothing to read.
  try {
    if (!reg.OpenKey(ProgramSettingsKey, true)) return;
  } catch (const ERegistryException&) {
    return;
  }
  if (reg.ValueExists("CommandLine"))
    reg.ReadBinaryData("CommandLine", flags.data(), static_cast<int>(flags.size()));
  if (reg.ValueExists("CustomOptions")) customOptions = reg.ReadString("CustomOptions");
  if (reg.ValueExists("ActiveConflicts")) activeConflicts = reg.ReadBool("ActiveConflicts");
}

void SaveProgramSettings(const TOptionFlags& flags, const std::string& customOptions,
                         const std::string* lastGame, bool activeConflicts) {
  TRegistry reg(HKEY_CURRENT_USER);
  if (!reg.OpenKey(ProgramSettingsKey, true)) return;
  reg.WriteBinaryData("CommandLine", flags.data(), static_cast<int>(flags.size()));
  reg.WriteString("CustomOptions", customOptions);
  if (lastGame) reg.WriteString("LastGame", *lastGame);
  reg.WriteBool("ActiveConflicts", activeConflicts);
}

} // namespace dravik
