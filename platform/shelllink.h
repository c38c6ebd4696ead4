// Shell links (.lnk files): where a link points.
#pragma once

#include <string>
#include <string_view>

namespace dravik {

// Longest target path a link may give, in characters (a path buffer of 260 less its
// terminating zero).
constexpr size_t kMaxLinkTargetLength = 259;

// The target of the shell link file at `winPath` (a Windows path), as a Windows path in
// UTF-8: the link's local base path followed by its common path suffix, or, for a link to a
// network share only, the share name, "\" and the suffix. Throws Exception, naming the file,
// when the file is missing or is not a shell link, when the link names no target path, or
// when the target is longer than kMaxLinkTargetLength characters. Blocks on file I/O only.
std::string ResolveShellLinkFile(std::string_view winPath);

} // namespace dravik
