// INI text (Internet shortcuts): the input is a section name line, a key name line and the text.
// The value found is trimmed, and reading the text from a file gives what reading it as text
// gives.
#include "fuzzsupport.h"
#include "platform/inifile.h"
#include "platform/sysutils.h"

using namespace dravik;
using namespace dravik::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput input(data, size);
  const std::string section(input.Until('\n'));
  const std::string key(input.Until('\n'));
  const std::string_view text = input.Rest();
  const std::string def = "\x01 not found";

  const std::string value = IniValue(text, section, key, def);
  Check(value == def || value == Trim(value), "a value that is not trimmed");
  const std::string url = IniValue(text, "InternetShortcut", "URL");
  Check(url == Trim(url), "a URL that is not trimmed");

  TFuzzPrefix& prefix = TFuzzPrefix::Get();
  WriteHostFile(prefix.HostC("in.url"), text);
  Check(ReadIniString(TFuzzPrefix::WinC("in.url"), section, key, def) == value,
        "the file reads otherwise than its text");
  return 0;
}
