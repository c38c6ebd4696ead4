// dravik-demo-prefix: makes (or refreshes) a demo prefix, or writes the catalogue for a real
// prefix as a .reg file.
//
//   dravik-demo-prefix [--stand-in PROGRAM] FOLDER
//   dravik-demo-prefix --catalogue-reg FILE
//
// FILE is taken relative to the current folder (resources/dravik-catalogue.reg is made with it).

#include "catalogue/catalogue.h"
#include "demoprefix.h"
#include "platform/filestream.h"
#include "platform/prefix.h"
#include "platform/sysutils.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace dravik;

namespace {

int Usage() {
  std::fprintf(stderr, "usage: dravik-demo-prefix [--stand-in PROGRAM] FOLDER\n"
                       "       dravik-demo-prefix --catalogue-reg FILE\n");
  return 2;
}

} // namespace

int main(int argc, char** argv) {
  std::string standIn = DRAVIK_STAND_IN_GAME, folder, regFile;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if ((arg == "--stand-in" || arg == "--catalogue-reg") && i + 1 < argc)
      (arg == "--stand-in" ? standIn : regFile) = argv[++i];
    else if (!arg.empty() && arg[0] != '-' && folder.empty())
      folder = arg;
    else
      return Usage();
  }
  if (folder.empty() == regFile.empty()) return Usage();
  try {
    if (!regFile.empty()) {
      // A path relative to the current folder needs no prefix to name it.
      if (regFile[0] == '/') {
        std::fprintf(stderr, "dravik-demo-prefix: give the .reg file relative to the current "
                             "folder\n");
        return 2;
      }
      std::string text = CatalogueRegText();
      WriteFileAtomically(regFile, text.data(), static_cast<int64_t>(text.size()));
      std::printf("wrote %s\n", regFile.c_str());
      return 0;
    }
    TDemoPrefixResult result = MakeDemoPrefix(folder, standIn);
    std::printf("%s the demo prefix %s\n", result.Refreshed ? "Refreshed" : "Made",
                WinePrefix().c_str());
    for (const std::string& line : result.Lines)
      std::printf("  %s\n", line.c_str());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "dravik-demo-prefix: %s\n", e.what());
    return 1;
  }
}
