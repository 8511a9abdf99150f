// What vombel-device prints, as pure functions of what it read from the
// library: the one-shot report of --once (aligned "key: value" lines in
// sections) and the lines of watch mode (what changed between two readings,
// and one line per event or error). Nothing here talks to the library or the
// terminal, so all of it is tested without a card.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "devicelib/result_codes.h"
#include "devicelib/sms_message.h"

namespace vombel_device {

// A value read with one library call: its result code, and the value when
// the code is 0. `read` false: the program did not ask (not applicable).
template <typename T>
struct Reading {
  bool read = false;
  DvResult rc = 0;
  T value{};

  bool ok() const { return read && rc == 0; }
  friend bool operator==(const Reading&, const Reading&) = default;
};

template <typename T>
Reading<T> Got(T value) {
  return Reading<T>{true, 0, std::move(value)};
}
template <typename T>
Reading<T> Failed(DvResult rc) {
  return Reading<T>{true, rc, T{}};
}

struct Signal {
  int value = 0;
  int extended = 0;
  friend bool operator==(const Signal&, const Signal&) = default;
};

struct RetryCounters {
  int pin = -1;
  int puk = -1;
  friend bool operator==(const RetryCounters&, const RetryCounters&) = default;
};

struct NetworkInfo {
  std::string name;
  int type = 0;  // 0 none, 1 GSM, 2 UMTS
  friend bool operator==(const NetworkInfo&, const NetworkInfo&) = default;
};

// Everything the program shows of the device; each field as it was read.
struct DeviceStatus {
  Reading<int> device_state;
  // Identity.
  Reading<std::string> model;
  Reading<std::string> firmware;
  Reading<std::string> hardware;
  Reading<std::string> imei;
  Reading<std::string> serial;
  Reading<std::string> iccid;
  Reading<std::string> imsi;
  // SIM and PIN.
  Reading<int> sim_state;
  Reading<uint32_t> pin_state;
  Reading<int> retry_counters_supported;
  Reading<RetryCounters> retries;
  Reading<int> pin_enabled;
  // Network.
  Reading<NetworkInfo> network;
  Reading<int> cs_state;
  Reading<int> ps_state;
  Reading<int> technology_selection_supported;
  Reading<int> technology_mode;
  Reading<int> access_technology;
  Reading<int> edge_state;
  Reading<int> hsdpa_state;
  Reading<std::string> apn;
  Reading<Signal> signal;
  Reading<int> wcdma_supported;
  Reading<int> wcdma_signal;
  Reading<std::string> idle_text;

  friend bool operator==(const DeviceStatus&, const DeviceStatus&) = default;
};

// The words of the values, as a person reads them.
std::string DeviceStateText(int state);
// "READY", "SIM PIN", ... as the card says them; "unknown" for 0 and for
// values outside 0..13.
std::string PinPukStateText(uint32_t state);
std::string SimStateText(int state);
std::string RegistrationText(int network_state);
std::string NetworkTypeText(int type);
std::string TechnologyModeText(int mode);
std::string AccessTechnologyText(int technology);
std::string OnOffText(int state);
std::string SignalText(const Signal& signal);
// A failure code as the report shows it: "0x84000009 (device not yet
// initialised)".
std::string ResultText(DvResult rc);

// The report of --once: sections "Device", "SIM", "Network", "Signal" with
// right-aligned keys. Rows for what was not asked are left out (retry
// counters of a card that has none, a technology selection the card does
// not support); a failed call shows "-- (code)".
std::vector<std::string> FormatReport(const DeviceStatus& status);

// identity: "key: value" lines of the card's and the SIM's identity and the
// own numbers; rows for what was not asked are left out.
std::vector<std::string> FormatIdentity(const DeviceStatus& status,
                                        const Reading<std::vector<std::string>>& own_numbers);
// pin: "key: value" lines of the PIN state, the check and the retries.
std::vector<std::string> FormatPinState(const DeviceStatus& status);

// Watch mode: one "key: value" line for each value that differs between
// `before` and `after` (and was read in `after`), in report order.
std::vector<std::string> ChangedLines(const DeviceStatus& before, const DeviceStatus& after);

// "event EventSignalStrengthChanged (6)", with the parameter where it
// carries one (the SIM index of a new message).
std::string EventLine(uint32_t event, uintptr_t parameter, const char* event_name);
std::string ErrorLine(uint32_t type, DvResult primary, DvResult secondary);

// --- SMS ---------------------------------------------------------------------

// "unread", "read", "unsent", "sent", or the number.
std::string SmsStatusText(uint32_t storage_status);
// A file time (100 ns since 1601, UTC) as "2026-03-14 14:09:26 UTC"; "-" for 0.
std::string FileTimeText(uint64_t file_time);
// A zero-terminated field of at most `size` characters, as UTF-8 with
// control characters (line breaks of a text) shown as blanks.
std::string FieldText(const char16_t* field, size_t size);
// `sms list`: a header, then one line per message: index, status, address,
// time, text. "No messages on the SIM." for none.
std::vector<std::string> FormatSmsList(const SmsMessage* messages, size_t count);
// `sms read`: "key: value" lines of one message.
std::vector<std::string> FormatSmsMessage(const SmsMessage& message);
// A message the card handed over at once, and a status report.
std::string TemporaryMessageLine(const SmsMessage& message);
std::string StatusReportLine(const SmsStatusReport& report);

}  // namespace vombel_device
