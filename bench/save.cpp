// Saving a 200 MB archive from the editor's document over the one saved before (TGOBDocument::
// WriteGOB: written beside the target, flushed to the disk and renamed over it) against `cp` of a
// file of the same size over its copy made before.
#include "bench/benchutil.h"
#include "gob/gobdocument.h"
#include "platform/sysutils.h"
#include "tests/fixtures/tempprefix.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>

using namespace dravik;
using namespace dravik::bench;
using namespace dravik::test;
namespace fs = std::filesystem;

int main() {
  TTempPrefix prefix;
  fs::create_directories(prefix.HostC("work"));
  // 2,000 members of 100 KB in 20 folders, with data that does not compress to nothing.
  TGOBDocument doc;
  std::mt19937_64 rng(5);
  for (int f = 0; f < 20; ++f) {
    TGOBDirectory* dir = doc.ForceDirectory("3do\\set" + std::to_string(f), nullptr);
    for (int m = 0; m < 100; ++m) {
      auto thing = std::make_unique<TGOBThing>();
      thing->Name = Format("m%d.3do", m);
      thing->Data.resize(100 * 1000);
      for (size_t i = 0; i + 8 <= thing->Data.size(); i += 32) {
        const uint64_t word = rng();
        std::memcpy(&thing->Data[i], &word, 8);
      }
      thing->Length = static_cast<int32_t>(thing->Data.size());
      dir->Members.push_back(std::move(thing));
    }
  }
  doc.PatchInfo.Add("Name=Big");
  doc.PatchInfo.Add("Type=Level");

  const std::string target = "C:\\work\\big.gob";
  const std::string saved = prefix.HostC("work/big.gob"), copy = prefix.HostC("work/copy.gob");
  const std::string cp = "cp '" + saved + "' '" + copy + "'";
  doc.WriteGOB(target); // each side has a file to replace
  if (std::system(cp.c_str()) != 0) return 1;
  const double megabytes = static_cast<double>(fs::file_size(saved)) / 1e6;
  double ours = 1e30, theirs = 1e30;
  // Before each run everything is on the disk, so each side replaces a file whose blocks are
  // allocated, as a file saved some time ago has.
  for (int run = 0; run < 5; ++run) {
    ::sync();
    ours = std::min(ours, Best(1, [&] { doc.WriteGOB(target); }));
    ::sync();
    theirs = std::min(theirs, Best(1, [&] {
                        if (std::system(cp.c_str()) != 0) std::exit(1);
                      }));
  }
  std::printf("archive: %.1f MB, %d members; ours %.0f MB/s, cp %.0f MB/s\n", megabytes,
              doc.MemberCount(), megabytes / ours, megabytes / theirs);
  PrintResult("save", ours, "cp", theirs);
  return 0;
}
