#include "shell.h"

#include "prefix.h"
#include "sysutils.h"
#include "winfs.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QUrl>
#include <cstdlib>
#include <fstream>

namespace dravik {

namespace {

TDesktopOpen gDesktopOpen;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool OpenOnDesktop(const QUrl& url) {
  if (gDesktopOpen) return gDesktopOpen(url.toString().toStdString());
  return QDesktopServices::openUrl(url);
}

bool IsUrl(const std::string& file) {
  static const char* const kSchemes[] = {"http:", "https:", "ftp:", "mailto:", "file:"};
  const std::string lower = LowerCase(file);
  for (std::string_view scheme : kSchemes)
    if (lower.size() > scheme.size() && lower.compare(0, scheme.size(), scheme) == 0) return true;
  return false;
}

// Whether the host file is a Windows program: it begins with "MZ".
bool IsWindowsProgram(const std::string& hostPath) {
  std::ifstream in(hostPath, std::ios::binary);
  char magic[2] = {};
  return in.read(magic, 2) && magic[0] == 'M' && magic[1] == 'Z';
}

QStringList ToQt(const std::vector<std::string>& args) {
  QStringList out;
  for (const std::string& a : args)
    out << QString::fromStdString(a);
  return out;
}

} // namespace

TDesktopOpen SetDesktopOpen(TDesktopOpen open) {
  TDesktopOpen previous = std::move(gDesktopOpen);
  gDesktopOpen = std::move(open);
  return previous;
}

std::vector<std::string> CommandLineToArgv(std::string_view s) {
  std::vector<std::string> args;
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i]))
    ++i;
  while (i < s.size()) {
    std::string arg;
    size_t backslashes = 0; // run of backslashes just copied into arg
    int quotes = 0;         // 1 while inside a quoted group
    while (i < s.size() && !(IsBlank(s[i]) && quotes == 0)) {
      const char c = s[i];
      if (c == '\\') {
        arg += c;
        ++backslashes;
        ++i;
      } else if (c == '"') {
        // Half of the backslashes before a quote stand for themselves.
        arg.resize(arg.size() - backslashes / 2);
        if (backslashes % 2 == 0) {
          ++quotes;
        } else {
          arg.back() = '"'; // the last backslash escaped the quote
        }
        backslashes = 0;
        ++i;
        // A run of quotes: every third one (counting the group's opening) is literal.
        while (i < s.size() && s[i] == '"') {
          if (++quotes == 3) {
            arg += '"';
            quotes = 0;
          }
          ++i;
        }
        if (quotes == 2) quotes = 0;
      } else {
        arg += c;
        backslashes = 0;
        ++i;
      }
    }
    args.push_back(std::move(arg));
    while (i < s.size() && IsBlank(s[i]))
      ++i;
  }
  return args;
}

bool ShellExecute(const std::string& file, const std::string& parameters,
                  const std::string& directory, int /*showMode*/) {
  if (file.empty()) return false;
  if (IsUrl(file)) {
    QUrl url(QString::fromStdString(file));
    return url.isValid() && OpenOnDesktop(url);
  }
  const std::string host = winfs::ToHostPath(file);
  QFileInfo info(QString::fromStdString(host));
  // Only plain files: reading a named pipe to look for "MZ" would wait for its writer.
  if (host.empty() || !info.isFile()) return false;

  const bool windowsProgram = IsWindowsProgram(host);
  if (!windowsProgram && !info.isExecutable())
    return OpenOnDesktop(QUrl::fromLocalFile(info.absoluteFilePath()));

  QString workDir;
  if (!directory.empty()) {
    std::string hostDir = winfs::ToHostPath(directory);
    if (hostDir.empty() || !QFileInfo(QString::fromStdString(hostDir)).isDir()) return false;
    workDir = QString::fromStdString(hostDir);
  }
  QProcess process;
  QStringList args = ToQt(CommandLineToArgv(parameters));
  if (windowsProgram) {
    const char* wine = std::getenv("WINE");
    process.setProgram(QString::fromLocal8Bit(wine && *wine ? wine : "wine"));
    args.prepend(info.absoluteFilePath());
  } else {
    process.setProgram(info.absoluteFilePath());
  }
  process.setArguments(args);
  if (!workDir.isEmpty()) process.setWorkingDirectory(workDir);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("WINEPREFIX", QString::fromStdString(WinePrefix()));
  process.setProcessEnvironment(env);
  process.setStandardInputFile(QProcess::nullDevice());
  return process.startDetached();
}

} // namespace dravik
