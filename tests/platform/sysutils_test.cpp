#include "platform/codepage.h"
#include "platform/stringlist.h"
#include "platform/sysutils.h"

#include <gtest/gtest.h>

using namespace dravik;

TEST(CompareText, FoldsOnlyAsciiLettersAndSortsUnderscoreAfterLetters) {
  EXPECT_EQ(CompareText("abc", "ABC"), 0);
  EXPECT_LT(CompareText("Alpha", "beta"), 0);
  EXPECT_GT(CompareText("_x", "zeta"), 0); // '_' (0x5F) after 'Z' (0x5A)
  EXPECT_LT(CompareText("ab", "abc"), 0);
  EXPECT_NE(CompareText("\xC3\xA9", "\xC3\x89"), 0); // é and É are not folded
}

TEST(FileNames, SplitAfterLastBackslashOrColon) {
  EXPECT_EQ(ExtractFileName("C:\\Games\\x.gob"), "x.gob");
  EXPECT_EQ(ExtractFilePath("C:\\Games\\x.gob"), "C:\\Games\\");
  EXPECT_EQ(ExtractFileName("C:x.gob"), "x.gob");
  EXPECT_EQ(ExtractFileName("x.gob"), "x.gob");
  EXPECT_EQ(ExtractFileExt("C:\\a.b\\wall.MAT"), ".MAT");
  EXPECT_EQ(ExtractFileExt("C:\\a.b\\noext"), "");
}

TEST(MatchesMask, WindowsWildcards) {
  EXPECT_TRUE(MatchesMask("C:\\X\\Patch.GOB", "*.gob"));
  EXPECT_FALSE(MatchesMask("C:\\X\\Patch.gobx", "*.gob"));
  EXPECT_TRUE(MatchesMask("a.url", "*.URL"));
  EXPECT_TRUE(MatchesMask("abc", "a?c"));
  EXPECT_FALSE(MatchesMask("ac", "a?c"));
  EXPECT_TRUE(MatchesMask("anything", "*"));
  EXPECT_TRUE(MatchesMask("a.b.c.zip", "*.zip"));
}

TEST(Messages, ExceptionTexts) {
  EXPECT_EQ(EFOpenError("C:\\x.gob").Message(), "Cannot open file C:\\x.gob");
  EXPECT_EQ(EFCreateError("C:\\x.gob").Message(), "Cannot create file C:\\x.gob");
  EXPECT_EQ(EInOutError(3).Message(), "Invalid filename");
  EXPECT_EQ(EInOutError(5).Message(), "File access denied");
  EXPECT_EQ(EInOutError(112).Message(), "I/O error 112");
}

TEST(StringList, KeyValueRules) {
  TStringList l{"Name=Big Guns", "type=Weapon", "free text", "=lonely"};
  EXPECT_EQ(l.Values("NAME"), "Big Guns");
  EXPECT_EQ(l.Values("Type"), "Weapon");
  EXPECT_EQ(l.Names(2), "");
  EXPECT_EQ(l.IndexOfName(""), 3);
  l.SetValue("TYPE", "Skin"); // replaces the first line with that key, new spelling
  EXPECT_EQ(l[1], "TYPE=Skin");
  l.SetValue("Author", "Me");
  EXPECT_EQ(l[l.Count() - 1], "Author=Me");
  l.SetValue("name", "");
  EXPECT_EQ(l.IndexOfName("Name"), -1);
  EXPECT_THROW(l[99], EStringListError);
}

TEST(StringList, TextSplitsAtAnyLineEndAndJoinsWithCrLf) {
  TStringList l;
  l.SetText("a\r\nb\rc\nd\n\ne");
  EXPECT_EQ(l.Lines(), (std::vector<std::string>{"a", "b", "c", "d", "", "e"}));
  l.SetText("x\r\n");
  EXPECT_EQ(l.Count(), 1);
  EXPECT_EQ(l.Text(), "x\r\n");
}

TEST(CodePage, Cp1252RoundTripAndRefusal) {
  std::string all;
  for (int b = 1; b < 256; ++b)
    all += static_cast<char>(b);
  std::string utf8 = Cp1252ToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(utf8));
  EXPECT_EQ(Utf8ToCp1252(utf8), all);
  EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");        // euro sign
  EXPECT_FALSE(Utf8ToCp1252("\xE6\x97\xA5").has_value()); // a CJK character
  EXPECT_FALSE(Utf8ToCp1252("\xC3").has_value());         // truncated UTF-8
  EXPECT_EQ(Cp437ToUtf8("\x81"), "\xC3\xBC");             // ü
}

TEST(PercentDecode, EscapesBecomeBytesAndMalformedOnesStay) {
  EXPECT_EQ(PercentDecode("web%20patch.gob"), "web patch.gob");
  EXPECT_EQ(PercentDecode("caf%C3%a9"), "caf\xC3\xA9");
  EXPECT_EQ(PercentDecode("%zz%4"), "%zz%4");
  EXPECT_EQ(PercentDecode("%"), "%");
  EXPECT_EQ(PercentDecode("100%25"), "100%");
}
