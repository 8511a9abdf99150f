#include "carddetect/detection_method.h"

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "carddetect/number_scan.h"
#include "foundation/xlog.h"
#include "platform/text.h"

namespace {

// What tells the four sub-devices apart: the field, the wording of their
// messages and which methods stand alone or need an event mask.
struct SubdeviceRules {
  const char* function;  // for the messages: "DetermineModemDetectionMethod"
  const char* what;      // "modem detection", "application port detection", ...
  std::optional<std::u16string> CardDbEntry::*detect;
  bool absent_disables;  // false: an absent string is reported as empty
  std::initializer_list<uint32_t> plain_methods;
  std::initializer_list<uint32_t> masked_methods;
};

bool Contains(std::initializer_list<uint32_t> set, uint32_t value) {
  for (uint32_t item : set) {
    if (item == value) return true;
  }
  return false;
}

// "0x%x": the literal prefix, then the conversion (which itself would accept
// a second prefix, white space and a sign, as the C library's does).
std::optional<uint32_t> ScanPrefixedHex(std::u16string_view text, size_t& pos) {
  if (text.size() - pos < 2 || text[pos] != u'0' || text[pos + 1] != u'x') return std::nullopt;
  size_t at = pos + 2;
  const auto value = ScanHex(text, at);
  if (value) pos = at;
  return value;
}

bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// "%s": white space skipped, then the run of non-blank characters.
std::u16string_view ScanWord(std::u16string_view text, size_t pos) {
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  size_t end = pos;
  while (end < text.size() && !IsSpace(text[end])) ++end;
  return text.substr(pos, end - pos);
}

DetectionMethod Decode(const CardDbEntry* card, const SubdeviceRules& rules) {
  if (card == nullptr) {
    XLogLevel(kXLogWarning, "Nw: %s(): Warning, no card is detected", rules.function);
    return {};
  }
  const std::optional<std::u16string>& detect = card->*rules.detect;
  if (!detect && rules.absent_disables) return {};

  const std::string name = platform::Utf16ToUtf8(card->Name);
  DetectionMethod result{1, 0};
  if (!detect || detect->empty()) {
    XLogLevel(kXLogWarning, "Nw: %s(): Warning, %s string for card %s is empty, using default polling method",
              rules.function, rules.what, name.c_str());
    return result;
  }

  const std::u16string_view text = *detect;
  size_t pos = 0;
  const std::optional<uint32_t> method = ScanPrefixedHex(text, pos);
  if (method && Contains(rules.plain_methods, *method)) {
    result.method = *method;
    return result;
  }
  std::u16string_view parameter;
  if (method && pos < text.size() && text[pos] == u',') parameter = ScanWord(text, pos + 1);
  if (parameter.empty()) {
    XLogLevel(kXLogWarning,
              "Nw: %s(): Warning, %s string for card %s is corrupted, using default polling method",
              rules.function, rules.what, name.c_str());
    return result;
  }
  if (!Contains(rules.masked_methods, *method)) {
    XLogLevel(kXLogWarning, "Nw: %s(): Unknown %s method (%d), using default polling method", rules.function,
              rules.what, static_cast<int>(*method));
    return result;
  }
  size_t parameter_pos = 0;
  const std::optional<uint32_t> mask = ScanPrefixedHex(parameter, parameter_pos);
  if (!mask) {
    XLogLevel(kXLogWarning,
              "Nw: %s(): Warning, %s parameter for card %s & method %d is corrupted, using default polling "
              "method",
              rules.function, rules.what, name.c_str(), static_cast<int>(*method));
    return result;
  }
  return {*method, *mask};
}

}  // namespace

DetectionMethod DetermineModemDetectionMethod(const CardDbEntry* card) {
  return Decode(card, {"DetermineModemDetectionMethod", "modem detection", &CardDbEntry::ModemDetect, false,
                       {ModemDetMethodDefaultPolling}, {ModemDetMethodDefaultEventBased}});
}

DetectionMethod DetermineAppPortDetectionMethod(const CardDbEntry* card) {
  return Decode(card, {"DetermineAppPortDetectionMethod", "application port detection", &CardDbEntry::AppPortDetect,
                       true, {AppPortDetMethodDefaultPolling, AppPortDetMethodBroadcomPolling},
                       {AppPortDetMethodDefaultEventBased, AppPortDetMethodBroadcomEventBased}});
}

DetectionMethod DetermineApp2PortDetectionMethod(const CardDbEntry* card) {
  return Decode(card, {"DetermineApp2PortDetectionMethod", "application2 port detection",
                       &CardDbEntry::App2PortDetect, true,
                       {AppPortDetMethodDefaultPolling, AppPortDetMethodBroadcomPolling},
                       {AppPortDetMethodDefaultEventBased, AppPortDetMethodBroadcomEventBased}});
}

DetectionMethod DetermineDbgPortDetectionMethod(const CardDbEntry* card) {
  return Decode(card, {"DetermineDbgPortDetectionMethod", "debug port detection", &CardDbEntry::DbgPortDetect, true,
                       {DbgPortDetMethodDefaultPolling}, {DbgPortDetMethodDefaultEventBased}});
}

void LogModemDetectionMethod(const DetectionMethod& method) {
  switch (method.method) {
    case kDetectionDisabled:
      XLogLevel(kXLogTrace, "Nw: Modem detection is disabled");
      return;
    case ModemDetMethodDefaultPolling:
      XLogLevel(kXLogTrace, "Nw: Modem detection method is set to ModemDetMethodDefaultPolling");
      return;
    case ModemDetMethodDefaultEventBased:
      XLogLevel(kXLogTrace,
                "Nw: Modem detection method is set to ModemDetMethodDefaultEventBased, insertion event mask=0x%x",
                method.mask);
      return;
    default:
      XLogLevel(kXLogWarning, "Nw: LogModemDetectionMethod(): Warning, unknown modem detection method (0x%x)",
                method.method);
      return;
  }
}

namespace {

// The primary and secondary application ports share their wording but for
// the port's name.
void LogAppPortMethod(const DetectionMethod& method, const char* port, const char* function) {
  switch (method.method) {
    case kDetectionDisabled:
      XLogLevel(kXLogTrace, "Nw: %s detection is disabled", port);
      return;
    case AppPortDetMethodDefaultPolling:
      XLogLevel(kXLogTrace, "Nw: %s detection method is set to AppPortDetMethodDefaultPolling", port);
      return;
    case AppPortDetMethodDefaultEventBased:
      XLogLevel(kXLogTrace,
                "Nw: %s detection method is set to AppPortDetMethodDefaultEventBased, insertion event mask=0x%x",
                port, method.mask);
      return;
    case AppPortDetMethodBroadcomPolling:
      XLogLevel(kXLogTrace, "Nw: %s detection method is set to AppPortDetMethodBroadcomPolling", port);
      return;
    case AppPortDetMethodBroadcomEventBased:
      XLogLevel(kXLogTrace,
                "Nw: %s detection method is set to AppPortDetMethodBroadcomEventBased, insertion event mask=0x%x",
                port, method.mask);
      return;
    default:
      XLogLevel(kXLogWarning, "Nw: %s(): Warning, unknown application port detection method (0x%x)", function,
                method.method);
      return;
  }
}

}  // namespace

void LogAppPortDetectionMethod(const DetectionMethod& method) {
  LogAppPortMethod(method, "Application port", "LogAppPortDetectionMethod");
}

void LogApp2PortDetectionMethod(const DetectionMethod& method) {
  LogAppPortMethod(method, "Application2 port", "LogApp2PortDetectionMethod");
}

void LogDbgPortDetectionMethod(const DetectionMethod& method) {
  switch (method.method) {
    case kDetectionDisabled:
      XLogLevel(kXLogTrace, "Nw: Debug port detection is disabled");
      return;
    case DbgPortDetMethodDefaultPolling:
      XLogLevel(kXLogTrace, "Nw: Debug port detection method is set to DbgPortDetMethodDefaultPolling");
      return;
    case DbgPortDetMethodDefaultEventBased:
      XLogLevel(kXLogTrace,
                "Nw: Debug port detection method is set to DbgPortDetMethodDefaultEventBased, insertion event "
                "mask=0x%x",
                method.mask);
      return;
    default:
      XLogLevel(kXLogWarning, "Nw: LogDbgPortDetectionMethod(): Warning, unknown debug port detection method (0x%x)",
                method.method);
      return;
  }
}
