#include "viewsettings.h"

#include "platform/addresses.h"
#include "platform/registry.h"
#include "platform/stringlist.h"
#include "platform/sysutils.h"

#include <charconv>

namespace dravik {

namespace {

constexpr int kMaxWidth = 10000;

int ReadWidth(const TRegistry& reg, const char* name) {
  if (reg.GetDataType(name) != TRegDataType::rdInteger) return 0;
  const int width = reg.ReadInteger(name);
  return width > 0 && width <= kMaxWidth ? width : 0;
}

std::string ReadText(const TRegistry& reg, const char* name) {
  return reg.GetDataType(name) == TRegDataType::rdString ? reg.ReadString(name) : std::string();
}

} // namespace

std::string ColumnWidthsText(const TColumnWidths& widths) {
  TStringList lines;
  for (const auto& [caption, width] : widths)
    lines.Add(Format("%d=%s", width, caption));
  return lines.Text();
}

TColumnWidths ParseColumnWidths(const std::string& text) {
  TColumnWidths widths;
  TStringList lines;
  lines.SetText(text);
  for (const std::string& line : lines.Lines()) {
    // The width comes first: a caption may hold any character but a line break.
    const size_t sign = line.find('=');
    if (sign == std::string::npos || sign == 0) continue;
    int width = 0;
    auto [end, ec] = std::from_chars(line.data(), line.data() + sign, width);
    if (ec != std::errc() || end != line.data() + sign || width <= 0 || width > kMaxWidth) continue;
    widths[line.substr(sign + 1)] = width;
  }
  return widths;
}

TViewSettings ReadViewSettings() {
  TViewSettings settings;
  try {
    TRegistry reg(HKEY_CURRENT_USER);
    if (!reg.OpenKeyReadOnly(ProgramSettingsKey)) return settings;
    settings.NameColumnWidth = ReadWidth(reg, "NameColumnWidth");
    settings.TypeColumnWidth = ReadWidth(reg, "TypeColumnWidth");
    settings.AddFolder = ReadText(reg, "AddFolder");
    settings.Repository = ParseColumnWidths(ReadText(reg, "RepositoryColumnWidths"));
  } catch (const std::exception&) {
    // What cannot be read is not remembered.
  }
  return settings;
}

void WriteViewSettings(const TViewSettings& settings) {
  TRegistry reg(HKEY_CURRENT_USER);
  if (!reg.OpenKey(ProgramSettingsKey, true)) return;
  if (settings.NameColumnWidth > 0) reg.WriteInteger("NameColumnWidth", settings.NameColumnWidth);
  if (settings.TypeColumnWidth > 0) reg.WriteInteger("TypeColumnWidth", settings.TypeColumnWidth);
  if (!settings.AddFolder.empty()) reg.WriteString("AddFolder", settings.AddFolder);
  if (!settings.Repository.empty())
    reg.WriteString("RepositoryColumnWidths", ColumnWidthsText(settings.Repository));
}

} // namespace dravik
