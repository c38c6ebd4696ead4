// Short wave sounds carried in the program's resources (":/sounds/<name>.wav"), played
// asynchronously: a call returns at once, and a new sound cuts off the one still playing.
// Where there is no audio output the calls do nothing. User-interface thread only.
#pragma once

#include <functional>
#include <string>

namespace dravik {

// Plays the sound resource `name` ("CLICK", "LAUNCH"). Never throws; a missing resource or
// device is silent.
void PlaySoundResource(const std::string& name);

// Waits, processing events, until the playing sound has finished or `maxMs` have passed (the
// program calls it before ending, so the launch sound is heard out).
void FinishSounds(int maxMs);

// For tests: while a hook is set it receives every name instead of the sound being played.
// Returns the previous hook. The program also stays silent when $DRAVIK_NO_SOUND is set.
using TSoundHook = std::function<void(const std::string& name)>;
TSoundHook SetSoundHook(TSoundHook hook);

} // namespace dravik
