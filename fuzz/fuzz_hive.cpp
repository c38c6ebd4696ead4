// Wine registry hives: any bytes as system.reg are read, every value is written back through
// the writer (with a new key and value added) and the file is read again: the same keys and
// values, plus the new ones. A file the reader refuses stays as it was. Then the settings store
// (TRegistry) opens and reads keys of it, following links and redirections.
#include "fuzzsupport.h"
#include "platform/hive.h"
#include "platform/registry.h"

#include <map>

using namespace dravik;
using namespace dravik::fuzz;

namespace {

using TValues = std::map<std::u16string, std::pair<uint32_t, std::vector<uint8_t>>>;
using TSnapshot = std::map<std::u16string, TValues>; // folded key path -> values by folded name

void Snap(THive& hive, THiveKey* key, const std::u16string& path, TSnapshot& out) {
  TValues& values = out[path];
  for (const std::u16string& name : hive.ValueNames(key)) {
    const TRegValue* v = hive.FindValue(key, name);
    Check(v != nullptr, "a listed value cannot be found");
    values[FoldName(name)] = {v->Type, v->Data};
  }
  for (const auto& [folded, sub] : key->SubKeys)
    Snap(hive, sub.get(), path + u"\\" + folded, out);
}

TSnapshot Snap(THive& hive) {
  TSnapshot s;
  Snap(hive, hive.Root(), u"", s);
  return s;
}

const std::u16string kNewValueName = u"Fuzz \"value\" \\ \x01\x7f\xe9\xd800";
// Escapes of every kind, a control code before a digit and a lone surrogate.
const std::u16string kNewValueText = u"a\"b\\c\n\t\x1b\x80\xffff\xdc00 \x0001"
                                     u"7";

// Rewrites every value of every key with its own contents and adds Fuzz\Written.
bool Change(THive& hive) {
  std::vector<THiveKey*> keys{hive.Root()};
  for (size_t i = 0; i < keys.size(); ++i)
    for (const auto& [folded, sub] : keys[i]->SubKeys)
      keys.push_back(sub.get());
  for (THiveKey* key : keys)
    for (const std::u16string& name : hive.ValueNames(key))
      hive.SetValue(key, *hive.FindValue(key, name));
  THiveKey* fuzz = hive.AddSubKey(hive.Root(), u"Fuzz");
  THiveKey* written = hive.AddSubKey(fuzz, u"Written");
  hive.AddKeyLine(written);
  hive.SetValue(written, {kNewValueName, REG_SZ, StringValueData(kNewValueText)});
  return true;
}

// Opens keys through the settings store and reads their values as the program would.
void ReadThroughRegistry(const TSnapshot& keys) {
  TRegistry reg(HKEY_LOCAL_MACHINE);
  int opened = 0;
  for (const auto& [path, values] : keys) {
    if (++opened > 16) break;
    if (!reg.OpenKeyReadOnly(Utf16ToUtf8(path, true))) continue;
    TStringList names;
    reg.GetKeyNames(names);
    reg.GetValueNames(names);
    for (const std::string& name : names.Lines()) {
      try {
        reg.GetDataSize(name);
        switch (reg.GetDataType(name)) {
        case TRegDataType::rdString:
        case TRegDataType::rdExpandString:
          reg.ReadString(name);
          break;
        case TRegDataType::rdInteger:
          reg.ReadInteger(name);
          break;
        case TRegDataType::rdBinary:
          reg.ReadBinary(name);
          break;
        default:
          break;
        }
      } catch (const ERegistryException&) {
      }
    }
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzPrefix& prefix = TFuzzPrefix::Get();
  const std::string path = prefix.Host() + "/system.reg";
  const std::string input(reinterpret_cast<const char*>(data), size);
  WriteHostFile(path, input);

  THive hive(path, THive::hkMachine);
  hive.Refresh();
  TSnapshot expected = Snap(hive);
  bool saved = false;
  try {
    hive.Update([&] { return Change(hive); });
    saved = true;
  } catch (const EHiveError&) {
  }
  if (!saved) {
    Check(ReadHostFile(path) == input, "a refused hive was changed");
    return 0;
  }
  Check(ReadHostFile(path) == hive.Text(), "the saved file is not the hive's text");
  expected[u"\\FUZZ"];
  expected[u"\\FUZZ\\WRITTEN"][FoldName(kNewValueName)] = {REG_SZ, StringValueData(kNewValueText)};

  THive again(path, THive::hkMachine);
  again.Refresh();
  const TSnapshot read = Snap(again);
  for (const auto& [key, values] : expected) {
    auto it = read.find(key);
    Check(it != read.end(), "a key was lost: " + Utf16ToUtf8(key, true));
    Check(it->second == values, "the values of a key changed: " + Utf16ToUtf8(key, true));
  }
  Check(read.size() == expected.size(), "keys were added");

  ReadThroughRegistry(read);
  return 0;
}
