// Shell links: ResolveShellLinkFile on any bytes gives a target of at most kMaxLinkTargetLength
// characters, in well-formed UTF-8, or an Exception.
#include "fuzzsupport.h"
#include "platform/codepage.h"
#include "platform/shelllink.h"
#include "platform/sysutils.h"

using namespace dravik;
using namespace dravik::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzPrefix& prefix = TFuzzPrefix::Get();
  WriteHostFile(prefix.HostC("in.lnk"), data, size);
  std::string target;
  try {
    target = ResolveShellLinkFile(TFuzzPrefix::WinC("in.lnk"));
  } catch (const Exception&) {
    return 0;
  }
  Check(!target.empty(), "an empty target");
  Check(IsValidUtf8(target), "a target in bad UTF-8");
  size_t chars = 0;
  for (unsigned char c : target)
    chars += (c & 0xC0) != 0x80;
  Check(chars <= kMaxLinkTargetLength, "a target longer than allowed");
  return 0;
}
