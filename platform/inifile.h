// Reading INI files (Internet shortcut files). A UTF-8 byte-order mark means UTF-8; otherwise
// the text is Windows-1252. Section and key names match ignoring letter case; the first match
// wins. Values are trimmed of surrounding blanks.
#pragma once

#include <string>
#include <string_view>

namespace dravik {

// Parses INI text and returns the value, or `def` when the section or key is missing.
std::string IniValue(std::string_view text, std::string_view section, std::string_view key,
                     const std::string& def = std::string());

// Reads the file named by a Windows path (at most 1 MiB of it); `def` when it cannot be read.
std::string ReadIniString(std::string_view winPath, std::string_view section, std::string_view key,
                          const std::string& def = std::string());

} // namespace dravik
