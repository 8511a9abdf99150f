#include "carddetect/nw_card_info.h"

#include <algorithm>

std::string_view CardStateName(uint32_t state) {
  switch (state) {
    case CardStateStopped:
      return "Stopped";
    case CardStateStopping:
      return "Stopping";
    case CardStateStarting:
      return "Starting";
    case CardStateStarted:
      return "Started";
    case CardStateSuspended:
      return "Suspended";
  }
  return "Unknown";
}

std::u16string_view PortNameShown(std::u16string_view port) {
  const size_t start = port.find_first_not_of(u"\\.");
  return start == std::u16string_view::npos ? std::u16string_view() : port.substr(start);
}

std::u16string_view CardInfoText(const char16_t (&field)[kNwCardInfoTextSize]) {
  const char16_t* end = std::find(field, field + kNwCardInfoTextSize, u'\0');
  return std::u16string_view(field, static_cast<size_t>(end - field));
}

void SetCardInfoText(char16_t (&field)[kNwCardInfoTextSize], std::u16string_view text) {
  const size_t length = std::min(text.size(), kNwCardInfoTextMax);
  std::copy_n(text.begin(), length, field);
  std::fill(field + length, field + kNwCardInfoTextSize, u'\0');
}
