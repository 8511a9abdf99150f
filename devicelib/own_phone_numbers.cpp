#include "devicelib/own_phone_numbers.h"

std::u16string ParseOwnPhoneNumbers(std::u16string_view answer) {
  std::u16string numbers;
  size_t start = 0;
  while (start < answer.size()) {
    size_t end = answer.find_first_of(u"\r\n", start);
    if (end == std::u16string_view::npos) end = answer.size();
    const std::u16string_view line = answer.substr(start, end - start);
    start = end + 1;
    const size_t close = line.rfind(u'"');
    if (close == std::u16string_view::npos || close == 0) continue;
    const size_t open = line.rfind(u'"', close - 1);
    if (open == std::u16string_view::npos) continue;
    const std::u16string_view number = line.substr(open + 1, close - open - 1);
    if (number.empty()) continue;
    if (!numbers.empty()) numbers += u';';
    numbers += number;
  }
  return numbers;
}
