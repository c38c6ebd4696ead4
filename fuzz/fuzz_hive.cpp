// The text of Wine registry hives: any bytes are read as a hive; a text the reader refuses
// leaves it empty, one it takes is written back byte for byte. Then every value is written
// back through the writer (with a new key and value added) and the written text is read again:
// the same keys and values, plus the new ones.
#include "fuzzsupport.h"
#include "platform/hivetext.h"

#include <map>

using namespace dravik;
using namespace dravik::fuzz;

namespace {

using TValues = std::map<std::u16string, std::pair<uint32_t, std::vector<uint8_t>>>;
using TSnapshot = std::map<std::u16string, TValues>; // folded key path -> values by folded name

void Snap(THiveText& hive, THiveKey* key, const std::u16string& path, TSnapshot& out) {
  TValues& values = out[path];
  for (const std::u16string& name : hive.ValueNames(key)) {
    const TRegValue* v = hive.FindValue(key, name);
    Check(v != nullptr, "a listed value cannot be found");
    values[FoldName(name)] = {v->Type, v->Data};
  }
  for (const auto& [folded, sub] : key->SubKeys)
    Snap(hive, sub.get(), path + u"\\" + folded, out);
}

TSnapshot Snap(THiveText& hive) {
  TSnapshot s;
  Snap(hive, hive.Root(), u"", s);
  return s;
}

const std::u16string kNewValueName = u"Fuzz \"value\" \\ \x01\x7f\xe9\xd800";
// Escapes of every kind, a control code before a digit and a lone surrogate.
const std::u16string kNewValueText = u"a\"b\\c\n\t\x1b\x80\xffff\xdc00 \x0001"
                                     u"7";

// Rewrites every value of every key with its own contents and adds Fuzz\Written.
void Change(THiveText& hive) {
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
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  THiveText hive;
  if (!hive.Read(input)) {
    Check(hive.Root()->SubKeys.empty() && hive.Text().empty(), "a refused text left something");
    return 0;
  }
  Check(hive.Text() == input, "an unchanged hive is not written back as it was read");
  TSnapshot expected = Snap(hive);
  Change(hive);
  expected[u"\\FUZZ"];
  expected[u"\\FUZZ\\WRITTEN"][FoldName(kNewValueName)] = {REG_SZ, StringValueData(kNewValueText)};

  const std::string written = hive.Text();
  THiveText again;
  Check(again.Read(written), "the written text is not read as a hive");
  const TSnapshot read = Snap(again);
  for (const auto& [key, values] : expected) {
    auto it = read.find(key);
    Check(it != read.end(), "a key was lost: " + Utf16ToUtf8(key, true));
    Check(it->second == values, "the values of a key changed: " + Utf16ToUtf8(key, true));
  }
  Check(read.size() == expected.size(), "keys were added");
  return 0;
}
