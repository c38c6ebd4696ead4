// dravik-stand-in-game: stands in for the game's program in the demo prefix (copied there as
// halvex.exe and morvane.exe). It records how it was started, each argument on a line of its own
// and the working folder, by appending to "launch.log" in its working folder, prints the same,
// and ends. So a player trying Dravik without the game sees what Launch did, and tests check it.

#include "platform/filestream.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"

#include <cstdio>
#include <ctime>
#include <optional>
#include <string>

using namespace dravik;

int main(int argc, char** argv) {
  std::string program = argc > 0 ? argv[0] : "game";
  program = ExtractFileName(program.substr(program.rfind('/') + 1));
  const std::string hostFolder = winfs::ToHostPath(".");
  std::optional<std::string> winFolder = winfs::ToWindowsPath(hostFolder);

  char when[32] = "";
  std::time_t now = std::time(nullptr);
  if (const std::tm* local = std::localtime(&now))
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", local);

  std::string text = Format("== %s started %s (Dravik's stand-in for the game)\n", program, when);
  text += "working folder: " + winFolder.value_or("(on no drive of the prefix)") + "\n";
  text += "linux folder: " + hostFolder + "\n";
  text += Format("arguments: %d\n", argc - 1);
  for (int i = 1; i < argc; ++i)
    text += Format("argument %d: %s\n", i, argv[i]);

  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
  try {
    // Appends, so that every launch of a session stays on record.
    const char* log = "launch.log";
    TFileStream file(log, winfs::FileExists(log) ? fmOpenReadWrite : fmCreate);
    file.Seek(file.Size());
    file.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: cannot write launch.log: %s\n", program.c_str(), e.what());
    return 1;
  }
  return 0;
}
