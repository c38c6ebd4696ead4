// Which Wine prefix Dravik works on. $WINEPREFIX from the environment wins. Without it, the
// prefix last chosen inside Dravik (File > Wine Prefix, or a choice at start), which Dravik
// keeps in its own settings (~/.config/dravik/dravik.conf: a prefix cannot hold where the
// prefix is), while it is still a prefix. Failing that, ~/.wine when a game's program lies in
// it; else the prefixes in the usual places that hold one (prefixsearch.h): one is used, and the
// user told so; of several the user picks one; with none Dravik stays with ~/.wine, and the
// Game Not Found dialog says where it looked.
#pragma once

#include <string>

namespace dravik {

// The prefix kept in Dravik's settings; "" when none is.
std::string RememberedPrefix();
// Keeps `hostPath` as the prefix to start on next time.
void RememberPrefix(const std::string& hostPath);

// The prefix a start would use before it looks for others: $WINEPREFIX, else the remembered
// prefix while it is one, else ~/.wine. Asks nothing, writes nothing.
std::string KnownPrefix();

// Chooses the prefix for this run as above and makes it the program's (SetWinePrefix). May ask
// through Dialogs() and remember the answer. Blocks on the search of the usual places.
void ChooseStartPrefix();

// After ChooseStartPrefix looked in the usual places and found no game: a sentence saying
// where it looked, for the Game Not Found dialog; "" otherwise.
std::string PrefixSearchNote();

// Makes `hostPath` the prefix for the rest of the run and remembers it.
void UsePrefix(const std::string& hostPath);

// The Wine prefix that holds `hostFolder` (the folder itself, or the nearest folder above it
// laid out as a prefix); "" when there is none.
std::string EnclosingPrefix(const std::string& hostFolder);

} // namespace dravik
