// The program's own settings in the per-user settings key: the last game used, the five launch
// option flags, the custom command-line text and the conflict display option. Each call opens
// the key, reads or writes, and closes it again.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace dravik {

constexpr int OptionCount = 5;
// One flag per launch option (0 off, anything else on), in command-line order.
using TOptionFlags = std::array<uint8_t, OptionCount>;

// "LastGame", without creating the key; "" when the key or value is missing or the value is
// not a string.
std::string ReadLastGame();

// Opens the key (creating it when missing) and takes the values that are present, in this
// order: "CommandLine" into the leading bytes of `flags`, "CustomOptions", "ActiveConflicts".
// A key that cannot be opened or made (Wine holds the registry) reads as empty.
// A value of the wrong type (or a "CommandLine" longer than five bytes) throws the store's
// ERegistryException "Invalid data type for '%s'"; the values read before it are kept.
void LoadProgramSettings(TOptionFlags& flags, std::string& customOptions, bool& activeConflicts);

// Writes "CommandLine", "CustomOptions", "LastGame" (only when `lastGame` is given) and
// "ActiveConflicts", in this order, creating the key when missing. Throws the store's
// ERegistryException when a write is refused.
void SaveProgramSettings(const TOptionFlags& flags, const std::string& customOptions,
                         const std::string* lastGame, bool activeConflicts);

} // namespace dravik
