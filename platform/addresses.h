// The program's own settings key and the addresses the program uses on the Internet: its home
// page, the gaming service's page and the e-mail address given as the password of anonymous FTP
// logins. Each address has a built-in default that an optional string value of the settings key
// replaces ("HomePage", "ZonePage", "AnonymousEMail"); the program only reads those values.
#pragma once

#include <string>

namespace dravik {

// Per-user settings key of the program ("key A").
extern const char* const ProgramSettingsKey;

// Each reads its value on every call (the key is not created); an absent, empty or
// non-string value gives the default. Blocks on the settings store's file only; never throws.
std::string HomePage();
std::string ZonePage();
std::string AnonymousEMail();

} // namespace dravik
