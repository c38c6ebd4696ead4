#include "inifile.h"

#include "codepage.h"
#include "filestream.h"
#include "sysutils.h"

namespace dravik {

std::string IniValue(std::string_view text, std::string_view section, std::string_view key,
                     const std::string& def) {
  std::string decoded;
  if (text.substr(0, 3) == "\xEF\xBB\xBF")
    decoded = std::string(text.substr(3));
  else
    decoded = Cp1252ToUtf8(text);
  std::string_view rest(decoded);
  bool inSection = false;
  while (!rest.empty()) {
    size_t end = rest.find_first_of("\r\n");
    std::string line = Trim(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      if (close == std::string::npos) continue;
      inSection = SameText(Trim(std::string_view(line).substr(1, close - 1)), section);
      continue;
    }
    if (!inSection) continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    if (SameText(Trim(std::string_view(line).substr(0, eq)), key))
      return Trim(std::string_view(line).substr(eq + 1));
  }
  return def;
}

std::string ReadIniString(std::string_view winPath, std::string_view section, std::string_view key,
                          const std::string& def) {
  constexpr size_t kLimit = 1 << 20; // a shortcut is a few lines; never read a huge file whole
  std::string text;
  try {
    // TFileStream refuses folders, pipes and devices (a pipe would block the read).
    TFileStream file(winPath, fmOpenRead);
    char buf[8192];
    while (text.size() < kLimit) {
      const int64_t n = file.Read(buf, sizeof buf);
      if (n <= 0) break;
      text.append(buf, static_cast<size_t>(n));
    }
  } catch (const Exception&) {
    return def;
  }
  return IniValue(text, section, key, def);
}

} // namespace dravik
