// Patch files: TPatch::LoadFromFile reads the directory and the descriptor lines of any bytes.
#include "fuzzsupport.h"
#include "patches/patch.h"
#include "platform/codepage.h"
#include "platform/sysutils.h"

using namespace dravik;
using namespace dravik::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzPrefix& prefix = TFuzzPrefix::Get();
  WriteHostFile(prefix.HostC("fuzz.gob"), data, size);
  const std::string in = TFuzzPrefix::WinC("fuzz.gob");

  TPatch a, b;
  a.LoadFromFile(in);
  b.LoadFromFile(in);
  Check(a.Info.Values("File Name") == "fuzz.gob", "the descriptor's file name is not the file's");
  Check(a.Info.IndexOfName("Type") >= 0, "no Type line");
  Check(!a.Name.empty(), "a patch without a name");
  Check(a.Files == b.Files && a.Info == b.Info, "two reads of one file differ");
  for (const std::string& line : a.Info.Lines()) {
    Check(line.find('=') != std::string::npos, "a descriptor line without \"=\": " + line);
    Check(IsValidUtf8(line), "a descriptor line in bad UTF-8");
  }
  bool carriesAny = false;
  for (const std::string& f : a.Files.Lines())
    carriesAny = carriesAny || !IsNeutralFile(f);
  // Two patches from one file conflict exactly when they carry a file that counts.
  Check(a.ConflictsWith(&b) == carriesAny, "a patch does not conflict with its own copy");
  Check(a.Conflicts.size() == b.Conflicts.size(), "conflict links are not symmetric");
  return 0;
}
