#include "catalogue/viewsettings.h"
#include "platform/addresses.h"
#include "platform/registry.h"
#include "tests/fixtures/tempprefix.h"

#include <gtest/gtest.h>

using namespace dravik;
using namespace dravik::test;

namespace {

TEST(ViewSettings, WrittenValuesComeBackAndOddOnesReadAsNone) {
  TTempPrefix prefix;
  EXPECT_EQ(ReadViewSettings().NameColumnWidth, 0); // no key yet, and none made
  TViewSettings view;
  view.NameColumnWidth = 240;
  view.AddFolder = "C:\\users\\Public\\Downloads\\";
  // Captions may hold "=", ";" and blanks: the width goes first on each line.
  view.Repository = {{"Name", 180}, {"Size = KB; rounded", 60}, {"Date", 90}};
  WriteViewSettings(view);
  TViewSettings read = ReadViewSettings();
  EXPECT_EQ(read.NameColumnWidth, 240);
  EXPECT_EQ(read.TypeColumnWidth, 0); // never set: not written
  EXPECT_EQ(read.AddFolder, view.AddFolder);
  EXPECT_EQ(read.Repository, view.Repository);

  TRegistry reg(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKey(ProgramSettingsKey, false));
  reg.WriteString("NameColumnWidth", "240");
  reg.WriteInteger("TypeColumnWidth", -5);
  reg.WriteInteger("AddFolder", 1);
  reg.WriteString("RepositoryColumnWidths", "0=Zero\r\nx=Bad\r\n=Empty\r\n70=Type\r\n99999=Huge");
  read = ReadViewSettings();
  EXPECT_EQ(read.NameColumnWidth, 0);
  EXPECT_EQ(read.TypeColumnWidth, 0);
  EXPECT_EQ(read.AddFolder, "");
  EXPECT_EQ(read.Repository, (TColumnWidths{{"Type", 70}}));
}

} // namespace
