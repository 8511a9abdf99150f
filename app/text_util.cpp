#include "app/text_util.h"

#include "platform/ascii.h"

namespace app_text {

namespace {

bool IsBlank(char16_t unit) {
  return unit == u' ' || unit == u'\t' || unit == u'\v' || unit == u'\f';
}

}  // namespace

std::u16string_view Trim(std::u16string_view text) {
  size_t begin = 0;
  while (begin < text.size() && IsBlank(text[begin])) ++begin;
  size_t end = text.size();
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

bool EqualsIgnoreCase(std::u16string_view left, std::u16string_view right) {
  return platform::AsciiEqualsIgnoreCase(left, right);
}

std::vector<std::u16string_view> SplitLines(std::u16string_view text) {
  std::vector<std::u16string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == u'\r' || text[i] == u'\n') {
      if (i > start) lines.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return lines;
}

std::u16string Decimal(uint32_t value) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}

std::u16string ReplaceFirst(std::u16string text, std::u16string_view placeholder, std::u16string_view value) {
  const size_t at = text.find(placeholder);
  if (at != std::u16string::npos) text.replace(at, placeholder.size(), value);
  return text;
}

}  // namespace app_text
