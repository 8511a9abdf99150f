// vombel-device's --json output: every document and every line of the
// streams (watch, connect) as pure functions of what was read. The shape is
// the program's interface, described by docs/vombel-device.schema.json:
// member names in snake_case, enumerated values as lower-case words with
// hyphens, a value the library failed to give as null with its reason in
// the document's "unavailable" list, a value that does not apply left out.
// Each function returns one line of JSON without its line end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "devicelib/cli/command_line.h"
#include "devicelib/cli/device_report.h"
#include "devicelib/cli/diagnostics_report.h"
#include "devicelib/cli/exit_codes.h"
#include "devicelib/cli/ussd_exchange.h"
#include "devicelib/sms_message.h"

namespace vombel_device {

// A file time (100 ns since 1601, UTC) as RFC 3339 ("2026-03-14T14:09:26Z");
// empty for 0 and for times before 1970.
std::string FileTimeIso(uint64_t file_time);

// status; and a watch line of type "status" with the same sections.
std::string StatusDocument(const DeviceStatus& status);
std::string WatchStatusLine(const DeviceStatus& status);
std::string IdentityDocument(const DeviceStatus& status, const Reading<std::vector<std::string>>& own_numbers);
std::string DiagnosticsDocument(const DiagnosticsFacts& facts);
// `done`: a code was sent (false when the SIM was already as asked).
std::string PinDocument(PinAction action, bool done, const DeviceStatus& status);
std::string TechnologyDocument(int mode, bool changed);

std::string SmsListDocument(const SmsMessage* messages, size_t count);
std::string SmsReadDocument(const SmsMessage& message);
// `indices`: where the sent copies are stored, a slot for each part.
std::string SmsSendDocument(const std::string& number, const std::vector<uint32_t>& indices);
std::string SmsDeleteDocument(uint32_t index);
std::string DisconnectDocument(int process_id);
// ussd, once the session is over.
std::string UssdDocument(const UssdExchange& exchange);

// The other lines of watch.
std::string WatchEventLine(uint32_t event, uintptr_t parameter, const char* event_name);
std::string WatchLibraryErrorLine(uint32_t type, DvResult primary, DvResult secondary);
std::string WatchMessageLine(const SmsMessage& message);
std::string WatchStatusReportLine(const SmsStatusReport& report);

// The lines of connect. `source`: "given", "automatic-profile" or "card"
// (then `apn` is empty).
std::string ConnectApnLine(const std::string& apn, const char* source, const std::string& profile);
std::string ConnectStateLine(int state);
// `address` empty when the interface has none yet.
std::string ConnectAddressLine(const std::string& address, const std::string& interface_name);
std::string ConnectTrafficLine(uint32_t bytes_sent, uint32_t bytes_received, uint64_t duration_ms);

// What failed, for every command: `command` null before the command line
// was understood; `rc` 0 when no library call failed.
std::string ErrorDocument(const char* command, Failure failure, const std::string& message, DvResult rc);

}  // namespace vombel_device
