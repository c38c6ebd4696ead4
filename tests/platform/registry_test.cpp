#include "platform/registry.h"
#include "platform/sysutils.h"
#include "tests/fixtures/fakewineserver.h"
#include "tests/fixtures/tempprefix.h"
#include "tests/platform/testhelpers.h"

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <random>
#include <regex>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace dravik;
using namespace dravik::test;
namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

// Hex bytes as a hand-edited file might wrap them: 16 to a line.
std::string HexLines(const std::vector<uint8_t>& bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    out += Format("%02x", bytes[i]);
    if (i + 1 < bytes.size()) out += (i % 16 == 15) ? ",\\\n  " : ",";
  }
  return out;
}

std::vector<uint8_t> Utf16Le(const std::u16string& s) {
  std::vector<uint8_t> out;
  for (char16_t c : s) {
    out.push_back(uint8_t(c & 0xFF));
    out.push_back(uint8_t(c >> 8));
  }
  return out;
}

// A 64-bit prefix's machine hive as Wine writes it, with what a 32-bit installer left.
std::string MachineHive(const char* arch = "win64") {
  return std::string("WINE REGISTRY Version 2\n"
                     ";; All keys relative to REGISTRY\\\\Machine\n"
                     "\n"
                     "#arch=") +
         arch +
         "\n"
         "\n"
         "[Software\\\\Classes\\\\.gob] 1700000000\n"
         "#time=1da1a2b3c4d5e6f\n"
         "@=\"GobFile\"\n"
         "\n"
         "[Software\\\\Orlemont\\\\HXPatch] 1700000001\n"
         "#time=1da1a2b3c4d5e70\n"
         "\"Native\"=\"yes\"\n"
         "\n"
         "[Software\\\\Wow6432Node\\\\Microsoft\\\\DirectPlay\\\\Applications\\\\Halvex] "
         "1700000002\n"
         "#time=1da1a2b3c4d5e71\n"
         "\"CommandLine\"=\"\"\n"
         "\"Description\"=str(2):\"%ProgramFiles%\\\\Halvex\\\\Gr\\xfc\\x00dfe \\\"q\\\"\\tTab\"\n"
         "\"File\"=\"halvex.exe\"\n"
         "\"Flags\"=dword:0000001f\n"
         "\"Multi\"=str(7):\"one\\0two\\0\"\n"
         "\"Multi2\"=hex(7):6f,00,6e,00,65,00,00,00,00,00\n"
         "\"Path\"=\"C:\\\\Games\\\\Halvex\"\n"
         "\"Quota\"=hex(b):00,10,00,00,00,00,00,00\n"
         "\"Unicode\"=\"\\x41f\\x440\\x438\\x432\\x435\\x442 \\xd83d\\xde00 end\"\n"
         "\"Utf8\"=\"Gr\xc3\xbc\xc3\x9f"
         "e raw\"\n"
         "\n"
         "[Software\\\\Wow6432Node\\\\Orlemont\\\\HXPatch\\\\Applications\\\\0] 1700000003\n"
         "#time=1da1a2b3c4d5e72\n"
         "\"AppName\"=\"Halvex\"\n"
         "\"Icon\"=hex:00,00,01,00,01,00,10,10,10,00,00,00,00,00,28,01,00,00,16,00,00,00,\\\n"
         "  28,00,00,00,10,00,00,00,20,00,00,00,01,00,04,00,00,00,00,00,c0,00,00,00,00,\\\n"
         "  00\n"
         "\"Patch Filter\"=\"*.gob\"\n"
         "\n"
         "[Software\\\\Wow6432Node\\\\Orlemont\\\\HXPatch\\\\Applications\\\\0\\\\Repositories] "
         "1700000004\n"
         "#time=1da1a2b3c4d5e73\n"
         ";; a comment Wine would drop\n"
         "\"Main\"=\"http://127.0.0.1/hx/\"\n"
         "\n"
         "[Software\\\\Wow6432Node\\\\Orlemont\\\\HXPatch\\\\Applications\\\\1] 1700000005\n"
         "#time=1da1a2b3c4d5e74\n"
         "#class=\"odd\"\n"
         "\"AppName\"=\"Morvane\"\n"
         "\n"
         "[Software\\\\Wow6432Node\\\\Orlemont\\\\HXPatch\\\\Applications\\\\10] 1700000006\n"
         "#time=1da1a2b3c4d5e75\n"
         "\"AppName\"=\"Ten\"\n"
         "\n"
         "[Software\\\\Wow6432Node\\\\Orlemont\\\\HXPatch\\\\Applications\\\\2] 1700000007\n"
         "#time=1da1a2b3c4d5e76\n"
         "\"AppName\"=\"Two\"\n"
         "\n"
         "[System\\\\ControlSet001\\\\Control\\\\Session Manager\\\\Environment] 1700000008\n"
         "#time=1da1a2b3c4d5e77\n"
         "\"PATH\"=str(2):\"%SystemRoot%\\\\system32\"\n"
         "\n"
         "[System\\\\CurrentControlSet] 1700000009\n"
         "#time=1da1a2b3c4d5e78\n"
         "#link\n"
         "\"SymbolicLinkValue\"=hex(6):" +
         HexLines(Utf16Le(u"\\REGISTRY\\MACHINE\\System\\ControlSet001")) + "\n";
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(text.substr(start, nl - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// Indexes of the lines that differ between two texts of the same line count.
std::vector<size_t> ChangedLines(const std::string& a, const std::string& b) {
  std::vector<std::string> la = Lines(a), lb = Lines(b);
  EXPECT_EQ(la.size(), lb.size());
  std::vector<size_t> changed;
  for (size_t i = 0; i < la.size() && i < lb.size(); ++i)
    if (la[i] != lb[i]) changed.push_back(i);
  return changed;
}

// Files in the prefix folder whose names start with `prefix`.
int CountFiles(const std::string& folder, const std::string& prefix) {
  int n = 0;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().filename().string().starts_with(prefix)) ++n;
  return n;
}

constexpr const char* kApps = "\\SOFTWARE\\Orlemont\\HXPatch\\Applications";
constexpr const char* kWowApps = "Software\\Wow6432Node\\Orlemont\\HXPatch\\Applications";
constexpr const char* kHalvexDp = "\\Software\\Microsoft\\DirectPlay\\Applications\\Halvex";

} // namespace

TEST(Registry, MissingHiveIsEmptyAndFirstWriteMakesWinesHeader) {
  TTempPrefix prefix;
  TRegistry machine(HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(machine.OpenKey(kApps, false));
  EXPECT_FALSE(machine.HasOpenKey());
  EXPECT_FALSE(machine.KeyExists("Software"));
  EXPECT_FALSE(HostExists(prefix.Path() + "/system.reg"));

  TRegistry user;
  ASSERT_TRUE(user.OpenKey("SOFTWARE\\Orlemont\\HXPatch", true));
  EXPECT_EQ(user.CurrentPath(), "SOFTWARE\\Orlemont\\HXPatch");
  user.WriteString("LastGame", "Halvex");
  std::regex expected("WINE REGISTRY Version 2\n"
                      ";; All keys relative to REGISTRY\\\\\\\\User\\\\\\\\S-1-5-21-0-0-0-1000\n"
                      "\n"
                      "#arch=win64\n"
                      "\n"
                      "\\[SOFTWARE\\\\\\\\Orlemont\\\\\\\\HXPatch\\] [0-9]+\n"
                      "#time=[0-9a-f]+\n"
                      "\"LastGame\"=\"Halvex\"\n");
  std::string text = ReadHostFile(prefix.Path() + "/user.reg");
  EXPECT_TRUE(std::regex_match(text, expected)) << text;

  ASSERT_TRUE(machine.OpenKey("Software\\Dravik", true));
  EXPECT_TRUE(
      ReadHostFile(prefix.Path() + "/system.reg")
          .starts_with("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n"
                       "#arch=win64\n\n[Software\\\\Dravik] "));
}

TEST(Registry, NamesIgnoreCaseKeepSpellingAndPathsNest) {
  TTempPrefix prefix;
  WriteHostFile(prefix.Path() + "/system.reg", MachineHive());
  TRegistry reg(HKEY_LOCAL_MACHINE);

  // A key implied only by its children's paths exists; sub-keys list ascending ignoring case.
  ASSERT_TRUE(reg.OpenKey("software\\orlemont\\HXPATCH\\applications", false));
  EXPECT_EQ(reg.CurrentPath(), kWowApps);
  TStringList names;
  reg.GetKeyNames(names);
  EXPECT_EQ(names, TStringList({"0", "1", "10", "2"}));
  EXPECT_TRUE(reg.HasSubKeys());

  // Empty name: the key itself; relative below the open key; leading "\": from the root.
  ASSERT_TRUE(reg.OpenKey("", false));
  EXPECT_EQ(reg.CurrentPath(), kWowApps);
  ASSERT_TRUE(reg.OpenKey("0", false));
  EXPECT_TRUE(reg.KeyExists("REPOSITORIES"));
  ASSERT_TRUE(reg.OpenKey("Repositories", false));
  EXPECT_EQ(reg.CurrentPath(), std::string(kWowApps) + "\\0\\Repositories");
  EXPECT_FALSE(reg.HasSubKeys());
  ASSERT_TRUE(reg.OpenKey("\\Software\\Orlemont\\HXPatch\\Applications\\1", false));
  EXPECT_EQ(reg.ReadString("APPNAME"), "Morvane");
  EXPECT_FALSE(reg.OpenKey("Nope", false));
  EXPECT_FALSE(reg.HasOpenKey());

  // A value written under another spelling keeps the stored one.
  ASSERT_TRUE(reg.OpenKey(std::string(kApps) + "\\0", false));
  reg.WriteString("APPNAME", "Halvex Gold");
  EXPECT_NE(ReadHostFile(prefix.Path() + "/system.reg").find("\n\"AppName\"=\"Halvex Gold\"\n"),
            std::string::npos);
  reg.GetValueNames(names);
  EXPECT_EQ(names, TStringList({"AppName", "Icon", "Patch Filter"}));
}

TEST(Registry, RepeatedKeysAndValuesReadAsWineReadsThem) {
  TTempPrefix prefix;
  std::string path = prefix.Path() + "/user.reg";
  WriteHostFile(path, "WINE REGISTRY Version 2\n"
                      "\n[Software\\\\Dup] 1\n\"V\"=\"first\"\n\"v\"=\"second\"\n"
                      "\n[SOFTWARE\\\\dup] 2\n\"Only\"=\"x\"\n\"V\"=\"third\"\n");
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("software\\DUP", false));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Dup");
  EXPECT_EQ(reg.ReadString("V"), "third");
  TStringList names;
  reg.GetValueNames(names);
  EXPECT_EQ(names, TStringList({"V", "Only"}));

  reg.WriteString("v", "new");
  std::string saved = ReadHostFile(path);
  EXPECT_EQ(saved.find("first"), std::string::npos);
  EXPECT_EQ(saved.find("second"), std::string::npos);
  EXPECT_NE(saved.find("\"Only\"=\"x\"\n\"V\"=\"new\"\n"), std::string::npos) << saved;
}

TEST(Registry, ReadsEveryFormWineWrites) {
  TTempPrefix prefix;
  WriteHostFile(prefix.Path() + "/system.reg", MachineHive());
  TRegistry reg(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey(kHalvexDp, false));

  EXPECT_EQ(reg.ReadString("Description"), "%ProgramFiles%\\Halvex\\Gr\xc3\xbc\xc3\x9f"
                                           "e \"q\"\tTab");
  EXPECT_EQ(reg.GetDataType("Description"), TRegDataType::rdExpandString);
  EXPECT_EQ(reg.ReadString("Unicode"),
            "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82 \xf0\x9f\x98\x80 end");
  EXPECT_EQ(reg.ReadString("Utf8"), "Gr\xc3\xbc\xc3\x9f"
                                    "e raw");
  EXPECT_EQ(reg.ReadString("CommandLine"), "");
  EXPECT_TRUE(reg.ValueExists("CommandLine"));
  EXPECT_EQ(reg.GetDataSize("CommandLine"), 2);
  EXPECT_EQ(reg.GetDataSize("Path"), 2 * (int(std::string("C:\\Games\\Halvex").size()) + 1));
  EXPECT_EQ(reg.ReadInteger("Flags"), 31);
  EXPECT_TRUE(reg.ReadBool("Flags"));
  EXPECT_EQ(reg.GetDataType("Flags"), TRegDataType::rdInteger);
  EXPECT_EQ(reg.GetDataType("Multi"), TRegDataType::rdUnknown);
  EXPECT_EQ(reg.GetDataSize("Multi"), 18);
  EXPECT_EQ(reg.GetDataType("Quota"), TRegDataType::rdUnknown);
  EXPECT_EQ(reg.GetDataSize("Quota"), 8);

  ASSERT_TRUE(reg.OpenKey(std::string(kApps) + "\\0", false));
  std::vector<uint8_t> icon = reg.ReadBinary("Icon");
  ASSERT_EQ(icon.size(), 48u);
  EXPECT_EQ(icon[14], 0x28);
  EXPECT_EQ(icon[42], 0xc0);
  EXPECT_EQ(reg.GetDataType("Icon"), TRegDataType::rdBinary);

  // The reader's extras: str:, short and long escapes, any escaped char, blanks round "=",
  // CR LF and CR line ends, "" as the default value's name.
  WriteHostFile(prefix.Path() + "/user.reg", "WINE REGISTRY Version 2\r\n"
                                             "\r\n"
                                             "  [Software\\\\X\\]y] 1\r\n"
                                             "\"a\" = str:\"\\x7\\101\\q\\x\\7771\"\r"
                                             "\"b\"\t=\thex(3):1,2,ff\r\n"
                                             "\"\"=\"default\"\n"
                                             "\"d\"=dword:ABC\n");
  TRegistry user;
  ASSERT_TRUE(user.OpenKey("Software\\X]y", false));
  EXPECT_EQ(user.ReadString("a"), "\x07"
                                  "Aqx\xc7\xbf"
                                  "1");
  EXPECT_EQ(user.ReadBinary("b"), std::vector<uint8_t>({1, 2, 0xff}));
  EXPECT_EQ(user.ReadString(""), "default");
  EXPECT_EQ(user.ReadInteger("d"), 0xabc);
}

TEST(Registry, AbsentValuesAndWrongTypesGiveTheProgramsMessages) {
  TTempPrefix prefix;
  WriteHostFile(prefix.Path() + "/system.reg", MachineHive());
  TRegistry reg(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey(kHalvexDp, false));

  EXPECT_EQ(reg.ReadString("Missing"), "");
  uint8_t buffer[5] = {9, 9, 9, 9, 9};
  EXPECT_EQ(reg.ReadBinaryData("Missing", buffer, 5), 0);
  EXPECT_EQ(buffer[0], 9);
  EXPECT_EQ(reg.GetDataSize("Missing"), -1);
  EXPECT_EQ(ExceptionMessage([&] { reg.ReadInteger("Missing"); }),
            "Failed to get data for 'Missing'");

  EXPECT_EQ(ExceptionMessage([&] { reg.ReadString("Flags"); }), "Invalid data type for 'Flags'");
  EXPECT_EQ(ExceptionMessage([&] { reg.ReadString("Multi"); }), "Invalid data type for 'Multi'");
  EXPECT_EQ(ExceptionMessage([&] { reg.ReadBinaryData("Path", buffer, 5); }),
            "Invalid data type for 'Path'");
  EXPECT_EQ(ExceptionMessage([&] { reg.ReadBinaryData("Quota", buffer, 8); }),
            "Invalid data type for 'Quota'");
  EXPECT_EQ(ExceptionMessage([&] { reg.ReadInteger("Path"); }), "Invalid data type for 'Path'");

  ASSERT_TRUE(reg.OpenKey(std::string(kApps) + "\\0", false));
  EXPECT_EQ(ExceptionMessage([&] { reg.ReadBinaryData("Icon", buffer, 5); }),
            "Invalid data type for 'Icon'");
  EXPECT_EQ(buffer[0], 9);
  std::vector<uint8_t> icon(48);
  EXPECT_EQ(reg.ReadBinaryData("Icon", icon.data(), 48), 48);

  std::string before = ReadHostFile(prefix.Path() + "/system.reg");
  ASSERT_TRUE(reg.OpenKeyReadOnly(std::string(kApps) + "\\0"));
  EXPECT_EQ(ExceptionMessage([&] { reg.WriteString("AppName", "x"); }),
            "Failed to set data for 'AppName'");
  EXPECT_FALSE(reg.DeleteValue("AppName"));
  reg.CloseKey();
  EXPECT_EQ(ExceptionMessage([&] { reg.WriteInteger("N", 1); }), "Failed to set data for 'N'");
  EXPECT_EQ(ReadHostFile(prefix.Path() + "/system.reg"), before);
}

TEST(Registry, SavingChangesOnlyTheValueAndItsKeysTime) {
  TTempPrefix prefix;
  std::string original = MachineHive();
  WriteHostFile(prefix.Path() + "/system.reg", original);
  TRegistry reg(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey(kHalvexDp, false));
  reg.WriteString("path", "D:\\Spiele\\Halvex");
  uint32_t now = static_cast<uint32_t>(time(nullptr));

  std::string saved = ReadHostFile(prefix.Path() + "/system.reg");
  std::vector<std::string> lines = Lines(saved);
  std::vector<size_t> changed = ChangedLines(original, saved);
  ASSERT_EQ(changed.size(), 3u) << saved;
  EXPECT_EQ(lines[changed[2]], "\"Path\"=\"D:\\\\Spiele\\\\Halvex\"");

  // The key line's seconds and #time= (100 ns since 1601) both say now.
  std::smatch m;
  ASSERT_TRUE(std::regex_match(
      lines[changed[0]], m,
      std::regex("\\[Software\\\\\\\\Wow6432Node\\\\\\\\Microsoft\\\\\\\\DirectPlay"
                 "\\\\\\\\Applications\\\\\\\\Halvex\\] ([0-9]+)")));
  uint32_t seconds = static_cast<uint32_t>(std::stoul(m[1]));
  EXPECT_LE(now - seconds, 2u);
  ASSERT_TRUE(lines[changed[1]].starts_with("#time="));
  uint64_t ticks = std::stoull(lines[changed[1]].substr(6), nullptr, 16);
  EXPECT_EQ(ticks / 10000000 - 11644473600ULL, seconds);

  // Deleting goes the same way, and the rest reads back unchanged.
  ASSERT_TRUE(reg.DeleteValue("PATH"));
  EXPECT_FALSE(reg.DeleteValue("Path"));
  saved = ReadHostFile(prefix.Path() + "/system.reg");
  EXPECT_EQ(saved.find("\"Path\"="), std::string::npos);
  EXPECT_EQ(Lines(saved).size(), Lines(original).size() - 1);
  TRegistry fresh(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(fresh.OpenKey(kHalvexDp, false));
  EXPECT_EQ(fresh.ReadString("Unicode"), reg.ReadString("Unicode"));
}

TEST(Registry, WritesInWinesSyntax) {
  TTempPrefix prefix;
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("Software\\Dravik", true));
  std::u16string text = u"a\"b\\c\x01\n\x02"
                        u"7\u00e9"
                        u"5\u20acx\U0001F600";
  std::string utf8 = "a\"b\\c\x01\n\x02"
                     "7\xc3\xa9"
                     "5\xe2\x82\xac"
                     "x\xf0\x9f\x98\x80";
  reg.WriteString("Text", utf8);
  reg.WriteExpandString("Exp", "%PATH%");
  reg.WriteInteger("Num", -2);
  reg.WriteBool("On", true);
  std::vector<uint8_t> blob(60);
  for (size_t i = 0; i < blob.size(); ++i)
    blob[i] = static_cast<uint8_t>(i);
  reg.WriteBinaryData("Blob", blob.data(), 60);
  reg.WriteBinaryData("Empty", nullptr, 0);
  reg.WriteString("", "default");

  std::string saved = ReadHostFile(prefix.Path() + "/user.reg");
  std::string values = saved.substr(saved.find("\n#time=") + 1);
  values = values.substr(values.find('\n') + 1);
  // Sorted as Wine keeps them, ignoring case.
  EXPECT_EQ(values,
            "@=\"default\"\n"
            "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
            "  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\\\n"
            "  2f,30,31,32,33,34,35,36,37,38,39,3a,3b\n"
            "\"Empty\"=hex:\n"
            "\"Exp\"=str(2):\"%PATH%\"\n"
            "\"Num\"=dword:fffffffe\n"
            "\"On\"=dword:00000001\n"
            "\"Text\"=\"a\\\"b\\\\c\\1\\n\\0027\\x00e95\\x20acx\\xd83d\\xde00\"\n");

  TRegistry fresh;
  ASSERT_TRUE(fresh.OpenKey("software\\dravik", false));
  EXPECT_EQ(fresh.ReadString("Text"), utf8);
  EXPECT_EQ(fresh.GetDataSize("Text"), int(text.size() + 1) * 2);
  EXPECT_EQ(fresh.ReadBinary("Blob"), blob);
  EXPECT_EQ(fresh.ReadInteger("Num"), -2);
  EXPECT_EQ(fresh.GetDataType("Exp"), TRegDataType::rdExpandString);
  EXPECT_EQ(fresh.GetDataSize("Empty"), 0);

  // A value of another type is replaced by the write, whatever it was.
  fresh.WriteString("Num", "now text");
  EXPECT_EQ(fresh.GetDataType("Num"), TRegDataType::rdString);

  // Brackets in key names are escaped in the key line.
  ASSERT_TRUE(fresh.OpenKey("\\Software\\Dravik\\a[b]", true));
  EXPECT_NE(ReadHostFile(prefix.Path() + "/user.reg").find("\n[Software\\\\Dravik\\\\a\\[b\\]] "),
            std::string::npos);
  TRegistry other;
  EXPECT_TRUE(other.KeyExists("Software\\Dravik\\A[B]"));
}

TEST(Registry, NewKeysGoWhereWineWouldWriteThem) {
  TTempPrefix prefix;
  WriteHostFile(prefix.Path() + "/system.reg", MachineHive());
  TRegistry reg(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey(std::string(kApps) + "\\1a\\Repositories", true));
  EXPECT_EQ(reg.CurrentPath(), std::string(kWowApps) + "\\1a\\Repositories");
  ASSERT_TRUE(reg.OpenKey(kApps, false));
  reg.WriteString("Count", "5"); // the implied key gets a key line before its children

  std::vector<std::string> lines = Lines(ReadHostFile(prefix.Path() + "/system.reg"));
  auto at = [&](const std::string& key) {
    std::string head = "[" + std::regex_replace(key, std::regex("\\\\"), "\\\\") + "] ";
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines[i].starts_with(head)) return static_cast<int>(i);
    return -1;
  };
  std::string apps = kWowApps;
  EXPECT_LT(at(apps + "\\0\\Repositories"), at(apps + "\\1"));
  EXPECT_LT(at(apps + "\\10"), at(apps + "\\1a\\Repositories"));
  EXPECT_LT(at(apps + "\\1a\\Repositories"), at(apps + "\\2"));
  EXPECT_EQ(at(apps + "\\1a"), -1); // implied by its child, as Wine leaves it
  EXPECT_GT(at(apps), at("Software\\Orlemont\\HXPatch"));
  EXPECT_LT(at(apps), at(apps + "\\0"));
  EXPECT_EQ(lines[static_cast<size_t>(at(apps)) - 1], "");
  EXPECT_EQ(lines[static_cast<size_t>(at(apps)) + 2], "\"Count\"=\"5\"");

  TStringList names;
  reg.GetKeyNames(names);
  EXPECT_EQ(names, TStringList({"0", "1", "10", "1a", "2"}));
}

TEST(Registry, MachineSoftwareIsSeenAsA32BitProgramSeesIt) {
  TTempPrefix prefix;
  WriteHostFile(prefix.Path() + "/system.reg", MachineHive());
  TRegistry reg(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey(kApps, false));
  EXPECT_EQ(reg.CurrentPath(), kWowApps);
  EXPECT_FALSE(reg.KeyExists("\\Software\\Orlemont\\HXPatch\\Native")); // a value, not a key
  ASSERT_TRUE(reg.OpenKey("\\Software\\Wow6432Node\\Orlemont\\HXPatch", false)); // named directly
  // Every key under Software is looked for below Wow6432Node: this prefix has no 32-bit Classes.
  EXPECT_FALSE(reg.KeyExists("\\Software\\Classes\\.gob"));

  // Link keys are followed, also on the way to a key below them.
  ASSERT_TRUE(
      reg.OpenKey("\\System\\CurrentControlSet\\Control\\Session Manager\\Environment", false));
  EXPECT_EQ(reg.CurrentPath(), "System\\ControlSet001\\Control\\Session Manager\\Environment");
  EXPECT_EQ(reg.ReadString("path"), "%SystemRoot%\\system32");

  // A 32-bit prefix, and the per-user root, are not redirected.
  WriteHostFile(prefix.Path() + "/system.reg", MachineHive("win32"));
  ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Orlemont\\HXPatch", false));
  EXPECT_EQ(reg.ReadString("Native"), "yes");
  EXPECT_FALSE(reg.KeyExists("\\SOFTWARE\\Orlemont\\HXPatch\\Applications"));
  std::string user = MachineHive();
  WriteHostFile(prefix.Path() + "/user.reg", user.replace(user.find("Machine"), 7, "User"));
  TRegistry cu;
  ASSERT_TRUE(cu.OpenKey("Software\\Orlemont\\HXPatch", false));
  EXPECT_EQ(cu.ReadString("Native"), "yes");
}

TEST(Registry, LinksThatLeadNowhereOrInCirclesAreMissingKeys) {
  TTempPrefix prefix;
  auto link = [](const char* key, const std::u16string& target) {
    return std::string("\n[") + key +
           "] 1\n#link\n\"SymbolicLinkValue\"=hex(6):" + HexLines(Utf16Le(target)) + "\n";
  };
  WriteHostFile(prefix.Path() + "/system.reg",
                "WINE REGISTRY Version 2\n" + link("A", u"\\Registry\\Machine\\B") +
                    link("B", u"\\Registry\\Machine\\A") + link("C", u"\\Registry\\Machine\\Gone") +
                    link("D", u"\\Registry\\User\\S-1-5-21-0-0-0-1000\\A"));
  TRegistry reg(HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(reg.OpenKey("A", false));
  EXPECT_FALSE(reg.OpenKey("A\\Sub", true));
  EXPECT_FALSE(reg.OpenKey("C", false));
  EXPECT_FALSE(reg.OpenKey("D", false));
  ASSERT_TRUE(reg.OpenKey("", false));
  TStringList names;
  reg.GetKeyNames(names);
  EXPECT_EQ(names, TStringList({"A", "B", "C", "D"}));
}

TEST(Registry, OpensSeeChangesMadeByOthers) {
  TTempPrefix prefix;
  std::string path = prefix.Path() + "/user.reg";
  WriteHostFile(path, "WINE REGISTRY Version 2\n\n[Software\\\\Dravik] 1\n\"V\"=\"one\"\n");
  TRegistry a, b;
  ASSERT_TRUE(a.OpenKey("Software\\Dravik", false));
  ASSERT_TRUE(b.OpenKey("Software\\Dravik", false));
  a.WriteString("W", "from a");
  ASSERT_TRUE(b.OpenKey("\\Software\\Dravik", false));
  EXPECT_EQ(b.ReadString("W"), "from a");

  // Another program rewrites the file in place, same size: the next open reads it again.
  WriteHostFile(path, "WINE REGISTRY Version 2\n\n[Software\\\\Dravik] 1\n\"V\"=\"two\"\n");
  ASSERT_TRUE(b.OpenKey("\\Software\\Dravik", false));
  EXPECT_EQ(b.ReadString("V"), "two");
  EXPECT_FALSE(b.ValueExists("W"));
  // And a write works on the file as it is now, not on an older copy.
  a.WriteString("X", "x");
  ASSERT_TRUE(b.OpenKey("\\Software\\Dravik", false));
  EXPECT_EQ(b.ReadString("V"), "two");
  EXPECT_EQ(b.ReadString("X"), "x");
}

TEST(Registry, WritersInTwoProcessesAndTwoThreadsLoseNothing) {
  TTempPrefix prefix;
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Dravik", true));
  }
  constexpr int kEach = 15;
  auto writeMany = [](const char* tag) {
    TRegistry reg;
    if (!reg.OpenKey("Software\\Dravik", false)) return false;
    for (int i = 0; i < kEach; ++i)
      reg.WriteInteger(Format("%s%d", tag, i), i);
    return true;
  };
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    bool ok = false;
    try {
      ok = writeMany("child");
    } catch (...) {
    }
    _exit(ok ? 0 : 1);
  }
  std::atomic<bool> ok1{false}, ok2{false};
  std::thread t1([&] { ok1 = writeMany("one"); });
  std::thread t2([&] { ok2 = writeMany("two"); });
  t1.join();
  t2.join();
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(ok1 && ok2);

  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("Software\\Dravik", false));
  TStringList names;
  reg.GetValueNames(names);
  EXPECT_EQ(names.Count(), 3 * kEach);
  EXPECT_EQ(reg.ReadInteger("child14"), 14);
  EXPECT_EQ(CountFiles(prefix.Path(), ".user.reg.dravik-"), 1); // the lock file, no leftovers
}

TEST(Registry, WritesAreRefusedWhileWineRunsForThePrefix) {
  TTempPrefix prefix;
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Dravik", true));
    reg.WriteString("V", "before");
  }
  auto server = std::make_unique<TFakeWineServer>(prefix.Path());
  ASSERT_TRUE(server->Running());

  std::string before = ReadHostFile(prefix.Path() + "/user.reg");
  const std::string wine = ": Wine is running for this prefix; close its programs (or run "
                           "\"wineserver -k\") and try again.";
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("Software\\Dravik", false)); // reading goes on
  EXPECT_EQ(reg.ReadString("V"), "before");
  EXPECT_EQ(ExceptionMessage([&] { reg.WriteString("V", "after"); }),
            "Failed to set data for 'V'" + wine);
  EXPECT_EQ(ExceptionMessage([&] { reg.DeleteValue("V"); }), "Failed to set data for 'V'" + wine);
  EXPECT_EQ(ExceptionMessage([&] { reg.OpenKey("Sub\\Key", true); }),
            "Failed to set data for 'Sub\\Key'" + wine);
  EXPECT_EQ(ReadHostFile(prefix.Path() + "/user.reg"), before);
  // Writing what is stored already changes nothing, so it needs no refusal.
  ASSERT_TRUE(reg.OpenKey("\\Software\\Dravik", false));
  EXPECT_NO_THROW(reg.WriteString("v", "before"));
  EXPECT_EQ(ReadHostFile(prefix.Path() + "/user.reg"), before);

  server.reset();
  ASSERT_TRUE(reg.OpenKey("\\Software\\Dravik", false));
  reg.WriteString("V", "after");
  EXPECT_EQ(reg.ReadString("V"), "after");
}

TEST(Registry, ForeignFileReadsEmptyAndIsNeverOverwritten) {
  TTempPrefix prefix;
  std::string path = prefix.Path() + "/user.reg";
  std::string foreign = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Dravik]\n\"V\"=\"x\"\n";
  WriteHostFile(path, foreign);
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKey("Software", false));
  EXPECT_FALSE(reg.OpenKey("Software\\Dravik", true));
  ASSERT_TRUE(reg.OpenKey("", false));
  EXPECT_EQ(ExceptionMessage([&] { reg.WriteString("V", "y"); }),
            "Failed to set data for 'V': " + path + " is not a Wine registry file");
  EXPECT_EQ(ReadHostFile(path), foreign);

  // Nor is what is not a file, and reading it does not wait for a writer.
  fs::remove(path);
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  ASSERT_TRUE(reg.OpenKey("", false));
  EXPECT_EQ(ExceptionMessage([&] { reg.WriteString("V", "y"); }),
            "Failed to set data for 'V': " + path + " is not a regular file");
  fs::remove(path);

  // An empty file holds nothing to lose: it is made a hive.
  WriteHostFile(path, "");
  ASSERT_TRUE(reg.OpenKey("Software\\Dravik", true));
  EXPECT_TRUE(ReadHostFile(path).starts_with("WINE REGISTRY Version 2\n"));
}

TEST(Registry, DamagedLinesAreSkippedAndKept) {
  TTempPrefix prefix;
  std::string path = prefix.Path() + "/user.reg";
  std::string longText(1 << 20, 'a');
  std::string bigHex;
  for (int i = 0; i < 300000; ++i)
    bigHex += "ab,";
  bigHex += "cd";
  std::string original = "WINE REGISTRY Version 2\n"
                         "\n"
                         "[Software\\\\Dravik] 1\n"
                         "\"Good1\"=\"one\"\n"
                         "\"Unterminated\"=\"abc\n"
                         "\"Bad\"=\"ends in a backslash\\\n"
                         "\"Name\n"
                         "\"HugeByte\"=hex:fff,00\n"
                         "\"NotHex\"=hex:zz\n"
                         "\"NoType\"=quad:1\n"
                         "\"Type\"=hex(zz):00\n"
                         "garbage \x01\x02\xff\n"
                         "\"Nul\"=\"a\0b\"\n"s +
                         "[\n"
                         "\"Orphan\"=\"in no key\"\n"
                         "[\\\\Leading] 1\n"
                         "\"Orphan2\"=\"in no key\"\n"
                         "\n"
                         "[software\\\\DRAVIK] 2\n"
                         "\"Long\"=\"" +
                         longText +
                         "\"\n"
                         "\"Big\"=hex:" +
                         bigHex +
                         "\n"
                         "\"Cont\"=hex:01,02,\\\n"
                         "[Software\\\\Other] 3\n"
                         "\"Other\"=dword:1\n"
                         "\"Trunc\"=hex:01,\\";
  WriteHostFile(path, original);
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("Software\\Dravik", false));
  EXPECT_EQ(reg.ReadString("Good1"), "one");
  EXPECT_EQ(reg.ReadString("Long"), longText);
  EXPECT_EQ(reg.GetDataSize("Big"), 300001);
  EXPECT_EQ(reg.ReadString("Nul"), "a");
  TStringList names;
  reg.GetValueNames(names);
  EXPECT_EQ(names, TStringList({"Good1", "Nul", "Long", "Big"}));
  ASSERT_TRUE(reg.OpenKey("\\Software\\Other", false));
  EXPECT_EQ(reg.ReadInteger("Other"), 1);
  EXPECT_FALSE(reg.ValueExists("Trunc"));
  ASSERT_TRUE(reg.OpenKey("\\", false));
  reg.GetKeyNames(names);
  EXPECT_EQ(names, TStringList({"Software"}));

  // A write keeps every damaged line where it was; the key's two key lines get the new time.
  ASSERT_TRUE(reg.OpenKey("Software\\Dravik", false));
  reg.WriteString("Good2", "two");
  std::string saved = ReadHostFile(path);
  size_t added = saved.find("\"Good2\"=\"two\"\n");
  ASSERT_NE(added, std::string::npos);
  saved.erase(added, 14);
  std::vector<size_t> changed = ChangedLines(original, saved);
  ASSERT_EQ(changed.size(), 2u);
  EXPECT_TRUE(Lines(saved)[changed[0]].starts_with("[Software\\\\Dravik] "));
  EXPECT_TRUE(Lines(saved)[changed[1]].starts_with("[software\\\\DRAVIK] "));
}

TEST(Registry, CorruptedHivesNeverCrash) {
  TTempPrefix prefix;
  std::string path = prefix.Path() + "/system.reg";
  std::string good = MachineHive();
  std::mt19937 random(7);
  // Reads every key and value below the open key.
  std::function<void(TRegistry&, int)> walk = [&](TRegistry& reg, int depth) {
    TStringList values, keys;
    reg.GetValueNames(values);
    for (const std::string& name : values.Lines()) {
      reg.GetDataSize(name);
      uint8_t buffer[64];
      for (auto read : std::vector<std::function<void()>>{
               [&] { reg.ReadString(name); }, [&] { reg.ReadInteger(name); },
               [&] { reg.ReadBinaryData(name, buffer, sizeof buffer); }})
        try {
          read();
        } catch (const ERegistryException&) {
        }
    }
    reg.GetKeyNames(keys);
    std::string here = reg.CurrentPath();
    for (const std::string& key : keys.Lines())
      if (depth < 12 && reg.OpenKey("\\" + here + (here.empty() ? "" : "\\") + key, false))
        walk(reg, depth + 1);
  };
  for (int round = 0; round < 150; ++round) {
    std::string text = good.substr(0, good.size() - random() % good.size() / (round % 3 + 1));
    for (int k = random() % 8; k > 0 && !text.empty(); --k)
      text[random() % text.size()] = "\\\"[]\n\r,x0@#=:(\xff"[random() % 15];
    WriteHostFile(path, text);
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("", false));
    walk(reg, 0);
    try {
      if (reg.OpenKey(kApps, true)) reg.WriteString("Check", "ok");
    } catch (const ERegistryException&) {
    }
  }
}

TEST(Registry, AFailedSaveLeavesTheOldFileWhole) {
  TTempPrefix prefix;
  std::string path = prefix.Path() + "/user.reg";
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Dravik", true));
    reg.WriteString("Pad", std::string(4000, 'p'));
  }
  std::string before = ReadHostFile(path);

  // The disk refuses the data half way (a file size limit stands in for a full disk).
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{1000, 1000};
    setrlimit(RLIMIT_FSIZE, &limit);
    TRegistry reg;
    bool ok = reg.OpenKey("Software\\Dravik", false) &&
              ExceptionMessage([&] {
                reg.WriteString("V", "x");
              }).starts_with("Failed to set data for 'V': cannot write " + path + ": ") &&
              !reg.ValueExists("V");
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadHostFile(path), before);
  EXPECT_EQ(CountFiles(prefix.Path(), ".user.reg.dravik-"), 1); // the lock file only

  // A folder that cannot be written to (root ignores modes: make it immutable instead).
  int dir = open(prefix.Path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(dir, 0);
  int flags = 0;
  bool immutable = false;
  if (geteuid() == 0) {
    if (ioctl(dir, FS_IOC_GETFLAGS, &flags) == 0) {
      int set = flags | FS_IMMUTABLE_FL;
      immutable = ioctl(dir, FS_IOC_SETFLAGS, &set) == 0;
    }
    if (!immutable) {
      close(dir);
      GTEST_SKIP() << "cannot make a read-only folder as root here";
    }
  } else {
    chmod(prefix.Path().c_str(), 0555);
  }
  TRegistry reg;
  EXPECT_TRUE(reg.OpenKey("Software\\Dravik", false));
  std::string message = ExceptionMessage([&] { reg.WriteString("V", "x"); });
  EXPECT_FALSE(reg.OpenKey("Software\\Dravik\\New", true));
  if (immutable)
    ioctl(dir, FS_IOC_SETFLAGS, &flags);
  else
    chmod(prefix.Path().c_str(), 0755);
  close(dir);
  EXPECT_TRUE(message.starts_with("Failed to set data for 'V': cannot write " + path + ": "))
      << message;
  EXPECT_EQ(ReadHostFile(path), before);
  EXPECT_FALSE(reg.ValueExists("V"));
}
