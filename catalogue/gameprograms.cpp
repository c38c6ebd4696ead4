#include "gameprograms.h"

#include "platform/sysutils.h"

namespace dravik {

const std::array<TGameProgram, 2> GamePrograms = {{
    {"Halvex", "halvex.exe"},
    {"Morvane", "morvane.exe"},
}};

const TGameProgram* GameProgramOf(const std::string& fileName) {
  for (const TGameProgram& program : GamePrograms)
    if (SameText(fileName, program.FileName)) return &program;
  return nullptr;
}

} // namespace dravik
