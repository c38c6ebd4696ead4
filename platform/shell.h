// The shell's open action: documents and web pages go to the desktop's handler; programs start
// as independent processes in the folder given. Windows programs (files beginning with "MZ")
// run through `wine` (or $WINE) with WINEPREFIX set to the program's prefix; other executables
// run directly. Never waits for what it started.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace dravik {

// Show modes of the callers; the desktop decides how windows appear, so they are advisory.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;

// Opens `file`: a URL (http, https, ftp, mailto, file), a document, or a program (a Windows path,
// or a name relative to the current folder). A program gets `parameters`, split by the Windows
// command-line rules, and starts in `directory` (a Windows path; empty: the current folder).
// Folders, pipes and devices open nothing. Returns whether the document was handed over or the
// program started; failures are not shown.
bool ShellExecute(const std::string& file, const std::string& parameters,
                  const std::string& directory, int showMode);

// Splits a command line's parameters as Windows programs split theirs: blanks and tabs part
// arguments, double quotes group them (inside a group two quotes give a literal quote and end
// the group; outside, three do), and backslashes are literal except before a quote (2n of them
// and a quote: n backslashes and the quote groups; 2n+1 of them: n backslashes and a literal
// quote). A group that is never closed runs to the end.
std::vector<std::string> CommandLineToArgv(std::string_view commandLine);

// For tests: while set, receives each URL that would go to the desktop's handler (documents as
// file: URLs) and answers whether it was opened. Returns the previous one.
using TDesktopOpen = std::function<bool(const std::string& url)>;
TDesktopOpen SetDesktopOpen(TDesktopOpen open);

} // namespace dravik
