#include "devicelib/cli/device_report.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "devicelib/device_states.h"
#include "devicelib/sim_answers.h"
#include "platform/dial_up.h"
#include "platform/text.h"

namespace vombel_device {
namespace {

// One line of the report before alignment.
struct Row {
  const char* section;
  std::string key;
  std::string value;
};

constexpr size_t kSectionWidth = 9;
constexpr size_t kKeyWidth = 22;

std::string Hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", value);
  return buffer;
}

template <typename T, typename Format>
void Add(std::vector<Row>& rows, const char* section, const char* key, const Reading<T>& reading, Format format) {
  if (!reading.read) return;
  rows.push_back({section, key, reading.rc == 0 ? format(reading.value) : "-- (" + ResultText(reading.rc) + ")"});
}

std::string Plain(const std::string& text) { return text.empty() ? "--" : text; }
std::string Number(int value) { return std::to_string(value); }

bool Supported(const Reading<int>& flag) { return flag.ok() && flag.value != 0; }

void AddPinRows(std::vector<Row>& rows, const DeviceStatus& s) {
  Add(rows, "SIM", "pin state", s.pin_state, PinPukStateText);
  if (Supported(s.retry_counters_supported)) {
    const auto counter = [](int n) { return n < 0 ? std::string("unknown") : std::to_string(n); };
    Add(rows, "SIM", "pin retries", s.retries, [&](const RetryCounters& r) { return counter(r.pin); });
    Add(rows, "SIM", "puk retries", s.retries, [&](const RetryCounters& r) { return counter(r.puk); });
  }
  Add(rows, "SIM", "pin check", s.pin_enabled, [](int on) { return std::string(on ? "enabled" : "disabled"); });
}

std::vector<Row> Rows(const DeviceStatus& s) {
  std::vector<Row> rows;
  Add(rows, "Device", "state", s.device_state, DeviceStateText);
  Add(rows, "Device", "model", s.model, Plain);
  Add(rows, "Device", "firmware", s.firmware, Plain);
  Add(rows, "Device", "hardware", s.hardware, Plain);
  Add(rows, "Device", "imei", s.imei, Plain);
  Add(rows, "Device", "serial number", s.serial, Plain);

  Add(rows, "SIM", "sim state", s.sim_state, SimStateText);
  Add(rows, "SIM", "iccid", s.iccid, Plain);
  Add(rows, "SIM", "imsi", s.imsi, Plain);
  AddPinRows(rows, s);

  Add(rows, "Network", "operator", s.network, [](const NetworkInfo& n) { return Plain(n.name); });
  Add(rows, "Network", "network type", s.network, [](const NetworkInfo& n) { return NetworkTypeText(n.type); });
  Add(rows, "Network", "cs registration", s.cs_state, RegistrationText);
  Add(rows, "Network", "ps registration", s.ps_state, RegistrationText);
  if (Supported(s.technology_selection_supported)) {
    Add(rows, "Network", "technology selection", s.technology_mode, TechnologyModeText);
  }
  Add(rows, "Network", "access technology", s.access_technology, AccessTechnologyText);
  Add(rows, "Network", "edge", s.edge_state, OnOffText);
  Add(rows, "Network", "hsdpa", s.hsdpa_state, OnOffText);
  Add(rows, "Network", "apn", s.apn, Plain);
  Add(rows, "Network", "idle text", s.idle_text, Plain);

  Add(rows, "Signal", "signal", s.signal, SignalText);
  if (Supported(s.wcdma_supported)) Add(rows, "Signal", "wcdma signal", s.wcdma_signal, Number);
  return rows;
}

std::string Pad(const std::string& text, size_t width, bool right) {
  if (text.size() >= width) return text;
  const std::string fill(width - text.size(), ' ');
  return right ? fill + text : text + fill;
}

}  // namespace

std::string DeviceStateText(int state) {
  switch (state) {
    case GSM::DeviceState::NotFound: return "not found";
    case GSM::DeviceState::Found: return "found (initialising)";
    case GSM::DeviceState::Initialized: return "initialized";
    default: return "unknown (" + std::to_string(state) + ")";
  }
}

std::string PinPukStateText(uint32_t state) {
  // The card's own words (AT+CPIN?).
  const std::u16string_view text = GSM::PinPukStateCardText(static_cast<GSM::PinPukState>(state));
  return text.empty() ? "unknown" : platform::Utf16ToUtf8(text);
}

std::string SimStateText(int state) {
  switch (state) {
    case 0: return "not initialized";
    case 1: return "initialized";
    default: return "unknown (" + std::to_string(state) + ")";
  }
}

std::string RegistrationText(int network_state) {
  switch (network_state) {
    case GSM::NetworkState::NotRegistered: return "not registered";
    case GSM::NetworkState::Registered: return "home";
    case GSM::NetworkState::Registering: return "searching";
    case GSM::NetworkState::RegistrationDenied: return "denied";
    case GSM::NetworkState::Unknown: return "unknown";
    case GSM::NetworkState::RegisteredRoaming: return "roaming";
    default: return "unknown (" + std::to_string(network_state) + ")";
  }
}

std::string NetworkTypeText(int type) {
  switch (type) {
    case 0: return "none";
    case 1: return "GSM";
    case 2: return "UMTS";
    case 3: return "LTE";
    case 4: return "5G";
    default: return "unknown (" + std::to_string(type) + ")";
  }
}

std::string TechnologyModeText(int mode) {
  switch (mode) {
    case 0: return "GPRS only";
    case 1: return "UMTS only";
    case 2: return "GPRS preferred";
    case 3: return "UMTS preferred";
    default: return "unknown (" + std::to_string(mode) + ")";
  }
}

std::string AccessTechnologyText(int technology) {
  switch (technology) {
    case GSM::PacketSwitchedTechnologyNone: return "none";
    case GSM::PacketSwitchedTechnologyGprs: return "GPRS";
    case GSM::PacketSwitchedTechnologyUmts: return "UMTS";
    case GSM::PacketSwitchedTechnologyLte: return "LTE";
    case GSM::PacketSwitchedTechnology5g: return "5G";
    default: return "unknown (" + std::to_string(technology) + ")";
  }
}

std::string OnOffText(int state) { return state != 0 ? "yes" : "no"; }

std::string SignalText(const Signal& signal) {
  // The +CSQ scale: 0..31 (-113 dBm in steps of 2), 99 not known.
  std::string text = std::to_string(signal.value);
  if (signal.value >= 0 && signal.value <= 31) {
    text += " (" + std::to_string(-113 + 2 * signal.value) + " dBm)";
  } else if (signal.value == 99) {
    text += " (not known)";
  }
  return text + ", extended " + std::to_string(signal.extended);
}

std::string ResultText(DvResult rc) {
  const std::string hex = Hex(rc);
  if ((rc & 0xFFFF0000u) == DV_E_CME_BASE) return hex + " +CME ERROR: " + std::to_string(rc & 0xFFFF);
  if ((rc & 0xFFFF0000u) == DV_E_CMS_BASE) return hex + " +CMS ERROR: " + std::to_string(rc & 0xFFFF);
  if ((rc & 0xFFFF0000u) == DV_E_CONNECTION_BASE) {
    return hex + " the network refused the data call (reason " + std::to_string(rc & 0xFFFF) + ")";
  }
  if ((rc & 0xFFFF0000u) == 0x80070000u) {
    if (const char* text = platform::DialUpErrorText(rc & 0xFFFF)) return hex + " " + text;
  }
  const char* meaning = nullptr;
  switch (rc) {
    case DV_E_NOT_INITIALIZED: meaning = "library not initialised"; break;
    case DV_E_NO_ANSWER: meaning = "no answer"; break;
    case DV_E_ERROR: meaning = "ERROR"; break;
    case DV_E_UNEXPECTED_ANSWER: meaning = "unexpected answer"; break;
    case DV_E_INVALID_ARGUMENT: meaning = "invalid argument"; break;
    case DV_E_NOT_SUPPORTED: meaning = "not supported"; break;
    case DV_E_NOT_AVAILABLE: meaning = "not available"; break;
    case DV_E_NO_DEVICE: meaning = "no device"; break;
    case DV_E_NOT_READY: meaning = "device not yet initialised"; break;
    case DV_E_SIM_NOT_INITIALIZED: meaning = "SIM not initialised"; break;
    case DV_E_PORT_BUSY: meaning = "port busy with a data call"; break;
    case DV_E_NO_CONNECTION: meaning = "no data connection"; break;
    case DV_E_CONNECTION_BUSY: meaning = "a data connection is being made or is up"; break;
    case DV_E_CONNECTION_DROPPED: meaning = "the data call failed or was refused by the card"; break;
    case DV_E_NO_NDIS_PORT: meaning = "the card names no network driver control device"; break;
    case DV_E_NO_WWAN_ADAPTER: meaning = "the card's network adapter was not found"; break;
    default: break;
  }
  return meaning == nullptr ? hex : hex + " " + meaning;
}

std::vector<std::string> FormatReport(const DeviceStatus& status) {
  const std::vector<Row> rows = Rows(status);
  size_t key_width = kKeyWidth;
  for (const Row& row : rows) key_width = std::max(key_width, row.key.size());
  const std::string rule = "  " + std::string(kSectionWidth + 3 + key_width + 2 + 24, '-');
  std::vector<std::string> lines;
  const char* section = nullptr;
  for (const Row& row : rows) {
    const bool first = section == nullptr || std::string(section) != row.section;
    if (first) {
      lines.push_back(rule);
      section = row.section;
    }
    lines.push_back("  " + Pad(first ? row.section : "", kSectionWidth, false) + "| " +
                    Pad(row.key, key_width, true) + ": " + row.value);
  }
  if (!rows.empty()) lines.push_back(rule);
  return lines;
}

std::vector<std::string> FormatIdentity(const DeviceStatus& s, const Reading<std::vector<std::string>>& own_numbers) {
  std::vector<Row> rows;
  Add(rows, "", "model", s.model, Plain);
  Add(rows, "", "firmware", s.firmware, Plain);
  Add(rows, "", "hardware", s.hardware, Plain);
  Add(rows, "", "imei", s.imei, Plain);
  Add(rows, "", "serial number", s.serial, Plain);
  Add(rows, "", "iccid", s.iccid, Plain);
  Add(rows, "", "imsi", s.imsi, Plain);
  Add(rows, "", "own numbers", own_numbers, [](const std::vector<std::string>& numbers) {
    std::string text;
    for (const std::string& n : numbers) text += (text.empty() ? "" : ", ") + n;
    return Plain(text);
  });
  std::vector<std::string> lines;
  for (const Row& row : rows) lines.push_back(row.key + ": " + row.value);
  return lines;
}

std::vector<std::string> FormatPinState(const DeviceStatus& status) {
  std::vector<Row> rows;
  AddPinRows(rows, status);
  std::vector<std::string> lines;
  for (const Row& row : rows) lines.push_back(row.key + ": " + row.value);
  return lines;
}

std::vector<std::string> ChangedLines(const DeviceStatus& before, const DeviceStatus& after) {
  const std::vector<Row> old_rows = Rows(before);
  std::vector<std::string> lines;
  for (const Row& row : Rows(after)) {
    const auto old = std::find_if(old_rows.begin(), old_rows.end(), [&](const Row& r) { return r.key == row.key; });
    if (old != old_rows.end() && old->value == row.value) continue;
    lines.push_back(row.key + ": " + row.value);
  }
  return lines;
}

std::string EventLine(uint32_t event, uintptr_t parameter, const char* event_name) {
  std::string line = "event ";
  line += event_name != nullptr ? event_name : "<unknown event>";
  line += " (" + std::to_string(event) + ")";
  if (event == EventSmsMessageArrived) line += ", SIM index " + std::to_string(parameter);
  return line;
}

std::string ErrorLine(uint32_t type, DvResult primary, DvResult secondary) {
  std::string line = "error type " + std::to_string(type) + ": " + ResultText(primary);
  if (secondary != 0) line += ", then " + ResultText(secondary);
  return line;
}

// --- SMS ---------------------------------------------------------------------

std::string SmsStatusText(uint32_t storage_status) {
  switch (storage_status) {
    case kSmsStorageReceivedUnread: return "unread";
    case kSmsStorageReceivedRead: return "read";
    case kSmsStorageStoredUnsent: return "unsent";
    case kSmsStorageStoredSent: return "sent";
    default: return std::to_string(storage_status);
  }
}

std::string FileTimeText(uint64_t file_time) {
  constexpr uint64_t kTicksPerSecond = 10000000;
  constexpr uint64_t kUnixEpochSeconds = 11644473600;  // 1601 to 1970
  const uint64_t seconds = file_time / kTicksPerSecond;
  if (file_time == 0 || seconds < kUnixEpochSeconds) return "-";
  const std::time_t unix_time = static_cast<std::time_t>(seconds - kUnixEpochSeconds);
  std::tm tm{};
  if (gmtime_r(&unix_time, &tm) == nullptr) return "-";
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d UTC", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

std::string FieldText(const char16_t* field, size_t size) {
  std::u16string text;
  for (size_t i = 0; i < size && field[i] != u'\0'; ++i) text.push_back(field[i] < u' ' ? u' ' : field[i]);
  return platform::Utf16ToUtf8(text);
}

std::vector<std::string> FormatSmsList(const SmsMessage* messages, size_t count) {
  if (messages == nullptr || count == 0) return {"No messages on the SIM."};
  std::vector<std::string> lines;
  char line[96];
  std::snprintf(line, sizeof line, "%5s  %-6s  %-21s  %-23s  %s", "index", "status", "from/to", "time", "text");
  lines.emplace_back(line);
  for (size_t i = 0; i < count; ++i) {
    const SmsMessage& m = messages[i];
    const std::string address = FieldText(m.Address, kSmsAddressSize);
    std::snprintf(line, sizeof line, "%5u  %-6s  %-21s  %-23s  ", m.Index, SmsStatusText(m.StorageStatus).c_str(),
                  address.c_str(), FileTimeText(m.TimeStamp).c_str());
    lines.push_back(line + (m.MessageType == kSmsMessageTypeInvalid ? std::string("(unreadable message)")
                                                                    : FieldText(m.Text, kSmsTextSize)));
  }
  return lines;
}

std::vector<std::string> FormatSmsMessage(const SmsMessage& m) {
  const bool submit = m.MessageType == kSmsMessageTypeSubmit;
  std::vector<std::string> lines = {
      "index: " + std::to_string(m.Index),
      "status: " + SmsStatusText(m.StorageStatus),
      std::string(submit ? "to: " : "from: ") + FieldText(m.Address, kSmsAddressSize),
      "service centre: " + FieldText(m.ServiceCentre, kSmsAddressSize),
      "time: " + FileTimeText(m.TimeStamp),
  };
  if (m.MessageType == kSmsMessageTypeInvalid) {
    lines.emplace_back("text: (unreadable message)");
  } else {
    lines.push_back("text: " + FieldText(m.Text, kSmsTextSize));
  }
  return lines;
}

std::string TemporaryMessageLine(const SmsMessage& m) {
  return "message from " + FieldText(m.Address, kSmsAddressSize) + " at " + FileTimeText(m.TimeStamp) +
         (m.Class == 1 ? " (flash)" : "") + ": " + FieldText(m.Text, kSmsTextSize);
}

std::string StatusReportLine(const SmsStatusReport& report) {
  char status[8];
  std::snprintf(status, sizeof status, "0x%02X", report.Status);
  const char* meaning = report.Status < 0x20 ? "delivered" : report.Status < 0x40 ? "still trying" : "failed";
  return "status report for " + FieldText(report.Recipient, kSmsAddressSize) + " at " +
         FileTimeText(report.TimeStamp) + ": " + meaning + " (" + status + ")";
}

}  // namespace vombel_device
