#include "app/settings.h"

#include <mutex>
#include <optional>

#include "app/auto_profiles.h"
#include "app/ini_helper.h"
#include "app/text_util.h"
#include "foundation/xlog.h"
#include "foundation/xmemory.h"
#include "foundation/xregistry.h"
#include "foundation/xresource.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace {

constexpr std::u16string_view kUserHive = u".DEFAULT\\";
constexpr std::u16string_view kMachineKey =
    u"System\\CurrentControlSet\\Services\\{VL5E3DA4-11ED-4329-B92E-3ADA2FCFCDD0}\\";

std::mutex& SwitchTestMutex() {
  static std::mutex mutex;
  return mutex;
}

CSettings::SwitchTest& InstalledSwitchTest() {
  static CSettings::SwitchTest test;
  return test;
}

uint32_t Flag(bool value) { return value ? 1 : 0; }

const char16_t* BooleanText(bool value) { return value ? u"True" : u"False"; }

// A subkey that already starts with "\" is appended as it stands.
std::u16string Join(std::u16string_view key, std::u16string_view subkey) {
  std::u16string path(key);
  if (!subkey.empty() && subkey.front() != u'\\') path += u'\\';
  path += subkey;
  return path;
}

std::optional<std::u16string> QueryString(platform::HKEY root, const std::u16string& key,
                                          std::u16string_view name) {
  char16_t* text = nullptr;
  const std::u16string value_name(name);
  const uint32_t error = XRegQueryStringKey(root, key.c_str(), value_name.c_str(), &text, false);
  if (error != 0 || text == nullptr) {
    XFree(text);
    return std::nullopt;
  }
  std::u16string result(text);
  XFree(text);
  return result;
}

std::u16string LoadBaseKey(platform::HMODULE module) {
  char16_t* text = XLoadString(module, CSettings::kBaseKeyStringId);
  if (text == nullptr) {
    XLogLevel(kXLogError, "CSettings::Load: string %d is missing; settings cannot be stored.",
              CSettings::kBaseKeyStringId);
    return {};
  }
  std::u16string base(text);
  XFree(text);
  return base;
}

}  // namespace

void CSettings::SetSwitchTest(SwitchTest test) {
  std::lock_guard lock(SwitchTestMutex());
  InstalledSwitchTest() = std::move(test);
}

CSettings& CSettings::Instance() {
  static CSettings& instance = []() -> CSettings& {
    static CSettings settings;
    SwitchTest switches;
    {
      std::lock_guard lock(SwitchTestMutex());
      switches = InstalledSwitchTest();
    }
    settings.Load(nullptr, switches);
    return settings;
  }();
  return instance;
}

void CSettings::Load(platform::HMODULE module, const SwitchTest& switches) {
  const auto has_switch = [&switches](std::u16string_view name) {
    return switches && switches(name);
  };
  Log = Flag(has_switch(u"log"));
  Stop = Flag(has_switch(u"stop"));
  Bulldoze = Flag(has_switch(u"bulldoze"));
  NoShow = Flag(has_switch(u"noshow"));

  base_key_ = LoadBaseKey(module);
  // The program's own text is parsed once for the process; another module's
  // for this load alone.
  std::optional<CIniHelper> own_ini;
  if (module != nullptr) own_ini.emplace(module);
  const CIniHelper& ini = own_ini ? *own_ini : CIniHelper::Instance();

  ExtendedSystrayMenu = Flag(ParseBoolean(ini.GetValue(u"False", u"ExtendedSystrayMenu")));
  BasicViewOnly = Flag(ParseBoolean(ini.GetValue(u"False", u"BasicViewOnly")));
  ForeignConnectionFriendlyMode =
      Flag(ParseBoolean(ini.GetValue(u"True", u"ForeignConnectionFriendlyMode")));
  TechnologyPreferencesMode =
      ParseTechnologyPreferencesMode(ini.GetValue(u"Auto", u"TechnologyPreferencesMode"));
  LastTechnologySelectionModeSupported = Flag(ParseBoolean(
      ReadString(kApplicationSettingsKey, u"LastTechnologySelectionModeSupported",
                 ini.GetValue(u"True", u"TechnologyPreferencesSupportedDefault"), false)));
  RoamingAware = Flag(ParseBoolean(ini.GetValue(u"True", u"RoamingAware")));
  SignalStrengthMode = ParseSignalStrengthMode(ini.GetValue(u"Extended5Bars", u"SignalStrengthMode"));
  UserNamePasswordSupported = Flag(ParseBoolean(ini.GetValue(u"True", u"UserNamePasswordSupported")));

  if (module == nullptr) {
    AutoProfilesAvailable = Flag(CAutoProfiles::Instance().Count() > 0);
  } else {
    AutoProfilesAvailable = Flag(CAutoProfiles(module).Count() > 0);
  }
  AutoProfiles = Flag(ParseBoolean(ReadString(kApplicationSettingsKey, u"AutoProfiles", u"True", true)));
  SmsSupported = Flag(ParseBoolean(ini.GetValue(u"True", u"SmsSupported")));
  AllowSmsCharSetChange = Flag(ParseBoolean(ini.GetValue(u"False", u"AllowSmsCharSetChange")));
  SmsUnicode = Flag(app_text::EqualsIgnoreCase(
      ReadString(kApplicationSettingsKey, u"SmsCharSet", ini.GetValue(u"Gsm", u"SmsCharSet"), false),
      u"Unicode"));
  SmsDeliveryReport =
      Flag(ParseBoolean(ReadString(kApplicationSettingsKey, u"SmsDeliveryReport", u"False", false)));
  CompanyName = ini.GetValue(u"Kalmor nv", u"CompanyName");
  ForceFocusAllowed = Flag(ParseBoolean(ini.GetValue(u"False", u"ForceFocusAllowed")));
  LastNetworkName = ReadString(kApplicationSettingsKey, u"LastNetworkName", u"", false);
  LastMccMnc = ReadString(kApplicationSettingsKey, u"LastMccMnc", u"", false);
  Loaded = 1;

  XLogLevel(kXLogTrace,
            "CSettings::Load: log %u, stop %u, bulldoze %u, noshow %u, technology mode %u, signal "
            "mode %u, auto profiles %u/%u, sms unicode %u.",
            Log, Stop, Bulldoze, NoShow, TechnologyPreferencesMode, SignalStrengthMode,
            AutoProfilesAvailable, AutoProfiles, SmsUnicode);
}

std::u16string CSettings::UserKey(std::u16string_view subkey) const {
  return Join(std::u16string(kUserHive) + base_key_, subkey);
}

std::optional<std::u16string> CSettings::ReadValue(std::u16string_view subkey,
                                                   std::u16string_view name, bool fallback) const {
  if (!base_key_.empty()) {
    if (auto value = QueryString(platform::HKEY_USERS, UserKey(subkey), name)) return value;
  }
  if (!fallback) return std::nullopt;
  // kMachineKey ends in "\", so the subkey is appended as it stands.
  const std::u16string_view relative =
      !subkey.empty() && subkey.front() == u'\\' ? subkey.substr(1) : subkey;
  return QueryString(platform::HKEY_LOCAL_MACHINE, std::u16string(kMachineKey) + std::u16string(relative),
                     name);
}

std::u16string CSettings::ReadString(std::u16string_view subkey, std::u16string_view name,
                                     std::u16string_view default_value, bool fallback) const {
  std::optional<std::u16string> value = ReadValue(subkey, name, fallback);
  return value ? std::move(*value) : std::u16string(default_value);
}

bool CSettings::WriteString(std::u16string_view subkey, std::u16string_view name,
                            std::u16string_view text) const {
  const std::string name_utf8 = platform::Utf16ToUtf8(name);
  if (base_key_.empty()) {
    XLogLevel(kXLogWarning, "CSettings::WriteString(%s): no settings key.", name_utf8.c_str());
    return false;
  }
  const std::u16string key = UserKey(subkey);
  const std::u16string value_name(name);
  const std::u16string value(text);
  const uint32_t error =
      XRegWriteString(platform::HKEY_USERS, key.c_str(), value_name.c_str(), value.c_str(), true);
  if (error != 0) {
    XLogLevel(kXLogWarning, "CSettings::WriteString(%s) failed with %u.", name_utf8.c_str(), error);
    return false;
  }
  return true;
}

uint32_t CSettings::EffectiveSignalStrengthMode() const {
  if ((SignalStrengthMode == kSignalWcdma5Bars || SignalStrengthMode == kSignalWcdma4Bars) &&
      !wcdma_signal_supported_) {
    return kSignalStandard5Bars;
  }
  return SignalStrengthMode;
}

bool CSettings::SetLastNetworkName(const char16_t* text) {
  const std::u16string value = text != nullptr ? text : u"";
  {
    std::lock_guard lock(last_network_mutex_);
    LastNetworkName = value;
  }
  return WriteString(kApplicationSettingsKey, u"LastNetworkName", value);
}

bool CSettings::SetLastMccMnc(const char16_t* text) {
  const std::u16string value = text != nullptr ? text : u"";
  {
    std::lock_guard lock(last_network_mutex_);
    LastMccMnc = value;
  }
  return WriteString(kApplicationSettingsKey, u"LastMccMnc", value);
}

std::u16string CSettings::GetLastNetworkName() const {
  std::lock_guard lock(last_network_mutex_);
  return LastNetworkName;
}

std::u16string CSettings::GetLastMccMnc() const {
  std::lock_guard lock(last_network_mutex_);
  return LastMccMnc;
}

bool CSettings::SetAutoProfiles(bool on) {
  AutoProfiles = Flag(on);
  return WriteString(kApplicationSettingsKey, u"AutoProfiles", BooleanText(on));
}

bool CSettings::SetLastTechnologySelectionModeSupported(bool supported) {
  LastTechnologySelectionModeSupported = Flag(supported);
  return WriteString(kApplicationSettingsKey, u"LastTechnologySelectionModeSupported",
                     BooleanText(supported));
}

bool CSettings::SetSmsUnicode(bool unicode) {
  SmsUnicode = Flag(unicode);
  return WriteString(kApplicationSettingsKey, u"SmsCharSet", unicode ? u"Unicode" : u"Gsm");
}

bool CSettings::SetSmsDeliveryReport(bool on) {
  SmsDeliveryReport = Flag(on);
  return WriteString(kApplicationSettingsKey, u"SmsDeliveryReport", BooleanText(on));
}

bool CSettings::ParseBoolean(std::u16string_view text) {
  return app_text::EqualsIgnoreCase(text, u"True") || app_text::EqualsIgnoreCase(text, u"Yes");
}

uint32_t CSettings::ParseTechnologyPreferencesMode(std::u16string_view text) {
  const std::u16string_view word = app_text::Trim(text);
  if (app_text::EqualsIgnoreCase(word, u"AlwaysHide")) return kTechnologyPreferencesAlwaysHide;
  if (app_text::EqualsIgnoreCase(word, u"AlwaysShow")) return kTechnologyPreferencesAlwaysShow;
  return kTechnologyPreferencesAuto;
}

uint32_t CSettings::ParseSignalStrengthMode(std::u16string_view text) {
  const std::u16string_view word = app_text::Trim(text);
  if (app_text::EqualsIgnoreCase(word, u"Standard5Bars")) return kSignalStandard5Bars;
  if (app_text::EqualsIgnoreCase(word, u"Wcdma5Bars")) return kSignalWcdma5Bars;
  if (app_text::EqualsIgnoreCase(word, u"Wcdma4Bars")) return kSignalWcdma4Bars;
  return kSignalExtended5Bars;
}
