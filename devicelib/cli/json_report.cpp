#include "devicelib/cli/json_report.h"

#include <cstdio>
#include <ctime>
#include <utility>

#include "devicelib/cli/json_writer.h"
#include "devicelib/device_states.h"
#include "platform/text.h"

namespace vombel_device {
namespace {

std::string Hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", value);
  return buffer;
}

// One document: the writer, and the values the library did not give.
class Document {
 public:
  explicit Document(const char* command) { w.BeginObject().StringField("command", command); }

  // `key` with `write` of the value, null when the call failed, nothing
  // when it was not asked.
  template <typename T, typename Write>
  void Add(const char* section, const char* key, const Reading<T>& reading, Write write) {
    if (!reading.read) return;
    if (reading.rc != 0) {
      w.NullField(key);
      std::string field = section;
      if (!field.empty()) field += '.';
      field += key;
      unavailable_.emplace_back(std::move(field), reading.rc);
      return;
    }
    w.Key(key);
    write(w, reading.value);
  }

  std::string Finish() {
    w.Key("unavailable").BeginArray();
    for (const auto& [field, rc] : unavailable_) {
      w.BeginObject().StringField("field", field).StringField("result", Hex(rc)).StringField("text", ResultText(rc));
      w.EndObject();
    }
    w.EndArray();
    return Close();
  }
  std::string Close() {
    w.EndObject();
    return w.Text();
  }

  JsonWriter w;

 private:
  std::vector<std::pair<std::string, DvResult>> unavailable_;
};

void Text(JsonWriter& w, const std::string& text) { w.String(text); }
void Flag(JsonWriter& w, int value) { w.Bool(value != 0); }

const char* DeviceStateWord(int state) {
  switch (state) {
    case GSM::DeviceState::NotFound: return "not-found";
    case GSM::DeviceState::Found: return "found";
    case GSM::DeviceState::Initialized: return "initialized";
    default: return "unknown";
  }
}

const char* RegistrationWord(int state) {
  switch (state) {
    case GSM::NetworkState::NotRegistered: return "not-registered";
    case GSM::NetworkState::Registered: return "home";
    case GSM::NetworkState::Registering: return "searching";
    case GSM::NetworkState::RegistrationDenied: return "denied";
    case GSM::NetworkState::RegisteredRoaming: return "roaming";
    default: return "unknown";
  }
}

const char* NetworkTypeWord(int type) {
  switch (type) {
    case 0: return "none";
    case 1: return "gsm";
    case 2: return "umts";
    case 3: return "lte";
    case 4: return "5g";
    default: return "unknown";
  }
}

const char* AccessTechnologyWord(int technology) {
  switch (technology) {
    case GSM::PacketSwitchedTechnologyNone: return "none";
    case GSM::PacketSwitchedTechnologyGprs: return "gprs";
    case GSM::PacketSwitchedTechnologyUmts: return "umts";
    case GSM::PacketSwitchedTechnologyLte: return "lte";
    case GSM::PacketSwitchedTechnology5g: return "5g";
    default: return "unknown";
  }
}

const char* TechnologyWord(int mode) {
  const char* name = TechnologyModeName(mode);
  return *name != '\0' ? name : "unknown";
}

void Registration(JsonWriter& w, int state) { w.String(RegistrationWord(state)); }
void PinState(JsonWriter& w, uint32_t state) { w.String(PinPukStateText(state)); }
void Counter(JsonWriter& w, int count) { count < 0 ? w.Null() : w.Int(count); }

bool Supported(const Reading<int>& flag) { return flag.ok() && flag.value != 0; }

void DeviceSection(Document& d, const DeviceStatus& s) {
  d.w.Key("device").BeginObject();
  d.Add("device", "state", s.device_state, [](JsonWriter& w, int v) { w.String(DeviceStateWord(v)); });
  d.Add("device", "model", s.model, Text);
  d.Add("device", "firmware", s.firmware, Text);
  d.Add("device", "hardware", s.hardware, Text);
  d.Add("device", "imei", s.imei, Text);
  d.Add("device", "serial_number", s.serial, Text);
  d.w.EndObject();
}

void PinFields(Document& d, const char* section, const DeviceStatus& s) {
  d.Add(section, "pin_state", s.pin_state, PinState);
  if (Supported(s.retry_counters_supported)) {
    d.Add(section, "pin_retries", s.retries, [](JsonWriter& w, const RetryCounters& r) { Counter(w, r.pin); });
    d.Add(section, "puk_retries", s.retries, [](JsonWriter& w, const RetryCounters& r) { Counter(w, r.puk); });
  }
  d.Add(section, "pin_check", s.pin_enabled, Flag);
}

void StatusSections(Document& d, const DeviceStatus& s) {
  DeviceSection(d, s);
  if (s.sim_state.read || s.iccid.read || s.pin_state.read) {
    d.w.Key("sim").BeginObject();
    d.Add("sim", "state", s.sim_state, [](JsonWriter& w, int v) {
      w.String(v == 1 ? "initialized" : v == 0 ? "not-initialized" : "unknown");
    });
    d.Add("sim", "iccid", s.iccid, Text);
    d.Add("sim", "imsi", s.imsi, Text);
    PinFields(d, "sim", s);
    d.w.EndObject();
  }
  if (s.cs_state.read || s.network.read) {
    d.w.Key("network").BeginObject();
    d.Add("network", "operator", s.network, [](JsonWriter& w, const NetworkInfo& n) { w.String(n.name); });
    d.Add("network", "network_type", s.network,
          [](JsonWriter& w, const NetworkInfo& n) { w.String(NetworkTypeWord(n.type)); });
    d.Add("network", "cs_registration", s.cs_state, Registration);
    d.Add("network", "ps_registration", s.ps_state, Registration);
    if (Supported(s.technology_selection_supported)) {
      d.Add("network", "technology_selection", s.technology_mode,
            [](JsonWriter& w, int mode) { w.String(TechnologyWord(mode)); });
    }
    d.Add("network", "access_technology", s.access_technology,
          [](JsonWriter& w, int v) { w.String(AccessTechnologyWord(v)); });
    d.Add("network", "edge", s.edge_state, Flag);
    d.Add("network", "hsdpa", s.hsdpa_state, Flag);
    d.Add("network", "apn", s.apn, Text);
    d.Add("network", "idle_text", s.idle_text, Text);
    d.w.EndObject();
  }
  if (s.signal.read) {
    d.w.Key("signal").BeginObject();
    d.Add("signal", "value", s.signal, [](JsonWriter& w, const Signal& v) { w.Int(v.value); });
    d.Add("signal", "dbm", s.signal, [](JsonWriter& w, const Signal& v) {
      // The +CSQ scale: 0..31 is -113 dBm in steps of 2; 99 not known.
      v.value >= 0 && v.value <= 31 ? w.Int(-113 + 2 * v.value) : w.Null();
    });
    d.Add("signal", "extended", s.signal, [](JsonWriter& w, const Signal& v) { w.Int(v.extended); });
    if (Supported(s.wcdma_supported)) d.Add("signal", "wcdma", s.wcdma_signal, [](JsonWriter& w, int v) { w.Int(v); });
    d.w.EndObject();
  }
}

const char* SmsStatusWord(uint32_t status) {
  switch (status) {
    case kSmsStorageReceivedUnread: return "unread";
    case kSmsStorageReceivedRead: return "read";
    case kSmsStorageStoredUnsent: return "unsent";
    case kSmsStorageStoredSent: return "sent";
    default: return "unknown";
  }
}

const char* SmsTypeWord(uint32_t type) {
  switch (type) {
    case kSmsMessageTypeReceived: return "received";
    case kSmsMessageTypeSubmit: return "submit";
    case kSmsMessageTypeOther: return "other";
    default: return "invalid";
  }
}

const char* AlphabetWord(uint32_t alphabet) {
  switch (alphabet) {
    case 0: return "gsm-7bit";
    case 1: return "8bit";
    case 2: return "ucs2";
    default: return "unknown";
  }
}

void TimeField(JsonWriter& w, const char* key, uint64_t file_time) {
  const std::string time = FileTimeIso(file_time);
  time.empty() ? w.NullField(key) : w.StringField(key, time);
}

// A zero-terminated field as it is, line breaks included (JSON carries
// them; only the text output shows them as blanks).
std::string Field(const char16_t* field, size_t size) {
  std::u16string text;
  for (size_t i = 0; i < size && field[i] != u'\0'; ++i) text.push_back(field[i]);
  return platform::Utf16ToUtf8(text);
}

void Message(JsonWriter& w, const SmsMessage& m) {
  w.BeginObject();
  if (m.Stored != 0) {
    w.UintField("index", m.Index).StringField("status", SmsStatusWord(m.StorageStatus));
  }
  w.StringField("type", SmsTypeWord(m.MessageType));
  w.StringField("address", Field(m.Address, kSmsAddressSize));
  w.StringField("service_centre", Field(m.ServiceCentre, kSmsAddressSize));
  TimeField(w, "time", m.TimeStamp);
  m.Class == kSmsNoClass || m.Class > 4 ? w.NullField("class") : w.UintField("class", m.Class - 1);
  w.StringField("alphabet", AlphabetWord(m.Alphabet));
  m.MessageType == kSmsMessageTypeInvalid ? w.NullField("text") : w.StringField("text", Field(m.Text, kSmsTextSize));
  w.EndObject();
}

std::string StreamLine(const char* command, const char* type, const auto& fill) {
  JsonWriter w;
  w.BeginObject().StringField("command", command).StringField("type", type);
  fill(w);
  w.EndObject();
  return w.Text();
}

}  // namespace

std::string FileTimeIso(uint64_t file_time) {
  constexpr uint64_t kTicksPerSecond = 10000000;
  constexpr uint64_t kUnixEpochSeconds = 11644473600;  // 1601 to 1970
  const uint64_t seconds = file_time / kTicksPerSecond;
  if (file_time == 0 || seconds < kUnixEpochSeconds) return {};
  const std::time_t unix_time = static_cast<std::time_t>(seconds - kUnixEpochSeconds);
  std::tm tm{};
  if (gmtime_r(&unix_time, &tm) == nullptr) return {};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

std::string StatusDocument(const DeviceStatus& status) {
  Document d("status");
  d.w.BoolField("ok", true);
  StatusSections(d, status);
  return d.Finish();
}

std::string WatchStatusLine(const DeviceStatus& status) {
  Document d("watch");
  d.w.StringField("type", "status");
  StatusSections(d, status);
  return d.Finish();
}

std::string IdentityDocument(const DeviceStatus& s, const Reading<std::vector<std::string>>& own_numbers) {
  Document d("identity");
  d.w.BoolField("ok", true);
  d.Add("", "model", s.model, Text);
  d.Add("", "firmware", s.firmware, Text);
  d.Add("", "hardware", s.hardware, Text);
  d.Add("", "imei", s.imei, Text);
  d.Add("", "serial_number", s.serial, Text);
  d.Add("", "iccid", s.iccid, Text);
  d.Add("", "imsi", s.imsi, Text);
  d.Add("", "own_numbers", own_numbers, [](JsonWriter& w, const std::vector<std::string>& numbers) {
    w.BeginArray();
    for (const std::string& n : numbers) w.String(n);
    w.EndArray();
  });
  return d.Finish();
}

std::string DiagnosticsDocument(const DiagnosticsFacts& f) {
  Document d("diagnostics");
  d.w.BoolField("ok", true);
  d.w.Key("hardware").BeginObject();
  d.Add("hardware", "card_name", f.card_name, Text);
  d.Add("hardware", "application_port", f.application_port, Text);
  d.Add("hardware", "serial_number", f.serial_number, Text);
  d.Add("hardware", "firmware", f.firmware, Text);
  d.Add("hardware", "hardware", f.hardware, Text);
  d.Add("hardware", "imei", f.imei, Text);
  d.Add("hardware", "iccid", f.iccid, Text);
  d.Add("hardware", "phone_numbers", f.phone_numbers, [](JsonWriter& w, const std::vector<std::string>& numbers) {
    w.BeginArray();
    for (const std::string& n : numbers) w.String(n);
    w.EndArray();
  });
  d.w.EndObject();
  d.w.Key("operation").BeginObject();
  d.Add("operation", "pin_state", f.pin_state, PinState);
  d.Add("operation", "network_name", f.network, [](JsonWriter& w, const NetworkInfo& n) { w.String(n.name); });
  d.Add("operation", "network_selection", f.network_selection, [](JsonWriter& w, int mode) {
    w.String(mode == 0 ? "automatic" : mode == 1 ? "manual" : "unknown");
  });
  d.Add("operation", "signal", f.signal, [](JsonWriter& w, const Signal& s) {
    w.BeginObject().IntField("value", s.value).IntField("extended", s.extended).EndObject();
  });
  d.w.EndObject();
  d.w.Key("network").BeginObject();
  d.Add("network", "cs_registration", f.cs_state, Registration);
  d.Add("network", "ps_registration", f.ps_state, Registration);
  d.Add("network", "ps_attached", f.ps_attached, Flag);
  d.Add("network", "apn", f.apn, Text);
  d.w.EndObject();
  return d.Finish();
}

std::string PinDocument(PinAction action, bool done, const DeviceStatus& s) {
  Document d("pin");
  d.w.BoolField("ok", true).StringField("action", PinActionName(action)).BoolField("done", done);
  PinFields(d, "", s);
  return d.Finish();
}

std::string TechnologyDocument(int mode, bool changed) {
  JsonWriter w;
  w.BeginObject().StringField("command", "technology").BoolField("ok", true);
  w.StringField("mode", TechnologyWord(mode)).IntField("mode_code", mode).BoolField("changed", changed);
  w.EndObject();
  return w.Text();
}

std::string SmsListDocument(const SmsMessage* messages, size_t count) {
  JsonWriter w;
  w.BeginObject().StringField("command", "sms").BoolField("ok", true).StringField("action", "list");
  w.Key("messages").BeginArray();
  for (size_t i = 0; messages != nullptr && i < count; ++i) Message(w, messages[i]);
  w.EndArray().EndObject();
  return w.Text();
}

std::string SmsReadDocument(const SmsMessage& message) {
  JsonWriter w;
  w.BeginObject().StringField("command", "sms").BoolField("ok", true).StringField("action", "read");
  w.Key("message");
  Message(w, message);
  w.EndObject();
  return w.Text();
}

std::string SmsSendDocument(const std::string& number, const std::vector<uint32_t>& indices) {
  JsonWriter w;
  w.BeginObject().StringField("command", "sms").BoolField("ok", true).StringField("action", "send");
  w.StringField("to", number).UintField("index", indices.empty() ? 0 : indices.front());
  w.UintField("parts", indices.size()).Key("indices").BeginArray();
  for (uint32_t index : indices) w.Uint(index);
  w.EndArray().EndObject();
  return w.Text();
}

std::string SmsDeleteDocument(uint32_t index) {
  JsonWriter w;
  w.BeginObject().StringField("command", "sms").BoolField("ok", true).StringField("action", "delete");
  w.UintField("index", index).EndObject();
  return w.Text();
}

std::string DisconnectDocument(int process_id) {
  JsonWriter w;
  w.BeginObject().StringField("command", "disconnect").BoolField("ok", true).IntField("process", process_id);
  w.EndObject();
  return w.Text();
}

std::string UssdDocument(const UssdExchange& exchange) {
  JsonWriter w;
  w.BeginObject().StringField("command", "ussd").BoolField("ok", true);
  w.Key("turns").BeginArray();
  for (const UssdTurn& turn : exchange.Turns()) {
    w.BeginObject().StringField("sent", turn.sent);
    if (turn.status >= 0) {
      w.StringField("status", UssdStatusName(turn.status)).IntField("status_code", turn.status);
      w.StringField("answer", turn.answer);
    }
    w.EndObject();
  }
  w.EndArray();
  w.StringField("ending", UssdEndingName(exchange.Ending()));
  w.UintField("unused_replies", exchange.UnusedReplies()).EndObject();
  return w.Text();
}

std::string WatchEventLine(uint32_t event, uintptr_t parameter, const char* event_name) {
  return StreamLine("watch", "event", [&](JsonWriter& w) {
    w.StringField("event", event_name != nullptr ? event_name : "unknown").UintField("number", event);
    if (event == EventSmsMessageArrived) w.UintField("sim_index", parameter);
  });
}

std::string WatchLibraryErrorLine(uint32_t type, DvResult primary, DvResult secondary) {
  return StreamLine("watch", "library-error", [&](JsonWriter& w) {
    w.UintField("error_type", type).StringField("primary", Hex(primary));
    secondary != 0 ? w.StringField("secondary", Hex(secondary)) : w.NullField("secondary");
    w.StringField("text", ErrorLine(type, primary, secondary));
  });
}

std::string WatchMessageLine(const SmsMessage& message) {
  return StreamLine("watch", "message", [&](JsonWriter& w) {
    w.Key("message");
    Message(w, message);
  });
}

std::string WatchStatusReportLine(const SmsStatusReport& report) {
  return StreamLine("watch", "status-report", [&](JsonWriter& w) {
    w.StringField("recipient", Field(report.Recipient, kSmsAddressSize));
    TimeField(w, "time", report.TimeStamp);
    // TP-ST: below 0x20 delivered, below 0x40 the centre still tries.
    const char* outcome = report.Status < 0x20 ? "delivered" : report.Status < 0x40 ? "still-trying" : "failed";
    w.UintField("status", report.Status).StringField("outcome", outcome);
  });
}

std::string ConnectApnLine(const std::string& apn, const char* source, const std::string& profile) {
  return StreamLine("connect", "apn", [&](JsonWriter& w) {
    apn.empty() ? w.NullField("apn") : w.StringField("apn", apn);
    w.StringField("source", source);
    if (!profile.empty()) w.StringField("profile", profile);
  });
}

std::string ConnectStateLine(int state) {
  return StreamLine("connect", "state", [&](JsonWriter& w) {
    const char* word = state == GSM::ConnectionState::Disconnected    ? "disconnected"
                       : state == GSM::ConnectionState::Connecting    ? "connecting"
                       : state == GSM::ConnectionState::Connected     ? "connected"
                       : state == GSM::ConnectionState::Disconnecting ? "disconnecting"
                                                                      : "unknown";
    w.StringField("state", word);
  });
}

std::string ConnectAddressLine(const std::string& address, const std::string& interface_name) {
  return StreamLine("connect", "address", [&](JsonWriter& w) {
    address.empty() ? w.NullField("address") : w.StringField("address", address);
    w.StringField("interface", interface_name);
  });
}

std::string ConnectTrafficLine(uint32_t bytes_sent, uint32_t bytes_received, uint64_t duration_ms) {
  return StreamLine("connect", "traffic", [&](JsonWriter& w) {
    w.UintField("bytes_sent", bytes_sent).UintField("bytes_received", bytes_received);
    w.UintField("duration_ms", duration_ms);
  });
}

std::string ErrorDocument(const char* command, Failure failure, const std::string& message, DvResult rc) {
  JsonWriter w;
  w.BeginObject();
  command != nullptr ? w.StringField("command", command) : w.NullField("command");
  w.BoolField("ok", false).Key("error").BeginObject();
  w.IntField("exit_code", ExitCodeOf(failure)).StringField("kind", FailureName(failure));
  w.StringField("message", message);
  if (rc != 0) w.StringField("result", Hex(rc)).StringField("result_text", ResultText(rc));
  w.EndObject().EndObject();
  return w.Text();
}

}  // namespace vombel_device
