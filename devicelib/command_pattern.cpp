#include "devicelib/command_pattern.h"

#include <algorithm>

namespace GSM {

void ClearText(char16_t* buffer, size_t capacity) {
  if (buffer != nullptr) std::fill(buffer, buffer + capacity, u'\0');
}

void CopyText(char16_t* buffer, size_t capacity, std::u16string_view text) {
  if (buffer == nullptr || capacity == 0) return;
  const size_t count = std::min(text.size(), capacity - 1);
  std::copy_n(text.data(), count, buffer);
  buffer[count] = u'\0';
}

void SendPlainCommand(Device& device, std::u16string_view command, uint32_t timeout_ms) {
  if (timeout_ms != kEngineDefaultTimeout) device.SetTimeout(timeout_ms);
  device.SetCommand(command);
  device.SendCommand(SendModeNormal);
  device.WaitFinal();
}

std::u16string SendAndExpect(Device& device, std::u16string_view command, std::u16string_view prefix,
                             uint32_t timeout_ms) {
  if (timeout_ms != kEngineDefaultTimeout) device.SetTimeout(timeout_ms);
  device.SetCommand(command);
  device.SendCommand(SendModeNormal);
  device.ExpectLine(prefix);
  return device.ReadRest();
}

void RaiseParseFailure(Device& device, DvResult parse_result) {
  if (!DvFailed(parse_result)) return;
  if (parse_result == DV_E_UNEXPECTED_ANSWER) device.FlushToFinal();
  DvRaise(parse_result);
}

}  // namespace GSM
