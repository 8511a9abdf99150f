#include "carddetect/notification_line.h"

#include <cstdio>

#include "platform/text.h"

namespace {

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

std::string Field(const char16_t (&field)[kNwCardInfoTextSize]) {
  const std::u16string_view text = CardInfoText(field);
  return text.empty() ? "-" : platform::Utf16ToUtf8(text);
}

}  // namespace

std::string_view EventReasonName(uint32_t reason) {
  switch (reason) {
    case NwEventReasonInitialization:
      return "Initialization";
    case NwEventReasonListenerRegistered:
      return "ListenerRegistered";
    case NwEventReasonStandby:
      return "Standby";
    case NwEventReasonWakeUp:
      return "WakeUp";
    case NwEventReasonCardEvent:
      return "CardEvent";
    case NwEventReasonSuspension:
      return "Suspension";
    case NwEventReasonCardHeld:
      return "CardHeld";
    default:
      return "Unknown";
  }
}

std::string FormatNotificationLine(uint32_t reason, uint32_t get_result, const NwCardInfo& info) {
  std::string line = "reason=" + std::string(EventReasonName(reason));
  if (get_result == 55) return line + " state=Stopped (no card)";
  if (get_result != 0) return line + " (card information not readable: error " + std::to_string(get_result) + ")";
  line += " state=" + std::string(CardStateName(info.State));
  line += " model=" + Hex(info.Model);
  if (info.Model == 0) return line;
  line += " app=" + Field(info.AppPortName);
  line += " modem=" + Field(info.ModemName);
  line += " nic=" + Field(info.WwanNicName);
  line += " flags=" + Hex(info.DriverCapabilities);
  return line;
}
