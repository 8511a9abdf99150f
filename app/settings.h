// The application's settings: the command-line switches, the build's feature
// switches from the compiled-in INI text, and what the program remembers
// between runs in the settings store. Filled once at start-up; the rest of the
// application reads the fields through Instance(). Values the user changes
// are written back at once by the setters.
//
// Store layout: HKEY_USERS ".DEFAULT\<string 139>\<subkey>", the per-user
// store on this platform. "AutoProfiles" and the default profile's values
// fall back to the machine-wide key an installer may fill
// (HKEY_LOCAL_MACHINE "System\CurrentControlSet\Services\{…}\<subkey>");
// nothing else does.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/module.h"

class CIniHelper;

class CSettings {
 public:
  // Values of TechnologyPreferencesMode.
  static constexpr uint32_t kTechnologyPreferencesAlwaysHide = 0;
  static constexpr uint32_t kTechnologyPreferencesAlwaysShow = 1;
  static constexpr uint32_t kTechnologyPreferencesAuto = 2;
  // Values of SignalStrengthMode.
  static constexpr uint32_t kSignalStandard5Bars = 0;
  static constexpr uint32_t kSignalExtended5Bars = 1;
  static constexpr uint32_t kSignalWcdma5Bars = 2;
  static constexpr uint32_t kSignalWcdma4Bars = 3;

  static constexpr int kBaseKeyStringId = 139;
  static constexpr std::u16string_view kApplicationSettingsKey = u"ApplicationSettings";

  // Tells whether a command-line switch ("log", "stop", "bulldoze",
  // "noshow") is present, whatever its value.
  using SwitchTest = std::function<bool(std::u16string_view name)>;

  // The command-line parser start-up hands over before anything reads the
  // settings; without one every switch reads as absent.
  static void SetSwitchTest(SwitchTest test);

  // The process-wide settings, loaded from the program's own resources on
  // first use.
  static CSettings& Instance();

  CSettings() = default;
  CSettings(const CSettings&) = delete;
  CSettings& operator=(const CSettings&) = delete;

  // Fills every field, switches first, from the resources of `module` (null:
  // the program), the settings store and `switches` (null: none present). A
  // missing resource or unreadable store leaves the code defaults.
  void Load(platform::HMODULE module, const SwitchTest& switches);

  // A text from the store: the user's value, else (with `fallback`) the
  // machine's, else `default_value`. A read that fails for any reason counts
  // as absent.
  std::u16string ReadString(std::u16string_view subkey, std::u16string_view name,
                            std::u16string_view default_value, bool fallback) const;
  // The same without a default: nullopt when absent everywhere.
  std::optional<std::u16string> ReadValue(std::u16string_view subkey, std::u16string_view name,
                                          bool fallback) const;
  // Writes a REG_SZ value to the user's key, creating the key when needed.
  // Failure is logged and returned; nothing is retried.
  bool WriteString(std::u16string_view subkey, std::u16string_view name,
                   std::u16string_view text) const;

  // The stored mode, with the two WCDMA modes reading as Standard5Bars while
  // the card is not known to report WCDMA signal levels.
  uint32_t EffectiveSignalStrengthMode() const;
  // Filled by the worker thread from the device-access library's answer
  // whether the card reports WCDMA signal levels; false until then.
  void SetWcdmaSignalSupported(bool supported) { wcdma_signal_supported_.store(supported, std::memory_order_relaxed); }
  bool WcdmaSignalSupported() const { return wcdma_signal_supported_.load(std::memory_order_relaxed); }

  // Store the text (null as empty) and write it to the store at once. The
  // worker thread writes both; other threads read them through the getters.
  bool SetLastNetworkName(const char16_t* text);
  bool SetLastMccMnc(const char16_t* text);
  std::u16string GetLastNetworkName() const;
  std::u16string GetLastMccMnc() const;
  // The user's choices, stored as "True"/"False" and "Unicode"/"Gsm".
  bool SetAutoProfiles(bool on);
  bool SetLastTechnologySelectionModeSupported(bool supported);
  bool SetSmsUnicode(bool unicode);
  bool SetSmsDeliveryReport(bool on);

  // Parsing rules of the INI and stored texts.
  static bool ParseBoolean(std::u16string_view text);
  static uint32_t ParseTechnologyPreferencesMode(std::u16string_view text);
  static uint32_t ParseSignalStrengthMode(std::u16string_view text);

  // The key under HKEY_USERS that holds the user's values ("" until loaded,
  // or when string 139 is missing: every store access then fails).
  const std::u16string& BaseKey() const { return base_key_; }

  uint32_t Loaded = 0;
  uint32_t Log = 0;
  uint32_t Stop = 0;
  uint32_t Bulldoze = 0;
  uint32_t NoShow = 0;
  uint32_t ExtendedSystrayMenu = 0;
  uint32_t BasicViewOnly = 0;
  uint32_t ForeignConnectionFriendlyMode = 1;
  uint32_t TechnologyPreferencesMode = kTechnologyPreferencesAuto;
  uint32_t LastTechnologySelectionModeSupported = 1;
  uint32_t RoamingAware = 1;
  uint32_t SignalStrengthMode = kSignalExtended5Bars;
  uint32_t UserNamePasswordSupported = 1;
  uint32_t AutoProfilesAvailable = 0;
  uint32_t AutoProfiles = 1;
  uint32_t SmsSupported = 1;
  uint32_t AllowSmsCharSetChange = 0;
  uint32_t SmsUnicode = 0;
  uint32_t SmsDeliveryReport = 0;  // the editor asks for a status report
  std::u16string CompanyName = u"Kalmor nv";
  uint32_t ForceFocusAllowed = 0;
  std::u16string LastNetworkName;
  std::u16string LastMccMnc;

 private:
  std::u16string UserKey(std::u16string_view subkey) const;

  std::u16string base_key_;
  std::atomic<bool> wcdma_signal_supported_ = false;
  mutable std::mutex last_network_mutex_;  // LastNetworkName and LastMccMnc
};
