// The addresses the program uses, with their defaults and the settings values that replace them.
#include "platform/addresses.h"
#include "platform/registry.h"
#include "tests/fixtures/tempprefix.h"

#include <gtest/gtest.h>

using namespace dravik;
using namespace dravik::test;

namespace {

TEST(Addresses, DefaultsThatTheSettingsKeyMayReplace) {
  TTempPrefix prefix;
  EXPECT_EQ(HomePage(), "https://dravik.example.org/");
  EXPECT_EQ(ZonePage(), "https://zone.example.org/");
  EXPECT_EQ(AnonymousEMail(), "dravik@users.invalid");
  TRegistry reg(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Orlemont\\HXPatch", true));
  reg.WriteString("ZonePage", "http://127.0.0.1/zone");
  reg.WriteString("HomePage", "");
  reg.WriteInteger("AnonymousEMail", 1);
  EXPECT_EQ(ZonePage(), "http://127.0.0.1/zone");
  EXPECT_EQ(HomePage(), "https://dravik.example.org/");
  EXPECT_EQ(AnonymousEMail(), "dravik@users.invalid");
}

} // namespace
