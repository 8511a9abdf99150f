#include "app/diagnostics_report.h"

#include <string>

#include "app/cached_dravik.h"
#include "app/traffic.h"
#include "carddetect/nw_card_info.h"
#include "platform/text.h"

namespace {

// Row titles, in list order; the group titles are 156, 165 and 170.
constexpr unsigned kHardwareTest = 156;
constexpr unsigned kCardName = 157;
constexpr unsigned kApplicationPort = 158;
constexpr unsigned kCardSerialNumber = 159;
constexpr unsigned kFirmwareVersion = 160;
constexpr unsigned kHardwareVersion = 161;
constexpr unsigned kImeiNumber = 162;
constexpr unsigned kIccidNumber = 163;
constexpr unsigned kPhoneNumbers = 164;
constexpr unsigned kOperationalTest = 165;
constexpr unsigned kPinCodeStatus = 166;
constexpr unsigned kNetworkName = 167;
constexpr unsigned kNetworkSelectionMode = 168;
constexpr unsigned kSignalStrength = 169;
constexpr unsigned kNetworkSettings = 170;
constexpr unsigned kCsRegistration = 171;
constexpr unsigned kPsRegistration = 172;
constexpr unsigned kPsAttachment = 173;
constexpr unsigned kApns = 174;
// Values.
constexpr unsigned kReady = 175;
constexpr unsigned kUnknown = 176;
constexpr unsigned kPinRequired = 177;
constexpr unsigned kPukRequired = 178;
constexpr unsigned kAutomatic = 179;
constexpr unsigned kManual = 180;
constexpr unsigned kFirstRegistrationText = 181;  // 181..186: states 0..5
constexpr int kLastRegistrationState = 5;
constexpr unsigned kAttached = 187;
constexpr unsigned kNotAttached = 188;
constexpr unsigned kDeviceLocked = 203;
constexpr unsigned kNotApplicable = 57349;
// The traffic rows that follow while connected.
constexpr unsigned kDataSent = 253;
constexpr unsigned kDataReceived = 254;
constexpr unsigned kSendingRate = 255;
constexpr unsigned kReceivingRate = 256;
constexpr unsigned kConnectionTime = 257;
constexpr unsigned kConnectionTraffic = 258;
constexpr int kConnected = 2;

std::u16string PinPukText(int state, const StringLoader& strings) {
  switch (state) {
    case CachedDravikValues::kPinPukUnknown:
      return strings(kUnknown);
    case CachedDravikValues::kPinPukReady:
      return strings(kReady);
    case CachedDravikValues::kPinRequired:
      return strings(kPinRequired);
    case CachedDravikValues::kPukRequired:
      return strings(kPukRequired);
    default:
      return strings(CachedDravikValues::IsDeviceLock(state) ? kDeviceLocked : kNotApplicable);
  }
}

std::u16string SelectionModeText(int mode, const StringLoader& strings) {
  if (mode == 0) return strings(kAutomatic);
  if (mode == 1) return strings(kManual);
  return strings(kNotApplicable);
}

std::u16string RegistrationText(int state, const StringLoader& strings) {
  if (state < 0 || state > kLastRegistrationState) return strings(kNotApplicable);
  return strings(kFirstRegistrationText + static_cast<unsigned>(state));
}

std::u16string SignalText(const CachedDravikValues& values, const StringLoader& strings) {
  if (!values.Registered()) return strings(kNotApplicable);
  return platform::Utf8ToUtf16(std::to_string(values.SignalValue) + "," + std::to_string(values.ExtendedSignalValue));
}

}  // namespace

std::vector<DiagnosticsRow> MakeDiagnosticsRows(const CachedDravikValues& values, const StringLoader& strings) {
  if (values.DeviceState != CachedDravikValues::kDeviceReady) return {};
  const CDiagnostics& d = values.Diagnostics;
  auto group = [&](unsigned id) { return DiagnosticsRow{true, strings(id), {}}; };
  auto item = [&](unsigned id, std::u16string value) { return DiagnosticsRow{false, strings(id), std::move(value)}; };
  const std::u16string port =
      values.CardRecord ? std::u16string(PortNameShown(CardInfoText(values.CardRecord->AppPortName))) : u"";
  const std::u16string apn = values.CurrentProfile ? values.CurrentProfile->GetApn() : u"";
  std::vector<DiagnosticsRow> rows = {
      group(kHardwareTest),
      item(kCardName, d.DeviceName),
      item(kApplicationPort, port),
      item(kCardSerialNumber, d.SerialNumber),
      item(kFirmwareVersion, d.FirmwareVersion),
      item(kHardwareVersion, d.HardwareVersion),
      item(kImeiNumber, d.Imei),
      item(kIccidNumber, d.Iccid),
      item(kPhoneNumbers, d.PhoneNumbers),
      group(kOperationalTest),
      item(kPinCodeStatus, PinPukText(values.PinPukState, strings)),
      item(kNetworkName, values.NetworkName),
      item(kNetworkSelectionMode, SelectionModeText(d.NetworkSelectionMode, strings)),
      item(kSignalStrength, SignalText(values, strings)),
      group(kNetworkSettings),
      item(kCsRegistration, RegistrationText(values.CsNetworkState, strings)),
      item(kPsRegistration, RegistrationText(values.PsNetworkState, strings)),
      item(kPsAttachment, strings(d.PsAttached != 0 ? kAttached : kNotAttached)),
      item(kApns, apn),
  };
  const TrafficFigures& t = values.Traffic;
  if (values.ConnectionState == kConnected && t.Valid) {
    rows.insert(rows.end(), {
                                group(kConnectionTraffic),
                                item(kDataSent, TrafficBytesText(t.BytesSent)),
                                item(kDataReceived, TrafficBytesText(t.BytesReceived)),
                                item(kSendingRate, TrafficRateText(t.SendRate)),
                                item(kReceivingRate, TrafficRateText(t.ReceiveRate)),
                                item(kConnectionTime, TrafficDurationText(t.DurationMs())),
                            });
  }
  return rows;
}

std::u16string MakeDiagnosticsText(const std::vector<DiagnosticsRow>& rows) {
  std::u16string text;
  for (const DiagnosticsRow& row : rows) {
    text += row.item;
    if (!row.value.empty()) text += u": " + row.value;
    text += u"\r\n";
  }
  return text;
}

std::string DiagnosticsFileBytes(std::u16string_view text, bool japanese_ui) {
  if (japanese_ui) return platform::Utf16ToUtf8(text);
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::vector<std::u16string> SaveDialogFilters(std::u16string_view text) {
  std::vector<std::u16string_view> parts;
  size_t start = 0;
  for (;;) {
    const size_t bar = text.find(u'|', start);
    if (bar == std::u16string_view::npos) {
      if (start < text.size()) parts.push_back(text.substr(start));
      break;
    }
    parts.push_back(text.substr(start, bar - start));
    start = bar + 1;
  }
  std::vector<std::u16string> filters;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    const std::u16string_view description = parts[i];
    const std::u16string_view pattern = parts[i + 1];
    if (description.empty() && pattern.empty()) break;  // the closing "||"
    std::u16string filter(description);
    std::u16string named(1, u'(');
    named.append(pattern);
    named += u')';
    if (filter.find(named) == std::u16string::npos) {
      if (!filter.empty()) filter += u' ';
      filter += named;
    }
    filters.push_back(std::move(filter));
  }
  return filters;
}

std::u16string SaveDialogSuffix(std::u16string_view pattern) {
  const size_t dot = pattern.rfind(u'.');
  if (dot == std::u16string_view::npos) return {};
  const std::u16string_view suffix = pattern.substr(dot + 1);
  if (suffix.empty() || suffix.find_first_of(u"*?") != std::u16string_view::npos) return {};
  return std::u16string(suffix);
}
