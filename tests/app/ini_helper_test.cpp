#include "app/ini_helper.h"

#include <gtest/gtest.h>

#include <string>

#include "app/resource_helper.h"
#include "platform/resource_module.h"
#include "platform/text.h"
#include "tests/support/log_capture.h"

namespace {

using platform::Utf16ToUtf8;

struct IniRow {
  const char* what;
  std::u16string text;
  std::u16string key;
  std::u16string expected;  // with the default "<default>"
};

TEST(CIniHelperTest, GetValueFollowsTheParsingRules) {
  const IniRow rows[] = {
      {"plain key", u"[Application]\nRoamingAware=True\n", u"RoamingAware", u"True"},
      {"blanks around key and value", u"[Application]\n  RoamingAware \t=  Yes  \n", u"RoamingAware",
       u"Yes"},
      {"key line before the first section is ignored", u"RoamingAware=True\n[Application]\n",
       u"RoamingAware", u"<default>"},
      {"blanks inside the brackets", u"[  Application ]\r\nSmsCharSet=Gsm\r\n", u"SmsCharSet", u"Gsm"},
      {"indented header", u"   [Application]\nA=1\n", u"A", u"1"},
      {"repeated key keeps the last value", u"[Application]\nA=1\nA=2\n", u"A", u"2"},
      {"repeated section starts over", u"[Application]\nA=1\n[Other]\n[Application]\nB=2\n", u"A",
       u"<default>"},
      {"repeated section keeps its own keys", u"[Application]\nA=1\n[Application]\nB=2\n", u"B", u"2"},
      {"keys of another section stay there", u"[Other]\nA=1\n", u"A", u"<default>"},
      {"section names match exactly", u"[application]\nA=1\n", u"A", u"<default>"},
      {"key names match exactly", u"[Application]\na=1\n", u"A", u"<default>"},
      {"empty value is a value", u"[Application]\nA=\n", u"A", u""},
      {"value keeps later equals signs", u"[Application]\nA = b=c\n", u"A", u"b=c"},
      {"line without equals sign ignored", u"[Application]\nA\nB=1\n", u"A", u"<default>"},
      {"empty key ignored", u"[Application]\n=1\n", u"", u"<default>"},
      {"empty header opens nothing", u"[Application]\n[ ]\nA=1\n", u"A", u"<default>"},
      {"two characters are no header", u"[Application]\n[]\nA=1\n", u"A", u"1"},
      {"CR-only line ends", u"[Application]\rA=1\rB=2", u"B", u"2"},
      {"no section at all", u"A=1\n", u"A", u"<default>"},
      {"empty text", u"", u"A", u"<default>"},
      {"unterminated header is a plain line", u"[Application\nA=1\n", u"A", u"<default>"},
  };
  for (const IniRow& row : rows) {
    const CIniHelper ini(std::u16string_view(row.text));
    EXPECT_EQ(Utf16ToUtf8(ini.GetValue(u"<default>", row.key)), Utf16ToUtf8(row.expected))
        << row.what;
  }
}

TEST(CIniHelperTest, ReadsTheSettingsResourceOfAModuleAsAnsiText) {
  // 0xE9 is "é" in the ANSI code page.
  platform::ResourceModule module = platform::ResourceModuleBuilder()
                                        .Add("SETTINGS_DB", 172, "[Application]\r\nCompanyName=Caf\xE9 NV\r\n")
                                        .Build();
  const CIniHelper ini(module.handle());
  EXPECT_EQ(ini.GetValue(u"", u"CompanyName"), u"Caf\u00E9 NV");
}

TEST(CIniHelperTest, MissingResourceGivesDefaultsAndLogsTheFailedStep) {
  platform::ResourceModule module = platform::ResourceModuleBuilder().Add("OTHER", 1, "x").Build();
  testing_support::LogCapture log;
  const CIniHelper ini(module.handle());
  EXPECT_EQ(ini.GetValue(u"Auto", u"TechnologyPreferencesMode"), u"Auto");
  EXPECT_TRUE(log.Contains("CResourceHelper::GetResource(172, SETTINGS_DB): FindResource failed with 0x"))
      << "the failure must be logged";
}

TEST(CIniHelperTest, ShippedSettingsCarryTheBuildValues) {
  const CIniHelper& ini = CIniHelper::Instance();
  const std::pair<std::u16string, std::u16string> expected[] = {
      {u"ExtendedSystrayMenu", u"true"},        {u"BasicViewOnly", u"false"},
      {u"ForeignConnectionFriendlyMode", u"true"}, {u"TechnologyPreferencesMode", u"Auto"},
      {u"TechnologyPreferencesSupportedDefault", u"true"}, {u"RoamingAware", u"true"},
      {u"SignalStrengthMode", u"extended5bars"}, {u"UserNamePasswordSupported", u"true"},
      {u"CompanyName", u"Kalmor NV"},            {u"SmsSupported", u"true"},
      {u"SmsCharSet", u"Unicode"},               {u"AllowSmsCharSetChange", u"true"},
  };
  for (const auto& [key, value] : expected) {
    EXPECT_EQ(Utf16ToUtf8(ini.GetValue(u"<missing>", key)), Utf16ToUtf8(value)) << Utf16ToUtf8(key);
  }
}

TEST(CResourceHelperTest, EveryAnsiByteBecomesOneCharacter) {
  const std::string bytes("a\0b\x80\xFF", 5);
  const std::u16string text = CResourceHelper::AnsiToText(bytes);
  ASSERT_EQ(text.size(), 5u);
  EXPECT_EQ(text[1], u'\0');
  EXPECT_EQ(text[3], u'\u20AC');  // the euro sign in the ANSI code page
  EXPECT_EQ(text[4], u'\u00FF');
}

}  // namespace
