#include "commandline.h"

#include "patches/installer.h"
#include "platform/prefixlayout.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"

#include <QUrl>

namespace dravik {

namespace {

// The switches. One that takes a value would take the argument after it.
struct TSwitch {
  const char* Name;
  void (*Apply)(TCommandLine& commandLine);
};

const TSwitch kSwitches[] = {
    {"-quickstart", [](TCommandLine& c) { c.QuickStart = true; }},
    {"-mrvn", [](TCommandLine& c) { c.Morvane = true; }},
};

bool IsLink(const std::string& arg) {
  static const char* const kSchemes[] = {"http://", "https://", "ftp://", "file:"};
  const std::string lower = LowerCase(arg);
  for (const char* scheme : kSchemes)
    if (lower.rfind(scheme, 0) == 0 && lower.size() > std::string(scheme).size()) return true;
  return false;
}

// The local file a file URL names; "" for any other link.
std::string LocalFileOf(const std::string& link) {
  const QUrl url(QString::fromStdString(link));
  if (!url.isValid() || !url.isLocalFile()) return std::string();
  const std::string path = url.toLocalFile().toStdString();
  return IsHostFile(path) ? path : std::string();
}

// Applies the switch `arg` names; false when it names none.
bool ApplySwitch(TCommandLine& c, const std::string& arg) {
  const std::string lower = LowerCase(arg);
  for (const TSwitch& s : kSwitches)
    if (lower == s.Name) {
      s.Apply(c);
      return true;
    }
  return false;
}

} // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  TCommandLine c;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string resolved = arg;
    if (LowerCase(arg) == "-set") {
      // The one switch with a value: the next argument, whatever it looks like.
      c.Set = i + 1 < args.size() ? args[i + 1] : std::string();
      c.Resolved.push_back(arg);
      if (i + 1 < args.size()) c.Resolved.push_back(args[++i]);
      continue;
    }
    if (ApplySwitch(c, arg)) {
      // a switch
    } else if (IsLink(arg)) {
      const std::string local = LocalFileOf(arg);
      c.Items.push_back(local.empty() ? arg : local);
    } else if (!arg.empty() && IsHostFile(arg)) {
      resolved = AbsoluteHostPath(arg);
      c.Items.push_back(resolved);
    } else {
      c.Unknown.push_back(arg);
    }
    c.Resolved.push_back(std::move(resolved));
  }
  return c;
}

TInstallReport InstallItems(TInstaller& installer, const std::vector<std::string>& items) {
  TInstallReport report;
  for (const std::string& item : items) {
    TInstallReport part;
    if (item.empty() || item[0] != '/') {
      part = installer.InstallURLs({item});
    } else if (std::optional<std::string> path = winfs::ToWindowsPath(item)) {
      part = installer.InstallFiles({*path});
    } else {
      part.push_back({ioFailed, item,
                      Format("Cannot install %s: no drive of the Wine prefix leads to it", item)});
    }
    report.insert(report.end(), part.begin(), part.end());
  }
  return report;
}

std::string UnknownArgumentsMessage(const std::vector<std::string>& unknown) {
  std::string message;
  for (const std::string& arg : unknown)
    message += (message.empty() ? "" : "\r\n") +
               Format("\"%s\" is neither a switch, an existing file nor a link.", arg);
  return message;
}

} // namespace dravik
