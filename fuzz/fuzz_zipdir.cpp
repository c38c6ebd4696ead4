// ZIP archives: the ZIP component's own directory reader (TZipMaster::SetZipFilename, which
// turns to the central directory where local headers cannot tell the sizes) and the extraction
// library's entry list.
#include "fuzzsupport.h"
#include "patches/zipmaster.h"
#include "platform/codepage.h"
#include "platform/sysutils.h"
#include "platform/unzip.h"

using namespace dravik;
using namespace dravik::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzPrefix& prefix = TFuzzPrefix::Get();
  WriteHostFile(prefix.HostC("in.zip"), data, size);
  const std::string in = TFuzzPrefix::WinC("in.zip");

  TZipMaster zip;
  int updates = 0;
  zip.OnDirUpdate = [&] { ++updates; };
  bool read = false;
  try {
    zip.SetZipFilename(in);
    read = true;
    Check(updates == 1, "OnDirUpdate not raised once for a directory read");
  } catch (const Exception&) {
  }
  Check(zip.Count() == int(zip.Contents().size()), "Count is not the entry count");
  for (const TZipDirEntry& e : zip.Contents()) {
    Check(IsValidUtf8(e.FileName), "an entry name in bad UTF-8");
    // After a failure the list holds the entries read so far, the last perhaps cut off.
    if (read && !e.FromCentralDirectory)
      Check(e.ComprSize <= size, "a local entry whose data is larger than the archive");
  }

  try {
    for (const TUnzipEntryInfo& e : UnzipListEntries(in))
      Check(IsValidUtf8(e.Name), "a central directory name in bad UTF-8");
  } catch (const Exception&) {
  }
  return 0;
}
