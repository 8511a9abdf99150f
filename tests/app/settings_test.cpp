#include "app/settings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>

#include "foundation/xmemory.h"
#include "foundation/xregistry.h"
#include "platform/registry.h"
#include "platform/resource_module.h"
#include "platform/text.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

namespace {

using platform::HKEY_LOCAL_MACHINE;
using platform::HKEY_USERS;
using platform::Utf16ToUtf8;

constexpr char16_t kBaseKey[] = u"Software\\Test\\Vombel";
constexpr char16_t kUserSettings[] = u".DEFAULT\\Software\\Test\\Vombel\\ApplicationSettings";
constexpr char16_t kMachineSettings[] =
    u"System\\CurrentControlSet\\Services\\{VL5E3DA4-11ED-4329-B92E-3ADA2FCFCDD0}\\ApplicationSettings";

constexpr char kShippedIni[] =
    "[Application]\r\n"
    "ExtendedSystrayMenu=true\r\n"
    "BasicViewOnly=false\r\n"
    "ForeignConnectionFriendlyMode=true\r\n"
    "TechnologyPreferencesMode=Auto\r\n"
    "TechnologyPreferencesSupportedDefault=true\r\n"
    "RoamingAware=true\r\n"
    "SignalStrengthMode=extended5bars\r\n"
    "UserNamePasswordSupported=true\r\n"
    "CompanyName=Kalmor NV\r\n"
    "SmsSupported=true\r\n"
    "SmsCharSet=Unicode\r\n"
    "AllowSmsCharSetChange=true\r\n";

platform::ResourceModule Module(const char* ini, const char* profiles = nullptr) {
  platform::ResourceModuleBuilder builder;
  builder.AddString(CSettings::kBaseKeyStringId, kBaseKey);
  if (ini != nullptr) builder.Add("SETTINGS_DB", 172, ini);
  if (profiles != nullptr) builder.Add("PROFILES_DB", 170, profiles);
  return builder.Build();
}

void Put(platform::HKEY root, const char16_t* key, const char16_t* name, const char16_t* text) {
  ASSERT_EQ(XRegWriteString(root, key, name, text, true), 0u) << Utf16ToUtf8(name);
}

std::u16string Stored(const char16_t* name) {
  char16_t* text = nullptr;
  if (XRegQueryStringKey(HKEY_USERS, kUserSettings, name, &text, false) != 0) return u"<absent>";
  std::u16string result(text);
  XFree(text);
  return result;
}

TEST(CSettingsTest, WordsMapToModesIgnoringCaseAndBlanks) {
  struct Row {
    std::u16string text;
    uint32_t signal;
    uint32_t technology;
  };
  const Row rows[] = {
      {u"Standard5Bars", CSettings::kSignalStandard5Bars, CSettings::kTechnologyPreferencesAuto},
      {u"wcdma4bars", CSettings::kSignalWcdma4Bars, CSettings::kTechnologyPreferencesAuto},
      {u"WCDMA5BARS", CSettings::kSignalWcdma5Bars, CSettings::kTechnologyPreferencesAuto},
      {u"Extended5Bars", CSettings::kSignalExtended5Bars, CSettings::kTechnologyPreferencesAuto},
      {u"TenBars", CSettings::kSignalExtended5Bars, CSettings::kTechnologyPreferencesAuto},
      {u"", CSettings::kSignalExtended5Bars, CSettings::kTechnologyPreferencesAuto},
      {u"  alwayshide  ", CSettings::kSignalExtended5Bars, CSettings::kTechnologyPreferencesAlwaysHide},
      {u"AlwaysShow", CSettings::kSignalExtended5Bars, CSettings::kTechnologyPreferencesAlwaysShow},
      {u"Always Show", CSettings::kSignalExtended5Bars, CSettings::kTechnologyPreferencesAuto},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(CSettings::ParseSignalStrengthMode(row.text), row.signal) << Utf16ToUtf8(row.text);
    EXPECT_EQ(CSettings::ParseTechnologyPreferencesMode(row.text), row.technology)
        << Utf16ToUtf8(row.text);
  }
}

TEST(CSettingsTest, OnlyTrueAndYesAreTrue) {
  const std::pair<std::u16string, bool> rows[] = {
      {u"True", true}, {u"true", true}, {u"YES", true},  {u"yes", true},  {u"1", false},
      {u"", false},    {u"on", false},  {u"Truee", false}, {u"Ye", false}, {u"False", false},
  };
  for (const auto& [text, expected] : rows) {
    EXPECT_EQ(CSettings::ParseBoolean(text), expected) << Utf16ToUtf8(text);
  }
}

TEST(CSettingsTest, LoadTakesTheIniValuesAndTheSwitches) {
  testing_support::TempRegistry registry;
  platform::ResourceModule module = Module(
      "Stray=1\n[ Application ]\nExtendedSystrayMenu=YES\nRoamingAware=1\nSignalStrengthMode=wcdma4bars\n"
      "TechnologyPreferencesMode= alwayshide \nCompanyName = Someone Else \nForceFocusAllowed=true\n"
      "SmsSupported=no\nBasicViewOnly=True\n",
      "26201,internet,,\n");
  const std::set<std::u16string> present = {u"log", u"noshow"};
  CSettings settings;
  settings.Load(module.handle(), [&](std::u16string_view name) {
    return present.count(std::u16string(name)) != 0;
  });
  EXPECT_EQ(settings.Loaded, 1u);
  EXPECT_EQ(settings.Log, 1u);
  EXPECT_EQ(settings.Stop, 0u);
  EXPECT_EQ(settings.Bulldoze, 0u);
  EXPECT_EQ(settings.NoShow, 1u);
  EXPECT_EQ(settings.ExtendedSystrayMenu, 1u);
  EXPECT_EQ(settings.BasicViewOnly, 1u);
  EXPECT_EQ(settings.RoamingAware, 0u) << "\"1\" is not a true text";
  EXPECT_EQ(settings.SignalStrengthMode, CSettings::kSignalWcdma4Bars);
  EXPECT_EQ(settings.TechnologyPreferencesMode, CSettings::kTechnologyPreferencesAlwaysHide);
  EXPECT_EQ(Utf16ToUtf8(settings.CompanyName), "Someone Else");
  EXPECT_EQ(settings.ForceFocusAllowed, 1u);
  EXPECT_EQ(settings.SmsSupported, 0u);
  EXPECT_EQ(settings.AutoProfilesAvailable, 1u);
}

TEST(CSettingsTest, MissingResourcesLeaveTheCodeDefaults) {
  testing_support::TempRegistry registry;
  platform::ResourceModule module = Module(nullptr);
  testing_support::LogCapture log;
  CSettings settings;
  settings.Load(module.handle(), nullptr);
  EXPECT_EQ(settings.Loaded, 1u);
  EXPECT_EQ(settings.Log + settings.Stop + settings.Bulldoze + settings.NoShow, 0u);
  EXPECT_EQ(settings.ExtendedSystrayMenu, 0u);
  EXPECT_EQ(settings.BasicViewOnly, 0u);
  EXPECT_EQ(settings.ForeignConnectionFriendlyMode, 1u);
  EXPECT_EQ(settings.TechnologyPreferencesMode, CSettings::kTechnologyPreferencesAuto);
  EXPECT_EQ(settings.LastTechnologySelectionModeSupported, 1u);
  EXPECT_EQ(settings.RoamingAware, 1u);
  EXPECT_EQ(settings.SignalStrengthMode, CSettings::kSignalExtended5Bars);
  EXPECT_EQ(settings.UserNamePasswordSupported, 1u);
  EXPECT_EQ(settings.AutoProfilesAvailable, 0u);
  EXPECT_EQ(settings.AutoProfiles, 1u);
  EXPECT_EQ(settings.SmsSupported, 1u);
  EXPECT_EQ(settings.AllowSmsCharSetChange, 0u);
  EXPECT_EQ(settings.SmsUnicode, 0u);
  EXPECT_EQ(Utf16ToUtf8(settings.CompanyName), "Kalmor nv");
  EXPECT_EQ(settings.ForceFocusAllowed, 0u);
  EXPECT_TRUE(settings.LastNetworkName.empty());
  EXPECT_TRUE(settings.LastMccMnc.empty());
  EXPECT_TRUE(log.Contains("CResourceHelper::GetResource(172, SETTINGS_DB): FindResource failed"));
  EXPECT_TRUE(log.Contains("CResourceHelper::GetResource(170, PROFILES_DB): FindResource failed"));
}

TEST(CSettingsTest, SavedSmsCharSetOverridesTheBuildDefault) {
  testing_support::TempRegistry registry;
  platform::ResourceModule module = Module(kShippedIni);
  CSettings settings;
  settings.Load(module.handle(), nullptr);
  EXPECT_EQ(settings.SmsUnicode, 1u) << "nothing saved: the INI's Unicode decides";

  ASSERT_TRUE(settings.SetSmsUnicode(false));
  EXPECT_EQ(Utf16ToUtf8(Stored(u"SmsCharSet")), "Gsm");
  CSettings reloaded;
  reloaded.Load(module.handle(), nullptr);
  EXPECT_EQ(reloaded.SmsUnicode, 0u) << "the user's Gsm overrides the INI";

  Put(HKEY_USERS, kUserSettings, u"SmsCharSet", u"uNiCoDe");
  reloaded.Load(module.handle(), nullptr);
  EXPECT_EQ(reloaded.SmsUnicode, 1u);
}

TEST(CSettingsTest, TechnologySelectionDefaultComesFromTheIni) {
  testing_support::TempRegistry registry;
  platform::ResourceModule module =
      Module("[Application]\nTechnologyPreferencesSupportedDefault=false\n");
  CSettings settings;
  settings.Load(module.handle(), nullptr);
  EXPECT_EQ(settings.LastTechnologySelectionModeSupported, 0u);
  ASSERT_TRUE(settings.SetLastTechnologySelectionModeSupported(true));
  EXPECT_EQ(Utf16ToUtf8(Stored(u"LastTechnologySelectionModeSupported")), "True");
  settings.Load(module.handle(), nullptr);
  EXPECT_EQ(settings.LastTechnologySelectionModeSupported, 1u);
}

TEST(CSettingsTest, OnlyAutoProfilesFallsBackToTheMachineKey) {
  testing_support::TempRegistry registry;
  Put(HKEY_LOCAL_MACHINE, kMachineSettings, u"AutoProfiles", u"False");
  Put(HKEY_LOCAL_MACHINE, kMachineSettings, u"LastMccMnc", u"26201");
  Put(HKEY_LOCAL_MACHINE, kMachineSettings, u"LastNetworkName", u"Machine Net");
  Put(HKEY_LOCAL_MACHINE, kMachineSettings, u"SmsCharSet", u"Gsm");
  platform::ResourceModule module = Module(kShippedIni);
  CSettings settings;
  settings.Load(module.handle(), nullptr);
  EXPECT_EQ(settings.AutoProfiles, 0u) << "the installer's AutoProfiles is honoured";
  EXPECT_TRUE(settings.LastMccMnc.empty()) << "LastMccMnc has no machine fallback";
  EXPECT_TRUE(settings.LastNetworkName.empty());
  EXPECT_EQ(settings.SmsUnicode, 1u) << "SmsCharSet has no machine fallback";

  // The user's own value wins over the machine's.
  Put(HKEY_USERS, kUserSettings, u"AutoProfiles", u"yes");
  settings.Load(module.handle(), nullptr);
  EXPECT_EQ(settings.AutoProfiles, 1u);
}

TEST(CSettingsTest, SettersStoreAtOnceAndSurviveAReload) {
  testing_support::TempRegistry registry;
  platform::ResourceModule module = Module(kShippedIni);
  CSettings settings;
  settings.Load(module.handle(), nullptr);
  ASSERT_TRUE(settings.SetLastNetworkName(u"Telekom.de"));
  ASSERT_TRUE(settings.SetLastMccMnc(u"262011"));
  ASSERT_TRUE(settings.SetAutoProfiles(false));
  EXPECT_EQ(Utf16ToUtf8(Stored(u"AutoProfiles")), "False");

  CSettings reloaded;
  reloaded.Load(module.handle(), nullptr);
  EXPECT_EQ(Utf16ToUtf8(reloaded.LastNetworkName), "Telekom.de");
  EXPECT_EQ(Utf16ToUtf8(reloaded.LastMccMnc), "262011");
  EXPECT_EQ(reloaded.AutoProfiles, 0u);

  ASSERT_TRUE(reloaded.SetLastNetworkName(nullptr));
  EXPECT_TRUE(reloaded.LastNetworkName.empty());
  EXPECT_EQ(Utf16ToUtf8(Stored(u"LastNetworkName")), "") << "null is stored as an empty text";
}

TEST(CSettingsTest, ReadStringJoinsSubkeysAndFallsBackOnlyWhenAsked) {
  testing_support::TempRegistry registry;
  platform::ResourceModule module = Module(kShippedIni);
  CSettings settings;
  settings.Load(module.handle(), nullptr);
  ASSERT_TRUE(settings.WriteString(u"\\Profiles\\Default", u"Apn", u"web"));
  EXPECT_EQ(Utf16ToUtf8(settings.ReadString(u"Profiles\\Default", u"Apn", u"-", false)), "web")
      << "a subkey beginning with a backslash is appended unchanged";

  Put(HKEY_LOCAL_MACHINE,
      u"System\\CurrentControlSet\\Services\\{VL5E3DA4-11ED-4329-B92E-3ADA2FCFCDD0}\\Profiles\\Default",
      u"UserName", u"m");
  EXPECT_EQ(Utf16ToUtf8(settings.ReadString(u"Profiles\\Default", u"UserName", u"-", true)), "m");
  EXPECT_EQ(Utf16ToUtf8(settings.ReadString(u"\\Profiles\\Default", u"UserName", u"-", true)), "m");
  EXPECT_EQ(Utf16ToUtf8(settings.ReadString(u"Profiles\\Default", u"UserName", u"-", false)), "-");
}

TEST(CSettingsTest, DamagedStoreReadsAsAbsentAndIsRewritten) {
  testing_support::TempRegistry registry;
  platform::ResourceModule module = Module(kShippedIni);
  CSettings settings;
  settings.Load(module.handle(), nullptr);
  ASSERT_TRUE(settings.SetLastMccMnc(u"23415"));
  {
    std::ofstream values(registry.User("/Software/Test/Vombel/ApplicationSettings/.values"),
                         std::ios::trunc | std::ios::binary);
    values << "\x01\x02garbage=\xFF\n";
  }
  CSettings reloaded;
  reloaded.Load(module.handle(), nullptr);
  EXPECT_TRUE(reloaded.LastMccMnc.empty());
  EXPECT_EQ(reloaded.AutoProfiles, 1u);
  ASSERT_TRUE(reloaded.SetLastMccMnc(u"23415"));
  reloaded.Load(module.handle(), nullptr);
  EXPECT_EQ(Utf16ToUtf8(reloaded.LastMccMnc), "23415");
}

TEST(CSettingsTest, WithoutTheProductKeyNothingIsWritten) {
  testing_support::TempRegistry registry;
  platform::ResourceModule module =
      platform::ResourceModuleBuilder().Add("SETTINGS_DB", 172, kShippedIni).Build();
  testing_support::LogCapture log;
  CSettings settings;
  settings.Load(module.handle(), nullptr);
  EXPECT_FALSE(settings.SetLastMccMnc(u"26201"));
  EXPECT_EQ(Utf16ToUtf8(settings.LastMccMnc), "26201") << "the field still holds the value";
  EXPECT_TRUE(log.Contains("CSettings::Load: string 139 is missing"));
  char16_t* text = nullptr;
  EXPECT_NE(XRegQueryStringKey(HKEY_USERS, u".DEFAULT\\ApplicationSettings", u"LastMccMnc", &text, false),
            0u);
  XFree(text);
}

TEST(CSettingsTest, WcdmaModesNeedTheCardsSupport) {
  struct Row {
    uint32_t stored;
    bool supported;
    uint32_t effective;
  };
  const Row rows[] = {
      {CSettings::kSignalWcdma5Bars, false, CSettings::kSignalStandard5Bars},
      {CSettings::kSignalWcdma4Bars, false, CSettings::kSignalStandard5Bars},
      {CSettings::kSignalWcdma5Bars, true, CSettings::kSignalWcdma5Bars},
      {CSettings::kSignalWcdma4Bars, true, CSettings::kSignalWcdma4Bars},
      {CSettings::kSignalExtended5Bars, false, CSettings::kSignalExtended5Bars},
      {CSettings::kSignalStandard5Bars, true, CSettings::kSignalStandard5Bars},
  };
  for (const Row& row : rows) {
    CSettings settings;
    settings.SignalStrengthMode = row.stored;
    settings.SetWcdmaSignalSupported(row.supported);
    EXPECT_EQ(settings.EffectiveSignalStrengthMode(), row.effective)
        << "stored " << row.stored << ", supported " << row.supported;
  }
}

TEST(CSettingsTest, InstanceUsesTheShippedSettings) {
  const CSettings& settings = CSettings::Instance();
  EXPECT_EQ(settings.Loaded, 1u);
  EXPECT_EQ(Utf16ToUtf8(settings.BaseKey()), "Software\\Velta\\Velta");
  EXPECT_EQ(settings.ExtendedSystrayMenu, 1u);
  EXPECT_EQ(settings.AllowSmsCharSetChange, 1u);
  EXPECT_EQ(Utf16ToUtf8(settings.CompanyName), "Kalmor NV");
  EXPECT_EQ(settings.AutoProfilesAvailable, 1u);
  EXPECT_EQ(&settings, &CSettings::Instance());
}

}  // namespace
