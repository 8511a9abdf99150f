#include "devicelib/cli/diagnostics_report.h"

#include "devicelib/own_phone_numbers.h"
#include "platform/text.h"

namespace vombel_device {
namespace {

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) {
    if (!text.empty()) text += ", ";
    text += item;
  }
  return text;
}

template <typename T, typename Format>
std::string Shown(const Reading<T>& reading, Format format) {
  if (!reading.read) return "n/a";
  if (reading.rc != 0) return "-- (" + ResultText(reading.rc) + ")";
  return format(reading.value);
}

std::string Plain(const std::string& text) { return text.empty() ? "--" : text; }

}  // namespace

std::vector<std::string> OwnPhoneNumbers(std::u16string_view answer) {
  const std::u16string joined = ParseOwnPhoneNumbers(answer);
  std::vector<std::string> numbers;
  size_t start = 0;
  while (start < joined.size()) {
    size_t end = joined.find(u';', start);
    if (end == std::u16string::npos) end = joined.size();
    numbers.push_back(platform::Utf16ToUtf8(std::u16string_view(joined).substr(start, end - start)));
    start = end + 1;
  }
  return numbers;
}

std::string NetworkSelectionText(int mode) {
  switch (mode) {
    case 0: return "automatic";
    case 1: return "manual";
    default: return "unknown (" + std::to_string(mode) + ")";
  }
}

std::vector<std::string> FormatDiagnostics(const DiagnosticsFacts& f) {
  const auto item = [](const char* name, std::string value) { return std::string("  ") + name + ": " + value; };
  return {
      "Hardware test",
      item("card name", Shown(f.card_name, Plain)),
      item("application port", Shown(f.application_port, Plain)),
      item("serial number", Shown(f.serial_number, Plain)),
      item("firmware version", Shown(f.firmware, Plain)),
      item("hardware version", Shown(f.hardware, Plain)),
      item("imei", Shown(f.imei, Plain)),
      item("iccid", Shown(f.iccid, Plain)),
      item("phone numbers", Shown(f.phone_numbers, [](const std::vector<std::string>& n) { return Plain(Joined(n)); })),
      "Operational test",
      item("pin state", Shown(f.pin_state, PinPukStateText)),
      item("network name", Shown(f.network, [](const NetworkInfo& n) { return Plain(n.name); })),
      item("network selection", Shown(f.network_selection, NetworkSelectionText)),
      item("signal strength",
           Shown(f.signal, [](const Signal& s) { return std::to_string(s.value) + "," + std::to_string(s.extended); })),
      "Network settings",
      item("cs registration", Shown(f.cs_state, RegistrationText)),
      item("ps registration", Shown(f.ps_state, RegistrationText)),
      item("ps attachment",
           Shown(f.ps_attached, [](int a) { return std::string(a != 0 ? "attached" : "not attached"); })),
      item("apn", Shown(f.apn, Plain)),
  };
}

}  // namespace vombel_device
