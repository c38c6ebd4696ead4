// The extraction library on its private folder: whatever the archive says, nothing is written
// outside the base folder, no symbolic link is made and no temporary file is left behind.
// Extracted data is bounded here (the callback cancels past kMaxBytes), so that an archive
// that inflates to gigabytes costs the engine no time.
#include "fuzzsupport.h"
#include "platform/sysutils.h"
#include "platform/unzip.h"

#include <filesystem>

using namespace dravik;
using namespace dravik::fuzz;

namespace {

constexpr int64_t kMaxBytes = 16 << 20;

void Extract(const std::string& archive, bool dirNames, bool update) {
  TUnzipRequest r;
  r.ArchiveName = archive;
  r.BaseDir = TFuzzPrefix::WinC("out\\base");
  r.DirNames = dirNames;
  r.Overwrite = !update;
  r.Update = update;
  r.Verbose = r.Trace = true;
  r.Callback = [](const TUnzipEvent& e) {
    Check(e.Action >= uaFileBegin && e.Action <= uaMessage, "an unknown event");
    return (e.Action == uaFileBegin || e.Action == uaProgress) && e.Size > kMaxBytes;
  };
  try {
    UnzipExtract(r);
  } catch (const Exception&) {
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzPrefix& prefix = TFuzzPrefix::Get();
  WriteHostFile(prefix.HostC("in.zip"), data, size);
  const std::string out = prefix.HostC("out");
  RemoveHostTree(out);
  std::filesystem::create_directories(out + "/base");

  // With folders and replacing, then flat and updating over what the first run left.
  Extract(TFuzzPrefix::WinC("in.zip"), true, false);
  Extract(TFuzzPrefix::WinC("in.zip"), false, true);

  for (const THostEntry& e : HostTree(out)) {
    Check(e.Name == "base" || e.Name.starts_with("base/"),
          "written outside the base folder: " + e.Name);
    Check(e.Kind == THostEntry::File || e.Kind == THostEntry::Folder,
          "something other than a file or folder was made: " + e.Name);
    Check(e.Name.find(".dravik-unzip-") == std::string::npos,
          "a temporary file was left: " + e.Name);
  }
  RemoveHostTree(out);
  return 0;
}
