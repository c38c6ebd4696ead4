// How the file system layer compares names, as Windows does: without regard to letter case,
// by fixed tables that never depend on the process's locale. For the platform layer's own
// file code.
#pragma once

#include <string>
#include <string_view>

namespace dravik::winfs {

// A name (UTF-8) as a sequence of case-folded characters: two names that differ only in
// letter case fold alike. Case is folded for ASCII, Latin-1, Latin Extended-A and the regular
// parts of Extended-B and Extended Additional, Greek, Cyrillic, Armenian, Roman numerals,
// circled and full-width letters. A byte that is not part of well-formed UTF-8 stands for
// itself, above every character, so no two different byte strings fold alike unless they
// differ only in letter case.
std::u32string FoldName(std::string_view name);

// Windows wildcard match over folded names: "*" any run, "?" exactly one character.
bool MatchFolded(std::u32string_view folded, std::u32string_view foldedMask);

} // namespace dravik::winfs
